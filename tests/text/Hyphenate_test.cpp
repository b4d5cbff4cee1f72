#include "text/Hyphenate.h"

#include "common/Codepage.h"
#include "common/Errors.h"

#include <hyphen.h>

#include <gtest/gtest.h>

#include <filesystem>

using namespace volm;

namespace {

std::string Ansi(const char* utf8)
{
    return encode(CodePage::Cp1251, utf8ToUtf16(utf8));
}

std::string Utf8(std::string_view ansi)
{
    return cp1251ToUtf8(ansi);
}

bool HavePatterns()
{
    return std::filesystem::exists(kRussianPatterns) && std::filesystem::exists(kEnglishPatterns);
}

// The break points libhyphen itself gives a lower-case word in the patterns'
// own character set, as letter counts before each break.
std::vector<size_t> LibhyphenBreaks(const char* patterns, const std::string& coded, size_t letters,
                                    const std::vector<size_t>& letterEnds)
{
    HyphenDict* dict = hnj_hyphen_load(patterns);
    EXPECT_NE(dict, nullptr);
    if (!dict)
        return {};
    std::vector<char> hyphens(coded.size() + 5);
    char** rep = nullptr;
    int* pos = nullptr;
    int* cut = nullptr;
    EXPECT_EQ(hnj_hyphen_hyphenate2(dict, coded.c_str(), static_cast<int>(coded.size()), hyphens.data(), nullptr,
                                    &rep, &pos, &cut),
              0);
    std::vector<size_t> out;
    for (size_t k = 1; k < letters; ++k)
        if ((hyphens[letterEnds[k - 1] - 1] & 1) && k >= 2 && letters - k >= 2)
            out.push_back(k);
    if (rep) {
        for (size_t i = 0; i < coded.size(); ++i)
            free(rep[i]);
        free(rep);
    }
    free(pos);
    free(cut);
    hnj_hyphen_free(dict);
    return out;
}

} // namespace

TEST(Hyphenate, RussianBreaksAreLibhyphensOwn)
{
    if (!HavePatterns())
        GTEST_SKIP() << "no hyphen-ru / hyphen-en-us patterns";
    THyphenator h;
    size_t total = 0;
    for (const char* word : {"северо", "восточной", "электрификация", "достопримечательность", "молоко",
                             "подъезд", "объявление", "ёлочка", "программирование", "человечество",
                             "разъединённый", "мама", "строительство", "превосходительство", "йод"}) {
        const std::u16string lower = utf8ToUtf16(word);
        const std::string koi = encode(CodePage::Koi8R, lower);
        std::vector<size_t> ends;
        for (size_t i = 1; i <= koi.size(); ++i)
            ends.push_back(i);
        const std::vector<size_t> expected = LibhyphenBreaks(kRussianPatterns, koi, lower.size(), ends);
        EXPECT_EQ(h.Breaks(Ansi(word)), expected) << word;
        total += expected.size();
    }
    EXPECT_GT(total, 20u); // the list does break
    // Capitals break where their small letters do.
    EXPECT_EQ(h.Breaks(Ansi("ЭЛЕКТРИФИКАЦИЯ")), h.Breaks(Ansi("электрификация")));
    EXPECT_EQ(h.Breaks(Ansi("Молоко")), h.Breaks(Ansi("молоко")));
}

TEST(Hyphenate, EnglishBreaksAreLibhyphensOwn)
{
    if (!HavePatterns())
        GTEST_SKIP() << "no hyphen-ru / hyphen-en-us patterns";
    THyphenator h;
    size_t total = 0;
    for (const char* word : {"hyphenation", "computer", "representation", "extraordinary", "table", "every",
                             "information", "algorithm"}) {
        const std::string w = word;
        std::vector<size_t> ends;
        for (size_t i = 1; i <= w.size(); ++i)
            ends.push_back(i);
        const std::vector<size_t> expected = LibhyphenBreaks(kEnglishPatterns, w, w.size(), ends);
        EXPECT_EQ(h.Breaks(w), expected) << word;
        total += expected.size();
    }
    EXPECT_GT(total, 10u);
}

TEST(Hyphenate, AtLeastTwoLettersEachSideAndOnlyWordsOfLetters)
{
    if (!HavePatterns())
        GTEST_SKIP() << "no hyphen-ru / hyphen-en-us patterns";
    THyphenator h;
    for (const char* word : {"электрификация", "объявление", "ёлочка", "обувь", "оно", "иди", "hyphenation"}) {
        const std::string w = Ansi(word);
        for (size_t k : h.Breaks(w)) {
            EXPECT_GE(k, kMinHyphenPiece) << word;
            EXPECT_GE(w.size() - k, kMinHyphenPiece) << word;
        }
    }
    EXPECT_TRUE(h.Breaks(Ansi("я")).empty());
    EXPECT_TRUE(h.Breaks(Ansi("ого")).empty());
    // Mixed alphabets, digits: not words of letters.
    EXPECT_TRUE(h.Breaks(Ansi("электроmobile")).empty());
    EXPECT_TRUE(h.Breaks(Ansi("электро1фикация")).empty());
    EXPECT_TRUE(h.Breaks("").empty());

    // The text: a soft hyphen at every break, everything else as it was.
    const std::string text = Ansi("\x01Глава: электрификация, 2024-й год; северо-восточной\r\nhyphenation A1b2c3 ") +
                             std::string("\xAD\xA0", 2);
    size_t added = 0;
    const std::string out = h.Hyphenate(text, &added);
    std::string without;
    size_t hyphens = 0;
    for (char c : out)
        if (c == kSoftHyphen)
            ++hyphens;
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i] != kSoftHyphen || i == out.size() - 2) // the text's own soft hyphen stays
            without += out[i];
    EXPECT_EQ(without, text);
    EXPECT_EQ(hyphens, added + 1);
    EXPECT_GT(added, 5u);
    EXPECT_NE(Utf8(out).find("элек\xC2\xADтри"), std::string::npos) << Utf8(out);
    // Hard hyphens and numbers are left as they stand; no break beside them.
    EXPECT_NE(Utf8(out).find("2024-й"), std::string::npos);
    EXPECT_NE(Utf8(out).find("A1b2c3"), std::string::npos);
    EXPECT_EQ(h.Hyphenate("", &added), "");
    EXPECT_EQ(added, 0u);
}

TEST(Hyphenate, MissingPatternsAreNamed)
{
    try {
        THyphenator h("/nonexistent/hyph_xx.dic");
        FAIL() << "loaded";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/hyph_xx.dic"), std::string::npos) << e.what();
    }
}
