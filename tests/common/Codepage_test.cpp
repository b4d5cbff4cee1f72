#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "common/Errors.h"

#include <gtest/gtest.h>

using namespace volm;

TEST(Codepage, CyrillicLettersMapAcrossCodePages)
{
    // А, я, Ё and ё in each Cyrillic page, as the published sets place them.
    struct Row { CodePage cp; uint8_t a, ya, yoCap, yo; };
    const Row rows[] = {
        {CodePage::Cp1251, 0xC0, 0xFF, 0xA8, 0xB8},
        {CodePage::Cp866, 0x80, 0xEF, 0xF0, 0xF1},
        {CodePage::Koi8R, 0xE1, 0xD1, 0xB3, 0xA3},
        {CodePage::Iso8859_5, 0xB0, 0xEF, 0xA1, 0xF1},
        {CodePage::MacCyrillic, 0x80, 0xDF, 0xDD, 0xDE},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(toUnicode(r.cp, r.a), u'А');
        EXPECT_EQ(toUnicode(r.cp, r.ya), u'я');
        EXPECT_EQ(toUnicode(r.cp, r.yoCap), u'Ё');
        EXPECT_EQ(toUnicode(r.cp, r.yo), u'ё');
        EXPECT_EQ(fromUnicode(r.cp, u'ё'), r.yo);
        // Converting the four letters to Windows-1251 gives the 1251 bytes.
        std::string in{char(r.a), char(r.ya), char(r.yoCap), char(r.yo), 'x'};
        EXPECT_EQ(recode(r.cp, CodePage::Cp1251, in), std::string("\xC0\xFF\xA8\xB8x"));
    }
    // Windows-1251 leaves 0x98 undefined; pseudo-graphics of CP866 have no 1251 byte.
    EXPECT_EQ(toUnicode(CodePage::Cp1251, 0x98), kNoChar);
    EXPECT_EQ(recode(CodePage::Cp866, CodePage::Cp1251, "\xB0\xC4"), std::string("\xB0\xC4"));
}

TEST(Codepage, OemNamesRoundTrip)
{
    std::string ansi = "META-INF/\xCF\xF0\xE8\xE2\xE5\xF2.txt"; // "Привет"
    std::string oem = ansiToOem(ansi);
    EXPECT_EQ(oem, "META-INF/\x8F\xE0\xA8\xA2\xA5\xE2.txt");
    EXPECT_EQ(oemToAnsi(oem), ansi);
}

TEST(Codepage, Utf8Conversions)
{
    const std::string utf8 = "Ёж \xF0\x9F\x98\x80 z"; // includes a character beyond the basic plane
    std::u16string u = utf8ToUtf16(utf8);
    EXPECT_EQ(u.size(), 7u);
    EXPECT_EQ(utf16ToUtf8(u), utf8);
    EXPECT_TRUE(isValidUtf8(utf8));

    // Overlong forms, encoded surrogates, stray continuation bytes and
    // truncated sequences are not UTF-8.
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\x80", "\xE2\x82", "\xF4\x90\x80\x80", "\xD0"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    EXPECT_EQ(utf8ToUtf16("a\xC0\xAF" "b"), u"a\uFFFD\uFFFDb");

    EXPECT_EQ(cp1251ToUtf8("\xCF\xF0\xE8 \xB9"), "При №");
    EXPECT_EQ(utf8ToCp1251("При №"), "\xCF\xF0\xE8 \xB9");
    EXPECT_THROW(utf8ToCp1251("日本"), Error);
    size_t missing = 0;
    EXPECT_EQ(encode(CodePage::Cp1251, u"a日b", '?', &missing), "a?b");
    EXPECT_EQ(missing, 1u);
    EXPECT_FALSE(encodeExact(CodePage::Cp1251, u"日").has_value());
}

TEST(Codepage, OnlyAsciiLettersChangeCase)
{
    // Windows-1251 capitals (0xC0-0xDF) are no ASCII letters: they stay.
    EXPECT_EQ(asciiLower("UTF-8 \xC0\xC1\xA8 Font.Name"), "utf-8 \xC0\xC1\xA8 font.name");
    EXPECT_TRUE(sameText("fsBold", "FSBOLD"));
    EXPECT_FALSE(sameText("\xC0", "\xE0"));
}
