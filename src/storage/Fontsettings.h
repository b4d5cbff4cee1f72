#pragma once
// The font choice of a project and its use-custom-font switch: what the
// project's font-settings stream "0" holds, what the project window's font
// dialog edits and what the font image is rendered from.

#include <cstdint>
#include <string>

namespace volm {

// Character sets (scripts) as the font dialog names them.
enum TFontCharset : uint8_t {
    ANSI_CHARSET = 0,
    DEFAULT_CHARSET = 1,
    SYMBOL_CHARSET = 2,
    MAC_CHARSET = 77,
    SHIFTJIS_CHARSET = 128,
    HANGEUL_CHARSET = 129,
    JOHAB_CHARSET = 130,
    GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136,
    GREEK_CHARSET = 161,
    TURKISH_CHARSET = 162,
    VIETNAMESE_CHARSET = 163,
    HEBREW_CHARSET = 177,
    ARABIC_CHARSET = 178,
    BALTIC_CHARSET = 186,
    RUSSIAN_CHARSET = 204,
    THAI_CHARSET = 222,
    EASTEUROPE_CHARSET = 238,
    OEM_CHARSET = 255,
};

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

// Style bits.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Colours: 0x00BBGGRR, or a system colour 0xFF0000nn (nn the system colour index).
using TColor = int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);

struct TFontChoice {
    std::string name = "Courier New"; // Windows-1251
    int32_t height = -11;             // negative: character height in pixels; positive: cell height
    uint8_t style = 0;                // fsBold | fsItalic | fsUnderline | fsStrikeOut
    TColor color = clWindowText;
    uint8_t charset = DEFAULT_CHARSET;
    TFontPitch pitch = fpFixed;
    bool operator==(const TFontChoice&) const = default;
};

struct TFontSettings {
    TFontChoice font;
    bool useCustomFont = false;       // the "&Use custom font" check mark
    bool operator==(const TFontSettings&) const = default;
};

} // namespace volm
