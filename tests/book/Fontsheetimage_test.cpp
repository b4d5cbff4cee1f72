// The words layout's font sheets as the renderer draws them, read back by
// outside readers (pngcheck, Pillow).
#include "book/Fontimage.h"
#include "common/Errors.h"

#include "Testutil.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <iostream>

using namespace volm;
using namespace volm::test;

namespace {

// Every Cyrillic letter of Windows-1251, ASCII and the typography of a
// Russian book (dashes, quotes, the ellipsis, "№", the no-break space).
TUsedBytes RussianBook()
{
    TUsedBytes used = ReaderBytes();
    for (int b = 0xC0; b <= 0xFF; ++b)
        used[b] = true;
    for (int b : {0xA8, 0xB8, 0x96, 0x97, 0xAB, 0xBB, 0x84, 0x93, 0x94, 0x91, 0x92, 0x85, 0xB9, 0xA0, 0xAD, 0x01,
                  0x0D, 0x0A})
        used[b] = true;
    return used;
}

uint8_t Index(const TBitmap& bm, int x, int y)
{
    const uint8_t* row = bm.scanLine(y);
    if (bm.bitsPerPixel == 1)
        return (row[x / 8] >> (7 - x % 8)) & 1;
    return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
}

TFontChoice Choice(const char* name, uint8_t style = 0, TColor color = clWindowText)
{
    TFontChoice f = DefaultSheetFont();
    f.name = name;
    f.style = style;
    f.color = color;
    return f;
}

} // namespace

TEST(Fontsheet, PillowReadsEveryGlyphAsRendered)
{
    const std::string python = pythonWith({"PIL"});
    TempDir dir;
    struct Setting {
        TFontChoice font;
        int size;
        int bits;
    };
    for (const Setting& s : {Setting{DefaultSheetFont(), 11, 4}, Setting{DefaultSheetFont(), 14, 4},
                             Setting{DefaultSheetFont(), 16, 4}, Setting{Choice("DejaVu Sans", fsBold), 22, 4},
                             Setting{Choice("DejaVu Serif", fsItalic, 0x0000C0), 12, 4},
                             Setting{Choice("DejaVu Sans Mono", 0, 0x804020), 18, 4}}) {
        SCOPED_TRACE(s.font.name + " " + std::to_string(s.size));
        const TUsedBytes used = RussianBook();
        const TFontSheetImage image = RenderFontSheetImage(s.font, s.size, used);
        const TFontSheet sheet = RenderFontSheet(s.font, s.size, used);
        EXPECT_EQ(image.bitmap.bitsPerPixel, s.bits);
        EXPECT_EQ(sheet.map, FontMapBytes(s.size, image.glyphs));
        EXPECT_EQ(sheet.width, image.bitmap.width);
        EXPECT_EQ(sheet.height, image.bitmap.height);
        EXPECT_LE(sheet.width, kSheetRowWidth);
        EXPECT_EQ(sheet.height % s.size, 0);
        // Entry 0 is the white background, the last the ink.
        EXPECT_EQ(image.bitmap.colors.front(), (TRGBQuad{255, 255, 255, 0}));
        const TRGBQuad ink = GlyphColor(s.font.color);
        EXPECT_EQ(image.bitmap.colors.back(), ink);

        const std::string path = (dir / ("sheet" + std::to_string(s.size) + ".png")).string();
        writeFile(path, sheet.png);
        if (haveProgram("pngcheck")) {
            RunResult r = run({"pngcheck", "-v", path});
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_NE(r.out.find(std::to_string(s.bits) + "-bit palette"), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("tRNS"), std::string::npos) << r.out;
        }
        if (python.empty())
            continue;
        // Pillow's pixel indices and palette, rectangle by rectangle.
        std::string script = "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                             "assert im.mode == 'P', im.mode; assert 'transparency' not in im.info; "
                             "sys.stdout.write('%d %d %s\\n' % (im.size[0], im.size[1], "
                             "im.getpalette()[:3])); m = open(sys.argv[2], 'rb').read(); h = m[0]\n"
                             "for b in range(256):\n"
                             "  x = m[1 + 4 * b] * 256 + m[2 + 4 * b]; row = m[3 + 4 * b]; a = m[4 + 4 * b]\n"
                             "  if a: sys.stdout.write('%d:%s\\n' % (b, im.crop((x, row * h, x + a, row * h + h))"
                             ".tobytes().hex()))\n";
        const std::string mapPath = path + ".map";
        writeFile(mapPath, sheet.map);
        RunResult r = run({python, "-c", script, path, mapPath});
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream lines(r.out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, std::to_string(sheet.width) + " " + std::to_string(sheet.height) + " [255, 255, 255]");
        int rects = 0;
        while (std::getline(lines, line)) {
            const int b = std::stoi(line.substr(0, line.find(':')));
            const TGlyphRect& g = image.glyphs[b];
            std::string hex;
            for (int y = g.row * s.size; y < (g.row + 1) * s.size; ++y)
                for (int x = g.x; x < g.x + g.advance; ++x) {
                    char buf[3];
                    std::snprintf(buf, sizeof buf, "%02x", Index(image.bitmap, x, y));
                    hex += buf;
                }
            EXPECT_EQ(line.substr(line.find(':') + 1), hex) << "byte " << b;
            ++rects;
        }
        int expected = 0;
        for (const TGlyphRect& g : image.glyphs)
            expected += g.advance ? 1 : 0;
        EXPECT_EQ(rects, expected);
    }
}

TEST(Fontsheet, AdvancesAreTheFontsOwnAndOnlyUsedBytesAreMapped)
{
    TUsedBytes used{};
    AddUsedBytes(used, encode(CodePage::Cp1251, u"Жил-был кот \u2014 \u2116 7\u2026\x01\xAD\r\n"));
    for (int size : {11, 14, 20}) {
        const TFontChoice font = DefaultSheetFont();
        const TFontSheetImage image = RenderFontSheetImage(font, size, used);
        const QFontMetrics metrics(FontImageFont(font, size, true));
        int width = 0;
        for (int b = 0; b < 256; ++b) {
            const TGlyphRect& g = image.glyphs[b];
            if (!used[b] || IsSheetControl(static_cast<uint8_t>(b))) {
                EXPECT_EQ(g.advance, 0) << b;
                continue;
            }
            const QChar ch(PhoneFontCharacter(static_cast<uint8_t>(b)));
            EXPECT_NEAR(g.advance, metrics.horizontalAdvance(ch), 1) << b;
            EXPECT_LE(g.x + g.advance, kSheetRowWidth);
            width += g.advance;
        }
        // The rectangles side by side, nothing between them: one row when they fit.
        if (width <= kSheetRowWidth) {
            EXPECT_EQ(image.bitmap.width, width) << size;
            EXPECT_EQ(image.bitmap.height, size);
        } else {
            EXPECT_GT(image.bitmap.height, size);
        }
    }
}

TEST(Fontsheet, DefaultFontIsProportionalAndLegible)
{
    const TUsedBytes used = RussianBook();
    for (int size : kDefaultSheetSizes) {
        SCOPED_TRACE(size);
        const TFontSheetImage image = RenderFontSheetImage(DefaultSheetFont(), size, used);
        const TGlyphRects& g = image.glyphs;
        EXPECT_GT(g[0x97].advance, g[0x96].advance); // "—" wider than "–"
        EXPECT_GT(g['W'].advance, g['i'].advance);
        EXPECT_GE(g[0xB9].advance, g['N'].advance); // "№" has room for its "o"
        // "З" and "3" are drawn differently.
        auto pixels = [&](int b) {
            std::string p;
            for (int y = g[b].row * size; y < (g[b].row + 1) * size; ++y)
                for (int x = g[b].x; x < g[b].x + g[b].advance; ++x)
                    p += static_cast<char>(Index(image.bitmap, x, y));
            return p;
        };
        EXPECT_NE(pixels(0xC7), pixels('3'));
        // Every letter leaves ink; the spaces none.
        for (int b : {int('a'), int('Z'), 0xC0, 0xFF, 0xA8, 0xB9})
            EXPECT_NE(pixels(b).find_first_not_of('\0'), std::string::npos) << b;
        EXPECT_EQ(pixels(' ').find_first_not_of('\0'), std::string::npos);
        EXPECT_EQ(pixels(0xA0).find_first_not_of('\0'), std::string::npos);
    }
}

TEST(Fontsheet, TypicalRussianBookFitsTheHeap)
{
    const TUsedBytes used = RussianBook();
    for (int size : kDefaultSheetSizes) {
        const TFontSheet sheet = RenderFontSheet(DefaultSheetFont(), size, used);
        std::cout << "default font " << size << " px: " << sheet.width << " x " << sheet.height << ", decoded "
                  << sheet.DecodedSize() << " bytes, file " << sheet.png.size() << " bytes" << std::endl;
        EXPECT_LE(sheet.DecodedSize(), 40u * 1024) << size;
        EXPECT_LE(sheet.png.size(), 4u * 1024) << size;
        // Against today's 16 x 16 cells of the 11 pixel font: 176 x 176 at 16 bits.
        EXPECT_LT(sheet.DecodedSize(), 176u * 176 * 2);
    }
}

TEST(Fontsheet, SizesOutOfRangeAreRefused)
{
    EXPECT_THROW(RenderFontSheet(DefaultSheetFont(), 0, ReaderBytes()), Error);
    EXPECT_THROW(RenderFontSheet(DefaultSheetFont(), 256, ReaderBytes()), Error);
    // A glyph wider than a row.
    TUsedBytes wide{};
    wide[0x97] = true;
    try {
        RenderFontSheet(DefaultSheetFont(), 200, wide);
        FAIL() << "rendered";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("200 pixels"), std::string::npos) << e.what();
    }
}
