#pragma once
// The project model: one open project file, its topics in list order (each
// with its TJSDataItem), the topic counter and the font settings. No GUI: the
// project window shows it, volm-cli drives it.
//
// The project file's root holds stream "0" (font settings) and one stream per
// topic named by its storage number (101, 102, ...). Topics are listed in
// ascending storage number; new topics take the counter's next number and go
// to the end. Every change is in the file when its operation returns.
//
// Stream "Layout" holds the phone reader's text layout as a word ("words" or
// "grid"). Its name is not a number, so earlier versions of the program leave
// it alone. A project made by this version gets "words"; a project without
// the stream reads its books in the grid layout and builds them as before.
// Stream "Paragraphs" holds the paragraph style of the words layout ("indent"
// or "gap"), the same way; a project without it builds with the indent.
//
// Stream "Sizes" holds the font sizes of the words layout in pixels, as
// typed ("11,14"), and stream "Hyphens" whether the words layout's texts get
// soft hyphens ("on" or "off"), the same way again; without them a book gets
// the default sizes and its hyphens.
// Stream "Title" holds the book's own name (UTF-8, one line, at most
// kTitleMax bytes), the same way; a project without it is named after its
// file.
//
// Stream "Folder" holds the folder the book folder is made in (an absolute
// path, one line, at most kFolderMax bytes), the same way; without it the
// book folder is beside the project file.
//
// Stream "Builds" holds the number of builds of the book so far, in decimal
// (its phone application's version rises with each); not a number as a name
// either. A project without it has had no build counted.

#include "storage/Componounddoc.h"
#include "storage/Doc.h"
#include "storage/Fontsettings.h"
#include "storage/Readerlayout.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace volm {

// One entry of the topic list.
struct TTopicNode {
    // The topic's name as the list shows it: whole as appended or renamed
    // (the item stores its first 50 bytes), the stored name after opening.
    std::string Name;
    std::unique_ptr<TJSDataItem> Item; // the topic's item (owns its open stream)
    int32_t Number = 0;                // storage number (Item->Key in decimal)
};

// A topic to append: its name and its text (Windows-1251).
struct TNewTopic {
    std::string name;
    std::string text;
};

// The prefix of the streams an append writes before they are listed.
inline constexpr const char* kAddingPrefix = "Adding.";

class TProject {
public:
    enum TOpenMode {
        omOpenOrCreate, // a missing file becomes a new, empty project
        omOpenExisting, // a missing file is an error
        omCreateNew,    // an existing file is an error
        omReadOnly,     // an existing file, for reading only: a shared lock, nothing is ever written
    };

    TProject();
    ~TProject(); // closes the project (errors are swallowed; call CloseProject to see them)
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // Opens (or creates) the project file. Opening an existing file writes
    // nothing to it. Elements that can't be used are skipped, untouched. Raises volm::Error (EStorageError for the storage's
    // own failures) naming the file when a project is already open here or
    // the file can't be opened or created; nothing is open then. The project
    // window's OpenProject is the true/false form over this.
    void Open(const std::string& path, TOpenMode mode = omOpenOrCreate);

    // Opens the project as Open(path) does, for writing; an existing file
    // that can't be opened so because it can't be written (read-only media,
    // no write permission) or is damaged so that it can only be read is
    // opened read only instead (omReadOnly). Returns why it is read only, one
    // line naming the file and the cause; "" when it opened for writing. A
    // file that can't be read either raises the first failure.
    std::string OpenWritableOrReadOnly(const std::string& path);

    // True when a project is open and its path is exactly `path` (no normalising).
    bool HoldsProject(const std::string& path) const;
    bool IsOpen() const { return doc_ != nullptr; }
    bool IsReadOnly() const { return doc_ && readOnly_; }
    const std::string& Path() const { return path_; }

    // Topics in list order.
    size_t TopicCount() const { return topics_.size(); }
    const TTopicNode& Topic(size_t index) const;
    TJSDataItem& Item(size_t index) const { return *Topic(index).Item; }
    int32_t TopicCounter() const { return counter_; }
    // The program's elements (font settings "0", topics 100 and up) that
    // could not be loaded when the project was opened; they stay in the file
    // as they are.
    const std::vector<std::string>& SkippedElements() const { return skipped_; }

    // Appends a topic named `name` (stored cut to 50 bytes) at the end of the
    // list and returns its index. The topic's stream is created whole, name
    // and all, in one step: a failure (or a process killed meanwhile) leaves
    // the file without it, or, when the failure came after the step that
    // made it live, with the whole topic. On failure the list is unchanged
    // and the error is raised.
    size_t AddTopic(const std::string& name);
    // Appends the topics at the end of the list, each with its text, all or
    // none, and returns their indexes. Each new topic's stream is written
    // whole under a name the list never shows ("Adding.N"); then they all
    // take their storage numbers in one change of the file, its last write.
    // Cut short at any write before it (a failure raised, or the process
    // killed), the file lists none of them; once it is made, all. With a
    // `title` and no title stream in the file, the title lands in the same
    // change. What an append cut short left is removed first.
    std::vector<size_t> AppendTopics(const std::vector<TNewTopic>& topics, const std::string& title = {});
    // Removes the topic: its stream is closed and destroyed, the file committed.
    void DeleteTopic(size_t index);
    // Renames the topic: its item stores the first 50 bytes (SetName), its
    // Name is `name` whole. A failure raises and keeps the old name.
    void RenameTopic(size_t index, const std::string& name);
    // Moves the topic at `from` to position `to` (positions in the list as
    // it is before the move). The list order is the storage-number order, so
    // the topics from `from` to `to` exchange storage numbers: the same set
    // of numbers, handed out again in the new order. The renaming is one
    // change of the file: cut short at any write, the file holds the old
    // order or the new one, every topic once with its own name and text.
    void MoveTopic(size_t from, size_t to);
    // Replaces the topic's text (TJSDataItem::SetText; a failure raises and keeps the old text).
    void CommitText(size_t index, const std::string& text);
    std::string GetText(size_t index) const;

    // The font choice and the use-custom-font switch (defaults until stream "0" exists).
    const TFontSettings& FontSettings() const { return font_; }
    // Rewrites stream "0" with `settings`.
    void SaveFontSettings(const TFontSettings& settings);

    // The layout stored in the project; none for a project without the
    // layout stream (or with one this version can't read), whose books are
    // built exactly as they were before there was a choice.
    std::optional<TReaderLayout> Layout() const { return layout_; }
    // Writes the layout stream.
    void SaveLayout(TReaderLayout layout);
    // The paragraph style stored in the project; none without the stream (or
    // with one this version can't read): the indent.
    std::optional<TParagraphStyle> Paragraphs() const { return paragraphs_; }
    // Writes the paragraphs stream.
    void SaveParagraphs(TParagraphStyle style);

    // The font sizes stored in the project, as stored ("11,14": digits,
    // commas and blanks only); none without the stream (or with another one).
    std::optional<std::string> SheetSizes() const { return sizes_; }
    // Writes the sizes stream.
    void SaveSheetSizes(const std::string& sizes);
    // Whether the words layout's texts get soft hyphens; none without the
    // stream (or with a word this version can't read): they do.
    std::optional<bool> Hyphens() const { return hyphens_; }
    // Writes the hyphens stream.
    void SaveHyphens(bool on);
    // The book's own name stored in the project; "" without the stream (or
    // with one this version can't read).
    const std::string& Title() const { return title_; }
    // Writes the title stream; refuses (volm::Error) an empty title, one
    // longer than kTitleMax bytes, or one that is not a line of UTF-8 text.
    void SaveTitle(const std::string& title);

    // The folder the book folder is made in, as stored; "" without the
    // stream (or with one this version can't read): beside the project file.
    const std::string& OutputFolder() const { return folder_; }
    // Writes the folder stream; refuses (volm::Error) a path that is not
    // absolute, too long, or not one line.
    void SaveOutputFolder(const std::string& folder);
    // The same without writing anything, for a project open read only: the
    // folder holds until the project is closed.
    void UseOutputFolder(const std::string& folder) { folder_ = folder; }
    // The builds counted so far (0 without the stream, or with one this
    // version can't read).
    uint64_t BuildCount() const { return builds_; }
    // Writes the builds stream (and commits). A failure raises and keeps the count.
    void SaveBuildCount(uint64_t count);

    // Closes every topic's stream, commits and closes the file. Raises a
    // commit failure (the project is closed all the same).
    void CloseProject();

    // The project window's Pack: closes the project, packs its file
    // (PackProject) and opens it again, also when packing failed (the file is
    // then as it was). A failure of either step is raised after the reopen.
    void Pack();

    TComponoundDocument* Document() const { return doc_.get(); }

private:
    void requireOpen() const;
    [[noreturn]] void fail(const std::string& what, const std::exception& e) const;
    // Writes a stream holding one word (the layout's, the paragraph style's).
    void saveWord(const char* stream, const std::string& word, const char* what);

    std::string path_;
    std::unique_ptr<TComponoundDocument> doc_;
    std::vector<TTopicNode> topics_;
    int32_t counter_ = 100;
    TFontSettings font_;
    std::optional<TReaderLayout> layout_;
    std::optional<TParagraphStyle> paragraphs_;
    std::optional<std::string> sizes_;
    std::optional<bool> hyphens_;
    uint64_t builds_ = 0;
    std::string title_;
    std::string folder_;
    std::vector<std::string> skipped_;
    bool readOnly_ = false;
};

// The longest title the project stores, in bytes.
inline constexpr size_t kTitleMax = 255;
// Why `title` can't be a project's title ("" when it can).
std::string TitleFault(const std::string& title);

// The longest folder the project stores, in bytes.
inline constexpr size_t kFolderMax = 4096;
// Why `folder` can't be stored as the folder a book is built in ("" when it can).
std::string OutputFolderFault(const std::string& folder);

// Parses an element name as the program's storage numbers are parsed: an
// optional sign and decimal digits, within 32 bits.
bool ParseStorageNumber(const std::string& name, int32_t& number);

} // namespace volm
