#pragma once
// The book's font image: a square of 16 x 16 cells, one per byte value, each
// h pixels high and wide, in which the phone reader finds its glyphs. The
// glyph of byte b sits with its box's top-left corner at (h x (b mod 16),
// h x (b div 16)), its baseline at the font's ascent, in the font's colour on
// white. The cell height h is the absolute value of the font's height; the
// font is sized so that its ascent plus descent fits h (the largest pixel size
// that does), and every glyph is kept inside its cell.
//
// Bytes become characters through the book's code page, Windows-1251, whatever
// script the font choice names (the script only helps pick the desktop face);
// control codes, bytes the code page leaves undefined and characters the font
// lacks are drawn as the font's missing-glyph box. Cells under 16 pixels are
// drawn without antialiasing, so small glyphs stay crisp on the phone.
//
// Rendering needs a Qt GUI application object; one without a display (the
// "offscreen" platform) is created on first use when the program has none.

#include "book/Fontsheet.h"
#include "common/Codepage.h"
#include "image/Bitmap.h"
#include "storage/Fontsettings.h"

#include <optional>
#include <string>

class QFont;

namespace volm {

// The largest cell height rendered, in pixels (a 4096 x 4096 image).
inline constexpr int kMaxFontCell = 256;

// The code page in which a character set's fonts hold their single-byte
// characters: Russian and the default set -> Windows-1251, ANSI -> Windows-1252,
// East European -> 1250, OEM -> CP866, Greek 1253, Turkish 1254, Hebrew 1255,
// Arabic 1256, Baltic 1257, Vietnamese 1258, Thai 874, Mac -> Mac Roman.
// Nothing for the symbol set and the double-byte sets (see FontImageCharacter).
std::optional<CodePage> CharsetCodePage(uint8_t charset);

// The character drawn for byte `b` in a font of `charset`, or kNoChar when the
// cell shows the missing-glyph box (control codes and undefined bytes). The
// symbol set takes the byte as the character of the same number; the
// double-byte sets show ASCII, and Shift-JIS also its half-width katakana.
char16_t FontImageCharacter(uint8_t charset, uint8_t b);

// The character the phone's font (font image and sheet) holds for byte `b`:
// Windows-1251, the code page of the book's texts and names, or kNoChar.
char16_t PhoneFontCharacter(uint8_t b);

// How many of the 66 Cyrillic letters of Windows-1251 (А-я, Ё, ё) the
// choice's face lacks (the font image would show its missing-glyph box for
// them); 66 when no font file stands behind the choice.
int MissingCyrillicLetters(const TFontChoice& font);

// The colour of the glyphs as red, green, blue: plain colours as they stand,
// system colours (clWindowText ...) as their usual desktop values.
TRGBQuad GlyphColor(TColor color);
// True for the system colours (clWindowText ...) and the other special values.
bool IsSystemColor(TColor color);

// The cell height a font choice asks for: the absolute value of its height.
int64_t FontCellHeight(const TFontChoice& font);
// The cell height of a font choice in pixels. Raises volm::Error for a height
// of 0 or above kMaxFontCell.
int FontCellSize(const TFontChoice& font);

// The one mapping from a font choice to a desktop font: its name, style
// (bold, italic, underline, strikeout) and pitch, at `pixelSize` pixels.
// Everything that shows a choice takes its font from here: the font image,
// the font dialog's sample and the topic editor.
QFont ChoiceFont(const TFontChoice& font, int pixelSize);
// The font the font image draws a cell of `cell` pixels with: ChoiceFont at
// the largest pixel size whose ascent plus descent fits the cell, fully
// hinted, without other fonts standing in for characters it lacks (those
// show its missing-glyph box), without antialiasing under 16 pixels.
QFont FontImageFont(const TFontChoice& font, int cell);
// The same with antialiasing on or off whatever the size.
QFont FontImageFont(const TFontChoice& font, int cell, bool antialias);

// Renders the font image: 16h x 16h pixels, 24 bits, rows bottom-up.
TBitmap RenderFontImage(const TFontChoice& font);

// Renders the font image as the bytes of a PNG file.
std::string FontImagePng(const TFontChoice& font);

// Renders the font image and saves it as PNG at `pngPath` (the file is
// replaced). Raises volm::Error naming the file and the cause on failure.
void SaveFontImage(const TFontChoice& font, const std::string& pngPath);

// A sheet of the words layout (see Fontsheet.h) as the renderer drew it:
// the palette bitmap (4 bits a pixel: white, 14 greys, the ink), the glyphs'
// rectangles, and the line height. The font is FontImageFont at the line
// height, antialiased at every size; the advances are the font's
// own (QFontMetrics::horizontalAdvance). A glyph wider than a row, or a
// line height over 255, raises volm::Error naming the font and the size.
struct TFontSheetImage {
    int lineHeight = 0;
    TBitmap bitmap;
    TGlyphRects glyphs{};
};
TFontSheetImage RenderFontSheetImage(const TFontChoice& font, int lineHeight, const TUsedBytes& used);

// The sheet as the jar carries it: its PNG file and its map.
TFontSheet RenderFontSheet(const TFontChoice& font, int lineHeight, const TUsedBytes& used);

} // namespace volm
