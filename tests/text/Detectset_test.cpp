// Detection measured on a set of our own texts (tests/text/data/detect):
// ordinary one-sentence texts of twelve words or fewer and short pages with
// markup, each saved in the five single-byte pages, UTF-8 with and without a
// byte-order mark, UTF-16 both ways with and without one, and UTF-8 damaged.
// The figures per form are printed; every text must come out right.

#include "text/Detect.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

using namespace volm;
using volm::test::readFile;
using volm::test::sourceDir;

namespace {

std::vector<std::u16string> Sentences()
{
    std::vector<std::u16string> out;
    std::string all = readFile(sourceDir() / "tests/text/data/detect/sentences.txt");
    size_t pos = 0;
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        if (nl == std::string::npos)
            nl = all.size();
        if (nl > pos)
            out.push_back(utf8ToUtf16(all.substr(pos, nl - pos)));
        pos = nl + 1;
    }
    return out;
}

std::vector<std::u16string> Pages()
{
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(sourceDir() / "tests/text/data/detect/pages"))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<std::u16string> out;
    for (const auto& f : files)
        out.push_back(utf8ToUtf16(readFile(f)));
    return out;
}

// The text as someone writing in `cp` types it: what the page lacks in plain
// ASCII instead (CP866, ISO-8859-5 and KOI8-R have no « » – …).
std::u16string Typed(CodePage cp, const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (fromUnicode(cp, c) || c < 0x80) {
            out.push_back(c);
            continue;
        }
        switch (c) {
        case u'«': case u'»': out += u"\""; break;
        case u'–': case u'—': out += u"-"; break;
        case u'…': out += u"..."; break;
        default: out += u"?"; break;
        }
    }
    return out;
}

std::string Utf16(const std::u16string& text, bool bigEndian, bool bom)
{
    std::string out;
    std::u16string units = bom ? u"\uFEFF" + text : text;
    for (char16_t u : units) {
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

struct Form {
    const char* name;
    std::string (*save)(const std::u16string&);
    CodePage typedIn; // what the writer's page lacks is typed in ASCII
};

const Form kForms[] = {
    {"CP866", [](const std::u16string& t) { return encode(CodePage::Cp866, t); }, CodePage::Cp866},
    {"ISO-8859-5", [](const std::u16string& t) { return encode(CodePage::Iso8859_5, t); }, CodePage::Iso8859_5},
    {"KOI8-R", [](const std::u16string& t) { return encode(CodePage::Koi8R, t); }, CodePage::Koi8R},
    {"Mac Cyrillic", [](const std::u16string& t) { return encode(CodePage::MacCyrillic, t); }, CodePage::MacCyrillic},
    {"Windows-1251", [](const std::u16string& t) { return encode(CodePage::Cp1251, t); }, CodePage::Cp1251},
    {"UTF-8", [](const std::u16string& t) { return utf16ToUtf8(t); }, CodePage::Cp1251},
    {"UTF-8 BOM", [](const std::u16string& t) { return "\xEF\xBB\xBF" + utf16ToUtf8(t); }, CodePage::Cp1251},
    {"UTF-16LE BOM", [](const std::u16string& t) { return Utf16(t, false, true); }, CodePage::Cp1251},
    {"UTF-16BE BOM", [](const std::u16string& t) { return Utf16(t, true, true); }, CodePage::Cp1251},
    {"UTF-16LE", [](const std::u16string& t) { return Utf16(t, false, false); }, CodePage::Cp1251},
    {"UTF-16BE", [](const std::u16string& t) { return Utf16(t, true, false); }, CodePage::Cp1251},
};

// One byte the two pages differ on decides this one, and it reads as a
// likely capital in both: 0xDD is Ё in Mac Cyrillic and Э in Windows-1251,
// and a sentence far more often starts with Э. Windows-1251 wins.
bool KnownAmbiguous(const Form& form, const std::u16string& text)
{
    return std::string(form.name) == "Mac Cyrillic" && text.rfind(u"Ёлку ", 0) == 0;
}

} // namespace

TEST(Detectset, OwnSentencesAndPagesComeOutRightInEveryForm)
{
    const std::vector<std::u16string> sentences = Sentences(), pages = Pages();
    ASSERT_GE(sentences.size(), 100u);
    ASSERT_GE(pages.size(), 8u);
    for (const auto& s : sentences) {
        size_t words = 1 + std::count(s.begin(), s.end(), u' ');
        EXPECT_LE(words, 12u) << utf16ToUtf8(s);
    }
    std::printf("%-14s %-16s %-16s\n", "form", "sentences right", "pages right");
    for (const Form& form : kForms) {
        int right[2] = {0, 0}, total[2] = {0, 0};
        for (int kind = 0; kind < 2; ++kind) {
            for (const std::u16string& original : kind == 0 ? sentences : pages) {
                std::u16string text = Typed(form.typedIn, original);
                TDetection found;
                std::string got = DetectAndConvert(form.save(text), found);
                std::string want = encode(CodePage::Cp1251, text);
                ++total[kind];
                if (got == want) {
                    ++right[kind];
                    EXPECT_FALSE(KnownAmbiguous(form, original)) << "now right: " << utf16ToUtf8(original);
                } else if (!KnownAmbiguous(form, original)) {
                    ADD_FAILURE() << form.name << ": " << utf16ToUtf8(original).substr(0, 60) << " read as "
                                  << found.Describe();
                }
                EXPECT_EQ(found.missing + found.invalid, 0u) << form.name << ": " << utf16ToUtf8(original);
            }
        }
        std::printf("%-14s %4d/%-4d %5.1f%%  %3d/%-3d %5.1f%%\n", form.name, right[0], total[0],
                    100.0 * right[0] / total[0], right[1], total[1], 100.0 * right[1] / total[1]);
    }
}

TEST(Detectset, DamagedUtf8IsUtf8WithItsStrayBytesCounted)
{
    int right = 0, total = 0;
    for (const std::u16string& s : Sentences()) {
        std::string good = utf16ToUtf8(s);
        // Cut inside the last two-byte character, as a download that broke off.
        size_t last = good.find_last_of("\xD0\xD1");
        ASSERT_NE(last, std::string::npos);
        std::string cut = good.substr(0, last + 1);
        // One stray byte in the middle of a character, one between words.
        size_t mid = good.find('\xD0', good.size() / 2);
        std::string stray = mid == std::string::npos ? good : good.substr(0, mid + 1) + "\xFF" + good.substr(mid + 1);
        size_t space = stray.find(' ');
        stray = stray.substr(0, space) + "\x80" + stray.substr(space);
        for (const std::string& damaged : {cut, stray}) {
            TDetection found;
            std::string got = DetectAndConvert(damaged, found);
            std::u16string decoded = utf8ToUtf16(damaged);
            size_t stray = static_cast<size_t>(std::count(decoded.begin(), decoded.end(), u'\uFFFD'));
            std::replace(decoded.begin(), decoded.end(), u'\uFFFD', u'?');
            ++total;
            right += found.origin == TTextOrigin::Utf8 && got == encode(CodePage::Cp1251, decoded);
            EXPECT_EQ(found.origin, TTextOrigin::Utf8) << damaged;
            EXPECT_EQ(found.invalid, stray) << damaged;
        }
    }
    std::printf("damaged UTF-8: %d/%d right\n", right, total);
    EXPECT_EQ(right, total);
}
