#include "text/Detect.h"
#include "text/Textlines.h"

#include "Testutil.h"

#include <gtest/gtest.h>

using namespace volm;
using volm::test::readFile;
using volm::test::sourceDir;

namespace {

std::string Fixture(const std::string& name)
{
    return readFile(sourceDir() / "tests/text/data" / name);
}

std::string Bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

TEST(Detect, ProbeBytesFollowThePublishedSets)
{
    const TProbeBytes expected[kCandidateCount] = {
        {0x8E, 0xAE, 0x85, 0xA5}, {0xBE, 0xDE, 0xB5, 0xD5}, {0xEF, 0xCF, 0xE5, 0xC5},
        {0x8E, 0xEE, 0x85, 0xE5}, {0xCE, 0xEE, 0xC5, 0xE5},
    };
    for (int k = 0; k < kCandidateCount; ++k) {
        TProbeBytes p = ProbeBytes(k);
        EXPECT_EQ(p.capitalO, expected[k].capitalO) << CandidateName(k);
        EXPECT_EQ(p.smallO, expected[k].smallO) << CandidateName(k);
        EXPECT_EQ(p.capitalE, expected[k].capitalE) << CandidateName(k);
        EXPECT_EQ(p.smallE, expected[k].smallE) << CandidateName(k);
    }
}

TEST(Detect, ProseInEveryCodePageBecomesTheSameWindows1251)
{
    const std::string want = Fixture("prose.cp1251.txt");
    ASSERT_GT(want.size(), 1000u);
    struct Case { const char* file; TTextOrigin origin; int candidate; };
    const Case cases[] = {
        {"prose.cp866.txt", TTextOrigin::SingleByte, cpCp866},
        {"prose.iso8859_5.txt", TTextOrigin::SingleByte, cpIso8859_5},
        {"prose.koi8_r.txt", TTextOrigin::SingleByte, cpKoi8R},
        {"prose.mac_cyrillic.txt", TTextOrigin::SingleByte, cpMacCyrillic},
        {"prose.cp1251.txt", TTextOrigin::SingleByte, cpCp1251},
        {"prose.utf8.txt", TTextOrigin::Utf8, 0},
    };
    for (const Case& c : cases) {
        TDetection found;
        EXPECT_EQ(DetectAndConvert(Fixture(c.file), found), want) << c.file;
        EXPECT_EQ(found.origin, c.origin) << c.file;
        if (c.origin == TTextOrigin::SingleByte) {
            EXPECT_EQ(found.candidate, c.candidate) << c.file << " taken as " << found.Describe();
        }
        EXPECT_EQ(found.missing, 0u);
    }
    // With a byte-order mark and CR LF line ends: the mark goes, the line ends stay.
    EXPECT_EQ(DetectAndConvert(Fixture("prose.utf8bom.txt")), NormalizeLineEnds(want));
}

TEST(Detect, EveryLetterAndYoComesOutInWindows1251)
{
    // All 66 letters, weighted so that the probe letters decide clearly.
    std::u16string letters;
    for (char16_t c = u'А'; c <= u'я'; ++c)
        letters.push_back(c);
    letters += u"ЁёООооЕЕее";
    const std::string want = encode(CodePage::Cp1251, letters);
    for (int k = 0; k < cpCp1251; ++k) {
        std::string in = encode(CandidateCodePage(k), letters);
        EXPECT_EQ(DetectAndConvert(in), want) << CandidateName(k);
    }
    // KOI8-R ё and Ё (0xA3, 0xB3) now become Windows-1251's 0xB8 and 0xA8.
    std::string koi = encode(CodePage::Koi8R, u"ёЁ оооо");
    EXPECT_EQ(koi.substr(0, 2), Bytes({0xA3, 0xB3}));
    EXPECT_EQ(DetectAndConvert(koi).substr(0, 2), Bytes({0xB8, 0xA8}));
}

TEST(Detect, PunctuationConvertsAndPseudoGraphicsBecomeAscii)
{
    // Mac Cyrillic quotes, dash, ellipsis and № get their Windows-1251 bytes.
    std::u16string text = u"«Ох» — сказал он… №5, ещё ОЕ";
    EXPECT_EQ(DetectAndConvert(encode(CodePage::MacCyrillic, text)), encode(CodePage::Cp1251, text));
    // CP866 box drawing has no Windows-1251 character: lines become "-" and
    // "|", a block "?", each counted (the bytes themselves would be the
    // letters Д, і and Ы).
    std::string cp866 = encode(CodePage::Cp866, u"оооо ");
    cp866 += Bytes({0xC4, 0xB3, 0xDB});
    TDetection found;
    std::string out = DetectAndConvert(cp866, found);
    EXPECT_EQ(out, encode(CodePage::Cp1251, u"оооо ") + "-|?");
    EXPECT_EQ(found.missing, 3u);
    EXPECT_EQ(found.Replacements(), "3 characters Windows-1251 lacks stored as the nearest text (1 of them as \"?\")");
}

TEST(Detect, TiesAndTextsWithoutProbeLetters)
{
    // Only ASCII: nothing scores, nothing changes.
    const std::string ascii = "Plain ASCII text, 123.\r\n";
    EXPECT_EQ(DetectAndConvert(ascii), ascii);
    EXPECT_EQ(DetectAndConvert(""), "");

    // Windows-1251 without О and Е ties with Mac Cyrillic: Windows-1251 wins and the
    // text keeps its dashes, quotes and capital Я.
    std::string w = encode(CodePage::Cp1251, u"Я много — «во, до»");
    EXPECT_EQ(DetectCodePage(w), cpCp1251);
    EXPECT_EQ(DetectAndConvert(w), w);

    // Windows-1251 tied with ISO-8859-5 (one probe byte each): Windows-1251 wins.
    EXPECT_EQ(DetectCodePage(Bytes({0xCE, 0xBE})), cpCp1251);
    // ISO-8859-5 wins its ties with the others; CP866 beats KOI8-R on a tie.
    EXPECT_EQ(DetectCodePage(Bytes({0xBE, 0xEF})), cpIso8859_5);
    EXPECT_EQ(DetectCodePage(Bytes({0xAE, 0xCF})), cpCp866);
    // A strictly higher score wins whatever the order.
    EXPECT_EQ(DetectCodePage(Bytes({0xCF, 0xCF, 0xAE})), cpKoi8R);

    // Mac Cyrillic and CP866 share О and Е; the small letters decide.
    EXPECT_EQ(DetectCodePage(Bytes({0x8E, 0x85, 0xEE})), cpMacCyrillic);
    EXPECT_EQ(DetectCodePage(Bytes({0x8E, 0x85, 0xAE})), cpCp866);
}

TEST(Detect, OnlyTheBytesBeforeTheFirstNulCount)
{
    // KOI8-R before the NUL, many Windows-1251 probe bytes after it.
    std::string head = encode(CodePage::Koi8R, u"окно");
    std::string tail(1, '\0');
    tail += encode(CodePage::Cp1251, u"оооооооо");
    TDetection found;
    std::string out = DetectAndConvert(head + tail, found);
    EXPECT_EQ(found.candidate, cpKoi8R);
    // The head is converted, the NUL and the rest are handed back unchanged.
    EXPECT_EQ(out, encode(CodePage::Cp1251, u"окно") + tail);
    // A file that starts with NUL: nothing counts, nothing changes.
    EXPECT_EQ(DetectAndConvert(std::string("\0\xCF", 2)), std::string("\0\xCF", 2));
}

TEST(Detect, Utf8IsDecodedOnlyWhenItIsUtf8)
{
    // Characters that Windows-1251 lacks become one "?" each, also outside the basic plane.
    TDetection found;
    EXPECT_EQ(DetectAndConvert("\xEF\xBB\xBF" "Zа\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80!", found),
              "Z\xE0\x88?" "?!");
    EXPECT_EQ(found.origin, TTextOrigin::Utf8);
    EXPECT_EQ(found.missing, 2u);
    // A byte-order mark alone gives the empty text.
    EXPECT_EQ(DetectAndConvert("\xEF\xBB\xBF"), "");
    // Pure ASCII is not taken as UTF-8 (nothing multi-byte in it).
    EXPECT_FALSE(LooksLikeUtf8("abc"));
    // UTF-8 cut inside its last character is UTF-8: the cut character is "?".
    std::string broken = "\xD0\xBE\xD0";
    EXPECT_TRUE(LooksLikeUtf8(broken));
    EXPECT_EQ(DetectAndConvert(broken, found), "\xEE?");
    EXPECT_EQ(found.origin, TTextOrigin::Utf8);
    EXPECT_EQ(found.invalid, 1u);
    // UTF-8 before a NUL, garbage after it: the head is decoded, the rest kept.
    std::string mixed = std::string("\xD0\xBE\0\xFF", 4);
    EXPECT_EQ(DetectAndConvert(mixed), std::string("\xEE\0\xFF", 3));
}

TEST(Detect, LoadedTextsAsTheEditorStoresThem)
{
    // a, b, LF, c, d is stored as a, b, CR, LF, c, d, CR, LF, with or without detection.
    EXPECT_EQ(LoadedText("ab\ncd", true), "ab\r\ncd\r\n");
    EXPECT_EQ(LoadedText("ab\ncd", false), "ab\r\ncd\r\n");
    EXPECT_EQ(LoadedText("", true), "");
    // Without detection the bytes stay as they are, apart from the line ends.
    std::string koi = encode(CodePage::Koi8R, u"окно\nдом");
    EXPECT_EQ(LoadedText(koi, false), encode(CodePage::Koi8R, u"окно\r\nдом\r\n"));
    TDetection found;
    EXPECT_EQ(LoadedText(koi, true, &found), encode(CodePage::Cp1251, u"окно\r\nдом\r\n"));
    EXPECT_EQ(found.Describe(), "KOI8-R");
    // The stored text ends at the NUL.
    EXPECT_EQ(LoadedText(std::string("x\0y", 3), true), "x\r\n");
}

namespace {

std::string Utf16(std::u16string_view text, bool bigEndian)
{
    std::string out;
    for (char16_t u : text) {
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

} // namespace

TEST(Detect, Utf16IsDecodedWholeWithOrWithoutAByteOrderMark)
{
    // As Notepad saves "Unicode": a long text no longer ends at its first NUL byte.
    std::u16string prose = utf8ToUtf16(Fixture("prose.utf8.txt"));
    std::u16string text;
    while (text.size() < 5400)
        text += prose;
    const std::string want = encode(CodePage::Cp1251, text);
    struct Case { bool bigEndian, bom; TTextOrigin origin; };
    for (Case c : {Case{false, true, TTextOrigin::Utf16LE}, Case{true, true, TTextOrigin::Utf16BE},
                   Case{false, false, TTextOrigin::Utf16LE}, Case{true, false, TTextOrigin::Utf16BE}}) {
        TDetection found;
        std::string in = Utf16((c.bom ? u"\uFEFF" : u"") + text, c.bigEndian);
        EXPECT_EQ(DetectAndConvert(in, found), want) << found.Describe();
        EXPECT_EQ(found.origin, c.origin);
        EXPECT_EQ(LoadedText(in, true).size(), NormalizeLineEnds(want).size());
    }
    // Latin text without a mark: every other byte is NUL.
    EXPECT_EQ(DetectAndConvert(Utf16(u"Plain text\r\n", false)), "Plain text\r\n");
    // A character outside Windows-1251 (and outside the basic plane) is "?";
    // half a unit at the end is an invalid byte.
    TDetection found;
    std::string odd = Utf16(u"\uFEFFЁж \u4E2D\U0001F600", false) + "x";
    EXPECT_EQ(DetectAndConvert(odd, found), "\xA8\xE6 ???");
    EXPECT_EQ(found.missing, 2u);
    EXPECT_EQ(found.invalid, 1u);
    EXPECT_EQ(found.Replacements(), "2 characters Windows-1251 lacks and 1 invalid byte stored as \"?\"");
    // Single-byte texts with a NUL byte are not UTF-16.
    EXPECT_EQ(DetectAndConvert(std::string("x\0y", 3)), std::string("x\0y", 3));
    EXPECT_EQ(DetectAndConvert(std::string("\xCF\xF0\xE8\0\0\0", 6), found), std::string("\xCF\xF0\xE8\0\0\0", 6));
    EXPECT_EQ(found.origin, TTextOrigin::SingleByte);
}

TEST(Detect, MacCyrillicAndWindows1251AreToldApartByTheBytesTheyDifferOn)
{
    // Long prose without the capitals О and Е ties the two on the probes.
    std::u16string prose = utf8ToUtf16(Fixture("prose.utf8.txt"));
    std::u16string untied;
    for (char16_t c : prose)
        untied.push_back(c == u'О' ? u'Т' : c == u'Е' ? u'Н' : c);
    std::string mac = encode(CodePage::MacCyrillic, untied);
    EXPECT_EQ(ScoreCandidates(mac).score[cpMacCyrillic], ScoreCandidates(mac).score[cpCp1251]);
    TDetection found;
    EXPECT_EQ(DetectAndConvert(mac, found), encode(CodePage::Cp1251, untied));
    EXPECT_EQ(found.Describe(), "Mac Cyrillic");
    // Windows-1251 whose ellipses (0x85, Mac Е) outnumber its capitals О and Е.
    std::u16string dotted;
    for (char16_t c : prose)
        dotted.push_back(c == u'.' ? u'…' : c);
    std::string win = encode(CodePage::Cp1251, dotted);
    EXPECT_EQ(DetectCodePage(win), cpMacCyrillic); // the probes alone get it wrong
    EXPECT_EQ(DetectAndConvert(win, found), win);
    EXPECT_EQ(found.Describe(), "Windows-1251");
    // One-sentence texts, the capital at the start telling which.
    for (const char16_t* s : {u"Я знаю.", u"Утром шёл дождь.", u"Сказка «Колобок» — детям."}) {
        EXPECT_EQ(DetectAndConvert(encode(CodePage::MacCyrillic, s)), encode(CodePage::Cp1251, s)) << utf16ToUtf8(s);
        EXPECT_EQ(DetectAndConvert(encode(CodePage::Cp1251, s)), encode(CodePage::Cp1251, s)) << utf16ToUtf8(s);
    }
}

TEST(Detect, AClearVerdictOnALongTextStands)
{
    // CP866 prose around a pseudo-graphic table: the table's bytes are the
    // small letters р..я or capitals in other pages, and symbols the model
    // dislikes in CP866, but the probes are clear and the text is long.
    std::u16string table = u"┌──────┬─────┐\r\n│ Река │ Дон │\r\n└──────┴─────┘\r\n";
    std::u16string text = utf8ToUtf16(Fixture("prose.utf8.txt")) + table + table + table;
    TDetection found;
    std::string out = DetectAndConvert(encode(CodePage::Cp866, text), found);
    EXPECT_EQ(found.Describe(), "CP866");
    EXPECT_EQ(out.substr(out.size() - table.size()), encode(CodePage::Cp1251, u"+------+-----+\r\n| Река | Дон |\r\n+------+-----+\r\n"));
    EXPECT_EQ(found.missing, 3 * 31u);
}

TEST(Detect, TopicListsAreReadAsTextAndLinesWithLackingCharactersAreRefused)
{
    const std::string names = "Глава первая. Осень\r\nГлава вторая. Дорога домой\r\n\r\nЭпилог\r\n";
    const std::vector<std::string> want = {utf8ToCp1251("Глава первая. Осень"),
                                           utf8ToCp1251("Глава вторая. Дорога домой"), "",
                                           utf8ToCp1251("Эпилог")};
    // UTF-8 with and without a byte-order mark, KOI8-R, Windows-1251: the same names.
    for (const std::string& bytes : {names, "\xEF\xBB\xBF" + names, encode(CodePage::Koi8R, utf8ToUtf16(names)),
                                      utf8ToCp1251(names)}) {
        TDecodedList l = DecodeTopicList(bytes);
        EXPECT_EQ(l.names, want) << l.found.Describe();
        EXPECT_TRUE(l.refused.empty());
    }
    EXPECT_EQ(DecodeTopicList(names).found.origin, TTextOrigin::Utf8);

    // A name with characters Windows-1251 lacks is named with its line.
    TDecodedList l = DecodeTopicList("Один\nДва 中文 и 中\nTri\xF0\x9F\x98\x80\nЧетыре");
    ASSERT_EQ(l.names.size(), 4u);
    EXPECT_EQ(l.names[0], utf8ToCp1251("Один"));
    ASSERT_EQ(l.refused.size(), 2u);
    EXPECT_EQ(l.refused[0].line, 2u);
    EXPECT_EQ(l.refused[0].text, "Два 中文 и 中");
    EXPECT_EQ(l.refused[0].characters, (std::vector<std::string>{"中", "文"}));
    EXPECT_EQ(l.refused[1].line, 3u);
    EXPECT_EQ(l.refused[1].characters, (std::vector<std::string>{"\xF0\x9F\x98\x80"}));

    // UTF-16 with a byte-order mark; lone CR and LF end lines, a NUL ends the text.
    std::u16string u16 = u"\uFEFFАльфа\rБета\u2603\nГамма";
    std::string le;
    for (char16_t c : u16) {
        le.push_back(static_cast<char>(c & 0xFF));
        le.push_back(static_cast<char>(c >> 8));
    }
    l = DecodeTopicList(le);
    EXPECT_EQ(l.found.origin, TTextOrigin::Utf16LE);
    EXPECT_EQ(l.names.size(), 3u);
    ASSERT_EQ(l.refused.size(), 1u);
    EXPECT_EQ(l.refused[0].line, 2u);
    EXPECT_EQ(l.refused[0].characters, (std::vector<std::string>{"☃"}));
    EXPECT_EQ(DecodeTopicList(std::string("A\r\nB\0C\r\n", 8)).names, (std::vector<std::string>{"A", "B"}));

    // A UTF-16 NUL ends the list too, and a last line that converts to
    // nothing is no name: neither is a refused line.
    std::u16string cut = u"\uFEFFАльфа\nБета\n\u0300";
    cut.push_back(u'\0');
    cut += u"\nГамма\u2603";
    le.clear();
    for (char16_t c : cut) {
        le.push_back(static_cast<char>(c & 0xFF));
        le.push_back(static_cast<char>(c >> 8));
    }
    l = DecodeTopicList(le);
    EXPECT_EQ(l.names.size(), 2u);
    EXPECT_TRUE(l.refused.empty());
}
