#pragma once
// Repair of hard-wrapped plain texts.
//
// Many plain-text books are wrapped at 60-80 columns; on a phone screen of 20
// columns every such line ends in a half-empty row. A text counts as wrapped
// when most lines that another line of the same paragraph follows end near
// one width (the width: what all but the longest 2 % of its lines fit in; near:
// within a quarter of it), when most of those lines end inside a sentence
// (a text of one paragraph a line, its lines of even length by chance, ends
// nearly all of them with a sentence), and when there are enough such lines
// (5). Lines whose paragraphs are already one line each are left as they are.
//
// In a wrapped text a line is joined to the next when the next line belongs
// to the same paragraph (it is not empty, not indented, not a heading) and
// the break was the wrapper's: the next line's first word would not have fit
// on the line. A break where the word would have fit (the end of a paragraph
// or a sentence, a line of verse) stays. A word hyphenated across the break
// is rejoined without its hyphen where the hyphen is the line's last
// character and both halves are lower-case letters; with another hyphen
// ("Санкт-" / "Петербург") the hyphen stays and no space is put in. The
// joined paragraphs lose the indentation that marked them.

#include <cstddef>
#include <string>
#include <vector>

namespace volm {

struct TWrapLine {
    std::string text;   // Windows-1251, without its line break
    bool fixed = false; // a heading or separator: never joined
};

struct TRewrapResult {
    bool wrapped = false;  // the text was found hard-wrapped
    size_t width = 0;      // the width it was wrapped at
    size_t joined = 0;     // line breaks removed
};

// Joins the wrapped lines of `lines` in place.
TRewrapResult Rewrap(std::vector<TWrapLine>& lines);

} // namespace volm
