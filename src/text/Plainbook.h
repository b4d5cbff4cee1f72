#pragma once
// Plain-text books: split at heading lines.
//
// The built-in headings, each a whole line (blanks around it ignored):
//  - chapters: "Глава", "ГЛАВА", "Chapter" or "CHAPTER" with a number (digits,
//    a Roman numeral, or a word such as "первая" or "One"), then nothing, or
//    punctuation (". : - – —") and a title, or (after digits or a numeral) a
//    blank and a title that starts with a capital or a quote; "Пролог", "Эпилог", "Предисловие", "Послесловие",
//    "Prologue", "Epilogue" alone (either case);
//  - parts, one level above chapters: "Часть", "ЧАСТЬ", "Part" or "PART"
//    with a number in the same forms;
//  - a Roman numeral alone (Cyrillic Х, І, С and М count as their Latin twins);
//  - separators: three or more "*" with blanks between them ("* * *"); the
//    text after one goes on as a new piece of the chapter.
// A heading with a title after its number is taken only where it stands
// apart (an empty line, a heading or the text's edge before or after it), so
// that a wrapped line of prose that happens to begin "Part 2 of the plan" is
// not one. Only lines of at most 200 bytes are headings.
//
// A pattern of the user's own (ECMAScript, matched against the whole line
// with its outer blanks removed) replaces all of these; each line it matches
// starts a chapter named after the line.
//
// The lines before the first heading are the title when they are one to
// three short lines (80 bytes at most); the first of them is the book's title.
// Runs of empty lines become one; blanks at the ends of lines are dropped.
// Unless the lines are to be kept, a hard-wrapped text is repaired (Rewrap.h).

#include "text/Bookimport.h"

#include <string>
#include <string_view>

namespace volm {

enum class TPlainHeading { None, Part, Chapter, Separator };

// What the built-in rules make of one line (outer blanks removed, Windows-1251).
// `bare` says the heading holds no title of its own ("Глава 5", "IV").
TPlainHeading DefaultHeading(std::string_view line, bool& bare);

TBook ImportPlainText(std::string_view bytes, const std::string& fileName, const TBookOptions& options);

} // namespace volm
