#pragma once
// Reading a PNG file into pixels, as a phone decodes the images of its jar:
// colour types 0 (grey), 2 (RGB), 3 (palette), 4 (grey and alpha) and 6
// (RGBA) at the depths the format allows, without interlacing. A palette
// image keeps its palette and its indices, so that the palette can be
// changed (night reading) before the pixels are taken. Anything else, or a
// damaged file, raises volm::Error naming `what` and the cause.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// Larger images are refused before they are inflated.
inline constexpr uint64_t kMaxPngPixels = 16u * 1024 * 1024;

struct TPngPixels {
    int width = 0, height = 0;
    // Palette images: the entries as 0xAARRGGBB (tRNS alpha, else opaque)
    // and one index a pixel, rows top-down.
    std::vector<uint32_t> palette;
    std::vector<uint8_t> index;
    // Other images: 0xAARRGGBB a pixel, rows top-down.
    std::vector<uint32_t> argb;

    bool HasPalette() const { return !palette.empty(); }
    // The pixel at x, y as 0xAARRGGBB, through the given palette (palette images).
    uint32_t At(int x, int y, const std::vector<uint32_t>& colours) const
    {
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        if (!colours.empty()) {
            const uint8_t k = index[i];
            return k < colours.size() ? colours[k] : 0xFF000000u;
        }
        return argb[i];
    }
};

TPngPixels ReadPng(std::string_view bytes, const std::string& what);

} // namespace volm
