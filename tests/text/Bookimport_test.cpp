// Whole books into topics: each fixture format gives its chapters in order
// with every paragraph once; splitting, naming, repair of hard-wrapped texts,
// recognition and the refusals of what is no book.
#include "text/Bookimport.h"
#include "text/Booklimits.h"
#include "text/Booktext.h"
#include "text/Plainbook.h"
#include "text/Rewrap.h"

#include "Testutil.h"
#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "text/Bookexpect.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using namespace volm;
using namespace volm::test;

namespace {

TBook importFixture(const std::string& name, const TBookOptions& options = {})
{
    fs::path p = booksDir() / name;
    return ImportBook(readFile(p), p.string(), options);
}

std::string win(const std::string& utf8) { return utf8ToCp1251(utf8); }

// The message of the EBookError that importing `bytes` as `name` raises.
std::string refusal(const std::string& bytes, const std::string& name, const TBookOptions& options = {})
{
    try {
        ImportBook(bytes, name, options);
    } catch (const EBookError& e) {
        return e.what();
    }
    ADD_FAILURE() << name << " was imported";
    return {};
}

std::vector<std::string> names(const std::vector<TBookTopic>& topics)
{
    std::vector<std::string> out;
    for (const auto& t : topics)
        out.push_back(cp1251ToUtf8(t.name));
    return out;
}

} // namespace

TEST(Bookimport, EachFixtureGivesItsChaptersWithEveryParagraphOnceInOrder)
{
    for (const char* name : {"tale.fb2", "tale.html", "tale.md", "glava.koi8.txt", "chapter.txt", "parts.cp866.txt",
                             "roman.cp1251.txt", "wrapped.txt"}) {
        SCOPED_TRACE(name);
        expectTopics(importFixture(name), name);
    }
    // The FB2 in Windows-1251 says so and reads as the same book.
    TBook b = importFixture("tale-1251.fb2");
    EXPECT_EQ(b.encoding, "Windows-1251");
    expectTopics(b, "tale.fb2");
}

TEST(Bookimport, WhatABookTellsAboutItself)
{
    TBook fb2 = importFixture("tale.fb2");
    EXPECT_EQ(fb2.format, "FB2");
    EXPECT_EQ(cp1251ToUtf8(fb2.title), "Сказка о часовщике");
    EXPECT_EQ(cp1251ToUtf8(fb2.author), "Иван Сидоров"); // the document's own author is not the book's
    EXPECT_EQ(cp1251ToUtf8(fb2.NameSuggestion()), "Иван Сидоров - Сказка о часовщике");
    EXPECT_EQ(fb2.missing + fb2.invalid, 0u);

    EXPECT_EQ(importFixture("glava.koi8.txt").encoding, "KOI8-R");
    EXPECT_EQ(importFixture("parts.cp866.txt").encoding, "CP866");
    EXPECT_EQ(importFixture("chapter.txt").NameSuggestion(), ""); // no title: a preface opens it
    // The HTML's stress mark is dropped and its smiley, which has no
    // Windows-1251 text, is one "?": both counted.
    TBook html = importFixture("tale.html");
    EXPECT_EQ(html.missing, 2u);
    EXPECT_EQ(html.question, 1u);
    EXPECT_EQ(cp1251ToUtf8(html.title), "Сказка о часовщике");
}

TEST(Bookimport, HardWrappedTextIsRepairedUnlessLinesAreKept)
{
    TBook repaired = importFixture("wrapped.txt");
    ASSERT_EQ(repaired.notes.size(), 1u);
    EXPECT_NE(repaired.notes[0].find("hard-wrapped at 72 columns"), std::string::npos) << repaired.notes[0];

    TBookOptions keep;
    keep.keepLines = true;
    TBook kept = importFixture("wrapped.txt", keep);
    EXPECT_TRUE(kept.notes.empty());
    // Every line as the file has it (without trailing blanks).
    std::string file = readFile(booksDir() / "wrapped.txt");
    std::vector<std::string> want;
    for (size_t at = 0, nl; (nl = file.find('\n', at)) != std::string::npos; at = nl + 1)
        want.push_back(file.substr(at, nl - at));
    want[0] = kHeadingMark + want[0]; // the chapter's title line
    ASSERT_EQ(kept.chapters.size(), 1u);
    EXPECT_EQ(topicLines(BookTopics(kept, 0)[0].text), want);
}

TEST(Bookimport, RepairLeavesVerseParagraphLinesAndUnwrappedTextsAlone)
{
    // Short lines inside a wrapped text: the next word would have fit, so
    // each break was the author's.
    std::vector<TWrapLine> lines;
    const std::string prose = "the quick brown fox jumps over the lazy dog and keeps on running far";
    for (int i = 0; i < 6; ++i)
        lines.push_back({prose.substr(0, prose.size() - static_cast<size_t>(i % 3)), false});
    lines.push_back({"away.", false});
    lines.push_back({"Roses are red,", false});
    lines.push_back({"violets are blue.", false});
    TRewrapResult r = Rewrap(lines);
    ASSERT_TRUE(r.wrapped);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].text, "Roses are red,");
    EXPECT_EQ(lines[2].text, "violets are blue.");

    // One paragraph per line, of any length: nothing near one width.
    std::vector<TWrapLine> one;
    for (int i = 0; i < 20; ++i)
        one.push_back({std::string(static_cast<size_t>(20 + i * 37 % 300), 'x') + " end.", false});
    std::vector<TWrapLine> before = one;
    EXPECT_FALSE(Rewrap(one).wrapped);
    EXPECT_EQ(one.size(), before.size());
}

TEST(Bookimport, SplitKeepsEveryTopicUnderTheSizeAndCutsAtParagraphsThenWords)
{
    TBook book = importFixture("glava.koi8.txt");
    std::vector<TBookTopic> whole = BookTopics(book, 0), split = BookTopics(book, 4096);
    EXPECT_EQ(names(split), (std::vector<std::string>{"Глава 1", "Глава 2. Гость", "Глава 3 (1)", "Глава 3 (2)",
                                                      "ГЛАВА 4"}));
    std::string joined;
    for (const auto& t : split) {
        EXPECT_LE(t.text.size(), 4096u) << cp1251ToUtf8(t.name);
        joined += t.text;
    }
    // Only the empty line where the long chapter was cut is gone.
    std::string all;
    for (const auto& t : whole)
        all += t.text;
    auto nonEmpty = [](const std::string& text) {
        std::vector<std::string> out;
        for (const std::string& l : topicLines(text))
            if (!l.empty())
                out.push_back(l);
        return out;
    };
    EXPECT_EQ(nonEmpty(joined), nonEmpty(all));
    for (const auto& t : split) { // no part begins or ends with an empty line
        EXPECT_NE(t.text.substr(0, 2), "\r\n");
        EXPECT_NE(t.text.substr(t.text.size() - 4), "\r\n\r\n");
    }

    // A paragraph longer than a part is cut between words, all words kept.
    std::string para;
    for (int i = 0; i < 200; ++i)
        para += "word" + std::to_string(i) + ' ';
    para.pop_back();
    std::vector<std::string> parts = SplitParts({"first", para, "last"}, 100);
    std::string words;
    for (const std::string& p : parts) {
        EXPECT_LE(p.size(), 100u);
        EXPECT_EQ(p.substr(p.size() - 2), "\r\n");
        for (const std::string& l : topicLines(p))
            words += (words.empty() ? "" : " ") + l;
    }
    EXPECT_EQ(words, "first " + para + " last");
    EXPECT_EQ(parts.front(), "first\r\n");
}

TEST(Bookimport, TopicNamesFitFiftyBytesAndKeepTheirPartNumbers)
{
    TBookChapter ch;
    ch.name = std::string(70, 'n');
    ch.pieces.push_back({});
    for (int i = 0; i < 12; ++i)
        ch.pieces.back().push_back(std::string(90, 'a' + i));
    std::vector<TBookTopic> one = ChapterTopics(ch, 0);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, std::string(50, 'n'));
    std::vector<TBookTopic> parts = ChapterTopics(ch, 100);
    ASSERT_EQ(parts.size(), 12u);
    EXPECT_EQ(parts[0].name, std::string(45, 'n') + " (1)");
    EXPECT_EQ(parts[11].name, std::string(45, 'n') + " (12)");
    EXPECT_EQ(parts[11].name.size(), 50u);
}

TEST(Bookimport, ChaptersWithoutTitlesAndTextBeforeTheFirstChapter)
{
    // Untitled sections go on as pieces of the part they lie in; the body's
    // epigraph makes the text before the first chapter a topic of its own.
    std::string fb2 = "<?xml version='1.0' encoding='utf-8'?><FictionBook><description><title-info>"
                      "<book-title>Книга</book-title></title-info></description><body>"
                      "<epigraph><p>Эпиграф.</p></epigraph>"
                      "<section><title><p>Часть</p></title><section><p>один</p></section>"
                      "<section><p>два</p></section></section>"
                      "<section><p>три</p></section></body></FictionBook>";
    TBook b = ImportBook(fb2, "untitled.fb2", {});
    EXPECT_EQ(names(BookTopics(b, 0)), (std::vector<std::string>{"Книга", "Часть (1)", "Часть (2)", "Книга"}));
    // The part's title is the first piece's heading; the second piece has none.
    EXPECT_EQ(topicLines(BookTopics(b, 0)[1].text), (std::vector<std::string>{"\x01Часть", "один"}));
    EXPECT_EQ(topicLines(BookTopics(b, 0)[2].text), (std::vector<std::string>{"два"}));

    // A text without headings is one topic, named after its title line, or
    // after the file when it has none.
    TBook one = ImportBook(win("Заглавие\n\nПервый абзац.\nВторой абзац.\n"), "/x/story.txt", {});
    EXPECT_EQ(names(BookTopics(one, 0)), std::vector<std::string>{"Заглавие"});
    TBook none = ImportBook(std::string(120, 'x') + "\nmore\n", "/x/story.txt", {});
    EXPECT_EQ(names(BookTopics(none, 0)), std::vector<std::string>{"story"});
}

TEST(Bookimport, BuiltInHeadingsAndAPatternOfOnesOwn)
{
    struct {
        const char* line;
        TPlainHeading kind;
        bool bare;
    } cases[] = {
        {"Глава 1", TPlainHeading::Chapter, true},
        {"ГЛАВА XII.", TPlainHeading::Chapter, true},
        {"Глава первая", TPlainHeading::Chapter, true},
        {"Глава 3. Встреча", TPlainHeading::Chapter, false},
        {"Глава 3 Встреча", TPlainHeading::Chapter, false},
        {"Chapter One: The Road", TPlainHeading::Chapter, false},
        {"CHAPTER 12 - The End", TPlainHeading::Chapter, false},
        {"Часть вторая", TPlainHeading::Part, true},
        {"Part IV", TPlainHeading::Part, true},
        {"XIV", TPlainHeading::Chapter, true},
        {"ХIV", TPlainHeading::Chapter, true}, // a Cyrillic Х
        {"Эпилог", TPlainHeading::Chapter, true},
        {"* * *", TPlainHeading::Separator, true},
        {"*****", TPlainHeading::Separator, true},
        {"Глава семьи сказал", TPlainHeading::None, false},
        {"Part 2 of the plan", TPlainHeading::None, false},
        {"Главах 2", TPlainHeading::None, false},
        {"Глава", TPlainHeading::None, false},
        {"IIII", TPlainHeading::None, false},
        {"VX", TPlainHeading::None, false},
        {"* *", TPlainHeading::None, false},
        {"* * * and more", TPlainHeading::None, false},
    };
    for (const auto& c : cases) {
        bool bare = false;
        EXPECT_EQ(DefaultHeading(win(c.line), bare), c.kind) << c.line;
        if (c.kind != TPlainHeading::None) {
            EXPECT_EQ(bare, c.bare) << c.line;
        }
    }

    // A heading with a title counts only where it stands apart.
    const std::string preface = "Вступление, которое длиннее любого заглавия: в нём больше восьмидесяти байтов текста.";
    TBook b = ImportBook(win(preface + "\n\nГлава 1. Утро\nТекст.\nГлава 2. День\nЕщё.\n"), "a.txt", {});
    EXPECT_EQ(names(BookTopics(b, 0)), (std::vector<std::string>{"Preface", "Глава 1. Утро"}));

    TBookOptions own;
    own.chapters = win("§ \\d+");
    TBook custom = ImportBook(win("§ 1\nАльфа.\nГлава 2\nБета.\n§ 2\nГамма.\n"), "b.txt", own);
    EXPECT_EQ(names(BookTopics(custom, 0)), (std::vector<std::string>{"§ 1", "§ 2"}));
    own.chapters = "(";
    EXPECT_NE(refusal("text", "c.txt", own).find("\"(\" is refused: missing )"), std::string::npos);
}

TEST(Bookimport, HeadingPatternsMatchInLinearTimeAndHostileOnesAreRefused)
{
    // A pattern that backtracks without end in a backtracking engine, over
    // long lines that almost match: RE2's automaton reads each line once.
    TBookOptions own;
    own.chapters = "(a+)+b";
    std::string text = "ab\n";
    for (int i = 0; i < 2000; ++i)
        text += std::string(150, 'a') + "\n\n";
    text += "aab\nend\n";
    TBook b = ImportPlainText(text, "a.txt", own);
    EXPECT_EQ(names(BookTopics(b, 0)), (std::vector<std::string>{"ab", "aab"}));

    // Nesting past what RE2 builds, and length past the limit, end at once
    // with the cause.
    EXPECT_EQ(ChapterPatternFault("(a{100}){100}"), "invalid repetition size: {100}");
    std::string deep = std::string(30000, '(') + "a" + std::string(30000, ')');
    EXPECT_EQ(ChapterPatternFault(deep), "longer than 4096 bytes");
    own.chapters = deep;
    EXPECT_NE(refusal("text", "d.txt", own).find("is refused: longer than 4096 bytes"), std::string::npos);
    // A pattern whose automaton would be too large.
    std::string large;
    for (int i = 0; i < 300; ++i)
        large += "(\\w+\\s*){900}";
    EXPECT_EQ(ChapterPatternFault(large), "too large (nested or repeated too deeply for 8 MB)");
    // Windows-1251 letters match as single bytes, case and all.
    own.chapters = win("[А-Я]+ \\d+");
    TBook cyr = ImportPlainText(win("ГЛАВА 1\nтекст\nглава 2\nещё\n"), "e.txt", own);
    EXPECT_EQ(names(BookTopics(cyr, 0)), (std::vector<std::string>{"ГЛАВА 1"}));
}

TEST(Bookimport, FormatsAreRecognisedByContent)
{
    std::string fb2 = readFile(booksDir() / "tale.fb2");
    EXPECT_EQ(RecogniseBook(fb2, "book.txt"), TBookFormat::Fb2);
    EXPECT_EQ(RecogniseBook("  <!DOCTYPE html><p>x", "page"), TBookFormat::Html);
    EXPECT_EQ(RecogniseBook("<body><p>x</p></body>", "page.txt"), TBookFormat::Html);
    EXPECT_EQ(RecogniseBook("# Title\n\ntext", "notes.md"), TBookFormat::Markdown);
    EXPECT_EQ(RecogniseBook("# Title\n\ntext", "notes.txt"), TBookFormat::Text);
    EXPECT_EQ(RecogniseBook(std::string("PK\x03\x04", 4) + "rest", "a.epub"), TBookFormat::Zip);
    EXPECT_EQ(RecogniseBook(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "a.txt"), TBookFormat::None);
    // UTF-16 is text for all its zero bytes.
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("Chapter 1\r\nText.\r\n"))
        utf16 += std::string{c, '\0'};
    EXPECT_EQ(RecogniseBook(utf16, "a.txt"), TBookFormat::Text);
    EXPECT_EQ(names(BookTopics(ImportBook(utf16, "a.txt", {}), 0)), std::vector<std::string>{"Chapter 1"});
    // A topic's text written out, its headings marked, is a text; the same
    // bytes inside lines are not. Imported again, a title keeps one mark.
    const std::string marked = "\x01" "Chapter 1\r\n\x01Part\r\nText.\r\n";
    EXPECT_EQ(RecogniseBook(marked, "a.txt"), TBookFormat::Text);
    EXPECT_EQ(RecogniseBook("Chapter 1\r\nx\x01y\x01z\r\n", "a.txt"), TBookFormat::None);
    EXPECT_EQ(BookTopics(ImportBook(marked, "a.txt", {}), 0).at(0).text.substr(0, 12), "\x01" "Chapter 1\r\n");
}

TEST(Bookimport, WhatIsNoBookIsRefusedNamingTheFile)
{
    EXPECT_NE(refusal(std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0", 12), "/x/prog.txt").find("/x/prog.txt: not a book"),
              std::string::npos);
    EXPECT_NE(refusal("", "/x/empty.txt").find("/x/empty.txt: the book holds no text"), std::string::npos);
    EXPECT_NE(refusal("\r\n  \n\n", "/x/blank.txt").find("holds no text"), std::string::npos);
    EXPECT_NE(refusal("<FictionBook><description/></FictionBook>", "/x/nobody.fb2").find("holds no text"),
              std::string::npos);
    // Markdown is refused above 16 MB (cmark builds its whole tree).
    EXPECT_NE(refusal(std::string(17u << 20, 'x'), "/x/big.md").find("/x/big.md: too large for Markdown (16 MB at most)"),
              std::string::npos);
    // Recovery mode can't make a book of markup that holds nothing.
    std::string broken = refusal("<FictionBook><body><", "/x/broken.fb2");
    EXPECT_NE(broken.find("/x/broken.fb2: "), std::string::npos) << broken;
}

TEST(Bookimport, XmlThatIsNotWellFormedIsReadInRecoveryModeAndSaysSo)
{
    std::string fb2 = "<?xml version='1.0' encoding='utf-8'?><FictionBook><body>"
                      "<section><title><p>Глава</p></title><p>один &nbsp; два</p><p>три<p>четыре</section>"
                      "</body></FictionBook>";
    TBook b = ImportBook(fb2, "/x/bad.fb2", {});
    ASSERT_EQ(b.notes.size(), 1u);
    EXPECT_NE(b.notes[0].find("/x/bad.fb2 is not well-formed XML (line 1: "), std::string::npos) << b.notes[0];
    EXPECT_NE(b.notes[0].find("read in recovery mode"), std::string::npos);
    ASSERT_FALSE(b.chapters.empty());
    std::string text = cp1251ToUtf8(BookTopics(b, 0).back().text);
    EXPECT_NE(text.find("четыре"), std::string::npos) << text;
}

TEST(Bookimport, EntitiesAreNeitherExpandedNorLoaded)
{
    // Billion laughs: refused at once, not expanded.
    std::string laughs = "<?xml version='1.0'?><!DOCTYPE FictionBook [<!ENTITY a 'haha'>";
    for (int i = 1; i < 12; ++i) {
        laughs += "<!ENTITY ";
        laughs += char('a' + i);
        laughs += " '";
        for (int j = 0; j < 10; ++j) {
            laughs += '&';
            laughs += char('a' + i - 1);
            laughs += ';';
        }
        laughs += "'>";
    }
    laughs += "]><FictionBook><body><section><p>&l;</p></section></body></FictionBook>";
    auto start = std::chrono::steady_clock::now();
    std::string msg = refusal(laughs, "/x/laughs.fb2");
    EXPECT_NE(msg.find("/x/laughs.fb2: "), std::string::npos) << msg;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)); // not expanded to 10^11 bytes

    // An external entity names a file; it is never read.
    TempDir dir;
    writeFile(dir / "secret.txt", "SECRET-CONTENT");
    std::string xxe = "<?xml version='1.0'?><!DOCTYPE FictionBook [<!ENTITY x SYSTEM 'file://" +
                      (dir / "secret.txt").string() + "'>]><FictionBook><body><section><title><p>T</p></title>"
                      "<p>before &x; after</p></section></body></FictionBook>";
    TBook b = ImportBook(xxe, "/x/xxe.fb2", {});
    std::string all;
    for (const auto& t : BookTopics(b, 0))
        all += t.text;
    EXPECT_EQ(all.find("SECRET"), std::string::npos);
    EXPECT_NE(all.find("before after"), std::string::npos) << all;
}

TEST(Bookimport, EncodingsComeFromTheDocumentOrFromDetection)
{
    // An HTML page in KOI8-R that says so, and one that says nothing.
    std::string body = "<p>" + std::string("\xf0\xd2\xc9\xd7\xc5\xd4") + "</p>"; // "Привет" in KOI8-R
    TBook said = ImportBook("<html><head><meta http-equiv='Content-Type' content='text/html; charset=koi8-r'>"
                            "</head><body>" + body + "</body></html>", "a.html", {});
    EXPECT_EQ(said.encoding, "KOI8-R");
    EXPECT_EQ(cp1251ToUtf8(BookTopics(said, 0)[0].text), "Привет\r\n");
    // A page that claims UTF-8 but is Windows-1251 is read as detection finds it.
    std::string prose = readFile(sourceDir() / "tests/text/data/prose.cp1251.txt");
    TBook lied = ImportBook("<html><head><meta charset='utf-8'></head><body><p>" + prose + "</p></body></html>",
                            "b.html", {});
    EXPECT_EQ(lied.encoding, "Windows-1251");
    ASSERT_EQ(lied.notes.size(), 1u);
    EXPECT_NE(lied.notes[0].find("it says UTF-8 but is not"), std::string::npos);
    // Without detection a text that names nothing is Windows-1251.
    TBookOptions raw;
    raw.detect = false;
    std::string koi = readFile(sourceDir() / "tests/text/data/prose.koi8_r.txt");
    EXPECT_EQ(ImportBook(koi, "c.txt", raw).encoding, "Windows-1251");
    EXPECT_EQ(ImportBook(koi, "c.txt", {}).encoding, "KOI8-R");
}

TEST(Bookimport, CharactersWindows1251LacksBecomeTheirNearestText)
{
    TBookTextWriter w;
    EXPECT_EQ(w("a\u00A0b\u2009c\u202Fd"), "a b c d");                    // spaces
    EXPECT_EQ(w("мяг\u00ADкий"), win("мягкий"));                          // soft hyphen dropped
    EXPECT_EQ(w("за\u0301мок"), win("замок"));                            // stress mark dropped
    EXPECT_EQ(w("\u2011\u2012\u2015\u2212"), "-\x96\x97-");               // hyphens and dashes
    EXPECT_EQ(w("\u201B\u201F\u2033"), "'\"\"");                          // quotes and primes
    EXPECT_EQ(w("Émile Zoë Łódź Œuvre"), "Emile Zoe Lodz OEuvre");       // accents
    EXPECT_EQ(w("«—…„“”»"), "\xAB\x97\x85\x84\x93\x94\xBB");              // these Windows-1251 has
    // Every character Windows-1251 lacks is counted, its nearest text or not.
    // (the thin and narrow spaces are compatibility forms of the space).
    EXPECT_EQ(w.Count().missing, 14u);
    EXPECT_EQ(w.Count().question, 0u);
    EXPECT_EQ(w("☺ 中 😀"), "? ? ?");
    EXPECT_EQ(w.Count().missing, 17u);
    EXPECT_EQ(w.Count().question, 3u);
    EXPECT_EQ(w("\xFF"), "?");
    EXPECT_EQ(w.Count().invalid, 1u);
}

TEST(Bookimport, CompatibilityFormsReachTheirPlainLettersAndWindows1251KeepsItsOwn)
{
    TBookTextWriter w;
    EXPECT_EQ(w("ＦＵＬＬ ｗｉｄｔｈ ⓒⓘⓡⓒⓛⓔ ﬁne x²"), "FULL width circle fine x2");
    EXPECT_EQ(w.Count().missing, 0u);
    // "№" and "…" are Windows-1251's own, not "No" and "...".
    EXPECT_EQ(w("№ 5…"), "\xB9 5\x85");
    // A form whose plain letters Windows-1251 still lacks is counted as before.
    EXPECT_EQ(w("㊥"), "?");
    EXPECT_EQ(w.Count().missing, 1u);
}

namespace {

std::vector<std::string> chapterNames(const TBook& b)
{
    std::vector<std::string> out;
    for (const auto& ch : b.chapters)
        out.push_back(cp1251ToUtf8(ch.name));
    return out;
}

std::string bookText(const TBook& b)
{
    std::string out;
    for (const auto& t : BookTopics(b, 0))
        out += cp1251ToUtf8(t.text);
    return out;
}

std::string para(int n) { return "Some words of paragraph " + std::to_string(n) + " go here and end."; }

} // namespace

TEST(Bookimport, HtmlChaptersAreTheLevelThatDividesTheBookAndPartsNameThem)
{
    // h1 for the title and two books, h2 for the chapters: the chapters are
    // the h2s, the books their parents.
    std::string html = "<html><body><h1>War</h1>";
    for (int book = 1; book <= 2; ++book) {
        html += "<h1>BOOK " + std::string(book == 1 ? "ONE" : "TWO") + "</h1>";
        for (int ch = 1; ch <= 3; ++ch)
            html += "<h2>CHAPTER " + std::string(ch == 1 ? "I" : ch == 2 ? "II" : "III") + "</h2><p>" +
                    para(book * 10 + ch) + std::string(600, 'w') + "</p>";
    }
    html += "</body></html>";
    TBook b = ImportBook(html, "war.html", {});
    EXPECT_EQ(chapterNames(b), (std::vector<std::string>{"BOOK ONE. CHAPTER I", "BOOK ONE. CHAPTER II",
                                                         "BOOK ONE. CHAPTER III", "BOOK TWO. CHAPTER I",
                                                         "BOOK TWO. CHAPTER II", "BOOK TWO. CHAPTER III"}));
    EXPECT_EQ(cp1251ToUtf8(b.title), "War");
    // Subheadings over scraps of text do not make chapters of the scraps.
    std::string longer;
    for (int i = 0; i < 40; ++i)
        longer += para(i) + " ";
    std::string coarse;
    for (int i = 0; i < 3; ++i) {
        coarse += "<h2>S" + std::to_string(i) + "</h2><p>" + longer + "</p>";
        for (int k = 0; k < 3; ++k)
            coarse += "<h3>s" + std::to_string(k) + "</h3><p>short</p>";
    }
    EXPECT_EQ(chapterNames(ImportBook(coarse, "c.html", {})), (std::vector<std::string>{"S0", "S1", "S2"}));
    std::string few = "<h1>A</h1><p>" + para(1) + "</p><h1>B</h1><p>" + para(2) + "</p><h3>x</h3><p>" + para(3) +
                      "</p>";
    EXPECT_EQ(chapterNames(ImportBook(few, "f.html", {})), (std::vector<std::string>{"A", "B"}));
}

TEST(Bookimport, GutenbergLicenceStaysOut)
{
    std::string txt = "The Project Gutenberg eBook of Tale\n\nLicence words before.\n\n"
                      "*** START OF THE PROJECT GUTENBERG EBOOK TALE ***\n\nTale\n\nCHAPTER I\n\n" +
                      para(1) + "\n\nCHAPTER II\n\n" + para(2) +
                      "\n\n*** END OF THE PROJECT GUTENBERG EBOOK TALE ***\n\nLicence words after.\n";
    TBook t = ImportBook(txt, "pg.txt", {});
    EXPECT_EQ(chapterNames(t), (std::vector<std::string>{"CHAPTER I", "CHAPTER II"}));
    EXPECT_EQ(bookText(t).find("Licence"), std::string::npos);
    EXPECT_EQ(bookText(t).find("Gutenberg"), std::string::npos);
    ASSERT_FALSE(t.notes.empty());
    EXPECT_NE(t.notes.back().find("licence"), std::string::npos);

    std::string html = "<html><body><p>Licence words before.</p><p>*** START OF THE PROJECT GUTENBERG EBOOK ***</p>"
                       "<h2>One</h2><p>" + para(1) + "</p><h2>Two</h2><p>" + para(2) +
                       "</p><p>*** END OF THE PROJECT GUTENBERG EBOOK ***</p><p>Licence words after.</p></body></html>";
    TBook h = ImportBook(html, "pg.html", {});
    EXPECT_EQ(chapterNames(h), (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(bookText(h).find("Licence"), std::string::npos);
}

TEST(Bookimport, PlainHeadingsScenesAndContentsLists)
{
    // Front and back matter in Russian and English, any case; books and volumes.
    for (const char* line : {"ЗАКЛЮЧЕНИЕ", "Предисловие", "ПОСЛЕСЛОВИЕ", "Вступление", "ОТ АВТОРА", "PREFACE",
                             "Epilogue", "пролог"}) {
        bool bare = false;
        EXPECT_EQ(DefaultHeading(win(line), bare), TPlainHeading::Chapter) << line;
    }
    for (const char* line : {"КНИГА ПЕРВАЯ", "Том второй", "BOOK ONE", "VOLUME II", "Book 3"}) {
        bool bare = false;
        EXPECT_EQ(DefaultHeading(win(line), bare), TPlainHeading::Part) << line;
    }
    for (const char* line : {"Том сказал.", "Book of the dead", "Книга лежала"}) {
        bool bare = false;
        EXPECT_EQ(DefaultHeading(win(line), bare), TPlainHeading::None) << line;
    }
    // "ЗАКЛЮЧЕНИЕ" is a chapter of its own, not the end of the last one.
    std::string ru = "Глава 1\n\n" + para(1) + "\n\nЗАКЛЮЧЕНИЕ\n\n" + para(2) + "\n";
    EXPECT_EQ(chapterNames(ImportBook(ru, "ru.txt", {})), (std::vector<std::string>{"Глава 1", "ЗАКЛЮЧЕНИЕ"}));

    // Scene breaks cut nothing and stay as lines; a book without headings is
    // one chapter named after its title.
    std::string story = "The Story\n\n" + para(1) + "\n\n* * *\n\n" + para(2) + "\n\n***\n\n" + para(3) + "\n";
    TBook s = ImportBook(story, "story.txt", {});
    ASSERT_EQ(s.chapters.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(s.chapters[0].name), "The Story");
    EXPECT_EQ(s.chapters[0].pieces.size(), 1u);
    EXPECT_NE(bookText(s).find("\r\n* * *\r\n"), std::string::npos);
    EXPECT_NE(bookText(s).find("\r\n***\r\n"), std::string::npos);

    // A contents list makes no topics: its entries are text of the front.
    std::string toc = "Tale\n\nCONTENTS\n\nCHAPTER I\nCHAPTER II\nCHAPTER III\n\nCHAPTER I\n\n" + para(1) +
                      "\n\nCHAPTER II\n\n" + para(2) + "\n\nCHAPTER III\n\n" + para(3) + "\n";
    TBook c = ImportBook(toc, "toc.txt", {});
    EXPECT_EQ(chapterNames(c), (std::vector<std::string>{"Tale", "CHAPTER I", "CHAPTER II", "CHAPTER III"}));
}

TEST(Bookimport, OneParagraphALineOfEvenLengthIsNotJoined)
{
    // Lines of about 85 characters, each a whole paragraph ending a sentence.
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "This line is a paragraph of its own, number " + std::to_string(10 + i) +
                ", and it ends its sentence here.\n";
    TBook b = ImportBook(text, "even.txt", {});
    ASSERT_EQ(b.chapters.size(), 1u);
    EXPECT_EQ(b.chapters[0].pieces[0].size(), 20u);
    for (const std::string& note : b.notes)
        EXPECT_EQ(note.find("hard-wrapped"), std::string::npos) << note;
}

namespace {

// An EPUB's members in memory.
class TMemberMap : public TBookContainer {
public:
    explicit TMemberMap(std::map<std::string, std::string> m) : m_(std::move(m)) {}
    std::vector<std::string> Names() override
    {
        std::vector<std::string> out;
        for (const auto& [n, d] : m_)
            out.push_back(n);
        return out;
    }
    std::string Read(const std::string& name) override { return m_.at(name); }

private:
    std::map<std::string, std::string> m_;
};

std::string page(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>t</title></head><body>" +
           body + "</body></html>";
}

// An EPUB 3 of `files` (name, body) in spine order; `nav` is the navigation
// document's body and is in the spine too; `meta` goes into the metadata.
TBook epub3(const std::vector<std::pair<std::string, std::string>>& files, const std::string& nav,
            const std::string& meta = "", const std::string& guide = "", const TBookOptions& options = {})
{
    std::map<std::string, std::string> m;
    m["mimetype"] = "application/epub+zip";
    m["META-INF/container.xml"] = "<?xml version=\"1.0\"?><container version=\"1.0\" "
                                  "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
                                  "full-path=\"OPS/book.opf\" media-type=\"application/oebps-package+xml\"/>"
                                  "</rootfiles></container>";
    std::string manifest = "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
                           "properties=\"nav\"/>";
    std::string spine = "<itemref idref=\"nav\"/>";
    for (size_t i = 0; i < files.size(); ++i) {
        manifest += "<item id=\"f" + std::to_string(i) + "\" href=\"" + files[i].first +
                    "\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"f" + std::to_string(i) + "\"/>";
        m["OPS/" + files[i].first] = page(files[i].second);
    }
    m["OPS/nav.xhtml"] = page(nav);
    m["OPS/book.opf"] = "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\">"
                        "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>Tale</dc:title>" +
                        meta + "</metadata><manifest>" + manifest + "</manifest><spine>" + spine + "</spine>" +
                        guide + "</package>";
    TMemberMap c(std::move(m));
    return ImportBookContainer(c, "t.epub", options);
}

} // namespace

TEST(Bookimport, NavigationAndContentsListsAreNeverTopics)
{
    const std::string nav = "<nav epub:type=\"toc\"><h1>Contents</h1><ol><li><a href=\"a.xhtml\">One</a></li>"
                            "<li><a href=\"b.xhtml\">Two</a></li></ol></nav>";
    // The spine lists the navigation document first; it is no topic.
    TBook b = epub3({{"a.xhtml", "<h2>One</h2><p>" + para(1) + "</p>"}, {"b.xhtml", "<h2>Two</h2><p>" + para(2) + "</p>"}},
                    nav);
    EXPECT_EQ(chapterNames(b), (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(bookText(b).find("Contents"), std::string::npos);

    // An EPUB 2 style contents page named by the guide, and a contents list
    // of links inside a chapter's file: neither is text.
    const std::string links = "<h2>Contents</h2><p><a href=\"a.xhtml\">One</a></p><p><a href=\"b.xhtml\">Two</a></p>"
                              "<p><a href=\"c.xhtml\">Three</a></p>";
    TBook g = epub3({{"toc.xhtml", "<h1>Index page</h1><p>" + para(9) + "</p>"},
                     {"a.xhtml", links + "<h2>One</h2><p>" + para(1) + "</p>"},
                     {"b.xhtml", "<h2>Two</h2><p>" + para(2) + " <a href=\"#x\">link</a></p>"}},
                    "<nav epub:type=\"toc\"><ol></ol></nav>", "",
                    "<guide><reference type=\"toc\" href=\"toc.xhtml\"/></guide>");
    EXPECT_EQ(chapterNames(g), (std::vector<std::string>{"One", "Two"}));
    const std::string text = bookText(g);
    EXPECT_EQ(text.find("Index page"), std::string::npos);
    EXPECT_EQ(text.find("Three"), std::string::npos);
    EXPECT_NE(text.find("link"), std::string::npos); // a link in a paragraph is its text

    // HTML: a run of links is left out, two links in a row and a nav's menu
    // too, but text with links in it stays.
    std::string html = "<html><body><nav><a href=\"/\">Home</a></nav><h1>Book</h1>"
                       "<p><a href=\"#1\">I</a></p><p><a href=\"#2\">II</a></p><p><a href=\"#3\">III</a></p>"
                       "<h2 id=\"1\">I</h2><p>" + para(1) + "</p><p><a href=\"#x\">See</a></p><p><a href=\"#y\">also</a></p>"
                       "<h2 id=\"2\">II</h2><p>" + para(2) + "</p><h2 id=\"3\">III</h2><p>" + para(3) + "</p></body></html>";
    TBook h = ImportBook(html, "b.html", {});
    EXPECT_EQ(chapterNames(h), (std::vector<std::string>{"I", "II", "III"}));
    EXPECT_EQ(bookText(h).find("Home"), std::string::npos);
    EXPECT_NE(bookText(h).find("\r\nSee\r\nalso\r\n"), std::string::npos);
}

TEST(Bookimport, ABookWithoutHeadingsIsSplitBySizeAndLargeTopicsAreNamed)
{
    std::string body;
    for (int i = 0; i < 1600; ++i)
        body += "<p>" + para(i) + "</p>";
    std::string fb2 = "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\">"
                      "<description><title-info><book-title>One Piece</book-title></title-info></description>"
                      "<body><section>" + body + "</section></body></FictionBook>";
    TBook b = ImportBook(fb2, "one.fb2", {});
    ASSERT_EQ(b.chapters.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(b.chapters[0].name), "One Piece");
    std::vector<TBookTopic> split = BookTopics(b, kDefaultSplitSize);
    ASSERT_EQ(split.size(), 3u);
    std::vector<std::string> notes = TopicNotes(b, split);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "the book has no chapter headings: \"One Piece\" is split by size into 3 topics");
    // Whole, the one topic is over 64 KB and named with its size.
    std::vector<TBookTopic> whole = BookTopics(b, 0);
    ASSERT_EQ(whole.size(), 1u);
    notes = TopicNotes(b, whole);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "a large topic: \"One Piece\", " + std::to_string(whole[0].text.size()) + " bytes (" +
                            std::to_string((whole[0].text.size() + 1023) / 1024) + " KB)");
    EXPECT_GT(whole[0].text.size(), kLargeTopicSize);
    // A book of chapters says nothing.
    EXPECT_TRUE(TopicNotes(importFixture("tale.fb2"), BookTopics(importFixture("tale.fb2"), kDefaultSplitSize)).empty());
}

TEST(Bookimport, TheBodyTitleAndTheAnnotationAreKept)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook "
                             "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info>"
                             "<book-title>Сказка</book-title>";
    const std::string body = "<body><title><p>Иван</p><p>Сказка</p></title><section><title><p>Глава 1</p></title><p>"
                             "Первый абзац главы.</p></section><section><title><p>Глава 2</p></title><p>Второй.</p>"
                             "</section></body></FictionBook>";
    // The annotation is the first topic, named by the book's language; the
    // body's title (no epigraph) opens the first chapter's text.
    TBook b = ImportBook(head + "<annotation><p>О книге.</p><p>Вторая <emphasis>строка</emphasis>.</p></annotation>"
                                "</title-info><document-info><annotation><p>Не она.</p></annotation></document-info>"
                                "</description>" + body,
                         "a.fb2", {});
    EXPECT_EQ(chapterNames(b), (std::vector<std::string>{"Аннотация", "Глава 1", "Глава 2"}));
    std::vector<TBookTopic> t = BookTopics(b, 0);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(cp1251ToUtf8(t[0].text), "О книге.\r\nВторая строка.\r\n");
    EXPECT_EQ(cp1251ToUtf8(t[1].text), "\x01Иван\r\n\x01Сказка\r\n\x01Глава 1\r\nПервый абзац главы.\r\n");
    // An empty annotation is no topic.
    TBook e = ImportBook(head + "<annotation><p> </p></annotation></title-info></description>" + body, "e.fb2", {});
    EXPECT_EQ(chapterNames(e), (std::vector<std::string>{"Глава 1", "Глава 2"}));

    // EPUB: dc:description, HTML written as text, in an English book.
    TBook ep = epub3({{"a.xhtml", "<h2>One</h2><p>" + para(1) + "</p>"}, {"b.xhtml", "<h2>Two</h2><p>" + para(2) + "</p>"}},
                     "<nav epub:type=\"toc\"><ol></ol></nav>",
                     "<dc:description>&lt;p&gt;A tale &lt;i&gt;of&lt;/i&gt; clocks.&lt;/p&gt;&lt;p&gt;Second.&lt;/p&gt;"
                     "</dc:description>");
    EXPECT_EQ(chapterNames(ep), (std::vector<std::string>{"About this book", "One", "Two"}));
    EXPECT_EQ(BookTopics(ep, 0)[0].text, "A tale of clocks.\r\nSecond.\r\n");
}

TEST(Bookimport, NotesGoInPlaceAtTheChaptersEndOrInTheirTopic)
{
    // FB2: the note referred to follows its paragraph; the one nothing
    // refers to stays in the notes topic with its number.
    std::string fb2 = "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\">"
                      "<description><title-info><book-title>T</book-title></title-info></description><body>"
                      "<section><title><p>One</p></title><p>First<a l:href=\"#n1\" type=\"note\">1</a> words.</p>"
                      "<p>Second.</p><p>Again<a l:href=\"#n1\" type=\"note\">1</a>.</p></section>"
                      "<section><title><p>Two</p></title><p>Third<a l:href=\"#n2\" type=\"note\">[2]</a>.</p>"
                      "<p>Fourth <a l:href=\"#none\" type=\"note\">3</a>.</p></section></body>"
                      "<body name=\"notes\"><title><p>Notes</p></title>"
                      "<section id=\"n1\"><title><p>1</p></title><p>Note one,</p><p>two lines.</p></section>"
                      "<section id=\"n2\"><title><p>2</p></title><p>2. Note two.</p></section>"
                      "<section id=\"n4\"><title><p>4</p></title><p>Unread.</p></section></body></FictionBook>";
    TBookOptions inl;
    TBook b = ImportBook(fb2, "n.fb2", inl);
    std::vector<TBookTopic> t = BookTopics(b, 0);
    ASSERT_EQ(names(t), (std::vector<std::string>{"One", "Two", "Notes"}));
    EXPECT_EQ(t[0].text, "\x01One\r\nFirst[1] words.\r\n[1] Note one, two lines.\r\nSecond.\r\nAgain[1].\r\n");
    EXPECT_EQ(t[1].text, "\x01Two\r\nThird[2].\r\n[2] Note two.\r\nFourth [3].\r\n");
    EXPECT_EQ(t[2].text, "\x01Notes\r\n[4] Unread.\r\n");

    TBookOptions end;
    end.notes = TNoteMode::End;
    t = BookTopics(ImportBook(fb2, "n.fb2", end), 0);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].text, "\x01One\r\nFirst[1] words.\r\nSecond.\r\nAgain[1].\r\n\r\n[1] Note one, two lines.\r\n");

    TBookOptions topic;
    topic.notes = TNoteMode::Topic;
    t = BookTopics(ImportBook(fb2, "n.fb2", topic), 0);
    ASSERT_EQ(names(t), (std::vector<std::string>{"One", "Two", "Notes"}));
    EXPECT_EQ(t[0].text, "\x01One\r\nFirst[1] words.\r\nSecond.\r\nAgain[1].\r\n");
    EXPECT_EQ(t[2].text, "\x01Notes\r\n1\r\nNote one,\r\ntwo lines.\r\n2\r\n2. Note two.\r\n4\r\nUnread.\r\n");

    // EPUB: a footnote in the same file, an endnote in another.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.xhtml", "<h2>One</h2><p>Text<a epub:type=\"noteref\" href=\"#f1\">1</a> here.</p><p>" + para(1) +
                        "</p><aside epub:type=\"footnote\" id=\"f1\"><p>Foot note.</p></aside>"},
        {"b.xhtml", "<h2>Two</h2><p>More<a role=\"doc-noteref\" href=\"notes.xhtml#e1\">2</a>.</p>"},
        {"notes.xhtml", "<ol><li epub:type=\"endnote\" id=\"e1\"><p>End note.</p></li></ol>"}};
    const std::string nav = "<nav epub:type=\"toc\"><ol></ol></nav>";
    t = BookTopics(epub3(files, nav), 0);
    ASSERT_EQ(names(t), (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(t[0].text, "\x01One\r\nText[1] here.\r\n[1] Foot note.\r\n" + para(1) + "\r\n");
    EXPECT_EQ(t[1].text, "\x01Two\r\nMore[2].\r\n[2] End note.\r\n");
    // As notes topic: the book as it stands.
    t = BookTopics(epub3(files, nav, "", "", topic), 0);
    EXPECT_EQ(t[0].text, "\x01One\r\nText1 here.\r\n" + para(1) + "\r\nFoot note.\r\n");

    // A single HTML document: an aside, and notes as Project Gutenberg marks
    // them (by class, the label a link back); a link to another file is no note.
    const std::string html =
        "<html><body><h2>One</h2><p>Text<a epub:type=\"noteref\" href=\"#f1\">1</a> here.</p><p>" + para(1) +
        "</p><aside epub:type=\"footnote\" id=\"f1\"><p>Foot note.</p></aside><h2>Two</h2><p>Old style"
        "<a id=\"FNanchor_1\" href=\"#Footnote_1\" class=\"fnanchor\">[2]</a> note, <a href=\"x.html#a\" "
        "class=\"noteref\">3</a> elsewhere.</p><p>" + para(2) + "</p><div class=\"footnote\"><p><a id=\"Footnote_1\" "
        "href=\"#FNanchor_1\">[2]</a> Gutenberg's note.</p></div></body></html>";
    t = BookTopics(ImportBook(html, "n.html", inl), 0);
    ASSERT_EQ(names(t), (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(t[0].text, "\x01One\r\nText[1] here.\r\n[1] Foot note.\r\n" + para(1) + "\r\n");
    EXPECT_EQ(t[1].text, "\x01Two\r\nOld style[2] note, [3] elsewhere.\r\n[2] Gutenberg's note.\r\n" + para(2) +
                             "\r\n");
    t = BookTopics(ImportBook(html, "n.html", end), 0);
    EXPECT_EQ(t[1].text, "\x01Two\r\nOld style[2] note, [3] elsewhere.\r\n" + para(2) +
                             "\r\n\r\n[2] Gutenberg's note.\r\n");
    t = BookTopics(ImportBook(html, "n.html", topic), 0);
    EXPECT_EQ(t[0].text, "\x01One\r\nText1 here.\r\n" + para(1) + "\r\nFoot note.\r\n");
}

TEST(Bookimport, TopicsPerBookAndTheOutputSizeAreBounded)
{
    // Chapters are counted as they start; the parts a split makes, after.
    TBookOptions own;
    own.chapters = "Chapter \\d+";
    std::string text;
    for (size_t i = 1; i <= kMaxBookTopics + 1; ++i)
        text += "Chapter " + std::to_string(i) + "\ntext\n";
    EXPECT_NE(refusal(text, "many.txt", own).find("many.txt: more chapters than the limit of topics per book (10000)"),
              std::string::npos);
    text.clear();
    for (size_t i = 1; i <= kMaxBookTopics / 2; ++i)
        text += "Chapter " + std::to_string(i) + "\n" + std::string(40, 'w') + ' ' + std::string(40, 'w') + "\n";
    TBook half = ImportBook(text, "half.txt", own);
    EXPECT_EQ(BookTopics(half, 0).size(), kMaxBookTopics / 2);
    try {
        BookTopics(half, kMinSplitSize, "half.txt");
        ADD_FAILURE() << "no refusal";
    } catch (const EBookError& e) {
        EXPECT_STREQ(e.what(), "half.txt: more than the limit of topics per book (10000); a larger --split-at gives fewer");
    }
}

TEST(Bookimport, LongMarkdownIsReadInPiecesAsOneDocument)
{
    // Far more than one piece of the parser: a reference defined at the very
    // end is a link everywhere, fenced code longer than a piece stays code,
    // and the chapters are those of the whole text.
    std::string md = "# Book\n\n";
    for (int c = 1; c <= 3; ++c) {
        md += "## Chapter " + std::to_string(c) + "\n\n";
        for (int i = 0; i < 1500; ++i)
            md += "Paragraph " + std::to_string(i) + ", see [the note][n] and *this*.\n\n";
        if (c == 2) {
            md += "```\n";
            for (int i = 0; i < 4000; ++i)
                md += "code " + std::to_string(i) + "\n\n# not a heading\n";
            md += "```\n\n";
        }
    }
    md += "[n]: http://example.org/" + std::string(3000, 'x') + "\n";
    TBook b = ImportBook(md, "long.md", {});
    EXPECT_EQ(names(BookTopics(b, 0)), (std::vector<std::string>{"Chapter 1", "Chapter 2", "Chapter 3"}));
    size_t paragraphs = 0, code = 0;
    for (const TBookChapter& ch : b.chapters)
        for (const auto& piece : ch.pieces)
            for (const std::string& l : piece) {
                paragraphs += l.starts_with("Paragraph ");
                code += l.starts_with("# not a heading");
                EXPECT_EQ(l.find('['), std::string::npos) << l;
                EXPECT_EQ(l.find('*'), std::string::npos) << l;
            }
    EXPECT_EQ(paragraphs, 4500u);
    EXPECT_EQ(code, 4000u);
}
