#pragma once
// The book's data files that the phone reader reads from its jar, made in
// memory (the build packs them straight into the jar):
//   topics.txt     one line per topic: its name, then CR LF
//   files.txt      one line per topic: "/texts/itm" + topic number, then CR LF
//   texts/itmN     topic N's text with every CR byte removed, nothing appended
//   appname.txt    the book name, then CR LF
//   layout.txt     only when a layout is chosen: its word ("words" or "grid"),
//                  then the size in bytes of each text file in topic order,
//                  each line ending in CR LF
// Topic numbers are 1-based positions in the topic sequence. Names and texts
// are written as the project holds them (Windows-1251), without conversion.

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

// A topic text as the reader gets it: every CR byte removed.
std::string ReaderText(std::string_view text);

// The contents of the data files, built in memory: a line of a file written
// in text mode (every LF becomes CR LF, and CR LF is appended), topics.txt for
// the given names, files.txt for `count` topics, appname.txt, layout.txt for
// the given text sizes in topic order, and the jar entry of topic N's text.
std::string TextModeLine(std::string_view s);
std::string TopicsText(const std::vector<std::string>& names);
std::string FilesText(size_t count);
std::string AppNameText(std::string_view bookName);
std::string LayoutText(TReaderLayout layout, const std::vector<uint64_t>& textSizes);
std::string TextEntryName(size_t number);

} // namespace volm
