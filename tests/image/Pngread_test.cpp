#include "common/Errors.h"
#include "image/Pngimage.h"
#include "image/Pngread.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace volm;

namespace {

std::string be32(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string chunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(crc));
}

// A PNG of the given header fields and filtered rows (each with its filter byte).
std::string png(uint32_t w, uint32_t h, int depth, int type, const std::string& rows, const std::string& extra = "",
                int interlace = 0)
{
    std::string packed(compressBound(static_cast<uLong>(rows.size())), '\0');
    uLongf n = static_cast<uLongf>(packed.size());
    compress(reinterpret_cast<Bytef*>(packed.data()), &n, reinterpret_cast<const Bytef*>(rows.data()),
             static_cast<uLong>(rows.size()));
    packed.resize(n);
    const std::string header = be32(w) + be32(h) + std::string{static_cast<char>(depth), static_cast<char>(type), 0, 0,
                                                               static_cast<char>(interlace)};
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + extra + chunk("IDAT", packed) +
           chunk("IEND", "");
}

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

} // namespace

TEST(Pngread, EveryFilterAndColourType)
{
    // RGB: the average filter, then Paeth (the values a second decoder gives).
    TPngPixels rgb = ReadPng(png(3, 2, 8, 2, bytes({3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 4, 9, 10, 11, 12, 13, 14, 15, 16, 17})),
                             "rgb");
    EXPECT_EQ(rgb.argb, (std::vector<uint32_t>{0xFF000102, 0xFF030406, 0xFF07090B, 0xFF090B0D, 0xFF15181B,
                                               0xFF24282C}));
    EXPECT_FALSE(rgb.HasPalette());
    // Grey at one bit a pixel: none, sub and up, nine pixels a row.
    TPngPixels grey = ReadPng(png(9, 3, 1, 0, bytes({0, 0xAA, 0x01, 1, 0xAA, 0x01, 2, 0xAA, 0x01})), "grey");
    ASSERT_EQ(grey.argb.size(), 27u);
    EXPECT_EQ(grey.At(0, 0, {}), 0xFFFFFFFFu);
    EXPECT_EQ(grey.At(1, 0, {}), 0xFF000000u);
    EXPECT_EQ(grey.At(8, 0, {}), 0xFF000000u);
    EXPECT_EQ(grey.At(0, 1, {}), 0xFFFFFFFFu);   // sub adds the byte before: 0xAA + 0 ...
    EXPECT_EQ(grey.At(8, 1, {}), 0xFFFFFFFFu);   // ... and 0x01 + 0xAA = 0xAB
    // RGBA at 16 bits: the high bytes.
    TPngPixels rgba = ReadPng(png(2, 1, 16, 6, bytes({0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})), "rgba");
    EXPECT_EQ(rgba.argb, (std::vector<uint32_t>{0x06000204, 0x0E080A0C}));
    // A palette with its transparency.
    TPngPixels pal = ReadPng(png(4, 1, 2, 3, bytes({0, 0x1B}),
                                 chunk("PLTE", bytes({255, 255, 255, 0, 0, 0, 9, 9, 9})) + chunk("tRNS", bytes({0}))),
                             "palette");
    EXPECT_EQ(pal.palette, (std::vector<uint32_t>{0x00FFFFFF, 0xFF000000, 0xFF090909}));
    EXPECT_EQ(pal.index, (std::vector<uint8_t>{0, 1, 2, 3}));
    EXPECT_EQ(pal.At(3, 0, pal.palette), 0xFF000000u);   // an index the palette lacks
}

TEST(Pngread, WhatOurWriterWritesReadsBack)
{
    TBitmap b(5, 3, 4);
    b.colors[0] = {255, 255, 255, 0};
    b.colors[7] = {10, 20, 30, 0};
    b.scanLine(2)[2] = 0x70;
    TPNGObject png;
    png.Assign(b);
    TMemoryStream out;
    png.SaveToStream(out);
    TPngPixels p = ReadPng(out.Data(), "sheet");
    EXPECT_EQ(p.width, 5);
    EXPECT_EQ(p.height, 3);
    EXPECT_EQ(p.At(4, 2, p.palette), 0xFF1E140Au);
    EXPECT_EQ(p.At(3, 2, p.palette), 0xFFFFFFFFu);
}

TEST(Pngread, DamagedOrUnknownImagesAreRefused)
{
    const std::string good = png(1, 1, 8, 0, bytes({0, 7}));
    EXPECT_EQ(ReadPng(good, "x").argb, (std::vector<uint32_t>{0xFF070707}));
    auto refused = [](const std::string& bytes, const std::string& cause) {
        try {
            ReadPng(bytes, "the font image");
            ADD_FAILURE() << "read: " << cause;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "the font image: " + cause);
        }
    };
    refused("GIF89a", "not a PNG image");
    refused(good.substr(0, good.size() - 14), "a chunk runs past the end of the file");
    refused(good.substr(0, 33), "the image ends early");
    refused(png(1, 1, 8, 0, bytes({0})), "damaged image data");
    refused(png(1, 1, 8, 0, bytes({5, 7})), "an unknown row filter");
    refused(png(1, 1, 8, 0, bytes({0, 7}), "", 1), "an interlaced image");
    refused(png(1, 1, 4, 2, bytes({0, 7})), "colour type 2 at 4 bits");
    refused(png(1, 1, 8, 3, bytes({0, 0})), "a palette image without its palette");
    refused(png(5000, 5000, 8, 0, ""), "an image of 5000 x 5000 pixels");
}
