#include "book/Pipeline.h"
#include "archive/Zipcommon.h"
#include "book/Resources.h"
#include "common/Errors.h"
#include "common/Fd.h"
#include "common/Fileio.h"
#include "text/Hyphenate.h"

#include "Jartest.h"
#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

std::vector<std::string> Listing(const fs::path& p)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(p))
        names.push_back(fs::relative(e.path(), p).string() + (e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

// The template's member, straight from the compiled-in resource.
std::string TemplateMember(const TempDir& dir, const std::string& name)
{
    auto bytes = FindResource("BINS", 102);
    writeFile(dir / "template.jar", std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return JarMember(dir / "template.jar", name);
}

class TRecorder : public IBuildProgress {
public:
    void Status(const std::string& text) override { statuses.push_back(text); }
    void Progress(TBuildStage stage, uint64_t done, uint64_t total) override
    {
        if (stage == TBuildStage::Packing) {
            EXPECT_LE(done, total);
            lastPacked = done;
            packTotal = total;
        }
        if (stage == TBuildStage::DataFiles)
            lastTopics = done;
    }
    std::vector<std::string> statuses;
    uint64_t lastPacked = 0, packTotal = 0, lastTopics = 0;
};

const std::vector<std::string> kTemplateFiles = {
    "LumeriaMain.class", "META-INF/MANIFEST.MF", "TFiledMenu.class", "TFiledStringList.class",
    "TMenuTicker.class", "TScrollFixedText.class", "appname.txt", "files.txt", "images/Font.png", "images/orvane.png",
    "topics.txt"};

bool IsManifestName(const std::string& name)
{
    std::string up = name;
    std::transform(up.begin(), up.end(), up.begin(), [](unsigned char c) { return std::toupper(c); });
    return up == "META-INF/MANIFEST.MF";
}

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> ExpectedEntries(size_t topics)
{
    std::vector<std::string> v = kTemplateFiles;
    for (size_t i = 1; i <= topics; ++i)
        v.push_back("texts/itm" + std::to_string(i));
    return Sorted(v);
}

bool JarHas(const fs::path& jar, const std::string& name)
{
    const std::vector<std::string> e = JarEntries(jar);
    return std::find(e.begin(), e.end(), name) != e.end();
}

// The sheets the fake renderer makes: the font, the size and the used bytes
// it was given, as the "image", and an empty map.
std::string SheetTag(const TFontChoice& f, int size, const TUsedBytes& used)
{
    std::string tag = "sheet " + f.name + " " + std::to_string(size) + " ";
    for (int b = 0; b < 256; ++b)
        if (used[b])
            tag += static_cast<char>(b);
    return tag;
}

TFontSheet FakeSheet(const TFontChoice& f, int size, const TUsedBytes& used)
{
    TFontSheet s;
    s.lineHeight = size;
    s.width = 128;
    s.height = 2 * size;
    s.png = SheetTag(f, size, used);
    s.map = FontMapBytes(size, TGlyphRects{});
    return s;
}

// The template's members as a words book has them: the sheets of both
// default sizes instead of images/Font.png.
std::vector<std::string> WordsEntries(std::vector<std::string> v)
{
    v.erase(std::find(v.begin(), v.end(), "images/Font.png"));
    for (const char* m : {"images/Font1.png", "images/Font1.map", "images/Font2.png", "images/Font2.map"})
        v.push_back(m);
    return Sorted(v);
}

TBuildRequest Request(const TempDir& dir, bool customFont = false)
{
    TBuildRequest r;
    r.renderSheet = FakeSheet;
    r.projectPath = (dir / "Tales.volm").string();
    r.vendor = "ACME";
    r.url.assign(1, 'X'); // (GCC 12 warns of a false overlap for the assignment of a literal here)
    r.font.useCustomFont = customFont;
    return r;
}

// A renderer that makes a recognisable stand-in without Qt.
std::string FakeFont(const TFontChoice& f)
{
    return "font " + f.name + " " + std::to_string(f.height);
}

} // namespace

TEST(Pipeline, TemplateResourceIsCompiledIn)
{
    auto bytes = FindResource("BINS", 102);
    ASSERT_GT(bytes.size(), 22u);
    EXPECT_EQ(bytes[0], 'P');
    EXPECT_EQ(bytes[1], 'K');
    EXPECT_TRUE(FindResourceOrEmpty("BINS", 101).empty());
    try {
        FindResource("BINS", 103);
        FAIL() << "a missing resource was found";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("BINS 103"), std::string::npos) << e.what();
    }
}

TEST(Pipeline, BookFolderHoldsJarJadAndManifestByteForByte)
{
    TempDir dir;
    TTopicList topics{{"One", "first\r\ntext\r\n"}};
    TRecorder rec;
    TBuildResult r = GenerateBook(Request(dir), topics, {}, &rec);

    fs::path book = dir / "Tales";
    EXPECT_EQ(r.bookFolder, book.string() + "/");
    EXPECT_EQ(Listing(book), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
    EXPECT_EQ(rec.statuses, (std::vector<std::string>{"Building...", "Done. Subfolder was created."}));
    EXPECT_EQ(rec.lastTopics, 1u);
    EXPECT_EQ(rec.lastPacked, rec.packTotal);

    uint64_t size = fs::file_size(book / "Tales.jar");
    EXPECT_EQ(r.jarSize, size);
    EXPECT_EQ(readFile(book / "manifest.mf"), kTalesManifest);
    EXPECT_EQ(readFile(book / "Tales.jad"),
              kTalesManifest + "MIDlet-Jar-URL: Tales.jar\r\nMIDlet-Jar-Size: " + std::to_string(size) + "\r\n");

    fs::path jar = book / "Tales.jar";
    std::vector<std::string> entries = JarEntries(jar);
    EXPECT_EQ(Sorted(entries), ExpectedEntries(1));
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            IsManifestName),
              1);
    EXPECT_EQ(JarMember(jar, "META-INF/MANIFEST.MF"), kTalesManifest);
    EXPECT_EQ(JarMember(jar, "topics.txt"), "One\r\n");
    EXPECT_EQ(JarMember(jar, "files.txt"), "/texts/itm1\r\n");
    EXPECT_EQ(JarMember(jar, "texts/itm1"), "first\ntext\n");
    EXPECT_EQ(JarMember(jar, "appname.txt"), "Tales\r\n");
    // The custom font is off: the template's sample image, byte for byte.
    EXPECT_EQ(JarMember(jar, "images/Font.png"), TemplateMember(dir, "images/Font.png"));
}

// A book with a layout carries layout.txt and nothing else more; without one
// the jar holds exactly what it held before there was a choice.
TEST(Pipeline, LayoutFileOnlyWhenALayoutIsChosen)
{
    TempDir dir;
    TTopicList topics{{"One", "first\r\ntext\r\n"}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    GenerateBook(r, topics, {});
    fs::path jar = dir / "Tales" / "Tales.jar";
    std::vector<std::string> expected = ExpectedEntries(1);
    expected.push_back("layout.txt");
    EXPECT_EQ(Sorted(JarEntries(jar)), WordsEntries(expected));
    EXPECT_EQ(JarMember(jar, "layout.txt"), "words\r\nindent\r\nEmpty\r\n11 13646\r\n");
    r.paragraphs = TParagraphStyle::Gap;
    GenerateBook(r, topics, {});
    EXPECT_EQ(JarMember(jar, "layout.txt"), "words\r\ngap\r\nEmpty\r\n11 13646\r\n");

    r.layout.reset();
    GenerateBook(r, topics, {});
    EXPECT_EQ(Sorted(JarEntries(jar)), ExpectedEntries(1));
}

// Headings keep their marks in the words layout; the grid layout and a book
// without a layout drop them where they start a line, so that their jars are
// byte for byte those of the same texts without marks.
TEST(Pipeline, GridBooksDropTheHeadingMarks)
{
    TempDir dir;
    TTopicList marked{{"One", "\x01" "Chapter 1\r\n\r\nText a\x01" "b\r\n"}, {"Two", "\x01Two\r\n"}};
    TTopicList plain{{"One", "Chapter 1\r\n\r\nText a\x01" "b\r\n"}, {"Two", "Two\r\n"}};
    TBuildRequest r = Request(dir);
    r.clock = [] { return time_t(1700000000); };
    const fs::path jar = dir / "Tales" / "Tales.jar";
    for (std::optional<TReaderLayout> layout : {std::optional<TReaderLayout>(), std::optional(TReaderLayout::Grid)}) {
        r.layout = layout;
        GenerateBook(r, plain, {});
        const std::string want = readFile(jar);
        GenerateBook(r, marked, {});
        EXPECT_EQ(readFile(jar), want);
    }
    EXPECT_EQ(JarMember(jar, "layout.txt"), "grid\r\nindent\r\nEmpty\r\n20 13646\r\n4 14a2c\r\n");
    r.layout = TReaderLayout::Words;
    GenerateBook(r, marked, {});
    EXPECT_EQ(JarMember(jar, "texts/itm1"), "\x01" "Chapter 1\n\nText a\x01" "b\n");
    EXPECT_EQ(JarMember(jar, "texts/itm2"), "\x01Two\n");
    EXPECT_EQ(JarMember(jar, "layout.txt"), "words\r\nindent\r\nEmpty\r\n21 13646\r\n5 14a2c\r\n");
}

// A text of the words layout longer than 16384 bytes is stored in pieces of
// 16384 bytes after its first member; files.txt names the first only, the
// size in layout.txt is the whole text's. A grid book keeps one member.
TEST(Pipeline, LongTextsOfTheWordsLayoutAreStoredInPieces)
{
    TempDir dir;
    // Exactly 16384 and 16385 bytes (no CR to remove), and one of paragraphs.
    const std::string a = RussianText(16384, 1, 0), b = RussianText(16385, 2, 0), c = RussianText(40000, 3);
    ASSERT_EQ(ReaderText(a).size(), 16384u);
    TTopicList topics{{"A", a}, {"B", b}, {"C", c}, {"One", "x"}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    TRecorder rec; // the progress counts every piece, never more than its total
    GenerateBook(r, topics, {}, &rec);
    const fs::path jar = dir / "Tales" / "Tales.jar";
    EXPECT_EQ(rec.lastPacked, JarEntries(jar).size());
    EXPECT_EQ(rec.packTotal, rec.lastPacked);
    std::vector<std::string> expected = kTemplateFiles;
    for (const char* m : {"texts/itm1", "texts/itm2", "texts/itm2_1", "texts/itm3", "texts/itm3_1", "texts/itm3_2",
                          "texts/itm4", "layout.txt"})
        expected.push_back(m);
    ExpectToolsAccept(jar);
    EXPECT_EQ(Sorted(JarEntries(jar)), WordsEntries(expected));
    const std::vector<std::string> entries = JarEntries(jar);
    const auto at = [&](const std::string& n) { return std::find(entries.begin(), entries.end(), n) - entries.begin(); };
    EXPECT_EQ(at("texts/itm2") + 1, at("texts/itm2_1"));
    EXPECT_EQ(at("texts/itm3_1") + 1, at("texts/itm3_2"));
    EXPECT_EQ(at("texts/itm3_2") + 1, at("texts/itm4"));

    const std::string ra = ReaderText(a), rb = ReaderText(b), rc = ReaderText(c);
    EXPECT_EQ(JarMember(jar, "texts/itm1"), ra);
    EXPECT_EQ(JarMember(jar, "texts/itm2"), rb.substr(0, 16384));
    EXPECT_EQ(JarMember(jar, "texts/itm2_1"), rb.substr(16384));
    EXPECT_EQ(JarMember(jar, "texts/itm2_1").size(), rb.size() - 16384);
    EXPECT_EQ(JarMember(jar, "texts/itm3") + JarMember(jar, "texts/itm3_1") + JarMember(jar, "texts/itm3_2"), rc);
    EXPECT_EQ(JarMember(jar, "texts/itm3_1").size(), 16384u);
    EXPECT_EQ(JarMember(jar, "files.txt"), FilesText(4));
    const std::vector<std::string> ids = TopicIds({"A", "B", "C", "One"});
    EXPECT_EQ(JarMember(jar, "layout.txt"), "words\r\nindent\r\nEmpty\r\n" + std::to_string(ra.size()) + " " +
                                                ids[0] + "\r\n" + std::to_string(rb.size()) + " " + ids[1] + "\r\n" +
                                                std::to_string(rc.size()) + " " + ids[2] + "\r\n1 13646\r\n");

    r.layout = TReaderLayout::Grid;
    GenerateBook(r, topics, {});
    EXPECT_EQ(JarEntries(jar).size(), kTemplateFiles.size() + 5);
    EXPECT_EQ(JarMember(jar, "texts/itm3"), rc);
}

TEST(Pipeline, ZeroAndTwelveTopics)
{
    TempDir dir;
    TTopicList none;
    GenerateBook(Request(dir), none, {});
    fs::path jar = dir / "Tales" / "Tales.jar";
    EXPECT_EQ(Sorted(JarEntries(jar)), ExpectedEntries(0));
    EXPECT_EQ(JarMember(jar, "topics.txt"), "");
    EXPECT_EQ(JarMember(jar, "files.txt"), "");
    EXPECT_EQ(JarMember(jar, "appname.txt"), "Tales\r\n");

    TTopicList twelve;
    std::string titles, files;
    for (int i = 1; i <= 12; ++i) {
        const std::string n = std::to_string(i);
        twelve.Add(std::string("T").append(n), std::string(static_cast<size_t>(i) * 100, 'a' + static_cast<char>(i)));
        titles.append("T").append(n).append("\r\n");
        files.append("/texts/itm").append(n).append("\r\n");
    }
    GenerateBook(Request(dir), twelve, {});
    EXPECT_EQ(Sorted(JarEntries(jar)), ExpectedEntries(12));
    EXPECT_EQ(JarMember(jar, "topics.txt"), titles);
    EXPECT_EQ(JarMember(jar, "files.txt"), files);
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(JarMember(jar, "texts/itm" + std::to_string(i)),
                  std::string(static_cast<size_t>(i) * 100, 'a' + static_cast<char>(i)));
    EXPECT_EQ(Listing(dir / "Tales"), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
}

TEST(Pipeline, JarPassesTheOutsideTools)
{
    TempDir dir;
    TTopicList topics{{"\xcf\xf0\xe8\xe2\xe5\xf2", "\xf2\xe5\xea\xf1\xf2\r\n"}, {"Two", std::string(5000, 'x')}};
    GenerateBook(Request(dir, true), topics, FakeFont);
    fs::path jar = dir / "Tales" / "Tales.jar";

    std::vector<std::string> listed = ExpectToolsAccept(jar);
    if (haveProgram("jar")) {
        EXPECT_EQ(Sorted(listed), ExpectedEntries(2));
    }
    EXPECT_EQ(JarMember(jar, "META-INF/MANIFEST.MF"), kTalesManifest);
    // The custom font's image replaced the template's sample.
    EXPECT_EQ(JarMember(jar, "images/Font.png"), "font Courier New -11");
}

TEST(Pipeline, RerunReplacesTheOutputsAndPacksTheUsersFiles)
{
    TempDir dir;
    TTopicList topics{{"One", "1"}};
    GenerateBook(Request(dir), topics, {});
    fs::path book = dir / "Tales";
    // The user leaves a file and a folder of their own, and a stray manifest
    // spelled differently.
    writeFile(book / "extra.txt", "mine");
    fs::create_directories(book / "notes");
    writeFile(book / "notes" / "a.txt", "note");
    fs::create_directories(book / "META-INF");
    writeFile(book / "META-INF" / "manifest.mf", "old\r\n");

    TBuildRequest second = Request(dir);
    second.vendor = "Other";
    GenerateBook(second, topics, {});
    fs::path jar = book / "Tales.jar";
    std::vector<std::string> entries = JarEntries(jar);
    std::vector<std::string> expected = ExpectedEntries(1);
    expected.push_back("extra.txt");
    expected.push_back("notes/a.txt");
    EXPECT_EQ(Sorted(entries), Sorted(expected));
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(), IsManifestName), 1);
    std::string manifest = JarMember(jar, "META-INF/MANIFEST.MF");
    EXPECT_NE(manifest.find("MIDlet-Vendor: Other\r\n"), std::string::npos);
    EXPECT_EQ(manifest, readFile(book / "manifest.mf"));
    // The user's files are packed and stay where they are; the stray
    // manifest, which the book's own takes the place of, is left out.
    EXPECT_EQ(Listing(book), (std::vector<std::string>{"META-INF/", "META-INF/manifest.mf", "Tales.jad", "Tales.jar",
                                                       "extra.txt", "manifest.mf", "notes/", "notes/a.txt"}));
    EXPECT_EQ(readFile(book / "META-INF" / "manifest.mf"), "old\r\n");
    EXPECT_EQ(JarMember(jar, "notes/a.txt"), "note");
}

TEST(Pipeline, BookNamesAndTexts)
{
    TempDir dir;
    TTopicList topics{{"", "empty title"}, {"Two", "second"}};
    TBuildRequest r = Request(dir);
    r.projectPath = (dir / "my, volm.book.volm").string();
    r.vendor.clear();
    r.url.clear();
    TBuildResult res = GenerateBook(r, topics, {});
    EXPECT_EQ(res.bookName, "my, volm.book");
    fs::path book = dir / "my, volm.book";
    std::string m = readFile(book / "manifest.mf");
    EXPECT_NE(m.find("MIDlet-1: my  volm.book, /images/orvane.png, LumeriaMain\r\n"), std::string::npos) << m;
    EXPECT_NE(m.find("MIDlet-Name: my, volm.book\r\n"), std::string::npos) << m;
    EXPECT_NE(m.find("MIDlet-Info-URL: \r\n"), std::string::npos) << m;
    EXPECT_NE(m.find("MIDlet-Vendor: \r\n"), std::string::npos) << m;
    // The files are named in plain letters, digits, '-' and '_'.
    std::string jad = readFile(book / "my_volmbook.jad");
    EXPECT_NE(jad.find("MIDlet-Jar-URL: my_volmbook.jar\r\n"), std::string::npos) << jad;
    // An empty title is written as a blank, so both titles stay on their texts.
    fs::path jar = book / "my_volmbook.jar";
    EXPECT_EQ(JarMember(jar, "topics.txt"), " \r\nTwo\r\n");
    EXPECT_EQ(JarMember(jar, "appname.txt"), "my, volm.book\r\n");
}

// A jar that can't be put in place: the error names it and the system's
// cause, no descriptor is written, and the old jar and jad stay as they were.
TEST(Pipeline, PackingFailureKeepsTheOldJar)
{
    TempDir dir;
    TTopicList topics{{"One", "1"}};
    GenerateBook(Request(dir), topics, {});
    const fs::path book = dir / "Tales";
    const std::string oldJar = readFile(book / "Tales.jar"), oldJad = readFile(book / "Tales.jad");

    TTopicList more{{"One", "1"}, {"Two", std::string(3000, 'b')}};
    TRecorder rec;
    safewrite::FaultHook = [](const char* step) { return std::string(step) == "rename" ? EROFS : 0; };
    try {
        GenerateBook(Request(dir), more, {}, &rec);
        ADD_FAILURE() << "the run went on";
    } catch (const Error& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("Tales.jar"), std::string::npos) << m;
        EXPECT_NE(m.find(systemMessage(EROFS)), std::string::npos) << m;
        auto* archive = dynamic_cast<const EArchiveError*>(&e);
        ASSERT_NE(archive, nullptr) << m;
        EXPECT_EQ(archive->code(), zeOpen);
    }
    safewrite::FaultHook = nullptr;
    EXPECT_EQ(rec.statuses, std::vector<std::string>{"Building..."});
    EXPECT_EQ(readFile(book / "Tales.jar"), oldJar);
    EXPECT_EQ(readFile(book / "Tales.jad"), oldJad);
    EXPECT_EQ(Listing(book), (std::vector<std::string>{"Tales.jad", "Tales.jar", "manifest.mf"}));
}

TEST(Pipeline, ABookFolderThatCannotBeMadeNamesTheRealCause)
{
    // sysfs takes no new folders (EPERM or EACCES), and the folder is then
    // also missing: the message must give mkdir's cause, not the later lookup's.
    if (!fs::is_directory("/sys/kernel"))
        GTEST_SKIP() << "no /sys here";
    TTopicList topics{{"One", "1"}};
    TBuildRequest r;
    r.projectPath = "/sys/Tales.volm";
    try {
        GenerateBook(r, topics, {});
        ADD_FAILURE() << "the run went on";
    } catch (const Error& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("/sys/Tales/"), std::string::npos) << m;
        EXPECT_EQ(m.find("No such file or directory"), std::string::npos) << m;
        EXPECT_TRUE(m.find("Operation not permitted") != std::string::npos ||
                    m.find("Permission denied") != std::string::npos ||
                    m.find("Read-only file system") != std::string::npos)
            << m;
    }
}

TEST(Pipeline, CustomFontNeedsARenderer)
{
    TempDir dir;
    TTopicList topics;
    EXPECT_THROW(GenerateBook(Request(dir, true), topics, {}), Error);
    EXPECT_FALSE(fs::exists(dir / "Tales" / "Tales.jar"));
}

// The generated jar runs: the reader on the simulated phone lists the titles
// and opens the right text for each.
TEST(Pipeline, GeneratedJarRunsOnTheSimulatedPhone)
{
    fs::path harness = binaryDir() / "reader" / "harness";
#ifndef VOLM_HAVE_HARNESS
    GTEST_SKIP() << "no Java was found when the build was configured: the simulated phone is not built";
#endif
    TempDir dir;
    TTopicList topics{{"First", "Alpha text\r\n"}, {"", "Beta text"}, {"Third", "Gamma text"}};
    GenerateBook(Request(dir), topics, {});
    auto phone = [&](std::vector<std::string> actions) {
        std::vector<std::string> argv{"java", "-Djava.awt.headless=true", "-cp", harness.string(), "ReaderHarness",
                                      "--jar", (dir / "Tales" / "Tales.jar").string()};
        argv.insert(argv.end(), actions.begin(), actions.end());
        RunResult r = run(argv);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        return r.out;
    };
    // The blank title is an entry of its own (its row shows nothing).
    std::string menu = phone({"menu"});
    EXPECT_TRUE(menu == "First\n\nThird\n" || menu == "First\n \nThird\n") << menu;
    std::vector<std::string> out = nonEmptyLines(phone({"select", "show", "topics", "down", "select", "show", "topics", "down",
                                          "select", "show"}));
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0], "[text]");
    EXPECT_EQ(out[1].rfind("Alpha text", 0), 0u) << out[1];
    EXPECT_EQ(out[3].rfind("Beta text", 0), 0u) << out[3];
    EXPECT_EQ(out[5].rfind("Gamma text", 0), 0u) << out[5];
}

// The manifest is the jar's first entry (and there is no folder entry for
// it), so that a jar read as a stream shows it: java.util.jar.JarInputStream
// finds it. The rest keeps its order: the template's members with the book's
// files in their places, the texts, layout.txt, then the user's files.
TEST(Pipeline, TheManifestIsTheFirstEntryAndAJarStreamFindsIt)
{
    TempDir dir;
    TTopicList topics{{"One", "first"}, {"Two", std::string(400, 'x')}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    GenerateBook(r, topics, {});
    writeFile(dir / "Tales" / "zz-mine.txt", "mine");
    GenerateBook(r, topics, {});
    const fs::path jar = dir / "Tales" / "Tales.jar";
    std::vector<std::string> entries = JarEntries(jar);
    std::vector<std::string> expected{"META-INF/MANIFEST.MF", "LumeriaMain.class", "TFiledMenu.class",
                                      "TFiledStringList.class", "TMenuTicker.class", "TScrollFixedText.class",
                                      "appname.txt", "files.txt", "topics.txt", "images/Font1.png",
                                      "images/Font1.map", "images/Font2.png", "images/Font2.map",
                                      "images/orvane.png", "texts/itm1", "texts/itm2", "layout.txt", "zz-mine.txt"};
    EXPECT_EQ(entries, expected);

    if (!haveProgram("java"))
        GTEST_SKIP() << "no java to read the jar as a stream";
    writeFile(dir / "Stream.java",
              "import java.io.FileInputStream;\n"
              "import java.util.jar.JarInputStream;\n"
              "import java.util.jar.Manifest;\n"
              "public class Stream {\n"
              "    public static void main(String[] a) throws Exception {\n"
              "        try (JarInputStream in = new JarInputStream(new FileInputStream(a[0]))) {\n"
              "            Manifest m = in.getManifest();\n"
              "            System.out.println(m == null ? \"no manifest\" : m.getMainAttributes().getValue(\"MIDlet-Name\"));\n"
              "            int n = 0;\n"
              "            while (in.getNextJarEntry() != null)\n"
              "                n++;\n"
              "            System.out.println(n);\n"
              "        }\n"
              "    }\n"
              "}\n");
    RunResult j = run({"java", (dir / "Stream.java").string(), jar.string()});
    EXPECT_EQ(j.status, 0) << j.err;
    // The stream hands out the manifest itself, not as an entry.
    EXPECT_EQ(j.out, "Tales\n" + std::to_string(expected.size() - 1) + "\n");
}

// A book name that names no folder of its own beside the project (".", "..",
// or the project file itself) is refused before anything is written.
TEST(Pipeline, BookNamesWithoutAFolderOfTheirOwnAreRefused)
{
    TempDir dir;
    fs::create_directories(dir / "p");
    writeFile(dir / "p" / "keep.txt", "the user's");
    TTopicList topics{{"One", "1"}};
    for (const char* project : {"..volm", "...volm", "Tales"}) {
        TBuildRequest r = Request(dir);
        r.projectPath = (dir / "p" / project).string();
        if (std::string(project) == "Tales")
            writeFile(r.projectPath, "a project without an extension");
        try {
            GenerateBook(r, topics, {});
            ADD_FAILURE() << project << " was built";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(r.projectPath), std::string::npos) << e.what();
        }
        fs::remove(dir / "p" / "Tales");
    }
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"p/", "p/keep.txt"}));
}

// A book folder that is a symbolic link, and an output that is one, are
// refused: nothing is written through them, nothing they lead to changes.
TEST(Pipeline, LinksInTheBookFolderAreRefused)
{
    TempDir dir;
    TTopicList topics{{"One", "1"}};
    fs::create_directories(dir / "elsewhere");
    writeFile(dir / "elsewhere" / "precious.txt", "keep me");
    fs::create_directory_symlink(dir / "elsewhere", dir / "Tales");
    try {
        GenerateBook(Request(dir), topics, {});
        ADD_FAILURE() << "built through a linked folder";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("symbolic link"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Listing(dir / "elsewhere"), std::vector<std::string>{"precious.txt"});

    fs::remove(dir / "Tales");
    fs::create_directories(dir / "Tales");
    fs::create_symlink(dir / "elsewhere" / "precious.txt", dir / "Tales" / "Tales.jar");
    try {
        GenerateBook(Request(dir), topics, {});
        ADD_FAILURE() << "built over a linked jar";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("symbolic link"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(dir / "elsewhere" / "precious.txt"), "keep me");
    EXPECT_EQ(fileNames(dir / "Tales"), std::vector<std::string>{"Tales.jar"});
    EXPECT_TRUE(fs::is_symlink(dir / "Tales" / "Tales.jar"));
}

// The build writes only its outputs, and removes only the temporary files of
// its own outputs that a killed build left; what the user put there, even a
// file named like one of the book's own, stays.
TEST(Pipeline, OnlyTheBuildsOwnFilesAreWrittenOrRemoved)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "texts");
    writeFile(book / ".Tales.jar.volm-AbC123", "a killed build's jar");
    writeFile(book / ".manifest.mf.volm-Zz9Zz9", "a killed build's manifest");
    writeFile(book / ".notes.txt.volm-AbC123", "another program's");
    writeFile(book / "tmp.jar", "the user's own tmp.jar");
    writeFile(book / "topics.txt", "my topics");
    writeFile(book / "texts" / "itm1", "my text");
    writeFile(book / "texts" / "itm9", "another text");
    TTopicList topics{{"One", "1"}};
    GenerateBook(Request(dir), topics, {});
    EXPECT_EQ(Listing(book),
              (std::vector<std::string>{".notes.txt.volm-AbC123", "Tales.jad", "Tales.jar", "manifest.mf", "texts/",
                                        "texts/itm1", "texts/itm9", "tmp.jar", "topics.txt"}));
    EXPECT_EQ(readFile(book / "topics.txt"), "my topics");
    EXPECT_EQ(readFile(book / "texts" / "itm1"), "my text");
    const fs::path jar = book / "Tales.jar";
    EXPECT_EQ(JarMember(jar, "topics.txt"), "One\r\n");
    EXPECT_EQ(JarMember(jar, "texts/itm1"), "1");
    EXPECT_EQ(JarMember(jar, "texts/itm9"), "another text");
    EXPECT_EQ(JarMember(jar, "tmp.jar"), "the user's own tmp.jar");
    std::vector<std::string> entries = JarEntries(jar);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "topics.txt"), 1);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& n) { return n.find(".volm-") != std::string::npos; }),
              0);
}

// A second build into the same book folder while one runs is refused.
TEST(Pipeline, OneBuildAtATimePerBookFolder)
{
    TempDir dir;
    fs::create_directories(dir / "Tales");
    TFd held(::open((dir / "Tales").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    TTopicList topics{{"One", "1"}};
    try {
        GenerateBook(Request(dir), topics, {});
        ADD_FAILURE() << "two builds at once";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Another build"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fileNames(dir / "Tales").empty());
    ::flock(held.get(), LOCK_UN);
    GenerateBook(Request(dir), topics, {});
    EXPECT_TRUE(fs::exists(dir / "Tales" / "Tales.jar"));
}

// A folder that can't be made is reported with the cause of that step, not
// with one that a later look at the folder gave ("No such file or directory").
TEST(Pipeline, TheCauseOfTheFailedStepIsReported)
{
    // A folder where this user can't create one: /sys refuses (EPERM or
    // EROFS), or /proc's top level, whatever this system says.
    std::string parent;
    int expected = 0;
    for (const char* p : {"/sys", "/proc"}) {
        std::string probe = std::string(p) + "/volm-probe-" + std::to_string(::getpid());
        if (::mkdir(probe.c_str(), 0777) == 0) {
            ::rmdir(probe.c_str());
            continue;
        }
        if (errno != ENOENT) {
            parent = p;
            expected = errno;
            break;
        }
    }
    if (parent.empty())
        GTEST_SKIP() << "no folder here refuses a new folder with a cause other than ENOENT";
    TBuildRequest r;
    r.projectPath = parent + "/Tales.volm";
    TTopicList topics{{"One", "1"}};
    try {
        GenerateBook(r, topics, {});
        FAIL() << "a book folder was made in " << parent;
    } catch (const Error& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("Cannot create the book folder " + parent + "/Tales/: " + systemMessage(expected)),
                  std::string::npos)
            << m;
    }
}

TEST(Pipeline, TheReportNamesEachJarAndWarnsOfALargeOne)
{
    TBuildResult r;
    r.jarSize = 70000;
    r.jars.push_back({"/b/T/T.jar", "/b/T/T.jad", 70000, 14, {{0, 0, 0, 5}, {1, 0, 0, 9}}});
    EXPECT_EQ(BuildReport(r, "use --max-jar"),
              (std::vector<std::string>{"jar: /b/T/T.jar (70000 bytes, 14 files, 2 topics, 1 to 2)", "jad: /b/T/T.jad",
                                        "warning: the jar is 69 KB (70000 bytes); many phones refuse a jar over 64 KB: "
                                        "use --max-jar"}));
    r.maxJar = 65536; // within a budget: no warning
    r.jars[0].jarSize = r.jarSize = 65536;
    EXPECT_EQ(BuildReport(r, "x").size(), 2u);
    r.jars.push_back({"/b/T/T-2.jar", "/b/T/T-2.jad", 1000, 13, {{1, 2, 10, 20}}});
    r.jars[0].entries = {{0, 0, 0, 5}, {1, 1, 0, 10}};
    std::vector<std::string> lines = BuildReport(r, "x");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "2 volumes, each at most 65536 bytes:");
    EXPECT_EQ(lines[1], "jar: /b/T/T.jar (65536 bytes, 14 files, 2 topics, 1 to 2 (1))");
    EXPECT_EQ(lines[3], "jar: /b/T/T-2.jar (1000 bytes, 13 files, topic 2 (2))");
}

// Nothing from outside the book folder reaches the jar: a link to a file
// outside it (the build's own environment too), a linked folder, a FIFO are
// left out, and the report names each; the folder's own files are packed.
TEST(Pipeline, OnlyTheFoldersOwnRegularFilesArePacked)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "sub");
    fs::create_directories(dir / "outside");
    writeFile(dir / "outside" / "passwd", "root:x:0:0");
    writeFile(book / "notes.txt", "mine");
    writeFile(book / "sub" / "more.txt", "more");
    fs::create_symlink(dir / "outside" / "passwd", book / "passwd");
    fs::create_symlink("/proc/self/environ", book / "environ");
    fs::create_symlink("notes.txt", book / "sub" / "again.txt"); // even one that stays inside
    fs::create_directory_symlink(dir / "outside", book / "linked");
    ASSERT_EQ(::mkfifo((book / "pipe").c_str(), 0600), 0);
    TTopicList topics{{"One", "1"}};
    const TBuildResult r = GenerateBook(Request(dir), topics, {});
    const fs::path jar = book / "Tales.jar";
    std::vector<std::string> entries = JarEntries(jar);
    for (const char* name : {"passwd", "environ", "sub/again.txt", "linked/passwd", "pipe"})
        EXPECT_EQ(std::count(entries.begin(), entries.end(), name), 0) << name;
    EXPECT_EQ(JarMember(jar, "notes.txt"), "mine");
    EXPECT_EQ(JarMember(jar, "sub/more.txt"), "more");
    const std::string at = book.string() + "/";
    EXPECT_EQ(Sorted(r.skipped), (std::vector<std::string>{at + "environ (a symbolic link)",
                                                          at + "linked (a symbolic link)",
                                                          at + "passwd (a symbolic link)", at + "pipe (a FIFO)",
                                                          at + "sub/again.txt (a symbolic link)"}));
    const std::vector<std::string> report = BuildReport(r, "hint");
    for (const std::string& s : r.skipped)
        EXPECT_NE(std::find(report.begin(), report.end(),
                            "not packed: " + s + ": only the book folder's own regular files go into the jar"),
                  report.end())
            << s;
}

// Each build raises the version through the counter it is handed, after its
// checks: a refused build takes no number; volumes share their build's
// version; jad and manifest (beside the jar and in it) agree.
TEST(Pipeline, TheVersionComesFromTheBuildCounter)
{
    TempDir dir;
    TTopicList topics{{"One", RussianText(30000, 1)}, {"Two", RussianText(30000, 2)}};
    uint64_t counter = 0;
    TBuildRequest r = Request(dir);
    r.nextBuild = [&counter] { return ++counter; };
    for (uint64_t n = 1; n <= 2; ++n) {
        const TBuildResult res = GenerateBook(r, topics, {});
        const std::string version = "1.0." + std::to_string(n);
        EXPECT_EQ(res.version, version);
        const std::string line = "\r\nMIDlet-Version: " + version + "\r\n";
        EXPECT_NE(readFile(dir / "Tales" / "Tales.jad").find(line), std::string::npos);
        EXPECT_NE(readFile(dir / "Tales" / "manifest.mf").find(line), std::string::npos);
        EXPECT_NE(JarMember(dir / "Tales" / "Tales.jar", "META-INF/MANIFEST.MF").find(line), std::string::npos);
    }
    TBuildRequest refused = r;
    refused.vendor = "A\r\nMIDlet-Permissions: x";
    EXPECT_THROW(GenerateBook(refused, topics, {}), Error);
    EXPECT_EQ(counter, 2u);

    r.maxJar = 24 * 1024;
    const TBuildResult volumes = GenerateBook(r, topics, {});
    ASSERT_GT(volumes.jars.size(), 1u);
    for (const TBuiltJar& j : volumes.jars) {
        const std::string jad = readFile(j.jadPath);
        EXPECT_NE(jad.find("\r\nMIDlet-Version: 1.0.3\r\n"), std::string::npos) << j.jadPath;
        EXPECT_EQ(JarMember(j.jarPath, "META-INF/MANIFEST.MF"), jad.substr(0, jad.find("MIDlet-Jar-URL")));
    }
    const std::vector<std::string> names = BuildNamesReport(volumes);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "MIDlet-Name: Tales 1 to Tales " + std::to_string(volumes.jars.size()) +
                            ", jars Tales-1.jar to Tales-" + std::to_string(volumes.jars.size()) + ".jar");
    EXPECT_EQ(names[1].substr(0, 22), "MIDlet-Version: 1.0.3 ");
}

// A words book carries its font as sheets in the place of the template's
// images/Font.png: each size's image and map, rendered with the bytes the
// book uses, in the default font or the custom one.
TEST(Pipeline, WordsBooksCarryFontSheetsInsteadOfTheFontImage)
{
    TempDir dir;
    TTopicList topics{{"\xC8\xEC\xFF", "\xC0\xE1\r\nq\x97"}, {"Two", ""}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    const TBuildResult built = GenerateBook(r, topics, {});
    const fs::path jar = dir / "Tales" / "Tales.jar";
    ExpectToolsAccept(jar);
    TUsedBytes used = ReaderBytes();
    AddUsedBytes(used, "Tales\xC8\xEC\xFF\xC0\xE1\r\n\x97");
    AddUsedBytes(used, EmptyNote({"\xC8\xEC\xFF", "Two"}));
    EXPECT_EQ(JarMember(jar, "images/Font1.png"), SheetTag(DefaultSheetFont(), 11, used));
    EXPECT_EQ(JarMember(jar, "images/Font2.png"), SheetTag(DefaultSheetFont(), 14, used));
    EXPECT_EQ(JarMember(jar, "images/Font2.map"), FontMapBytes(14, TGlyphRects{}));
    EXPECT_FALSE(SheetTag(DefaultSheetFont(), 11, used).find('\xE2') != std::string::npos); // unused: not given
    const std::vector<std::string> entries = JarEntries(jar);
    const auto at = [&](const std::string& n) { return std::find(entries.begin(), entries.end(), n) - entries.begin(); };
    EXPECT_EQ(at("topics.txt") + 1, at("images/Font1.png"));
    EXPECT_EQ(at("images/Font2.map") + 1, at("images/orvane.png"));
    ASSERT_EQ(built.sheets.size(), 2u);
    EXPECT_EQ(built.sheets[1].size, 14);
    EXPECT_EQ(built.sheets[1].decoded, 128u * 28 * 2);
    const std::vector<std::string> report = BuildReport(built, "hint");
    EXPECT_NE(std::find(report.begin(), report.end(),
                        "font 11 px: image " + std::to_string(built.sheets[0].pngBytes) +
                            " bytes, decoded 6 KB (5632 bytes at 16 bits a pixel), map 1025 bytes"),
              report.end());

    // The custom font, at three sizes of the user's.
    r.font.useCustomFont = true;
    r.font.font.name = "Mine";
    r.sizes = {10, 16, 24};
    GenerateBook(r, topics, {});
    EXPECT_EQ(JarMember(jar, "images/Font3.png"), SheetTag(r.font.font, 24, used));
    EXPECT_EQ(Sorted(JarEntries(jar)).size(), entries.size() + 2);
    EXPECT_FALSE(JarHas(jar, "images/Font.png"));

    // Grid books never call it and keep the template's image.
    r.layout = TReaderLayout::Grid;
    r.font.useCustomFont = false;
    r.renderSheet = nullptr;
    GenerateBook(r, topics, {});
    EXPECT_TRUE(JarHas(jar, "images/Font.png"));
    EXPECT_FALSE(JarHas(jar, "images/Font1.png"));
}

TEST(Pipeline, FontSizesThatCannotFitAreLeftOutOrRefused)
{
    TempDir dir;
    TTopicList topics{{"One", "text"}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    for (const std::vector<int>& bad : {std::vector<int>{}, {5}, {11, 14, 16, 18}, {11, 11}, {49}}) {
        r.sizes = bad;
        EXPECT_THROW(GenerateBook(r, topics, {}), Error) << SheetSizesText(bad);
    }
    EXPECT_FALSE(fs::exists(dir / "Tales" / "Tales.jar"));
    r.sizes = {11, 14};
    // An image over a quarter of the budget or the heap's share: left out, said.
    r.renderSheet = [](const TFontChoice& f, int size, const TUsedBytes& used) {
        TFontSheet s = FakeSheet(f, size, used);
        if (size == 14)
            s.height = 400; // 100 KB decoded
        return s;
    };
    TBuildResult built = GenerateBook(r, topics, {});
    ASSERT_EQ(built.sheets.size(), 1u);
    EXPECT_EQ(built.sheets[0].size, 11);
    ASSERT_EQ(built.fontWarnings.size(), 1u);
    EXPECT_NE(built.fontWarnings[0].find("font size 14 px left out"), std::string::npos) << built.fontWarnings[0];
    EXPECT_FALSE(JarHas(dir / "Tales" / "Tales.jar", "images/Font2.png"));
    r.renderSheet = [](const TFontChoice& f, int size, const TUsedBytes& used) {
        TFontSheet s = FakeSheet(f, size, used);
        s.png.resize(20000); // over a quarter of 64 KB
        return s;
    };
    try {
        GenerateBook(r, topics, {});
        FAIL() << "built";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("11 px, 14 px"), std::string::npos) << e.what();
    }
    r.maxJar = 128 * 1024; // a quarter of it takes them
    EXPECT_EQ(GenerateBook(r, topics, {}).sheets.size(), 2u);
    // Together over the heap's share: built, with a warning.
    r.maxJar = 0;
    r.sizes = {11, 14, 16};
    r.renderSheet = [](const TFontChoice& f, int size, const TUsedBytes& used) {
        TFontSheet s = FakeSheet(f, size, used);
        s.height = 150; // 37.5 KB each
        return s;
    };
    built = GenerateBook(r, topics, {});
    EXPECT_EQ(built.sheets.size(), 3u);
    ASSERT_EQ(built.fontWarnings.size(), 1u);
    EXPECT_NE(built.fontWarnings[0].find("113 KB together"), std::string::npos) << built.fontWarnings[0];

    // Without the font renderer: the template's cells as the one size, said
    // in a warning; a custom font can't be drawn at all.
    r.renderSheet = nullptr;
    built = GenerateBook(r, topics, {});
    ASSERT_EQ(built.sheets.size(), 1u);
    EXPECT_EQ(built.sheets[0].size, 11);
    ASSERT_EQ(built.fontWarnings.size(), 1u);
    EXPECT_NE(built.fontWarnings[0].find("without the font renderer"), std::string::npos) << built.fontWarnings[0];
    const std::string jar = (dir / "Tales" / "Tales.jar").string();
    EXPECT_EQ(JarMember(jar, "images/Font1.png"), readFile(sourceDir() / "resources" / "reader" / "Font.png"));
    const auto map = ParseFontMap(JarMember(jar, "images/Font1.map"));
    ASSERT_TRUE(map);
    EXPECT_EQ(map->second['A'], (TGlyphRect{11, 4, 8}));
    EXPECT_EQ(map->second['\n'].advance, 0);
    r.font.useCustomFont = true;
    EXPECT_THROW(GenerateBook(r, topics, {}), Error);
}

TEST(Pipeline, SoftHyphensGoIntoTheWordsBooksTextsOnly)
{
    if (!fs::exists(kRussianPatterns) || !fs::exists(kEnglishPatterns))
        GTEST_SKIP() << "no hyphenation patterns";
    TempDir dir;
    // "электрификация молоко\r\n" and English.
    const std::string text = "\xFD\xEB\xE5\xEA\xF2\xF0\xE8\xF4\xE8\xEA\xE0\xF6\xE8\xFF "
                             "\xEC\xEE\xEB\xEE\xEA\xEE\r\nhyphenation";
    TTopicList topics{{"One", text}};
    TBuildRequest r = Request(dir);
    r.layout = TReaderLayout::Words;
    r.hyphens = true;
    const fs::path jar = dir / "Tales" / "Tales.jar";
    TBuildResult built = GenerateBook(r, topics, {});
    const THyphenator h;
    size_t added = 0;
    const std::string want = h.Hyphenate(ReaderText(text), &added);
    EXPECT_EQ(JarMember(jar, "texts/itm1"), want);
    EXPECT_GT(added, 4u);
    EXPECT_EQ(built.hyphensAdded, added);
    EXPECT_TRUE(built.hyphenated);
    EXPECT_EQ(topics.Text(0), text); // the project's text as it was
    // layout.txt counts the soft hyphens.
    EXPECT_NE(JarMember(jar, "layout.txt").find("\r\n" + std::to_string(want.size()) + " "), std::string::npos);
    const std::vector<std::string> report = BuildReport(built, "hint");
    EXPECT_NE(std::find_if(report.begin(), report.end(),
                           [&](const std::string& l) {
                               return l.starts_with("hyphens: " + std::to_string(added) + " break points added");
                           }),
              report.end());

    // A long text is cut into its pieces after the hyphens went in.
    const std::string longText = RussianText(40000, 5);
    TTopicList longTopics{{"Long", longText}};
    GenerateBook(r, longTopics, {});
    const std::string longWant = h.Hyphenate(ReaderText(longText));
    EXPECT_EQ(JarMember(jar, "texts/itm1").size(), 16384u);
    EXPECT_EQ(JarMember(jar, "texts/itm1") + JarMember(jar, "texts/itm1_1") + JarMember(jar, "texts/itm1_2") +
                  (JarHas(jar, "texts/itm1_3") ? JarMember(jar, "texts/itm1_3") : std::string()),
              longWant);

    // Off, and never in a grid book.
    r.hyphens = false;
    built = GenerateBook(r, topics, {});
    EXPECT_EQ(JarMember(jar, "texts/itm1"), ReaderText(text));
    EXPECT_FALSE(built.hyphenated);
    r.hyphens = true;
    r.layout = TReaderLayout::Grid;
    built = GenerateBook(r, topics, {});
    EXPECT_EQ(JarMember(jar, "texts/itm1"), ReaderText(text));
    const std::vector<std::string> gridReport = BuildReport(built, "");
    EXPECT_TRUE(std::none_of(gridReport.begin(), gridReport.end(),
                             [](const std::string& l) { return l.starts_with("hyphens"); }));
}

// The words layout's settings never touch a grid book (or one without a
// layout): the same jar byte for byte with or without them.
TEST(Pipeline, GridBooksIgnoreSizesAndHyphens)
{
    TempDir dir;
    TTopicList topics{{"One", "\xFD\xEB\xE5\xEA\xF2\xF0\xE8\xF4\xE8\xEA\xE0\xF6\xE8\xFF hyphenation\r\n"}};
    const fs::path jar = dir / "Tales" / "Tales.jar";
    for (std::optional<TReaderLayout> layout : {std::optional<TReaderLayout>(), std::optional(TReaderLayout::Grid)}) {
        TBuildRequest plain = Request(dir);
        plain.renderSheet = nullptr;
        plain.layout = layout;
        plain.clock = [] { return time_t(1700000000); };
        GenerateBook(plain, topics, {});
        const std::string want = readFile(jar);
        TBuildRequest r = plain;
        r.hyphens = true;
        r.sizes = {12, 20, 30};
        r.renderSheet = FakeSheet;
        const TBuildResult built = GenerateBook(r, topics, {});
        EXPECT_EQ(readFile(jar), want);
        EXPECT_TRUE(built.sheets.empty());
        EXPECT_FALSE(built.hyphenated);
        EXPECT_TRUE(JarHas(jar, "images/Font.png"));
    }
}
