#pragma once
// Plain-text books: split at heading lines.
//
// The built-in headings, each a whole line (blanks around it ignored, the
// keywords in any case):
//  - chapters: "Глава" or "Chapter" with a number (digits, a Roman numeral,
//    or a word such as "первая" or "One"), then nothing, or punctuation
//    (". : - – —") and a title, or (after digits or a numeral) a blank and a
//    title that starts with a capital or a quote; the front and back matter
//    alone: "Пролог", "Эпилог", "Предисловие", "Послесловие", "Заключение",
//    "Вступление", "Введение", "От автора", "Prologue", "Epilogue", "Preface",
//    "Foreword", "Introduction", "Afterword", "Conclusion", ...;
//  - parts, one level above chapters: "Часть" or "Part" with a number in the
//    same forms; "Книга", "Том", "Book" or "Volume" with a numeral or an
//    ordinal ("КНИГА ПЕРВАЯ", "VOLUME II");
//  - a Roman numeral alone (Cyrillic Х, І, С and М count as their Latin twins);
//  - scene breaks: three or more "*" with blanks between them ("* * *"); they
//    start no chapter and stay in the text as a line of their own.
// Three or more headings with only empty lines between them are a contents
// list: all but the last stay as text. Of a Project Gutenberg text only what
// lies between its "*** START OF" and "*** END OF" lines is read.
// A heading with a title after its number is taken only where it stands
// apart (an empty line, a heading or the text's edge before or after it), so
// that a wrapped line of prose that happens to begin "Part 2 of the plan" is
// not one. Only lines of at most 200 bytes are headings.
//
// A pattern of the user's own (RE2's syntax, over Windows-1251 bytes,
// matched against the whole line with its outer blanks removed) replaces all
// of these; each line it matches starts a chapter named after the line.
// Matching takes time linear in the line whatever the pattern (no
// backtracking); a pattern RE2 refuses, or one longer than kMaxPatternSize,
// is refused with its cause.
//
// The lines before the first heading are the title when they are one to
// three short lines (80 bytes at most); the first of them is the book's title.
// Runs of empty lines become one; blanks at the ends of lines are dropped.
// Unless the lines are to be kept, a hard-wrapped text is repaired (Rewrap.h).

#include "text/Bookimport.h"
#include "text/Booklimits.h"

#include <string>
#include <string_view>

namespace volm {

enum class TPlainHeading { None, Part, Chapter, Separator };

// What the built-in rules make of one line (outer blanks removed, Windows-1251).
// `bare` says the heading holds no title of its own ("Глава 5", "IV").
TPlainHeading DefaultHeading(std::string_view line, bool& bare);

// "" when `pattern` (Windows-1251) can be a heading pattern, else why not
// ("missing ): (", "too large ...").
std::string ChapterPatternFault(const std::string& pattern);

TBook ImportPlainText(std::string_view bytes, const std::string& fileName, const TBookOptions& options);

} // namespace volm
