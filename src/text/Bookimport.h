#pragma once
// Whole books into topics: the format recogniser, the chapter model every
// importer fills, and the topics a book becomes.
//
// Formats are recognised by content: a ZIP archive (an EPUB, or a zipped FB2,
// whose members the caller reads through a TBookContainer), an XML document
// whose root is FictionBook (FB2), an HTML document, Markdown (by the name's
// extension, when the content is no markup), and plain text (any encoding
// detection knows). Anything else (binary data) is no book.
//
// A book is its chapters in reading order. A chapter has a name, the names of
// the chapters it lies in (a part, a book of a series), and its lines in
// Windows-1251: paragraphs, and single empty lines where the source has them.
// The text before the first chapter becomes a chapter of its own, named after
// the book (or "Preface"), when it holds more than blank lines and the title.
// A chapter whose text is only its title (a part's title page) hands its
// lines to the chapter that follows. Where two chapters would have the same
// name, the names of the chapters they lie in go in front ("Part 2. Chapter
// 1"). Scene breaks ("* * *") stay in the text; they cut nothing.
//
// A chapter becomes one topic, or with a split size, as many as keep each at
// or under it, cut at paragraph ends (a longer paragraph at a word boundary).
// Pieces and split parts are named "Name (1)", "Name (2)", ... Topic names are
// at most 50 bytes (the item's limit); the part number is never the part cut.
// A topic's text is its lines, each followed by CR LF; a title line starts
// with the heading mark (common/Headingmark.h).

#include "common/Ansiwriter.h"
#include "common/Errors.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// What a line of a book costs beyond its bytes while it is read (its string
// and its place in a list), as the output limit counts it.
inline constexpr uint64_t kLineCost = 40;

// The longest topic name the project stores.
inline constexpr size_t kTopicNameBytes = 50;
// The largest book file that is read; the largest plain text (held whole in
// several forms while it is read) and Markdown text (cmark builds its tree).
// FB2 and HTML are read as streams, in any size up to the first.
inline constexpr uint64_t kMaxBookFileSize = 256u << 20;
inline constexpr uint64_t kMaxBookTextSize = 64u << 20;
inline constexpr uint64_t kMaxMarkdownSize = 16u << 20;
// The smallest split size; the split size import-book uses unless told;
// topics over the large size are named in the import's notes.
inline constexpr size_t kMinSplitSize = 64;
inline constexpr size_t kDefaultSplitSize = 32 * 1024;
inline constexpr size_t kLargeTopicSize = 64 * 1024;

enum class TBookFormat { None, Zip, Fb2, Html, Markdown, Text };

// The format of a book file's bytes. `fileName` (its extension) only tells
// Markdown from plain text and FB2 from other XML.
TBookFormat RecogniseBook(std::string_view bytes, std::string_view fileName);
// "FB2", "EPUB", "HTML", "Markdown", "plain text", ...
const char* BookFormatName(TBookFormat format);

struct TBookChapter {
    std::string name;                         // Windows-1251
    std::vector<std::string> parents;         // the chapters it lies in (the nearest 8), outermost first
    std::vector<std::vector<std::string>> pieces; // the lines of each piece; "" is an empty line
    bool front = false;                       // the text before the first chapter
};

// A book, and what its text had no Windows-1251 place for (its TAnsiCount:
// characters written as their nearest text or "?", bytes that were no character).
struct TBook : TAnsiCount {
    std::string format;    // "FB2", "EPUB", ... as BookFormatName says
    std::string title;     // the book's title, Windows-1251 ("" when unknown)
    std::string author;    // its authors, ", " between them
    std::string encoding;  // how its text was read: "UTF-8", "KOI8-R", ...
    std::vector<TBookChapter> chapters;
    std::vector<std::string> notes; // what the reader had to work around, one line each (UTF-8)

    // The book's name as a project file would carry it: "Author - Title",
    // or the title alone; "" without a title.
    std::string NameSuggestion() const;

    const TAnsiCount& Replaced() const { return *this; }
    void SetReplaced(const TAnsiCount& count) { static_cast<TAnsiCount&>(*this) = count; }
};

// Where the notes of a book (FB2 notes, EPUB footnotes and endnotes) go:
// each after the paragraph that refers to it, as a paragraph of its own
// ("[1] Text of the note."); all at the end of the chapter that refers to
// them; or, as they stand, in a topic of notes at the end of the book (EPUB
// notes then stay where the book has them).
enum class TNoteMode { Inline, End, Topic };

struct TBookOptions {
    // Detect the code page of texts that name none (else: Windows-1251).
    bool detect = true;
    // Plain texts: keep the lines as they are (no hard-wrap repair).
    bool keepLines = false;
    TNoteMode notes = TNoteMode::Inline;
    // Plain texts: the heading pattern (RE2, Windows-1251, matched against
    // whole lines); empty for the built-in one.
    std::string chapters;
};

// A book file that can't be read as a book: the message names the file and the cause.
class EBookError : public Error {
public:
    using Error::Error;
};

// The members of a container (EPUB, zipped FB2), by their stored names.
class TBookContainer {
public:
    virtual ~TBookContainer() = default;
    virtual std::vector<std::string> Names() = 0;
    // A member's whole data; raises volm::Error when it can't be read.
    virtual std::string Read(const std::string& name) = 0;
    // The container's own size in bytes, which bounds the text it may give
    // (Booklimits.h); 0 when not known.
    virtual uint64_t Size() { return 0; }
};

// Collects the chapters while an importer reads a book. The importer says
// where chapters start (with their depth: 1 for the outermost), their names
// (also later, when the title follows the start) and their lines; the
// builder decides which are kept.
class TBookBuilder {
public:
    TBookBuilder();
    // The file that refusals name and the size of its input: past
    // kMaxBookTopics chapters, or past BookOutputLimit(inputSize) bytes of
    // text (each line counted with kLineCost more, what holding it costs),
    // the book is refused (EBookError naming the limit).
    void Limit(const std::string& fileName, uint64_t inputSize);
    // What is left of the output limit.
    uint64_t Remaining() const { return output_ < outputLimit_ ? outputLimit_ - output_ : 0; }
    // A new chapter at depth `level`, 1 or more.
    void Chapter(const std::string& name, int level);
    // The current chapter's name.
    void SetName(const std::string& name);
    // A line of the current chapter's title; it is kept with the heading
    // mark (kHeadingMark) in front.
    void Title(const std::string& line);
    // A line that leads into the chapter (an epigraph): text of its own, but
    // handed on with the title when a deeper chapter follows.
    void Lead(const std::string& line);
    // A paragraph. A blank one is an empty line.
    void Line(const std::string& line);
    // An empty line: kept once, never at the start or end of a piece.
    void Empty();
    // The place of a note: `label` is the reference as the text shows it
    // ("[1]"), `key` the note it refers to (see PlaceNotes).
    void NoteRef(const std::string& label, const std::string& key);
    // The current chapter goes on in a new piece.
    void Break();
    // The text before the first chapter, when it is only its title (an FB2
    // body's title), goes in front of the first chapter's text instead of
    // being left out.
    void CarryFrontTitle() { carryFront_ = true; }
    // The kept chapters with their final names. `bookTitle` names the text
    // before the first chapter; `fallback` names it when the book has no
    // title and no chapter.
    std::vector<TBookChapter> Finish(const std::string& bookTitle, const std::string& fallback);

private:
    enum TKind { kTitle, kLead, kBody };
    void add(const std::string& line, TKind kind);
    void close(int nextLevel);

    struct TOpen {
        TBookChapter chapter;
        int level = 0;
        bool hasLead = false, hasBody = false;
        bool pendingEmpty = false;
    };
    TOpen open_;
    std::vector<TBookChapter> done_;
    std::vector<std::string> carry_;                 // lines handed on to the next chapter
    bool carryEmpty_ = false;                        // and an empty line after them
    bool carryFront_ = false;
    std::vector<std::pair<int, std::string>> stack_; // open chapters by depth
    std::string file_ = "the book";
    uint64_t outputLimit_;
    uint64_t output_ = 0;   // the bytes of text so far
    size_t chapters_ = 0;   // chapters started so far
};

struct TBookTopic {
    std::string name; // at most 50 bytes
    std::string text; // lines with CR LF
};

// The text of a piece's lines: each followed by CR LF.
std::string JoinBookLines(const std::vector<std::string>& lines);
// A chapter's size: the bytes of all its pieces' texts.
size_t ChapterSize(const TBookChapter& chapter);
// The topics of one chapter; `splitAt` 0 keeps each piece whole.
std::vector<TBookTopic> ChapterTopics(const TBookChapter& chapter, size_t splitAt);
// The topics of the whole book, in order. A book that gives more than
// kMaxBookTopics is refused (EBookError naming `fileName`).
std::vector<TBookTopic> BookTopics(const TBook& book, size_t splitAt, const std::string& fileName = "the book");
// What the reader of an import should know about its topics: a book of one
// chapter that was split by size (it has no chapter headings), and every
// topic over kLargeTopicSize with its name and size. UTF-8 lines.
std::vector<std::string> TopicNotes(const TBook& book, const std::vector<TBookTopic>& topics);
// The notes of a book, by their keys, and the keys in the book's order.
struct TBookNotes {
    std::map<std::string, std::string> text;  // key -> the note's text, Windows-1251
    std::map<std::string, std::string> label; // key -> its own number, when it has one
    std::vector<std::string> order;
    void Add(const std::string& key, const std::string& line);
};

// Puts the notes where the chapters refer to them (TBookBuilder::NoteRef):
// as the paragraph after the reference ("[1] Text."), or with `mode` End all
// at the end of the chapter. Notes no reference reached are a last chapter,
// `title` ("Notes" when empty), each after its own number, so none is lost.
void PlaceNotes(std::vector<TBookChapter>& chapters, const TBookNotes& notes, TNoteMode mode,
                const std::string& title);

// The book's annotation (Windows-1251 paragraphs) as its first chapter, when
// it has text: named "Аннотация" when the book's text is mostly Cyrillic,
// else "About this book".
void AddAnnotation(TBook& book, const std::vector<std::string>& lines);
// A text's lines cut into parts of at most `limit` bytes each (see above).
std::vector<std::string> SplitParts(const std::vector<std::string>& lines, size_t limit);

// Reads a book that is not in a container. `fileName` names the file in
// messages and its extension helps recognition; raises EBookError.
TBook ImportBook(std::string_view bytes, const std::string& fileName, const TBookOptions& options);
// Reads a book from a container (an EPUB, or a zipped FB2); raises EBookError.
TBook ImportBookContainer(TBookContainer& container, const std::string& fileName, const TBookOptions& options);

// A file's name without folder and extensions, in Windows-1251.
std::string BookFileStem(const std::string& fileName);

// A size with an optional K or M suffix ("4096", "32K", "1M"); nothing when it
// is not one.
bool ParseSplitSize(std::string_view text, size_t& size);

} // namespace volm
