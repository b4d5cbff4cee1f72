#pragma once
// The book's data files that the phone reader reads from its jar, made in
// memory (the build packs them straight into the jar):
//   topics.txt     one line per topic: its name, then CR LF
//   files.txt      one line per topic: "/texts/itm" + topic number, then CR LF
//   texts/itmN     topic N's text with every CR byte removed, nothing appended
//   appname.txt    the book name, then CR LF
//   layout.txt     only when a layout is chosen, each line ending in CR LF:
//                  its word ("words" or "grid"), the paragraph style ("indent"
//                  or "gap"), the note an empty topic shows ("Empty", or
//                  "Пусто" for a book named mostly in Cyrillic), then one line
//                  per text in menu order: its size in bytes, a blank and the
//                  topic's stable id (see TopicIds)
// A line of a topic text that starts with byte 0x01 (kHeadingMark) is a
// heading. The words layout keeps the mark for the reader; the grid layout
// (and a book without a layout) drops it, so that its books stay as they were.
// In the words layout a text longer than kTextPiece bytes is stored in pieces
// of that size: texts/itmN, texts/itmN_1, texts/itmN_2, ... (files.txt names
// only texts/itmN).
// Topic numbers are 1-based positions in the topic sequence. Names and texts
// are written as the project holds them (Windows-1251), without conversion.

#include "common/Headingmark.h"
#include "storage/Readerlayout.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm {

// The topics of a book in book order, read one at a time so that a large book
// is never held in memory as a whole.
class ITopicSequence {
public:
    virtual ~ITopicSequence() = default;
    virtual size_t Count() const = 0;
    virtual std::string Name(size_t i) = 0;   // i counts from 0
    virtual std::string Text(size_t i) = 0;
};

// A topic sequence held in memory (names and texts as pairs).
class TTopicList : public ITopicSequence {
public:
    TTopicList() = default;
    TTopicList(std::initializer_list<std::pair<std::string, std::string>> topics) : topics_(topics) {}
    void Add(std::string name, std::string text) { topics_.emplace_back(std::move(name), std::move(text)); }
    size_t Count() const override { return topics_.size(); }
    std::string Name(size_t i) override { return topics_[i].first; }
    std::string Text(size_t i) override { return topics_[i].second; }

private:
    std::vector<std::pair<std::string, std::string>> topics_;
};

// The title line of a topic, without its line end. The reader counts only
// non-empty lines and a line ends at CR or LF, so a name that is empty or
// holds line breaks would put every later title over the wrong text: line
// breaks become blanks, and an empty name is written as a single blank.
std::string TitleLine(std::string_view name);

inline constexpr uint64_t kTextPiece = 16384;

// A topic text as the reader gets it: every CR byte removed, and with
// `dropMarks` the heading mark that starts a line.
std::string ReaderText(std::string_view text, bool dropMarks = false);

// What the book data needs beyond the texts, for layout.txt.
struct TLayoutData {
    TReaderLayout layout = TReaderLayout::Grid;
    TParagraphStyle paragraphs = TParagraphStyle::Indent;
    std::string emptyNote;   // Windows-1251
};

// The stable id of each topic, from its name (as the project stores it):
// the lower-case hex of h = h * 31 + byte over the name's bytes (unsigned,
// modulo 2^32, from 0), and ".K" appended for the K-th later namesake. The
// ids don't depend on a topic's position, only on its name and earlier
// namesakes, so that the reader keeps its places when topics move.
std::vector<std::string> TopicIds(const std::vector<std::string>& names);

// The note an empty topic shows: "Пусто" (Windows-1251) when the names hold
// more Cyrillic letters than Latin ones, else "Empty".
std::string EmptyNote(const std::vector<std::string>& names);

// The number of jar members a text of `size` bytes takes (pieces in the
// words layout), and the name of piece k (0 for the first) of text N.
uint64_t TextPieces(TReaderLayout layout, uint64_t size);
std::string TextPieceName(size_t number, uint64_t piece);

// The contents of the data files, built in memory: a line of a file written
// in text mode (every LF becomes CR LF, and CR LF is appended), topics.txt for
// the given names, files.txt for `count` topics, appname.txt, layout.txt for
// the given text sizes in topic order, and the jar entry of topic N's text.
std::string TextModeLine(std::string_view s);
std::string TopicsText(const std::vector<std::string>& names);
std::string FilesText(size_t count);
std::string AppNameText(std::string_view bookName);
// layout.txt: `ids` pairs with `textSizes`.
std::string LayoutText(const TLayoutData& data, const std::vector<uint64_t>& textSizes,
                       const std::vector<std::string>& ids);
std::string TextEntryName(size_t number);

} // namespace volm
