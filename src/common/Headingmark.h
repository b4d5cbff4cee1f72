#pragma once
// The byte that marks a line of a topic text as a heading when it is the
// line's first byte. Texts never hold it there on their own (it is a control
// character no importer or editor writes), so older readers and the grid
// layout, which drop or show it as a blank cell, lose nothing.

namespace volm {

inline constexpr char kHeadingMark = '\x01';

} // namespace volm
