#pragma once
// Line rules for texts that the editor loads and stores, and for topic-list files.
//
// A line ends at CR LF, at a lone LF or at a lone CR. Two views of a text:
//  - list lines (SplitLines): what a topic-list file holds, one topic name per
//    line; a break at the very end adds no empty line, and the text ends at the
//    first NUL byte;
//  - paragraphs (SplitParagraphs): what the editor shows; every break starts a
//    new paragraph, so a text that ends with a break has an empty last one.
// The editor stores its paragraphs with JoinLines: each followed by CR LF, the
// last too, an empty last paragraph not counted.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// The largest text or topic-list file that is loaded.
inline constexpr uint64_t kMaxTextFileSize = 64u << 20;

// The lines of a topic-list file.
std::vector<std::string> SplitLines(std::string_view bytes);

// The editor's paragraphs of a text (no NUL cut: the caller decides).
// An empty text is one empty paragraph.
std::vector<std::string> SplitParagraphs(std::string_view bytes);

// The stored form of the editor's paragraphs: each followed by CR LF, the last
// too; an empty last paragraph is not counted; no paragraphs give the empty text.
std::string JoinLines(const std::vector<std::string>& lines);

// The offset of the first NUL byte of `bytes`, or std::string_view::npos.
size_t FirstNul(std::string_view bytes);

// What the user is told when a loaded text or list ends at a NUL byte at
// file offset `at`: "cut at byte N: the file holds NUL bytes (a binary file?)".
std::string NulCutNote(size_t at);

// A loaded text as the editor stores it: the text ends at the first NUL byte
// (the editor holds no NUL), every line break becomes CR LF and a last line
// without a break gets one. Same result as JoinLines(SplitParagraphs(cut text)).
std::string NormalizeLineEnds(std::string_view bytes);

} // namespace volm
