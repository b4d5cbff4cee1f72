#pragma once
// HTML (and EPUB's XHTML, and Markdown made into HTML) as text by blocks.
//
// Block elements (p, div, h1-h6, li, blockquote, pre, tr, dt, dd, section,
// ...) and br end a paragraph; inline markup is dropped and its text kept;
// runs of blanks become one space (inside pre, lines stay as they are);
// entities are decoded by the parser. Scripts, styles, the head (but for its
// title), templates, SVG and nav elements are dropped. Table cells are
// joined with " | ". Contents lists (three or more paragraphs in a row that
// are links and nothing else, with a "Contents" heading right before them)
// are dropped.
//
// A single HTML document (and Markdown) is split at the highest heading
// level that occurs more than once; a lone heading of a higher level that
// opens the document is the book's title.

#include "text/Bookimport.h"
#include "text/Booklimits.h"
#include "text/Booktext.h"

#include <string>
#include <string_view>
#include <vector>

namespace volm {

struct THtmlBlock {
    int heading = 0;  // 1 to 6 for a line of an h1-h6, 0 for other text
    int group = 0;    // lines of one heading element share a number
    bool link = false; // all its text lies in links (href)
    std::string text; // Windows-1251, one paragraph
    std::vector<std::string> ids; // anchors (id, a name) met since the block before, as written
    // Its note references: the label as the text shows it ("[1]",
    // Windows-1251) and the link, as written.
    std::vector<std::pair<std::string, std::string>> noteRefs;
};

struct THtmlText {
    std::string title; // the head's title, Windows-1251
    std::vector<THtmlBlock> blocks;
    std::vector<std::pair<std::string, std::string>> notes; // id as written, the note's text (Windows-1251)
};

// The blocks of an HTML document (UTF-8), its text written with `writer`.
// With `notes`, note references (epub:type or role "noteref", or a link of
// class "fnanchor" or "noteref") are bracketed ("[1]") and noted with their
// block, and notes (aside, epub:type or role "footnote", "endnote",
// "rearnote", or a div, p or li of class "footnote") are read into the notes,
// not blocks. A single HTML document places them as an EPUB does (after the
// paragraph that refers to them, at the chapter's end, or left as they stand
// with the notes topic mode).
// The blocks may cost `limit` bytes (their text and what holding each one
// costs); past that the document is refused (EBookError naming the output
// size limit).
THtmlText HtmlBlocks(std::string_view utf8, const std::string& fileName, TBookTextWriter& writer,
                     bool notes = false, uint64_t limit = kMaxBookOutput);

// The blocks of a Markdown text (UTF-8), read as the HTML cmark makes of it
// would be (raw HTML left out). A text nested deeper than kMaxNesting
// (Booklimits.h) is refused (EBookError naming `fileName`).
THtmlText MarkdownBlocks(std::string_view utf8, const std::string& fileName, TBookTextWriter& writer,
                         uint64_t limit = kMaxBookOutput);

// The name of the heading whose first line is blocks[i]: its lines joined with ". ".
std::string HeadingName(const std::vector<THtmlBlock>& blocks, size_t i);

// Joins title lines into one name with ". " (no second stop after one that
// ends in punctuation).
std::string JoinTitle(const std::vector<std::string>& lines);

TBook ImportHtml(std::string_view bytes, const std::string& fileName, const TBookOptions& options);
TBook ImportMarkdown(std::string_view bytes, const std::string& fileName, const TBookOptions& options);

} // namespace volm
