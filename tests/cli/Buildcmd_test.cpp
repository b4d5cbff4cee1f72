// volm-cli build, run as the user runs it: what the declarative cases
// (cases/Build*.case) cannot say, the stored build parameters and the book on
// the simulated phone.
#include "book/Buildparams.h"
#include "common/Ansiwriter.h"
#include "common/Codepage.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

using namespace volm;
using namespace volm::test;

namespace {

std::string Cli() { return VOLM_CLI; }

// Points the registry at a scratch folder for the life of the object.
class TScratchConfig {
public:
    explicit TScratchConfig(const fs::path& dir)
    {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        had_ = old != nullptr;
        if (old)
            old_ = old;
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    ~TScratchConfig()
    {
        if (had_)
            ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

private:
    bool had_ = false;
    std::string old_;
};

fs::path MakeProject(const TempDir& dir, const std::string& name)
{
    fs::path p = dir / name;
    EXPECT_EQ(run({Cli(), "new", p.string()}).status, 0);
    EXPECT_EQ(run({Cli(), "add", p.string(), "One", "Два"}).status, 0);
    writeFile(dir / "two.txt", "\xc4\xe2\xe0\r\n");
    EXPECT_EQ(run({Cli(), "import", p.string(), "2", (dir / "two.txt").string()}).status, 0);
    return p;
}

std::string Field(const std::string& text, const std::string& prefix)
{
    size_t at = text.find("\r\n" + prefix);
    if (at == std::string::npos)
        return "<missing>";
    at += 2 + prefix.size();
    return text.substr(at, text.find("\r\n", at) - at);
}

} // namespace

TEST(Buildcmd, TextsComeFromTheCommandLineOrTheStoredParameters)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::path project = MakeProject(dir, "Tales.volm");

    // Stored texts, one of them overridden on the command line (UTF-8 there,
    // Windows-1251 in the jad). The initial texts, with nothing stored, are
    // a case (BuildWritesTheInitialTexts).
    TBuildParamsStore store;
    store.save(TWindowPlacement{}, 96, false, {"Stored vendor", "http://stored.example/", "Stored"});
    std::string before = readFile(dir / "config" / "volm" / "registry.ini");
    RunResult r = run({Cli(), "build", project.string(), "--vendor", "Вендор", "--description", "Сказки"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string jad = readFile(dir / "Tales" / "Tales.jad");
    EXPECT_EQ(Field(jad, "MIDlet-Vendor: "), "\xc2\xe5\xed\xe4\xee\xf0");
    EXPECT_EQ(Field(jad, "MIDlet-Info-URL: "), "http://stored.example/");
    EXPECT_EQ(Field(jad, "MIDlet-Jar-Size: "), std::to_string(fs::file_size(dir / "Tales" / "Tales.jar")));
    EXPECT_EQ(Field(jad, "MIDlet-Description: "), "\xd1\xea\xe0\xe7\xea\xe8");
    EXPECT_EQ(Field(readFile(dir / "Tales" / "manifest.mf"), "MIDlet-Description: "), "\xd1\xea\xe0\xe7\xea\xe8");
    // Without one on the command line, the stored description.
    r = run({Cli(), "build", project.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Field(readFile(dir / "Tales" / "Tales.jad"), "MIDlet-Description: "), "Stored");
    // The command reads the stored parameters and never writes them.
    EXPECT_EQ(readFile(dir / "config" / "volm" / "registry.ini"), before);
}

// Stored texts are checked as typed ones are: one with a line end (written
// there by hand, or by another program) or a URL that is not http(s) is
// refused, naming it, before anything is written.
TEST(Buildcmd, StoredTextsThatCantBeAttributesAreRefused)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::path project = MakeProject(dir, "Tales.volm");
    TBuildParamsStore store;
    store.save(TWindowPlacement{}, 96, false, {"ACME\r\nMIDlet-Permissions: x", "http://x/", "D"});
    RunResult r = run({Cli(), "build", project.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the stored vendor (build parameters) holds a line end"), std::string::npos) << r.err;
    // Given on the command line, the stored one is not used.
    r = run({Cli(), "build", project.string(), "--vendor", "ACME"});
    EXPECT_EQ(r.status, 0) << r.err;
    store.save(TWindowPlacement{}, 96, false, {"ACME", "file:///etc/passwd", "D"});
    r = run({Cli(), "build", project.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the stored URL (build parameters) \"file:///etc/passwd\" is not an absolute http or https URL"),
              std::string::npos)
        << r.err;
}

// The custom font is drawn by the font renderer; volm-cli built without one
// (no Qt) refuses it before anything is written.
TEST(Buildcmd, CustomFontNeedsTheRenderer)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::path project = MakeProject(dir, "Tales.volm");
    ASSERT_EQ(run({Cli(), "font", project.string(), "--name", "DejaVu Sans Mono", "--height", "-12", "--custom",
                   "on"}).status, 0);
    RunResult r = run({Cli(), "build", project.string()});
#ifdef VOLM_HAVE_FONT
    ASSERT_EQ(r.status, 0) << r.err;
    // A words book carries the custom font as its sheets.
    const std::string jar = (dir / "Tales" / "Tales.jar").string();
    RunResult sheet = run({"unzip", "-p", jar, "images/Font1.png"});
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_TRUE(sheet.out.starts_with("\x89PNG"));
    ASSERT_EQ(run({Cli(), "font", project.string(), "--custom", "off"}).status, 0);
    ASSERT_EQ(run({Cli(), "build", project.string()}).status, 0);
    EXPECT_NE(run({"unzip", "-p", jar, "images/Font1.png"}).out, sheet.out); // DejaVu Sans, not Mono
    // The grid layout's font image is the rendered one, not the template's sample.
    ASSERT_EQ(run({Cli(), "font", project.string(), "--custom", "on"}).status, 0);
    ASSERT_EQ(run({Cli(), "build", project.string(), "--layout", "grid"}).status, 0);
    RunResult image = run({"unzip", "-p", jar, "images/Font.png"});
    ASSERT_EQ(image.status, 0) << image.err;
    EXPECT_TRUE(image.out.starts_with("\x89PNG"));
    EXPECT_NE(image.out, readFile(sourceDir() / "resources" / "reader" / "Font.png"));
#else
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("built without the font renderer"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "Tales"));
#endif
}

#ifdef VOLM_HAVE_HARNESS
namespace {

// The simulated phone reads a screen back through the font image: bytes
// outside printable ASCII print as \xNN, and a glyph that looks like an ASCII
// one (Cyrillic a, e, o, p, c ...) reads as that ASCII character. True when
// `shown` is `bytes` up to such look-alikes.
bool ReadsAs(const std::string& shown, const std::string& bytes)
{
    std::string got;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\\' && i + 3 < shown.size() && shown[i + 1] == 'x') {
            got += static_cast<char>(std::stoi(shown.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            got += shown[i];
        }
    }
    std::string want = bytes;
    while (!want.empty() && want.back() == ' ')
        want.pop_back();
    while (!got.empty() && got.back() == ' ')
        got.pop_back();
    if (got.size() != want.size())
        return false;
    for (size_t i = 0; i < got.size(); ++i) {
        unsigned char g = static_cast<unsigned char>(got[i]), w = static_cast<unsigned char>(want[i]);
        if (g != w && !(w >= 0x80 && g < 0x80))
            return false;
    }
    return true;
}

} // namespace

// A new project builds in the words layout; --layout is stored; a project
// without a layout (made before there was a choice) builds without layout.txt.
TEST(Buildcmd, LayoutIsStoredAndGoesIntoTheJar)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::path project = dir / "Fox.volm";
    ASSERT_EQ(run({Cli(), "new", project.string()}).status, 0);
    ASSERT_EQ(run({Cli(), "add", project.string(), "Fox"}).status, 0);
    writeFile(dir / "fox.txt", "The quick brown fox jumps over the lazy dog");
    ASSERT_EQ(run({Cli(), "import", project.string(), "1", (dir / "fox.txt").string(), "--no-detect"}).status, 0);
    const std::string jar = (dir / "Fox" / "Fox.jar").string();
    // 43 bytes and the line end the import gives the text.
    auto layoutFile = [&] { return run({"unzip", "-p", jar, "layout.txt"}); };

    RunResult r = run({Cli(), "build", project.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(layoutFile().out, "words\r\nindent\r\nEmpty\r\n44 114af\r\n");
#ifdef VOLM_HAVE_HARNESS
    fs::path harness = binaryDir() / "reader" / "harness";
    r = run({"java", "-Djava.awt.headless=true", "-cp", harness.string(), "ReaderHarness", "--jar", jar,
             "--size", "84x46", "select", "show"});
#ifdef VOLM_HAVE_FONT
    // DejaVu Sans at 11 pixels, each letter at its width: an indent of two figures, three rows.
    EXPECT_EQ(r.out, "[text]\n    The quick\nbrown fox jumps\nover the lazy\n(status: Fox     90% 90%)\n") << r.err;
#else
    // The reader's own cells, 8 pixels a letter.
    EXPECT_EQ(r.out, "[text]\n  The\nquick\nbrown fox\n(status: Fox    45%)\n") << r.err;
#endif
#endif

    EXPECT_EQ(run({Cli(), "build", project.string(), "--layout", "columns"}).status, 2);
    ASSERT_EQ(run({Cli(), "build", project.string(), "--layout", "grid"}).status, 0);
    EXPECT_EQ(layoutFile().out, "grid\r\nindent\r\nEmpty\r\n44 114af\r\n");
    ASSERT_EQ(run({Cli(), "build", project.string()}).status, 0);
    EXPECT_EQ(layoutFile().out, "grid\r\nindent\r\nEmpty\r\n44 114af\r\n"); // kept in the project

    // --paragraphs: stored the same way; anything but indent or gap is refused
    // before the project is touched.
    RunResult bad = run({Cli(), "build", project.string(), "--paragraphs", "Gap"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--paragraphs is indent or gap, not \"Gap\""), std::string::npos) << bad.err;
    ASSERT_EQ(run({Cli(), "build", project.string(), "--paragraphs", "gap", "--layout", "words"}).status, 0);
    EXPECT_EQ(layoutFile().out, "words\r\ngap\r\nEmpty\r\n44 114af\r\n");
    ASSERT_EQ(run({Cli(), "build", project.string()}).status, 0);
    EXPECT_EQ(layoutFile().out, "words\r\ngap\r\nEmpty\r\n44 114af\r\n");
    ASSERT_EQ(run({Cli(), "build", project.string(), "--paragraphs", "indent"}).status, 0);
    EXPECT_EQ(layoutFile().out, "words\r\nindent\r\nEmpty\r\n44 114af\r\n");

    // A project made before there was a choice (the sample book as it was
    // then): no layout.txt, and the heading marks of none of its texts.
    fs::copy_file(sourceDir() / "tests" / "cli" / "data" / "Older.volm", dir / "Older.volm");
    ASSERT_EQ(run({Cli(), "font", (dir / "Older.volm").string(), "--custom", "off"}).status, 0);
    ASSERT_EQ(run({Cli(), "build", (dir / "Older.volm").string()}).status, 0);
    EXPECT_EQ(run({"unzip", "-l", (dir / "Older" / "Older.jar").string(), "layout.txt"}).status, 11);

    // The sample book is in the words layout, its texts' titles marked.
    fs::copy_file(sourceDir() / "examples" / "Sample.volm", dir / "Sample.volm");
    ASSERT_EQ(run({Cli(), "font", (dir / "Sample.volm").string(), "--custom", "off"}).status, 0);
    ASSERT_EQ(run({Cli(), "build", (dir / "Sample.volm").string()}).status, 0);
    const std::string sampleJar = (dir / "Sample" / "Sample.jar").string();
    const std::vector<std::string> lines = nonEmptyLines(run({"unzip", "-p", sampleJar, "layout.txt"}).out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "words\r");
    EXPECT_EQ(lines[1], "indent\r");
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(run({"unzip", "-p", sampleJar, "texts/itm" + std::to_string(i)}).out.substr(0, 1), "\x01") << i;
    // The last text names the reader's keys and the options list.
    // (Without the soft hyphens the words layout's texts carry.)
    std::string keys = run({"unzip", "-p", sampleJar, "texts/itm6"}).out;
    std::erase(keys, '\xad');
    for (const char* word : {"Up or 2", "Down or 8", "Left or 4", "Right or 6", "*: the next font size", "#: night reading", "Fire or 5",
                             "1:", "7:", "9:", "3:", "0, or the Options command", "Go to %", "Add bookmark",
                             "Bookmarks", "Find"})
        EXPECT_NE(keys.find(word), std::string::npos) << word;
}

// The shipped sample book builds, and its jar runs on the simulated phone
// with the sample's own font image. (The test exists where the phone is built.)
TEST(Buildcmd, SampleBookRunsOnTheSimulatedPhone)
{
    fs::path harness = binaryDir() / "reader" / "harness";
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::copy_file(sourceDir() / "examples" / "Sample.volm", dir / "Sample.volm");
    RunResult r = run({Cli(), "build", (dir / "Sample.volm").string()});
#ifndef VOLM_HAVE_FONT
    // Without the font renderer the sample's custom font is refused before
    // anything is written; with the switch off the reader's own font is used.
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("built without the font renderer"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "Sample"));
    ASSERT_EQ(run({Cli(), "font", (dir / "Sample.volm").string(), "--custom", "off"}).status, 0);
    r = run({Cli(), "build", (dir / "Sample.volm").string()});
#endif
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string jar = (dir / "Sample" / "Sample.jar").string();
    auto phone = [&](std::vector<std::string> actions) {
        std::vector<std::string> argv{"java", "-Djava.awt.headless=true", "-cp", harness.string(), "ReaderHarness",
                                      "--jar", jar};
        argv.insert(argv.end(), actions.begin(), actions.end());
        RunResult r = run(argv);
        EXPECT_EQ(r.status, 0) << r.err;
        return splitLines(r.out);
    };

    // The titles and texts as the project holds them.
    std::vector<std::string> titles, texts;
    for (const std::string& line : splitLines(run({Cli(), "list", (dir / "Sample.volm").string()}).out)) {
        size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
        titles.push_back(utf8ToCp1251(line.substr(b + 1, c - b - 1)));
        texts.push_back(run({Cli(), "text", (dir / "Sample.volm").string(), std::to_string(titles.size())}).out);
    }
    ASSERT_EQ(titles.size(), 6u);

    std::vector<std::string> menu = phone({"menu"});
    ASSERT_EQ(menu.size(), titles.size());
    for (size_t i = 0; i < titles.size(); ++i)
        EXPECT_TRUE(ReadsAs(menu[i], titles[i])) << menu[i] << " / " << cp1251ToUtf8(titles[i]);

    // Each topic opens its own text. The sample is in the words layout and
    // each text starts with its title line, a heading shorter than a row: the
    // first row is that line, perhaps centred, its heading mark not drawn (a
    // reader that does not know the mark draws it as a blank cell).
    std::vector<std::string> actions;
    for (size_t i = 0; i < titles.size(); ++i) {
        if (i > 0)
            actions.insert(actions.end(), {"topics", "down"});
        actions.insert(actions.end(), {"select", "show"});
    }
    std::vector<std::string> screens = phone(actions);
    size_t topic = 0;
    for (size_t k = 0; k + 1 < screens.size(); ++k) {
        if (screens[k] != "[text]")
            continue;
        ASSERT_LT(topic, texts.size());
        std::string text = texts[topic];
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end()); // the jar's texts hold no CR
        std::string start = text.substr(0, text.find('\n'));
        ASSERT_FALSE(start.empty());
        EXPECT_EQ(start[0], '\x01') << topic;
        start.erase(0, 1);
        std::string row = screens[k + 1];
        auto trim = [&] {
            row.erase(0, row.find_first_not_of(' ') == std::string::npos ? row.size() : row.find_first_not_of(' '));
            row.erase(row.find_last_not_of(' ') + 1);
        };
        trim();
        if (row.starts_with("\\x00") || row.starts_with("\\x01")) // the mark's cell, as the phone shows it
            row.erase(0, 4);
        trim();
        EXPECT_TRUE(ReadsAs(row, start)) << topic << ": " << screens[k + 1];
        ++topic;
    }
    EXPECT_EQ(topic, titles.size());
}
#endif

// --sizes and --no-hyphens are kept in the project like the layout; sizes
// that are not 1 to 3 pixel heights are refused before the project is touched.
TEST(Buildcmd, SizesAndHyphensAreStoredAndGoIntoTheJar)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::path project = dir / "Fox.volm";
    ASSERT_EQ(run({Cli(), "new", project.string()}).status, 0);
    ASSERT_EQ(run({Cli(), "add", project.string(), "Fox"}).status, 0);
    // "электрификация" and English.
    writeFile(dir / "fox.txt", "\xfd\xeb\xe5\xea\xf2\xf0\xe8\xf4\xe8\xea\xe0\xf6\xe8\xff representation\r\n");
    ASSERT_EQ(run({Cli(), "import", project.string(), "1", (dir / "fox.txt").string(), "--no-detect"}).status, 0);
    const std::string jar = (dir / "Fox" / "Fox.jar").string();
    auto member = [&](const std::string& name) { return run({"unzip", "-p", jar, name}).out; };
    auto members = [&] { return run({"unzip", "-Z1", jar}).out; };
    auto storage = [&](const std::string& stream) {
        return run({Cli(), "storage", "cat", project.string(), stream}).out;
    };

    RunResult r = run({Cli(), "build", project.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    // The defaults: two sizes (one sheet of the reader's cells without the
    // font renderer), soft hyphens, no images/Font.png.
    const std::string all = members();
#ifdef VOLM_HAVE_FONT
    for (const char* m : {"images/Font1.png", "images/Font1.map", "images/Font2.png", "images/Font2.map"})
#else
    for (const char* m : {"images/Font1.png", "images/Font1.map"})
#endif
        EXPECT_NE(all.find(m), std::string::npos) << m;
    EXPECT_EQ(all.find("images/Font.png"), std::string::npos) << all;
    EXPECT_EQ(all.find("images/Font3"), std::string::npos) << all;
    EXPECT_EQ(member("images/Font1.map").substr(0, 1), "\x0b");
#ifdef VOLM_HAVE_FONT
    EXPECT_EQ(member("images/Font2.map").size(), 1025u);
#endif
    const std::string text = member("texts/itm1");
    EXPECT_NE(text.find('\xad'), std::string::npos);
#ifdef VOLM_HAVE_FONT
    EXPECT_NE(r.out.find("font 14 px: image "), std::string::npos) << r.out;
#endif
    EXPECT_NE(r.out.find("break points added"), std::string::npos) << r.out;

    ASSERT_EQ(run({Cli(), "build", project.string(), "--sizes", "16,10,12", "--no-hyphens"}).status, 0);
    EXPECT_EQ(storage("Sizes"), "10,12,16");
    EXPECT_EQ(storage("Hyphens"), "off");
#ifdef VOLM_HAVE_FONT
    EXPECT_EQ(member("images/Font3.map").substr(0, 1), "\x10");
#endif
    EXPECT_EQ(member("texts/itm1").find('\xad'), std::string::npos);
    r = run({Cli(), "build", project.string()}); // kept
    ASSERT_EQ(r.status, 0) << r.err;
#ifdef VOLM_HAVE_FONT
    EXPECT_EQ(member("images/Font1.map").substr(0, 1), "\x0a");
#endif
    EXPECT_EQ(r.out.find("break points"), std::string::npos) << r.out;
    ASSERT_EQ(run({Cli(), "build", project.string(), "--hyphens"}).status, 0);
    EXPECT_EQ(storage("Hyphens"), "on");
    EXPECT_EQ(member("texts/itm1"), text);

    for (const char* bad : {"", "11,14,16,18", "4", "11;14", "11,11", "big"}) {
        RunResult refused = run({Cli(), "build", project.string(), "--sizes", bad});
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_NE(refused.err.find("--sizes is 1 to 3"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(storage("Sizes"), "10,12,16");
    EXPECT_EQ(run({Cli(), "build", project.string(), "--hyphens", "--no-hyphens"}).status, 2);

    // Grid books: neither sheets nor hyphens, the template's image.
    ASSERT_EQ(run({Cli(), "build", project.string(), "--layout", "grid"}).status, 0);
    EXPECT_NE(members().find("images/Font.png"), std::string::npos);
    EXPECT_EQ(members().find("images/Font1"), std::string::npos);
    EXPECT_EQ(member("texts/itm1").find('\xad'), std::string::npos);
}

// make's jars are whole archives (unzip -t), volumes within the budget (40 KB: the reader and
// its two font sheets take about 26 KB).
TEST(Buildcmd, MadeBooksAreSoundJarsWithinTheBudget)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::create_directory(dir / "books");
    for (const char* name : {"tale.fb2", "tale3.epub", "glava.koi8.txt", "tale.md"})
        fs::copy_file(sourceDir() / "tests/text/data/books" / name, dir / "books" / name);
    RunResult r = run({Cli(), "make", (dir / "books").string(), "--out", (dir / "out").string(), "--max-jar", "40K"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("4 made, 0 up to date, 0 failed"), std::string::npos) << r.out;
    size_t jars = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "out")) {
        if (e.path().extension() != ".jar")
            continue;
        ++jars;
        EXPECT_LE(fs::file_size(e.path()), 40u * 1024) << e.path();
        RunResult t = run({"unzip", "-tq", e.path().string()});
        EXPECT_EQ(t.status, 0) << e.path() << t.out << t.err;
        t = run({"/usr/bin/python3", "-c",
                 "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(z.testzip() is not None)",
                 e.path().string()});
        EXPECT_EQ(t.status, 0) << e.path() << t.out << t.err;
        fs::path jad = e.path();
        EXPECT_TRUE(fs::exists(jad.replace_extension(".jad"))) << jad;
#ifdef VOLM_HAVE_HARNESS
        // The phone shows the menu and opens the first topic. The jar goes to
        // a plain name first: Java in the C locale cannot open a Cyrillic path.
        const fs::path plain = dir / ("phone" + std::to_string(jars) + ".jar");
        fs::copy_file(e.path(), plain);
        t = run({"java", "-Djava.awt.headless=true", "-cp", (binaryDir() / "reader" / "harness").string(),
                 "ReaderHarness", "--jar", plain.string(), "menu", "select", "show"});
        EXPECT_EQ(t.status, 0) << e.path() << t.err;
        EXPECT_NE(t.out.find("[text]"), std::string::npos) << e.path() << t.out;
#endif
    }
    EXPECT_GE(jars, 4u);
}

// A phone family chooses the words layout's sizes a project has not chosen
// (suited to its screens) and its heap bounds the font images; make takes the
// build's options and stores them in the projects it makes.
TEST(Buildcmd, PhoneFamilyChoosesSizesAndHeap)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    fs::create_directory(dir / "books");
    fs::copy_file(sourceDir() / "tests/text/data/books/tale.fb2", dir / "books/tale.fb2");
    RunResult r = run({Cli(), "make", (dir / "books").string(), "--out", (dir / "out").string(), "--phone",
                       "samsung-d600", "--paragraphs", "gap", "--no-hyphens"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const fs::path project = dir / "out" / "Сказка о часовщике.volm";
    const std::string jar = (dir / "out" / "Сказка о часовщике" / "Skazka_o_casovsike.jar").string();
    auto member = [&](const std::string& name) { return run({"unzip", "-p", jar, name}).out; };
    auto storage = [&](const std::string& stream) {
        return run({Cli(), "storage", "cat", project.string(), stream}).out;
    };
    EXPECT_EQ(storage("Hyphens"), "off");
    EXPECT_EQ(member("texts/itm1").find('\xad'), std::string::npos);
#ifdef VOLM_HAVE_FONT
    // 240 pixels across: 14 and 18.
    EXPECT_EQ(member("images/Font1.map").substr(0, 1), "\x0e");
    EXPECT_EQ(member("images/Font2.map").substr(0, 1), "\x12");
#endif
    // Made again with other options: the stamp no longer holds.
    r = run({Cli(), "make", (dir / "books").string(), "--out", (dir / "out").string(), "--phone", "samsung-d600"});
    EXPECT_NE(r.out.find("1 made, 0 up to date"), std::string::npos) << r.out;

    // Sizes the project chose stay; the family's heap (Nokia 3410: 112 KB)
    // leaves out a size whose image takes more than its share.
    ASSERT_EQ(run({Cli(), "build", project.string(), "--sizes", "11,40"}).status, 0);
    r = run({Cli(), "build", project.string(), "--phone", "nokia-3410", "--max-jar", "none"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
#ifdef VOLM_HAVE_FONT
    EXPECT_EQ(member("images/Font1.map").substr(0, 1), "\x0b");
    EXPECT_EQ(member("images/Font2.map"), "");
    EXPECT_NE(r.out.find("warning: font size 40 px left out: its image decodes to "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("of a phone's 112 KB heap"), std::string::npos) << r.out;
#endif
}

// --out makes the book folder elsewhere and the project keeps it; a folder
// that can't be written is named with the way out.
TEST(Buildcmd, TheBookFolderIsMadeWhereOutSaysAndStaysThere)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    const fs::path project = dir / "Fox.volm";
    ASSERT_EQ(run({Cli(), "new", project.string()}).status, 0);
    ASSERT_EQ(run({Cli(), "add", project.string(), "Fox"}).status, 0);
    fs::create_directories(dir / "books");

    RunResult r = run({Cli(), "build", project.string(), "--out", (dir / "books").string() + "/"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "books" / "Fox" / "Fox.jar"));
    EXPECT_TRUE(fs::exists(dir / "books" / "Fox" / "Fox.jad"));
    EXPECT_FALSE(fs::exists(dir / "Fox"));
    EXPECT_EQ(run({Cli(), "storage", "cat", project.string(), "Folder"}).out, (dir / "books").string());
    // The next build goes there without being told.
    fs::remove_all(dir / "books" / "Fox");
    ASSERT_EQ(run({Cli(), "build", project.string()}).status, 0);
    EXPECT_TRUE(fs::exists(dir / "books" / "Fox" / "Fox.jar"));

    r = run({Cli(), "build", project.string(), "--out", (dir / "missing").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--out: " + (dir / "missing").string() + " is not a folder"), std::string::npos) << r.err;

    // Nobody may make a folder in /sys/fs.
    r = run({Cli(), "build", project.string(), "--out", "/sys/fs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/sys/fs/Fox/"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("build the book in another folder with --out DIR"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}
