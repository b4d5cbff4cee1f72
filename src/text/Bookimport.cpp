#include "text/Bookimport.h"

#include "common/Codepage.h"
#include "common/Headingmark.h"
#include "text/Booklimits.h"
#include "text/Booktext.h"
#include "text/Detect.h"
#include "text/Epub.h"
#include "text/Fb2.h"
#include "text/Htmltext.h"
#include "text/Plainbook.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace volm {
namespace {

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && asciiLower(s.substr(s.size() - tail.size())) == tail;
}

std::string FileName(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

// The first bytes as ASCII can be searched: UTF-16 loses its zero bytes.
std::string SniffHead(std::string_view bytes)
{
    std::string_view head = bytes.substr(0, 65536);
    bool big = false;
    bool bom16 = head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF";
    if (bom16 || LooksLikeUtf16(head, big)) {
        if (bom16) {
            big = head[0] == '\xFE';
            head.remove_prefix(2);
        }
        std::string out;
        for (size_t i = big ? 1 : 0; i < head.size(); i += 2)
            out.push_back(head[i]);
        return out;
    }
    if (head.substr(0, 3) == "\xEF\xBB\xBF")
        head.remove_prefix(3);
    return std::string(head);
}

bool IsUtf16(std::string_view bytes)
{
    bool big = false;
    std::string_view head = bytes.substr(0, 65536);
    return head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF" || LooksLikeUtf16(head, big);
}

// Bytes that ordinary text never holds: NUL, and other control characters
// beyond one in a hundred (a heading mark at a line start is text: a topic's
// text written out holds them).
bool LooksBinary(std::string_view head)
{
    if (std::memchr(head.data(), 0, head.size()))
        return true;
    size_t controls = 0;
    bool lineStart = true;
    for (char ch : head) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1A && c != 0x1B &&
            !(lineStart && ch == kHeadingMark))
            ++controls;
        lineStart = c == '\n' || c == '\r';
    }
    return controls * 100 > head.size();
}

bool Blank(const std::string& s)
{
    return s.find_first_not_of(" \t") == std::string::npos;
}

std::string_view SkipBlanks(std::string_view s)
{
    size_t i = s.find_first_not_of(" \t\r\n");
    return i == std::string_view::npos ? std::string_view() : s.substr(i);
}

} // namespace

TBookFormat RecogniseBook(std::string_view bytes, std::string_view fileName)
{
    if (bytes.substr(0, 4) == "PK\x03\x04" || bytes.substr(0, 4) == "PK\x05\x06")
        return TBookFormat::Zip;
    std::string head = SniffHead(bytes);
    std::string lower = asciiLower(head);
    std::string_view start = SkipBlanks(head);
    bool markup = !start.empty() && start[0] == '<';
    if (markup) {
        for (size_t at = head.find("FictionBook"); at != std::string::npos; at = head.find("FictionBook", at + 1))
            if (at > 0 && (head[at - 1] == '<' || head[at - 1] == ':'))
                return TBookFormat::Fb2;
        if (EndsWith(fileName, ".fb2"))
            return TBookFormat::Fb2;
        if (lower.find("<html") != std::string::npos || lower.find("<!doctype html") != std::string::npos ||
            lower.find("<body") != std::string::npos || EndsWith(fileName, ".html") ||
            EndsWith(fileName, ".htm") || EndsWith(fileName, ".xhtml"))
            return TBookFormat::Html;
    }
    if (!IsUtf16(bytes) && LooksBinary(head))
        return TBookFormat::None;
    if (EndsWith(fileName, ".md") || EndsWith(fileName, ".markdown") || EndsWith(fileName, ".mkd") ||
        EndsWith(fileName, ".mdown"))
        return TBookFormat::Markdown;
    return TBookFormat::Text;
}

const char* BookFormatName(TBookFormat format)
{
    switch (format) {
    case TBookFormat::None: return "no book";
    case TBookFormat::Zip: return "ZIP archive";
    case TBookFormat::Fb2: return "FB2";
    case TBookFormat::Html: return "HTML";
    case TBookFormat::Markdown: return "Markdown";
    case TBookFormat::Text: return "plain text";
    }
    return "";
}

std::string TBook::NameSuggestion() const
{
    if (title.empty())
        return {};
    std::string s = author.empty() ? title : author + " - " + title;
    // Characters that file names on some systems can't hold.
    for (char& c : s)
        if (std::strchr("/\\:*?\"<>|", c) || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return CollapseBlanks(s);
}

std::string BookFileStem(const std::string& fileName)
{
    std::string name = FileName(fileName);
    size_t dot = name.find('.', 1);
    if (dot != std::string::npos)
        name.resize(dot);
    TBookTextWriter w;
    return CollapseBlanks(w(name));
}

bool ParseSplitSize(std::string_view text, size_t& size)
{
    if (text.empty() || text.size() > 12)
        return false;
    uint64_t unit = 1;
    char last = asciiLower(text.back());
    if (last == 'k' || last == 'm') {
        unit = last == 'k' ? 1024 : 1024 * 1024;
        text.remove_suffix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    uint64_t n = 0;
    for (char c : text)
        n = n * 10 + static_cast<uint64_t>(c - '0');
    if (n > (uint64_t(1) << 40) / unit)
        return false;
    size = static_cast<size_t>(n * unit);
    return true;
}

// ---------------------------------------------------------------------------
// The builder.

TBookBuilder::TBookBuilder() : outputLimit_(kMaxBookOutput)
{
    open_.chapter.front = true;
    open_.chapter.pieces.emplace_back();
}

void TBookBuilder::Limit(const std::string& fileName, uint64_t inputSize)
{
    file_ = fileName;
    outputLimit_ = BookOutputLimit(inputSize);
}

void TBookBuilder::add(const std::string& line, TKind kind)
{
    std::vector<std::string>& piece = open_.chapter.pieces.back();
    if (open_.pendingEmpty && !piece.empty()) {
        piece.emplace_back();
        output_ += kLineCost;
    }
    open_.pendingEmpty = false;
    output_ += line.size() + kLineCost; // with what holding a line costs
    if (output_ > outputLimit_)
        throw EBookError(file_ + ": the book's text passes the output size limit (" +
                         std::to_string(outputLimit_ >> 20) + " MB for this file)");
    piece.push_back(line);
    if (kind == kLead)
        open_.hasLead = true;
    if (kind == kBody)
        open_.hasBody = true;
}

void TBookBuilder::Title(const std::string& line)
{
    if (!Blank(line))
        add(kHeadingMark + line, kTitle); // marked for the reader
}

void TBookBuilder::Lead(const std::string& line)
{
    if (Blank(line))
        Empty();
    else
        add(line, kLead);
}

void TBookBuilder::Line(const std::string& line)
{
    if (Blank(line))
        Empty();
    else
        add(line, kBody);
}

void TBookBuilder::Empty()
{
    open_.pendingEmpty = true;
}

namespace {
// The chapters a chapter lies in that it keeps, the nearest first: what can
// tell namesakes apart in a name of 50 bytes.
constexpr size_t kNameLevels = 8;
} // namespace

namespace {
// Starts a note's place among a chapter's lines until the notes are placed;
// the text never holds control characters (Booktext.h), so no line of text
// starts with it.
constexpr char kNoteMark = '\x02';
constexpr char kNoteKeyMark = '\x1f';
} // namespace

namespace {
// "[1] Text.": a note's text after its label, unless the text starts with
// its number already ("1. Text.", "[1] Text.").
std::string NoteLine(const std::string& label, const std::string& text)
{
    if (text.compare(0, label.size(), label) == 0)
        return text;
    std::string bare = label;
    if (bare.size() > 2 && std::strchr("[{(", bare.front()))
        bare = bare.substr(1, bare.size() - 2);
    if (text.size() > bare.size() && text.compare(0, bare.size(), bare) == 0 &&
        std::strchr(" .)", text[bare.size()])) {
        size_t from = text.find_first_not_of(" .)", bare.size());
        return from == std::string::npos ? label : label + ' ' + text.substr(from);
    }
    return label + ' ' + text;
}
} // namespace

void TBookBuilder::NoteRef(const std::string& label, const std::string& key)
{
    std::vector<std::string>& piece = open_.chapter.pieces.back();
    piece.push_back(kNoteMark + label + kNoteKeyMark + key);
}

void TBookNotes::Add(const std::string& key, const std::string& line)
{
    if (line.empty())
        return;
    auto [it, added] = text.emplace(key, line);
    if (added)
        order.push_back(key);
    else
        it->second += (it->second.empty() ? "" : " ") + line;
}

void PlaceNotes(std::vector<TBookChapter>& chapters, const TBookNotes& notes, TNoteMode mode,
                const std::string& title)
{
    std::map<std::string, bool> placed;
    for (TBookChapter& ch : chapters) {
        std::vector<std::string> atEnd;
        for (auto& piece : ch.pieces) {
            std::vector<std::string> out;
            out.reserve(piece.size());
            for (std::string& l : piece) {
                if (l.empty() || l[0] != kNoteMark) {
                    out.push_back(std::move(l));
                    continue;
                }
                size_t split = l.find(kNoteKeyMark);
                std::string label = l.substr(1, split - 1);
                std::string key = split == std::string::npos ? std::string() : l.substr(split + 1);
                auto it = notes.text.find(key);
                if (it == notes.text.end())
                    continue;
                std::string line = NoteLine(label, it->second);
                // A note referred to twice is written once, at its first place.
                if (placed[key])
                    continue;
                placed[key] = true;
                (mode == TNoteMode::End ? atEnd : out).push_back(std::move(line));
            }
            piece = std::move(out);
        }
        if (!atEnd.empty() && !ch.pieces.empty()) {
            ch.pieces.back().emplace_back();
            for (std::string& l : atEnd)
                ch.pieces.back().push_back(std::move(l));
        }
    }
    TBookChapter rest;
    rest.name = title.empty() ? "Notes" : title;
    rest.pieces.emplace_back(1, kHeadingMark + rest.name);
    for (const std::string& key : notes.order) {
        if (placed[key])
            continue;
        std::string line = notes.text.at(key);
        if (auto l = notes.label.find(key); l != notes.label.end() && !l->second.empty())
            line = (std::strchr("[{(", l->second[0]) ? l->second : "[" + l->second + "]") + ' ' + line;
        rest.pieces[0].push_back(std::move(line));
    }
    if (rest.pieces[0].size() > 1)
        chapters.push_back(std::move(rest));
}

void TBookBuilder::Break()
{
    open_.pendingEmpty = false;
    if (!open_.chapter.pieces.back().empty())
        open_.chapter.pieces.emplace_back();
}

void TBookBuilder::close(int nextLevel)
{
    TOpen& o = open_;
    auto& pieces = o.chapter.pieces;
    pieces.erase(std::remove_if(pieces.begin(), pieces.end(), [](const auto& p) { return p.empty(); }),
                 pieces.end());
    if (pieces.empty())
        return;
    bool keep;
    if (o.chapter.front)
        keep = o.hasLead || o.hasBody; // the title alone is not kept
    else if (nextLevel == 0)
        keep = true; // the last chapter: nothing to hand its lines to
    else
        keep = o.hasBody || (o.hasLead && nextLevel <= o.level);
    if (keep) {
        done_.push_back(std::move(o.chapter));
        return;
    }
    if (o.chapter.front && (!carryFront_ || nextLevel == 0))
        return;
    // A run of chapters that are only their titles hands the lines on from
    // one to the next: moved whole, not line by line, so that the run costs
    // no more than its lines.
    if (carry_.empty() && pieces.size() == 1) {
        carry_ = std::move(pieces[0]);
    } else {
        for (auto& p : pieces)
            for (auto& l : p)
                carry_.push_back(std::move(l));
    }
    carryEmpty_ = o.pendingEmpty;
}

void TBookBuilder::Chapter(const std::string& name, int level)
{
    level = std::max(level, 1);
    if (++chapters_ > kMaxBookTopics)
        throw EBookError(file_ + ": more chapters than the limit of topics per book (" +
                         std::to_string(kMaxBookTopics) + ")");
    close(level);
    while (!stack_.empty() && stack_.back().first >= level)
        stack_.pop_back();
    open_ = TOpen{};
    open_.level = level;
    open_.chapter.name = name;
    // The nearest few are all a name can use (a topic name has 50 bytes).
    size_t from = stack_.size(), named = 0;
    while (from > 0 && named < kNameLevels)
        named += !stack_[--from].second.empty();
    for (size_t i = from; i < stack_.size(); ++i)
        if (!stack_[i].second.empty())
            open_.chapter.parents.push_back(stack_[i].second);
    open_.pendingEmpty = carryEmpty_ && !carry_.empty();
    open_.chapter.pieces.emplace_back(std::move(carry_));
    carry_.clear();
    carryEmpty_ = false;
    stack_.emplace_back(level, name);
}

void TBookBuilder::SetName(const std::string& name)
{
    open_.chapter.name = name;
    if (!stack_.empty() && stack_.back().first == open_.level)
        stack_.back().second = name;
}

std::vector<TBookChapter> TBookBuilder::Finish(const std::string& bookTitle, const std::string& fallback)
{
    close(0);
    std::vector<TBookChapter> chapters = std::move(done_);
    done_.clear();
    std::string title = CollapseBlanks(bookTitle);
    // Names: the front after the book; an untitled chapter after the chapter
    // it lies in (or the book), going on as a new piece of the chapter before
    // it when that has the same name.
    std::vector<TBookChapter> out;
    std::vector<bool> derived;
    size_t ordinal = 0;
    for (TBookChapter& ch : chapters) {
        ch.name = CollapseBlanks(ch.name);
        bool untitled = false;
        if (ch.front) {
            ch.name = !title.empty() ? title : chapters.size() == 1 && !fallback.empty() ? fallback : "Preface";
        } else {
            ++ordinal;
            if (ch.name.empty()) {
                untitled = true;
                ch.name = !ch.parents.empty() ? CollapseBlanks(ch.parents.back())
                          : !title.empty()     ? title
                          : !fallback.empty()  ? fallback
                                               : "Chapter " + std::to_string(ordinal);
            }
        }
        if (untitled && !out.empty() && out.back().name == ch.name && !out.back().front) {
            for (auto& p : ch.pieces)
                out.back().pieces.push_back(std::move(p));
            continue;
        }
        out.push_back(std::move(ch));
        derived.push_back(untitled);
    }
    // Titles that repeat get the titles of the chapters they lie in in front,
    // as many levels as tell them apart.
    std::map<std::string, std::vector<size_t>> byName;
    for (size_t i = 0; i < out.size(); ++i)
        if (!derived[i] && !out[i].front)
            byName[out[i].name].push_back(i);
    for (auto& entry : byName) {
        const std::string& name = entry.first;
        const std::vector<size_t>& idx = entry.second;
        if (idx.size() < 2)
            continue;
        size_t most = 0;
        for (size_t i : idx)
            most = std::max(most, out[i].parents.size());
        auto named = [&](size_t i, size_t depth) {
            const auto& ps = out[i].parents;
            std::vector<std::string> parts(ps.end() - static_cast<long>(std::min(depth, ps.size())), ps.end());
            parts.push_back(name);
            return JoinTitle(parts);
        };
        size_t depth = 1;
        for (; depth < most; ++depth) {
            std::map<std::string, int> seen;
            bool distinct = true;
            for (size_t i : idx)
                distinct &= ++seen[named(i, depth)] == 1;
            if (distinct)
                break;
        }
        for (size_t i : idx)
            out[i].name = named(i, depth);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Topics.

std::string JoinBookLines(const std::vector<std::string>& lines)
{
    size_t n = 0;
    for (const std::string& l : lines)
        n += l.size() + 2;
    std::string out;
    out.reserve(n);
    for (const std::string& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

size_t ChapterSize(const TBookChapter& chapter)
{
    size_t n = 0;
    for (const auto& p : chapter.pieces)
        for (const std::string& l : p)
            n += l.size() + 2;
    return n;
}

std::vector<std::string> SplitParts(const std::vector<std::string>& lines, size_t limit)
{
    limit = std::max<size_t>(limit, 3);
    const size_t room = limit - 2; // a line's bytes before its CR LF
    std::vector<std::string> parts;
    std::string cur;
    bool pendingEmpty = false;
    auto flush = [&] {
        if (!cur.empty())
            parts.push_back(std::move(cur));
        cur.clear();
        pendingEmpty = false;
    };
    for (const std::string& line : lines) {
        if (line.empty()) {
            pendingEmpty = !cur.empty();
            continue;
        }
        if (line.size() <= room) {
            size_t need = line.size() + 2 + (pendingEmpty ? 2 : 0);
            if (cur.size() + need > limit)
                flush();
            if (pendingEmpty)
                cur += "\r\n";
            pendingEmpty = false;
            cur += line;
            cur += "\r\n";
            continue;
        }
        // A paragraph longer than a part: cut at word boundaries.
        flush();
        std::string_view rest(line);
        while (!rest.empty()) {
            std::string_view chunk = rest;
            if (rest.size() > room) {
                size_t cut = rest.substr(0, room + 1).find_last_of(' ');
                if (cut == std::string_view::npos || cut == 0)
                    cut = room;
                chunk = rest.substr(0, cut);
                while (!chunk.empty() && chunk.back() == ' ')
                    chunk.remove_suffix(1);
                rest.remove_prefix(cut);
                size_t skip = rest.find_first_not_of(' ');
                rest.remove_prefix(skip == std::string_view::npos ? rest.size() : skip);
                if (chunk.empty())
                    continue;
                cur.assign(chunk);
                cur += "\r\n";
                flush();
            } else {
                cur.assign(chunk);
                cur += "\r\n";
                rest = {};
            }
        }
    }
    flush();
    return parts;
}

std::vector<TBookTopic> ChapterTopics(const TBookChapter& chapter, size_t splitAt)
{
    std::vector<std::string> texts;
    for (const auto& piece : chapter.pieces) {
        if (splitAt == 0) {
            if (!piece.empty())
                texts.push_back(JoinBookLines(piece));
            continue;
        }
        for (std::string& t : SplitParts(piece, splitAt))
            texts.push_back(std::move(t));
    }
    std::vector<TBookTopic> out;
    if (texts.size() == 1) {
        out.push_back({CutText(chapter.name, kTopicNameBytes), std::move(texts[0])});
        return out;
    }
    // The part number stays whole; the name gives way.
    const std::string longest = " (" + std::to_string(texts.size()) + ")";
    const std::string base = CutText(chapter.name, kTopicNameBytes - std::min(kTopicNameBytes, longest.size()));
    for (size_t i = 0; i < texts.size(); ++i)
        out.push_back({base + " (" + std::to_string(i + 1) + ")", std::move(texts[i])});
    return out;
}

std::vector<TBookTopic> BookTopics(const TBook& book, size_t splitAt, const std::string& fileName)
{
    std::vector<TBookTopic> out;
    for (const TBookChapter& ch : book.chapters)
        for (TBookTopic& t : ChapterTopics(ch, splitAt)) {
            if (out.size() == kMaxBookTopics)
                throw EBookError(fileName + ": more than the limit of topics per book (" +
                                 std::to_string(kMaxBookTopics) + "); a larger --split-at gives fewer");
            out.push_back(std::move(t));
        }
    return out;
}

std::string BookLimitsHelp()
{
    auto mb = [](uint64_t n) { return std::to_string(n >> 20) + " MB"; };
    return "A book file is read up to " + mb(kMaxBookFileSize) + " (a plain text " + mb(kMaxBookTextSize) +
           ", Markdown " + mb(kMaxMarkdownSize) + ").\n"
           "Limits, past which a book is refused with the limit named:\n"
           "  topics per book: " + std::to_string(kMaxBookTopics) + "\n"
           "  output size: " + std::to_string(kMaxOutputRatio) + " times the file plus " + mb(kMaxOutputBase) +
           ", " + mb(kMaxBookOutput) + " at most\n"
           "  members of an EPUB or zipped FB2: " + std::to_string(kMaxBookMembers) + "\n"
           "  spine items of an EPUB: " + std::to_string(kMaxSpineItems) + "; navigation entries: " +
           std::to_string(kMaxNavEntries) + "\n"
           "  nesting of elements (XML, HTML, Markdown): " + std::to_string(kMaxNesting) + " levels\n"
           "  --chapters pattern: " + std::to_string(kMaxPatternSize) + " bytes, " + mb(uint64_t(kMaxPatternMemory)) +
           " of automaton\n";
}

void AddAnnotation(TBook& book, const std::vector<std::string>& lines)
{
    TBookChapter about;
    about.pieces.emplace_back();
    for (const std::string& l : lines)
        if (!Blank(l))
            about.pieces[0].push_back(l);
    if (about.pieces[0].empty())
        return;
    // The language of the book: Cyrillic letters against Latin ones in its
    // first 64 KB.
    size_t cyrillic = 0, latin = 0, seen = 0;
    for (const TBookChapter& ch : book.chapters)
        for (const auto& piece : ch.pieces)
            for (const std::string& l : piece) {
                if (seen > 65536)
                    break;
                seen += l.size();
                for (char c : l) {
                    auto u = static_cast<unsigned char>(c);
                    cyrillic += u >= 0xC0 || u == 0xA8 || u == 0xB8;
                    latin += (u | 0x20) >= 'a' && (u | 0x20) <= 'z';
                }
            }
    about.name = cyrillic > latin ? "\xc0\xed\xed\xee\xf2\xe0\xf6\xe8\xff" : "About this book";
    book.chapters.insert(book.chapters.begin(), std::move(about));
}

std::vector<std::string> TopicNotes(const TBook& book, const std::vector<TBookTopic>& topics)
{
    std::vector<std::string> out;
    if (book.chapters.size() == 1 && topics.size() > 1)
        out.push_back("the book has no chapter headings: \"" + cp1251ToUtf8(book.chapters[0].name) +
                      "\" is split by size into " + std::to_string(topics.size()) + " topics");
    for (const TBookTopic& t : topics)
        if (t.text.size() > kLargeTopicSize)
            out.push_back("a large topic: \"" + cp1251ToUtf8(t.name) + "\", " + std::to_string(t.text.size()) +
                          " bytes (" + std::to_string((t.text.size() + 1023) / 1024) + " KB)");
    return out;
}

// ---------------------------------------------------------------------------
// Reading.

namespace {

void RequireText(const TBook& book, const std::string& fileName)
{
    if (book.chapters.empty())
        throw EBookError(fileName + ": the book holds no text (" + book.format + ")");
}

void RequireTextSize(std::string_view bytes, const std::string& fileName, TBookFormat format)
{
    const uint64_t most = format == TBookFormat::Markdown ? kMaxMarkdownSize : kMaxBookTextSize;
    if (bytes.size() > most)
        throw EBookError(fileName + ": too large for " + BookFormatName(format) + " (" +
                         std::to_string(most >> 20) + " MB at most)");
}

} // namespace

TBook ImportBook(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    switch (TBookFormat f = RecogniseBook(bytes, FileName(fileName))) {
    case TBookFormat::None:
        throw EBookError(fileName + ": not a book: neither FB2, EPUB, HTML, Markdown nor plain text (it holds "
                                    "binary data)");
    case TBookFormat::Zip:
        throw EBookError(fileName + ": a ZIP archive, to be read as a container");
    case TBookFormat::Fb2:
        book = ImportFb2(bytes, fileName, options);
        break;
    case TBookFormat::Html:
        book = ImportHtml(bytes, fileName, options);
        break;
    case TBookFormat::Markdown:
        RequireTextSize(bytes, fileName, f);
        book = ImportMarkdown(bytes, fileName, options);
        break;
    case TBookFormat::Text:
        RequireTextSize(bytes, fileName, f);
        book = ImportPlainText(bytes, fileName, options);
        break;
    }
    RequireText(book, fileName);
    return book;
}

TBook ImportBookContainer(TBookContainer& container, const std::string& fileName, const TBookOptions& options)
{
    std::vector<std::string> names = container.Names();
    if (names.size() > kMaxBookMembers)
        throw EBookError(fileName + ": more members than the limit of " + std::to_string(kMaxBookMembers) +
                         " a book's archive may hold (" + std::to_string(names.size()) + ")");
    bool epub = false, mimetype = false;
    std::vector<std::string> fb2;
    for (const std::string& n : names) {
        if (n == "META-INF/container.xml")
            epub = true;
        // Only the first member of the name is read (it is the first member
        // of an EPUB), however many the archive repeats.
        if (n == "mimetype" && !mimetype) {
            mimetype = true;
            if (container.Read(n).compare(0, 20, "application/epub+zip") == 0)
                epub = true;
        }
        if (EndsWith(n, ".fb2"))
            fb2.push_back(n);
    }
    TBook book;
    if (epub) {
        book = ImportEpub(container, fileName, options);
    } else if (!fb2.empty()) {
        std::string bytes = container.Read(fb2[0]);
        book = ImportFb2(bytes, fileName + ": " + fb2[0], options);
        book.format = "FB2 (zipped)";
        if (fb2.size() > 1)
            book.notes.push_back(fileName + " holds " + std::to_string(fb2.size()) + " FB2 files; only " + fb2[0] +
                                 " was read");
    } else {
        throw EBookError(fileName + ": a ZIP archive that is neither an EPUB nor a zipped FB2");
    }
    RequireText(book, fileName);
    return book;
}

} // namespace volm
