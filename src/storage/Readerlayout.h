#pragma once
// How the phone reader lays out a topic text: rows of exactly as many bytes
// as fit, line ends as blank cells (grid), or rows broken at blanks and line
// ends (words). The project keeps the choice in its "Layout" stream and the
// book carries it in layout.txt, both as the word LayoutName gives.

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

} // namespace volm
