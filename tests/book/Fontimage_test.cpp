#include "book/Fontimage.h"
#include "common/Errors.h"

#include "Testutil.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QList>
#include <QStringList>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <set>

using namespace volm;

namespace {

struct TPixel {
    uint8_t b, g, r;
    bool White() const { return b == 255 && g == 255 && r == 255; }
    bool operator<(const TPixel& o) const { return std::tie(b, g, r) < std::tie(o.b, o.g, o.r); }
};

TPixel At(const TBitmap& bm, int x, int y)
{
    const uint8_t* p = bm.scanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

// The cell of byte b, as the pixel rows of the cell.
std::vector<std::string> Cell(const TBitmap& bm, int b)
{
    const int h = bm.height / 16;
    std::vector<std::string> rows;
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = bm.scanLine(h * (b / 16) + y) + 3 * h * (b % 16);
        rows.emplace_back(reinterpret_cast<const char*>(p), 3 * h);
    }
    return rows;
}

// The box (left, top, right, bottom; inclusive, relative to the cell) holding
// every non-white pixel of the cell of byte b, or nothing for an empty cell.
std::optional<std::array<int, 4>> Ink(const TBitmap& bm, int b)
{
    const int h = bm.height / 16;
    std::optional<std::array<int, 4>> box;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < h; ++x)
            if (!At(bm, h * (b % 16) + x, h * (b / 16) + y).White()) {
                if (!box)
                    box = std::array<int, 4>{x, y, x, y};
                else
                    *box = {std::min((*box)[0], x), std::min((*box)[1], y), std::max((*box)[2], x),
                            std::max((*box)[3], y)};
            }
    return box;
}

TFontChoice Font(int height, uint8_t charset = DEFAULT_CHARSET, uint8_t style = 0, TColor color = clWindowText)
{
    TFontChoice f;
    f.height = height;
    f.charset = charset;
    f.style = style;
    f.color = color;
    return f;
}

} // namespace

TEST(Fontimage, InitialFontGivesElevenPixelCellsInByteOrder)
{
    const TBitmap bm = RenderFontImage(TFontChoice{});
    ASSERT_EQ(bm.width, 176);
    ASSERT_EQ(bm.height, 176);
    EXPECT_EQ(bm.bitsPerPixel, 24);
    EXPECT_EQ(bm.bits.size(), static_cast<size_t>(bm.rowSize()) * 176);

    // Below 16 pixels there is no antialiasing: black glyphs on white, nothing else.
    std::set<TPixel> colours;
    for (int y = 0; y < 176; ++y)
        for (int x = 0; x < 176; ++x)
            colours.insert(At(bm, x, y));
    EXPECT_EQ(colours.size(), 2u);
    EXPECT_TRUE(colours.count(TPixel{0, 0, 0}));

    // Blanks stay white; letters, digits and Cyrillic have ink.
    EXPECT_FALSE(Ink(bm, 0x20));
    EXPECT_FALSE(Ink(bm, 0xA0));
    for (int b : {0x41, 0x30, 0x7E, 0xC0, 0xFF, 0xA8, 0xB9})
        EXPECT_TRUE(Ink(bm, b)) << b;

    // A (byte 0x41, cell column 1, row 4, at (11, 44)) sits at the top-left of its
    // cell: within the left three quarters that the reader shows, on the baseline
    // shared with H, while g reaches below it.
    auto a = *Ink(bm, 0x41), hh = *Ink(bm, 0x48), g = *Ink(bm, 0x67);
    EXPECT_LE(a[2], 11 * 3 / 4);
    EXPECT_EQ(a[3], hh[3]);
    EXPECT_GT(g[3], a[3]);
    EXPECT_LT(a[1], 4);
    // Same glyph, same pixels: every cell is drawn from its own top-left corner.
    EXPECT_EQ(Cell(bm, 0x41), Cell(RenderFontImage(Font(11)), 0x41));
}

TEST(Fontimage, PositiveAndNegativeHeightsGiveTheSameCells)
{
    const TBitmap pos = RenderFontImage(Font(20));
    const TBitmap neg = RenderFontImage(Font(-20));
    EXPECT_EQ(pos.width, 320);
    EXPECT_EQ(pos.height, 320);
    EXPECT_EQ(pos.bits, neg.bits);
    // 20 pixels are antialiased.
    std::set<TPixel> colours;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x)
            colours.insert(At(pos, x, y));
    EXPECT_GT(colours.size(), 2u);
    EXPECT_FALSE(Ink(pos, 0x20));
    EXPECT_EQ(Ink(pos, 0x41)->at(3), Ink(pos, 0x48)->at(3));

    for (int h : {5, 9, 13, 37}) {
        const TBitmap bm = RenderFontImage(Font(h));
        EXPECT_EQ(bm.width, 16 * h);
        EXPECT_EQ(bm.height, 16 * h);
        EXPECT_TRUE(Ink(bm, 0x57)) << h;
    }
}

TEST(Fontimage, EveryScriptGetsTheBooksCodePage)
{
    // The book's texts are Windows-1251 whatever script the font choice
    // names: a Western, Greek or OEM choice must not put À or box drawing
    // where the phone looks for А.
    const TBitmap russian = RenderFontImage(Font(-11, RUSSIAN_CHARSET));
    for (uint8_t charset : {DEFAULT_CHARSET, ANSI_CHARSET, OEM_CHARSET, GREEK_CHARSET, SYMBOL_CHARSET, GB2312_CHARSET})
        EXPECT_EQ(russian.bits, RenderFontImage(Font(-11, charset)).bits) << int(charset);
    TUsedBytes used{};
    AddUsedBytes(used, encode(CodePage::Cp1251, u"Жил-был кот"));
    const TFontSheetImage cyr = RenderFontSheetImage(Font(-20, RUSSIAN_CHARSET), 20, used);
    const TFontSheetImage west = RenderFontSheetImage(Font(-20, ANSI_CHARSET), 20, used);
    EXPECT_EQ(cyr.bitmap.bits, west.bitmap.bits);
    EXPECT_EQ(PhoneFontCharacter(0xC0), u'А');
    EXPECT_EQ(PhoneFontCharacter(0xB8), u'ё');
    EXPECT_EQ(PhoneFontCharacter(0x98), kNoChar);

    // The other sets' own code pages, still named for the dialog's sample.
    EXPECT_EQ(CharsetCodePage(EASTEUROPE_CHARSET), CodePage::Cp1250);
    EXPECT_EQ(CharsetCodePage(THAI_CHARSET), CodePage::Cp874);
    EXPECT_EQ(CharsetCodePage(MAC_CHARSET), CodePage::MacRoman);
    EXPECT_EQ(FontImageCharacter(OEM_CHARSET, 0xB3), u'│');
    EXPECT_EQ(FontImageCharacter(SHIFTJIS_CHARSET, 0xB1), u'ｱ');
    EXPECT_EQ(FontImageCharacter(GB2312_CHARSET, 0xB1), kNoChar);
}

TEST(Fontimage, FacesWithoutCyrillicAreFound)
{
    TFontChoice mono = Font(-14);
    mono.name = "DejaVu Sans Mono";
    EXPECT_EQ(MissingCyrillicLetters(mono), 0);
    // Installed faces that say they have no Cyrillic (symbol and dingbat
    // faces, where there are any) lack letters.
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Cyrillic) ||
            QFontDatabase::isPrivateFamily(family) || !QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin))
            continue;
        if (QFontInfo(QFont(family)).family() != family) // an alias (Monospace, Serif)
            continue;
        TFontChoice f = Font(-14);
        f.name = family.toStdString();
        EXPECT_GT(MissingCyrillicLetters(f), 0) << family.toStdString();
    }
}

TEST(Fontimage, ControlCodesAndUndefinedBytesShowTheMissingGlyphBox)
{
    const TBitmap bm = RenderFontImage(TFontChoice{});
    const auto box = Cell(bm, 0);
    ASSERT_TRUE(Ink(bm, 0));
    for (int b = 1; b < 0x20; ++b)
        EXPECT_EQ(Cell(bm, b), box) << b;
    EXPECT_EQ(Cell(bm, 0x7F), box);
    EXPECT_EQ(Cell(bm, 0x98), box); // Windows-1251 leaves 0x98 undefined
    EXPECT_NE(Cell(bm, 0x41), box);
}

TEST(Fontimage, StyleAndColour)
{
    const TBitmap plain = RenderFontImage(Font(-11));
    // Red is 0x0000FF in a font colour (red in the low byte).
    const TBitmap red = RenderFontImage(Font(-11, DEFAULT_CHARSET, 0, 0x0000FF));
    auto ink = *Ink(red, 0x41);
    bool sawRed = false;
    for (int y = ink[1]; y <= ink[3]; ++y)
        for (int x = ink[0]; x <= ink[2]; ++x) {
            TPixel p = At(red, 11 + x, 44 + y);
            EXPECT_TRUE(p.White() || (p.r == 255 && p.g == 0 && p.b == 0));
            sawRed = sawRed || !p.White();
        }
    EXPECT_TRUE(sawRed);
    EXPECT_EQ(GlyphColor(clWindowText), (TRGBQuad{0, 0, 0, 0}));
    EXPECT_EQ(GlyphColor(0x00123456), (TRGBQuad{0x12, 0x34, 0x56, 0}));

    // Underline puts ink into the blank's cell; every style changes the letters;
    // nothing leaves its cell.
    const TBitmap under = RenderFontImage(Font(-11, DEFAULT_CHARSET, fsUnderline));
    EXPECT_TRUE(Ink(under, 0x20));
    for (uint8_t style : {fsBold, fsItalic, fsStrikeOut}) {
        const TBitmap styled = RenderFontImage(Font(-11, DEFAULT_CHARSET, style));
        EXPECT_NE(Cell(styled, 0x41), Cell(plain, 0x41)) << int(style);
        EXPECT_EQ(styled.width, 176);
    }
}

TEST(Fontimage, OneMappingFromAChoiceToTheFontEveryViewShows)
{
    TFontChoice choice = Font(-20, RUSSIAN_CHARSET, fsBold | fsItalic | fsUnderline);
    choice.name = "Liberation Mono";
    const QFont shown = ChoiceFont(choice, 20);
    EXPECT_EQ(shown.family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(shown.pixelSize(), 20);
    EXPECT_TRUE(shown.bold() && shown.italic() && shown.underline() && !shown.strikeOut());
    EXPECT_TRUE(shown.fixedPitch());

    // The image's font is that font at the size whose glyph boxes fit the
    // cell, nothing else changed; small cells are drawn without antialiasing.
    for (int cell : {11, 20, 40}) {
        const QFont image = FontImageFont(choice, cell);
        const QFontMetrics metrics(image);
        EXPECT_LE(metrics.ascent() + metrics.descent(), cell);
        EXPECT_GE(image.pixelSize(), cell * 2 / 3) << cell;
        QFont same = ChoiceFont(choice, image.pixelSize());
        EXPECT_EQ(image.family(), same.family());
        EXPECT_EQ(image.bold(), same.bold());
        EXPECT_EQ(image.italic(), same.italic());
        EXPECT_EQ(image.underline(), same.underline());
        EXPECT_EQ((image.styleStrategy() & QFont::NoAntialias) != 0, cell < 16) << cell;
        EXPECT_TRUE(image.styleStrategy() & QFont::NoFontMerging);
    }
    EXPECT_EQ(FontCellHeight(Font(-20)), 20);
    EXPECT_EQ(FontCellHeight(Font(INT32_MIN)), int64_t(1) << 31);
    EXPECT_TRUE(IsSystemColor(clWindowText));
    EXPECT_FALSE(IsSystemColor(0x00FFFFFF));
}

TEST(Fontimage, HeightsWithoutAnImageAreRefused)
{
    EXPECT_THROW(RenderFontImage(Font(0)), Error);
    EXPECT_THROW(RenderFontImage(Font(kMaxFontCell + 1)), Error);
    EXPECT_THROW(RenderFontImage(Font(INT32_MIN)), Error);
    EXPECT_EQ(FontCellSize(Font(-kMaxFontCell)), kMaxFontCell);
}

TEST(Fontimage, SavedImagePassesTheCheckers)
{
    using namespace volm::test;
    TempDir dir;
    const std::string path = (dir / "Font.png").string();
    writeFile(path, "the template's sample");
    SaveFontImage(TFontChoice{}, path);
    EXPECT_EQ(readFile(path).substr(1, 3), "PNG");
    if (haveProgram("pngcheck")) {
        RunResult r = run({"pngcheck", "-v", path});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("176 x 176 image, 24-bit RGB"), std::string::npos) << r.out;
    }
    // Pillow reads back the very pixels that were rendered.
    const std::string python = pythonWith({"PIL"});
    if (python.empty())
        GTEST_SKIP() << "no python3 with Pillow";
    RunResult r = run({python, "-c",
                       "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                       "sys.stdout.buffer.write(im.convert('RGB').tobytes())",
                       path});
    ASSERT_EQ(r.status, 0) << r.err;
    const TBitmap bm = RenderFontImage(TFontChoice{});
    std::string rgb;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x) {
            const uint8_t* p = bm.scanLine(y) + 3 * x;
            rgb += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        }
    EXPECT_TRUE(r.out == rgb);

    EXPECT_THROW(SaveFontImage(TFontChoice{}, (dir / "missing/Font.png").string()), Error);
}
