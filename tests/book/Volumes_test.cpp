// Books that do not fit their jar budget become volumes: each within the
// budget, each a complete reader with its own name, together holding every
// topic in order with every byte of its text.

#include "book/Pipeline.h"
#include "book/Volumes.h"
#include "common/Errors.h"

#include "Jartest.h"
#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace volm;
using namespace volm::test;

namespace {

TBuildRequest Request(const TempDir& dir, uint64_t maxJar, unsigned threads = 0)
{
    TBuildRequest r;
    r.projectPath = (dir / "Tales.volm").string();
    r.vendor = "ACME";
    r.url = "X";
    r.maxJar = maxJar;
    r.threads = threads;
    r.clock = [] { return time_t(1767225600); }; // entries dated alike, so runs compare byte for byte
    // The words layout's sheets: a small stand-in image and an empty map per size.
    r.renderSheet = [](const TFontChoice&, int size, const TUsedBytes&) {
        TFontSheet s;
        s.lineHeight = size;
        s.width = 128;
        s.height = size;
        s.png = "sheet " + std::to_string(size);
        s.map = FontMapBytes(size, TGlyphRects{});
        return s;
    };
    return r;
}

// About 600 KB: fifteen chapters of 16 KB, one of 200 KB (larger than a
// volume of 100 KB), one of 190 KB without a line end (one paragraph larger
// than a volume), and two short ones; topic 3 is empty.
TTopicList ABigBook()
{
    TTopicList t;
    for (unsigned i = 0; i < 20; ++i) {
        std::string text = i == 2 ? std::string() : RussianText(16000, i);
        if (i == 7)
            text = RussianText(200000, i);
        if (i == 15)
            text = RussianText(190000, i, 0);
        if (i == 17 || i == 18)
            text = RussianText(300, i);
        t.Add("\xc3\xeb\xe0\xe2\xe0 " + std::to_string(i + 1), text);
    }
    return t;
}

std::string JadValue(const std::string& jad, const std::string& key)
{
    size_t p = jad.find("\r\n" + key + ": ");
    if (p == std::string::npos)
        return "(missing)";
    p += key.size() + 4;
    return jad.substr(p, jad.find("\r\n", p) - p);
}

// Everything a set of volumes must be: complete readers named "Tales k",
// within the budget, jads with exact sizes, and together the book's topics in
// order with every byte of their texts; parts named "Name (k)".
void ExpectVolumesHoldTheBook(const TempDir& dir, const TBuildResult& r, TTopicList& book, uint64_t budget)
{
    const fs::path folder = dir / "Tales";
    const size_t n = r.jars.size();
    ASSERT_GT(n, 1u);
    std::vector<std::string> outputs{"manifest.mf"};
    for (size_t k = 1; k <= n; ++k) {
        outputs.push_back("Tales-" + std::to_string(k) + ".jad");
        outputs.push_back("Tales-" + std::to_string(k) + ".jar");
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(fileNames(folder), outputs);

    std::vector<std::pair<std::string, std::string>> menu; // title, text, over all volumes
    std::vector<std::string> names;
    for (size_t t = 0; t < book.Count(); ++t)
        names.push_back(book.Name(t));
    const std::vector<std::string> ids = TopicIds(names);
    for (size_t k = 1; k <= n; ++k) {
        const std::string name = "Tales " + std::to_string(k), file = "Tales-" + std::to_string(k);
        const fs::path jar = folder / (file + ".jar");
        const uint64_t size = fs::file_size(jar);
        EXPECT_LE(size, budget) << jar;
        EXPECT_EQ(r.jars[k - 1].jarSize, size);
        ExpectToolsAccept(jar);
        const std::string jad = readFile(folder / (file + ".jad"));
        EXPECT_EQ(JadValue(jad, "MIDlet-Name"), name);
        EXPECT_EQ(JadValue(jad, "MIDlet-1"), name + ", /images/orvane.png, LumeriaMain");
        EXPECT_EQ(JadValue(jad, "MIDlet-Jar-URL"), file + ".jar");
        EXPECT_EQ(JadValue(jad, "MIDlet-Jar-Size"), std::to_string(size));
        EXPECT_EQ(JarMember(jar, "META-INF/MANIFEST.MF"), jad.substr(0, jad.find("MIDlet-Jar-URL")));
        EXPECT_EQ(JarMember(jar, "appname.txt"), name + "\r\n");
        if (k == n) {
            EXPECT_EQ(readFile(folder / "manifest.mf"), JarMember(jar, "META-INF/MANIFEST.MF"));
        }

        // A text of the words layout comes in pieces: texts/itmN, texts/itmN_1, ...
        const std::vector<std::string> members = JarEntries(jar);
        const auto has = [&](const std::string& m) { return std::find(members.begin(), members.end(), m) != members.end(); };
        const auto textOf = [&](size_t j) {
            const std::string first = "texts/itm" + std::to_string(j);
            std::string text = JarMember(jar, first);
            for (unsigned piece = 1; has(first + "_" + std::to_string(piece)); ++piece) {
                EXPECT_EQ(text.size(), piece * 16384u) << first;
                text += JarMember(jar, first + "_" + std::to_string(piece));
            }
            return text;
        };
        std::vector<std::string> layout;
        if (has("layout.txt"))
            layout = nonEmptyLines(JarMember(jar, "layout.txt"));

        std::vector<std::string> titles = nonEmptyLines(JarMember(jar, "topics.txt"));
        std::vector<std::string> files = nonEmptyLines(JarMember(jar, "files.txt"));
        // The menu's last entry says where the book goes on.
        if (k < n) {
            ASSERT_FALSE(titles.empty());
            EXPECT_EQ(titles.back(), "\xBB Tales " + std::to_string(k + 1) + "\r");
            titles.pop_back();
        }
        ASSERT_EQ(titles.size(), files.size());
        ASSERT_EQ(titles.size(), r.jars[k - 1].entries.size());
        if (!layout.empty()) {
            ASSERT_EQ(layout.size(), 3 + titles.size());
        }
        for (size_t j = 0; j < titles.size(); ++j) {
            EXPECT_EQ(files[j], "/texts/itm" + std::to_string(j + 1) + "\r");
            menu.emplace_back(titles[j].substr(0, titles[j].size() - 1), textOf(j + 1));
            // Each entry's size and its topic's id over the whole book: a
            // part carries its topic's.
            if (!layout.empty()) {
                EXPECT_EQ(layout[3 + j], std::to_string(menu.back().second.size()) + " " +
                                             ids.at(r.jars[k - 1].entries[j].topic) + "\r");
            }
        }
    }

    // The menus, in order, give back the book: whole topics, or parts
    // "Name (1)", "Name (2)", ... whose texts together are the topic's.
    size_t at = 0;
    for (size_t t = 0; t < book.Count(); ++t) {
        const std::string name = book.Name(t), text = ReaderText(book.Text(t));
        ASSERT_LT(at, menu.size()) << "topic " << t + 1 << " is missing";
        if (menu[at].first == name) {
            EXPECT_EQ(menu[at].second, text) << name;
            ++at;
            continue;
        }
        std::string joined;
        for (unsigned part = 1; at < menu.size() && menu[at].first == name + " (" + std::to_string(part) + ")";
             ++part, ++at) {
            const std::string& piece = menu[at].second;
            EXPECT_FALSE(piece.empty()) << menu[at].first;
            joined += piece;
            // Parts end at a paragraph end, or, inside a paragraph larger than
            // a volume, after a blank.
            if (joined.size() < text.size()) {
                EXPECT_TRUE(piece.back() == '\n' || piece.back() == ' ') << menu[at].first;
            }
        }
        EXPECT_EQ(joined, text) << name;
    }
    EXPECT_EQ(at, menu.size());
}

} // namespace

TEST(Volumes, BudgetsOf64And100KBMakeVolumesThatHoldTheWholeBook)
{
    TempDir dir;
    TTopicList book = ABigBook();
    // An earlier build left the single jar: the volumes replace it.
    GenerateBook(Request(dir, 0), book, {});
    ASSERT_TRUE(fs::exists(dir / "Tales" / "Tales.jar"));

    size_t volumesAt64 = 0;
    for (uint64_t budget : {uint64_t(64) << 10, uint64_t(100) << 10}) {
        TBuildResult r = GenerateBook(Request(dir, budget), book, {});
        EXPECT_EQ(r.maxJar, budget);
        ExpectVolumesHoldTheBook(dir, r, book, budget);
        // Splitting at paragraph ends: the 130 KB chapter and the one without
        // a line end are in parts, the others whole.
        std::map<size_t, unsigned> parts;
        for (const TBuiltJar& j : r.jars)
            for (const TJarEntry& e : j.entries)
                parts[e.topic] = std::max(parts[e.topic], e.part);
        EXPECT_GE(parts[7], 2u);
        EXPECT_GE(parts[15], 2u);
        EXPECT_EQ(parts[0], 0u);
        if (budget == (64u << 10))
            volumesAt64 = r.jars.size();
        else
            EXPECT_LT(r.jars.size(), volumesAt64);
    }

    // Back to no budget: one jar, and the volumes are gone.
    TBuildResult single = GenerateBook(Request(dir, 0), book, {});
    EXPECT_EQ(single.jars.size(), 1u);
    EXPECT_EQ(fileNames(dir / "Tales"), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
}

// In the words layout the volumes are planned with the texts' pieces (each a
// member of its own), and each volume's ids are those of the whole book.
TEST(Volumes, WordsLayoutVolumesCountThePiecesAndKeepTheBooksIds)
{
    TempDir dir;
    TTopicList book = ABigBook();
    book.Add("\xc3\xeb\xe0\xe2\xe0 1", RussianText(5000, 99)); // a namesake of the first
    TBuildRequest request = Request(dir, 64u << 10);
    request.layout = TReaderLayout::Words;
    TBuildResult r = GenerateBook(request, book, {});
    ExpectVolumesHoldTheBook(dir, r, book, 64u << 10);
    EXPECT_NE(JarMember(r.jars.back().jarPath, "layout.txt").find(" " + TopicIds({"\xc3\xeb\xe0\xe2\xe0 1"})[0] + ".1\r\n"),
              std::string::npos);
    // Names in Cyrillic: the empty topic's note is Russian.
    EXPECT_EQ(nonEmptyLines(JarMember(r.jars.front().jarPath, "layout.txt"))[2], "\xcf\xf3\xf1\xf2\xee\r");
}

// A book that fits its budget builds exactly as it does without one, also
// when the budget is its jar's size to the byte.
TEST(Volumes, ABookThatFitsBuildsAsWithoutABudget)
{
    TempDir dir;
    TTopicList book{{"One", RussianText(20000, 1)}, {"Two", RussianText(9000, 2)}};
    // As without a budget, at the level every build with one packs at.
    TBuildRequest unbudgeted = Request(dir, 0);
    unbudgeted.level = kBudgetLevel;
    TBuildResult plain = GenerateBook(unbudgeted, book, {});
    const std::string jar = readFile(dir / "Tales" / "Tales.jar");
    for (uint64_t budget : {plain.jarSize, plain.jarSize + 1, uint64_t(100) << 10}) {
        TBuildResult r = GenerateBook(Request(dir, budget), book, {});
        ASSERT_EQ(r.jars.size(), 1u) << budget;
        EXPECT_EQ(readFile(dir / "Tales" / "Tales.jar"), jar) << budget;
        EXPECT_EQ(fileNames(dir / "Tales"), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
    }
    // One byte less and it is two volumes.
    TBuildResult r = GenerateBook(Request(dir, plain.jarSize - 1), book, {});
    EXPECT_EQ(r.jars.size(), 2u);
    ExpectVolumesHoldTheBook(dir, r, book, plain.jarSize - 1);
}

TEST(Volumes, ABudgetTooSmallIsRefusedNamingTheSmallest)
{
    TempDir dir;
    TTopicList book{{"One", RussianText(20000, 1)}, {"Two", RussianText(9000, 2)}};
    uint64_t smallest = 0;
    try {
        GenerateBook(Request(dir, 10000), book, {});
        FAIL() << "a budget of 10000 bytes was taken";
    } catch (const Error& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("10000"), std::string::npos) << m;
        const size_t at = m.find("at least ");
        ASSERT_NE(at, std::string::npos) << m;
        smallest = std::stoull(m.substr(at + 9));
        EXPECT_NE(m.find("smallest possible budget"), std::string::npos) << m;
    }
    EXPECT_GT(smallest, 10000u);
    EXPECT_TRUE(fileNames(dir / "Tales").empty());

    // The smallest possible budget works: small volumes of a few bytes of
    // text each, cut inside the paragraph.
    TempDir other;
    TTopicList small{{"One", RussianText(200, 3, 0)}};
    try {
        GenerateBook(Request(other, 10000), small, {});
        FAIL() << "a budget of 10000 bytes was taken";
    } catch (const Error& e) {
        const std::string m = e.what();
        smallest = std::stoull(m.substr(m.find("at least ") + 9));
    }
    TBuildResult r = GenerateBook(Request(other, smallest), small, {});
    ExpectVolumesHoldTheBook(other, r, small, smallest);
}

// The jars are the same byte for byte whatever the number of threads.
TEST(Volumes, TheSameJarsForOneAndManyThreads)
{
    TTopicList book = ABigBook();
    std::vector<std::vector<std::string>> runs;
    for (unsigned threads : {1u, 4u}) {
        for (uint64_t budget : {uint64_t(0), uint64_t(100) << 10}) {
            TempDir dir;
            TBuildResult r = GenerateBook(Request(dir, budget, threads), book, {});
            std::vector<std::string> jars;
            for (const TBuiltJar& j : r.jars)
                jars.push_back(readFile(j.jarPath));
            runs.push_back(jars);
        }
    }
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0], runs[2]);
    EXPECT_EQ(runs[1], runs[3]);
    EXPECT_EQ(runs[0].size(), 1u);
    EXPECT_GT(runs[1].size(), 1u);
}

// A sheet the simulated phone can show and read back: the template's cells
// (11 pixels, glyphs 8 wide) with a map of them.
TFontSheet CellSheet(const TFontChoice&, int, const TUsedBytes&)
{
    TFontSheet s;
    s.lineHeight = 11;
    s.width = 176;
    s.height = 176;
    s.png = readFile(sourceDir() / "resources" / "reader" / "Font.png");
    TGlyphRects cells{};
    for (int b = 0; b < 256; ++b)
        if (!IsSheetControl(static_cast<uint8_t>(b)))
            cells[b] = TGlyphRect{static_cast<uint16_t>(11 * (b % 16)), static_cast<uint8_t>(b / 16), 8};
    s.map = FontMapBytes(11, cells);
    return s;
}

// Volumes run on the simulated phone: each lists its topics and where the
// book goes on (an entry that says so), shows their texts, and keeps
// its reading positions in a record store of its own.
TEST(Volumes, VolumesRunOnTheSimulatedPhone)
{
    fs::path harness = binaryDir() / "reader" / "harness";
#ifndef VOLM_HAVE_HARNESS
    GTEST_SKIP() << "no Java was found when the build was configured: the simulated phone is not built";
#endif
    TempDir dir;
    TTopicList book;
    for (int i = 1; i <= 6; ++i) {
        std::string text;
        for (int line = 0; line < 400; ++line)
            text += "Topic " + std::to_string(i) + " line " + std::to_string(line) + " " +
                    RussianText(20, static_cast<unsigned>(i * 1000 + line), 0) + "\r\n";
        book.Add("Topic " + std::to_string(i), text);
    }
    TBuildRequest request = Request(dir, 0);
    request.layout = TReaderLayout::Words;
    request.renderSheet = CellSheet;
    request.sizes = {11};
    const uint64_t whole = GenerateBook(request, book, {}).jarSize;
    TTopicList tiny;
    tiny.Add("Topic 1", "x");
    const uint64_t reader = GenerateBook(request, tiny, {}).jarSize;
    request.maxJar = reader + (whole - reader) / 3; // about two topics a volume
    TBuildResult r = GenerateBook(request, book, {});
    ASSERT_GE(r.jars.size(), 2u);
    const fs::path store = dir / "store";
    auto phone = [&](size_t k, std::vector<std::string> actions) {
        std::vector<std::string> argv{"java", "-Djava.awt.headless=true", "-cp", harness.string(), "ReaderHarness",
                                      "--jar", r.jars[k].jarPath, "--store", store.string()};
        argv.insert(argv.end(), actions.begin(), actions.end());
        RunResult res = run(argv);
        EXPECT_EQ(res.status, 0) << res.out << res.err;
        return nonEmptyLines(res.out);
    };

    std::vector<std::string> menu = phone(0, {"menu"});
    ASSERT_EQ(menu.size(), r.jars[0].entries.size() + 1);
    EXPECT_EQ(menu.front(), "Topic 1");
    EXPECT_EQ(menu.back(), "\\xBB Tales 2");
    // The continuation entry says where the book goes on.
    std::vector<std::string> last = phone(0, {"key:7", "select", "show"});
    ASSERT_GE(last.size(), 3u);
    EXPECT_EQ(last[0], "[text]");
    EXPECT_EQ(last[1].substr(last[1].find_first_not_of(' ')), "Continued in");
    EXPECT_EQ(last[2].substr(last[2].find_first_not_of(' ')), "Tales 2");

    // Volume 1: the first topic, two rows down, kept; volume 2's first topic
    // starts at its beginning, kept in a store of its own.
    std::vector<std::string> first = phone(0, {"select", "down", "down", "show", "exit"});
    ASSERT_GE(first.size(), 2u);
    EXPECT_EQ(first[0], "[text]");
    const std::string shownAfterTwoDowns = first[1];
    std::vector<std::string> second = phone(1, {"select", "show", "exit"});
    ASSERT_GE(second.size(), 2u);
    // (The first row of a paragraph is indented.)
    EXPECT_EQ(second[1], "  Topic " + std::to_string(r.jars[1].entries.front().topic + 1) + " line 0");
    std::vector<std::string> again = phone(0, {"select", "show"});
    ASSERT_GE(again.size(), 2u);
    EXPECT_EQ(again[1], shownAfterTwoDowns);
    std::string stores;
    for (const std::string& f : fileNames(store))
        stores += readFile(store / f);
    EXPECT_NE(stores.find("Tales 1"), std::string::npos);
    EXPECT_NE(stores.find("Tales 2"), std::string::npos);
}

// A volume build whose safe writes fail one after the other (each staged jar
// and jad, the manifest, the record of the set): every failed build leaves
// the old volumes whole, byte for byte, and no file of its own; the first
// that gets through leaves exactly the new set.
TEST(Volumes, AFailedVolumeBuildLeavesTheOldSetWhole)
{
    TempDir dir;
    TTopicList book = ABigBook();
    const uint64_t budget = 100u << 10;
    GenerateBook(Request(dir, budget), book, {});
    const fs::path folder = dir / "Tales";
    std::map<std::string, std::string> old;
    for (const std::string& name : fileNames(folder))
        old[name] = readFile(folder / name);
    ASSERT_GE(old.size(), 5u);

    TTopicList more = ABigBook();
    more.Add("Extra", RussianText(120000, 99));
    bool completed = false;
    int failures = 0;
    for (int n = 1; !completed && n < 200; ++n) {
        int renames = 0;
        safewrite::FaultHook = [&](const char* step) {
            return std::string(step) == "rename" && ++renames == n ? ENOSPC : 0;
        };
        try {
            TBuildResult r = GenerateBook(Request(dir, budget), more, {});
            completed = true;
            safewrite::FaultHook = nullptr;
            ExpectVolumesHoldTheBook(dir, r, more, budget);
            EXPECT_GT(r.jars.size() * 2 + 1, old.size());
        } catch (const Error&) {
            ++failures;
            safewrite::FaultHook = nullptr;
            std::map<std::string, std::string> now;
            for (const std::string& name : fileNames(folder))
                now[name] = readFile(folder / name);
            EXPECT_TRUE(now == old) << "the build failing at its rename " << n;
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GE(failures, 5);
}

// A build with a budget packs at the strongest level, also when the book fits
// one jar; one without packs at the quicker level, in a larger jar of the
// same content; a level asked for is taken.
TEST(Volumes, ABudgetPacksAtTheStrongestLevel)
{
    TempDir dir;
    TTopicList book = ABigBook();
    TBuildResult quick = GenerateBook(Request(dir, 0), book, {});
    EXPECT_EQ(quick.level, kQuickLevel);
    TBuildResult strong = GenerateBook(Request(dir, 64u << 20), book, {});
    EXPECT_EQ(strong.level, kBudgetLevel);
    ASSERT_EQ(strong.jars.size(), 1u);
    EXPECT_LT(strong.jarSize, quick.jarSize);
    EXPECT_EQ(fileNames(dir / "Tales"), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
    TBuildRequest asked = Request(dir, 0);
    asked.level = 12;
    EXPECT_EQ(GenerateBook(asked, book, {}).jarSize, strong.jarSize);
}
