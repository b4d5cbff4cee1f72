#pragma once
// The font of a words-layout book: up to three sizes, smallest first, each an
// image images/FontN.png and its map images/FontN.map (N = 1, 2, 3).
//
// The image holds only the glyphs of the bytes the book uses, packed left to
// right in rows at most kSheetRowWidth pixels wide, each row H pixels high
// (H, the line height, is the size in pixels). A glyph's rectangle is as wide
// as its advance and H high, the glyph drawn at its pen position on the
// baseline (no kerning). The image is a palette PNG (colour type 3) of 4
// bits a pixel (1 where the renderer draws two shades only): entry 0 is the white background, the others the shades
// towards the ink colour, and nothing else in it depends on colours (the
// reader rewrites the palette for night reading).
//
// The map, 1025 bytes: byte 0 = H; then for each byte 0..255 four bytes: x
// (big-endian, 2 bytes), row (the rectangle's top is row * H), advance (the
// rectangle's width and the pen advance). Advance 0: the byte is not in the
// image and takes no room (the control bytes, the heading mark, the soft
// hyphen and bytes the book never uses).

#include "common/Codepage.h"
#include "storage/Fontsettings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

inline constexpr int kSheetRowWidth = 128;
inline constexpr int kMinSheetSize = 6;
inline constexpr int kMaxSheetSize = 48;
inline constexpr size_t kMaxSheetSizes = 3;
inline constexpr size_t kFontMapSize = 1 + 4 * 256;

// The sizes a book gets unless its project says otherwise.
inline const std::vector<int> kDefaultSheetSizes{11, 14};

// The heap a phone gives an application, and the share of it the font
// images of one book may take before the build warns.
inline constexpr uint64_t kPhoneHeap = 200 * 1024;
inline constexpr uint64_t kFontHeapPercent = 40;

// The default font of the words layout: DejaVu Sans, proportional, in the
// window text colour.
TFontChoice DefaultSheetFont();

// Which bytes a book uses.
using TUsedBytes = std::array<bool, 256>;
// The reader's own strings: printable ASCII 0x20-0x7E, "…" (0x85) and the
// "»" (0xBB) of the menu entry that names the next volume.
TUsedBytes ReaderBytes();
void AddUsedBytes(TUsedBytes& used, std::string_view bytes);
// True for the bytes the reader handles itself and that never get a glyph:
// the control bytes (heading mark, CR, LF, TAB ...), DEL and the soft hyphen.
bool IsSheetControl(uint8_t b);

struct TGlyphRect {
    uint16_t x = 0;
    uint8_t row = 0;
    uint8_t advance = 0;   // 0: not in the image
    bool operator==(const TGlyphRect&) const = default;
};
using TGlyphRects = std::array<TGlyphRect, 256>;

// The map file of a sheet, and back (nothing for bytes of another size).
std::string FontMapBytes(int lineHeight, const TGlyphRects& glyphs);
std::optional<std::pair<int, TGlyphRects>> ParseFontMap(std::string_view bytes);

// One rendered size.
struct TFontSheet {
    int lineHeight = 0;
    int width = 0, height = 0;
    std::string png;
    std::string map;
    // What the reader holds once the image is decoded: 16 bits a pixel.
    uint64_t DecodedSize() const { return uint64_t(width) * uint64_t(height) * 2; }
};

// Renders a font choice at a line height in pixels with the glyphs of the
// used bytes (volm_font's RenderFontSheet is the one to pass).
using TFontSheetRenderer = std::function<TFontSheet(const TFontChoice&, int, const TUsedBytes&)>;

// Sizes as typed: 1 to 3 pixel heights of kMinSheetSize..kMaxSheetSize,
// separated by commas ("11,14"), none twice. Sorted, smallest first; nothing
// when malformed.
std::optional<std::vector<int>> ParseSheetSizes(std::string_view text);
// "11,14".
std::string SheetSizesText(const std::vector<int>& sizes);

} // namespace volm
