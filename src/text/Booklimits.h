#pragma once
// The limits every book import keeps, in one place.
//
// Whatever a book file holds, reading it ends within about 10 s per MB of
// input (60 s at most) with at most 16 times its size plus 64 MB of memory,
// or it is refused with a message naming the limit it passed. What the
// readers hold is bounded by these:
//  - the file itself (kMaxBookFileSize), a plain text and a Markdown text
//    (kMaxBookTextSize, kMaxMarkdownSize in Bookimport.h);
//  - topics per book (chapters and the parts a split makes of them);
//  - the text a book gives (its topics' bytes together, each line and each
//    paragraph of a document counted with what holding it costs): a few
//    times the input, so that a small file can't expand into gigabytes; the
//    members of an archive inflate to no more than that together;
//  - members of a container (EPUB, zipped FB2), items of an EPUB's spine and
//    entries of its navigation;
//  - nesting: the depth of elements in XML, HTML and Markdown;
//  - the user's heading pattern: its length and the memory its automaton takes.
// `volm-cli import-book --help` names them (BookLimitsHelp).

#include <cstddef>
#include <cstdint>
#include <string>

namespace volm {

inline constexpr size_t kMaxBookTopics = 10000;
// The text a book may give: kMaxOutputRatio times its input plus
// kMaxOutputBase, and never more than kMaxBookOutput.
inline constexpr uint64_t kMaxOutputRatio = 8;
inline constexpr uint64_t kMaxOutputBase = 16u << 20;
inline constexpr uint64_t kMaxBookOutput = 256u << 20;
inline constexpr size_t kMaxBookMembers = 100000;
inline constexpr size_t kMaxSpineItems = 10000;
inline constexpr size_t kMaxNavEntries = 100000;
inline constexpr size_t kMaxNesting = 256;
inline constexpr size_t kMaxPatternSize = 4096;
inline constexpr int64_t kMaxPatternMemory = 8 << 20;

// The text a book of `inputSize` bytes may give (0: the size is not known).
inline uint64_t BookOutputLimit(uint64_t inputSize)
{
    if (inputSize == 0 || inputSize >= kMaxBookOutput / kMaxOutputRatio)
        return kMaxBookOutput;
    uint64_t n = inputSize * kMaxOutputRatio + kMaxOutputBase;
    return n < kMaxBookOutput ? n : kMaxBookOutput;
}

// The limits in words, one line each, for the help of the import commands.
std::string BookLimitsHelp();

} // namespace volm
