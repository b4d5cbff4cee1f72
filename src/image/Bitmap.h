#pragma once
// A device-independent bitmap: the pixels the font renderer draws and the PNG
// writer takes over. Rows are stored bottom-up (row 0 of `bits` is the bottom
// of the picture), each padded to a multiple of 4 bytes. Colour pixels are
// blue, green, red (and a fourth, unused byte at 32 bits per pixel); palette
// pixels (1, 4 or 8 bits) index `colors`, most significant bits first.

#include <cstdint>
#include <vector>

namespace volm {

struct TRGBQuad {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};

struct TBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;            // 1, 4, 8, 24 or 32
    std::vector<uint8_t> bits;        // bottom-up rows of rowSize() bytes
    std::vector<TRGBQuad> colors;     // colour table of palette bitmaps
    bool transparent = false;         // marked transparent
    uint32_t transparentColor = 0;    // as 0x00BBGGRR (red in the low byte)

    TBitmap() = default;
    // A bitmap of the given size and depth, every byte zero.
    TBitmap(int w, int h, int bpp) : width(w), height(h), bitsPerPixel(bpp)
    {
        bits.assign(static_cast<size_t>(rowSize()) * static_cast<size_t>(h), 0);
        if (bpp <= 8)
            colors.assign(static_cast<size_t>(1) << bpp, TRGBQuad{});
    }

    static int rowSize(int w, int bpp) { return ((bpp * w + 31) / 32) * 4; }
    int rowSize() const { return rowSize(width, bitsPerPixel); }

    // Row y of the picture counted from the top.
    uint8_t* scanLine(int y) { return bits.data() + static_cast<size_t>(height - 1 - y) * rowSize(); }
    const uint8_t* scanLine(int y) const { return bits.data() + static_cast<size_t>(height - 1 - y) * rowSize(); }
};

} // namespace volm
