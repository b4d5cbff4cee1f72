#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "common/Errors.h"

#include <gtest/gtest.h>

using namespace volm;

namespace {

using Chars = std::vector<std::string>;

} // namespace

TEST(Ansiwriter, TheThreeFallbacksOnOneText)
{
    // A letter with an accent, a fraction, a stress mark, a CJK character and
    // one outside the basic plane (a surrogate pair), among what Windows-1251 has.
    const std::u16string text = u"café ½ за\u0301мок 中😀 — №";
    const std::string kept = " \xE7\xE0";              // " за"
    const std::string tail = "\xEC\xEE\xEA ";          // "мок "
    const std::string end = " \x97 \xB9";              // " — №"

    TAnsiWriter nearest(TAnsiFallback::Nearest);
    EXPECT_EQ(nearest(text), "cafe 1/2" + kept + tail + "??" + end);
    EXPECT_EQ(nearest.count.missing, 5u);
    EXPECT_EQ(nearest.count.question, 2u);
    EXPECT_EQ(nearest.count.invalid, 0u);
    EXPECT_FALSE(nearest.Refused());

    TAnsiWriter question(TAnsiFallback::Question);
    EXPECT_EQ(question(text), "caf? ?" + kept + "?" + tail + "??" + end);
    EXPECT_EQ(question.count.missing, 5u);
    EXPECT_EQ(question.count.question, 5u);
    EXPECT_TRUE(question.lacking.empty());

    // Refusing names each character once, in the order of first appearance,
    // the pair as one character.
    TAnsiWriter refuse(TAnsiFallback::Refuse);
    refuse(text);
    refuse(u"é 中 é");
    EXPECT_TRUE(refuse.Refused());
    EXPECT_EQ(refuse.lacking, (Chars{"é", "½", "\u0301", "中", "😀"}));
    EXPECT_EQ(refuse.count.missing, 8u); // counted over both texts
    EXPECT_EQ(ExactAnsi(u"Привет, мир!"), std::optional<std::string>("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!"));
    Chars lacking;
    EXPECT_EQ(ExactAnsi("a😀b", &lacking), std::nullopt);
    EXPECT_EQ(lacking, Chars{"😀"});

    // A caller may want another byte than "?" (a file name, where "?" is a wildcard).
    EXPECT_EQ(TAnsiWriter(TAnsiFallback::Question, '_')(u"中/é"), "_/_");
}

TEST(Ansiwriter, WhatWasNoCharacterIsCountedApart)
{
    // U+FFFD, lone surrogates of either half, a high one cut off by the end.
    const std::u16string text{u'a', 0xFFFD, u'b', 0xDC00, u'c', 0xD800, u'd', 0xD83D};
    for (TAnsiFallback f : {TAnsiFallback::Nearest, TAnsiFallback::Question, TAnsiFallback::Refuse}) {
        TAnsiWriter w(f);
        EXPECT_EQ(w(text), "a?b?c?d?");
        EXPECT_EQ(w.count.invalid, 4u);
        EXPECT_EQ(w.count.missing, 0u);
    }
    EXPECT_EQ(LackingCharacters(text), Chars{"\uFFFD"});
    // Invalid UTF-8: one for each byte that starts no character.
    TAnsiWriter w(TAnsiFallback::Nearest);
    EXPECT_EQ(w("x\xFF\xC0y\xE2\x82"), "x??y??");
    EXPECT_EQ(w.count.invalid, 4u);
}

TEST(Ansiwriter, EveryByteComesBackAsItself)
{
    // 0x98, which Windows-1251 leaves undefined, included.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string read = AnsiToUnicode(all);
    EXPECT_EQ(read[0x98], u'\uF798');
    EXPECT_EQ(read[0xC0], u'А');
    TAnsiWriter w(TAnsiFallback::Refuse);
    EXPECT_EQ(w(read), all);
    EXPECT_FALSE(w.Refused());
    EXPECT_FALSE(w.count.Any());
}

TEST(Ansiwriter, NearestTexts)
{
    TAnsiWriter w(TAnsiFallback::Nearest);
    EXPECT_EQ(w(u"Ærø Œuvre Straße Łódź"), "AEro OEuvre Strasse Lodz");
    EXPECT_EQ(w(u"a\u2009b\u200Bc\uFEFFd"), "a bcd");                // spaces, invisible characters
    EXPECT_EQ(w(u"┌─┬┐\r\n│ │║\r\n╚═╩█"), "+-++\r\n| ||\r\n+-+?"); // box drawing, a block
    EXPECT_EQ(w(u"\u2212\u2012\u2015 \u2032\u2033 ≤≥ ¼¾ ¹²³ \u22EF"), "-\x96\x97 '\" <=>= 1/43/4 123 \x85");
    EXPECT_EQ(w.count.question, 1u);
    // What Windows-1251 has is never replaced, even where a nearest text exists.
    for (char16_t c : {u'\u00A0', u'\u00AD', u'\u2014', u'\u2026', u'\u00AB'}) {
        ASSERT_TRUE(fromUnicode(CodePage::Cp1251, c));
        EXPECT_EQ(w(std::u16string(1, c)), std::string(1, static_cast<char>(*fromUnicode(CodePage::Cp1251, c))));
    }
}

TEST(Ansiwriter, WhatTheUserIsTold)
{
    EXPECT_EQ(ReplacementNote({}), "");
    EXPECT_EQ(ReplacementNote({1, 0, 0}), "1 character Windows-1251 lacks stored as the nearest text");
    EXPECT_EQ(ReplacementNote({3, 1, 0}), "3 characters Windows-1251 lacks stored as the nearest text (1 of them as \"?\")");
    EXPECT_EQ(ReplacementNote({2, 2, 0}), "2 characters Windows-1251 lacks stored as \"?\"");
    EXPECT_EQ(ReplacementNote({2, 2, 1}), "2 characters Windows-1251 lacks and 1 invalid byte stored as \"?\"");
    EXPECT_EQ(ReplacementNote({2, 0, 3}),
              "2 characters Windows-1251 lacks stored as the nearest text; 3 invalid bytes stored as \"?\"");
    EXPECT_EQ(ReplacementNote({0, 0, 1}), "1 invalid byte stored as \"?\"");

    EXPECT_EQ(LackingMessage({"中"}), "the character \"中\" has no Windows-1251 code");
    EXPECT_EQ(LackingMessage({"中", "😀"}), "the characters \"中\", \"😀\" have no Windows-1251 code");
    EXPECT_EQ(utf8ToCp1251("При №"), "\xCF\xF0\xE8 \xB9");
    try {
        utf8ToCp1251("日本日");
        ADD_FAILURE() << "no refusal";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "the characters \"日\", \"本\" have no Windows-1251 code");
    }
}
