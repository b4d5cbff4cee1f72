#include "book/Fontsheet.h"

#include <gtest/gtest.h>

using namespace volm;

TEST(Fontsheet, SizesAsTyped)
{
    EXPECT_EQ(ParseSheetSizes("11,14"), (std::vector<int>{11, 14}));
    EXPECT_EQ(ParseSheetSizes(" 14 , 11 "), (std::vector<int>{11, 14})); // smallest first
    EXPECT_EQ(ParseSheetSizes("12"), (std::vector<int>{12}));
    EXPECT_EQ(ParseSheetSizes("6,20,48"), (std::vector<int>{6, 20, 48}));
    for (const char* bad : {"", ",", "11,", ",11", "11,,14", "11;14", "11,14,16,18", "11,11", "5", "49", "0",
                            "-11", "11px", "1e1", "00011000", "11 14"})
        EXPECT_FALSE(ParseSheetSizes(bad)) << bad;
    EXPECT_EQ(SheetSizesText({11, 14}), "11,14");
    EXPECT_EQ(SheetSizesText(kDefaultSheetSizes), "11,14");
    EXPECT_EQ(ParseSheetSizes(SheetSizesText({8, 16, 24})), (std::vector<int>{8, 16, 24}));
}

TEST(Fontsheet, MapIsHeightAndFourBytesPerByte)
{
    TGlyphRects g{};
    g['A'] = {300, 2, 9};
    g[0xFF] = {0x1234, 255, 255};
    const std::string map = FontMapBytes(14, g);
    ASSERT_EQ(map.size(), kFontMapSize);
    EXPECT_EQ(map[0], 14);
    EXPECT_EQ(map.substr(1 + 4 * 'A', 4), std::string("\x01\x2C\x02\x09", 4)); // x big-endian, row, advance
    EXPECT_EQ(map.substr(1 + 4 * 0xFF, 4), std::string("\x12\x34\xFF\xFF", 4));
    EXPECT_EQ(map.substr(1, 4), std::string(4, '\0'));
    auto back = ParseFontMap(map);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->first, 14);
    EXPECT_EQ(back->second, g);
    EXPECT_FALSE(ParseFontMap(map.substr(1)));
}

TEST(Fontsheet, ReaderBytesAndControls)
{
    const TUsedBytes r = ReaderBytes();
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(r[b], (b >= 0x20 && b <= 0x7E) || b == 0x85 || b == 0xBB) << b;
    TUsedBytes used{};
    AddUsedBytes(used, "\xC0\x01 ");
    EXPECT_TRUE(used[0xC0] && used[0x01] && used[' ']);
    EXPECT_FALSE(used['a']);
    for (int b : {0x01, 0x09, 0x0A, 0x0D, 0x7F, 0xAD})
        EXPECT_TRUE(IsSheetControl(static_cast<uint8_t>(b))) << b;
    for (int b : {0x20, 0xA0, 0x85, 0xC0, 0xFF})
        EXPECT_FALSE(IsSheetControl(static_cast<uint8_t>(b))) << b;
    EXPECT_EQ(DefaultSheetFont().name, "DejaVu Sans");
    EXPECT_EQ(DefaultSheetFont().pitch, fpVariable);
}
