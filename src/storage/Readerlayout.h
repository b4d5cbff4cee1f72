#pragma once
// How the phone reader lays out a topic text: rows of exactly as many bytes
// as fit, line ends as blank cells (grid), or rows broken at blanks and line
// ends (words). The project keeps the choice in its "Layout" stream and the
// book carries it in layout.txt, both as the word LayoutName gives.
//
// In the words layout a paragraph (a line of the text) starts with an indent
// of its first row or after a small gap: the project keeps that choice in its
// "Paragraphs" stream and layout.txt carries it, as the word ParagraphsName
// gives. A project without the stream builds with the indent.

#include <string_view>

namespace volm {

enum class TReaderLayout { Grid, Words };

inline const char* LayoutName(TReaderLayout layout)
{
    return layout == TReaderLayout::Words ? "words" : "grid";
}

// "words" or "grid", exactly; false for anything else.
inline bool ParseLayoutName(std::string_view name, TReaderLayout& layout)
{
    if (name == "words")
        layout = TReaderLayout::Words;
    else if (name == "grid")
        layout = TReaderLayout::Grid;
    else
        return false;
    return true;
}

enum class TParagraphStyle { Indent, Gap };

inline const char* ParagraphsName(TParagraphStyle style)
{
    return style == TParagraphStyle::Gap ? "gap" : "indent";
}

// "indent" or "gap", exactly; false for anything else.
inline bool ParseParagraphsName(std::string_view name, TParagraphStyle& style)
{
    if (name == "indent")
        style = TParagraphStyle::Indent;
    else if (name == "gap")
        style = TParagraphStyle::Gap;
    else
        return false;
    return true;
}

} // namespace volm
