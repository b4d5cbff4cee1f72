#include "book/Manifest.h"
#include "common/Errors.h"

#include "Jartest.h"
#include "Testutil.h"

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::test;

TEST(Manifest, BookNameAndFolder)
{
    EXPECT_EQ(BookName("/books/Tales.volm"), "Tales");
    EXPECT_EQ(BookFolder("/books/Tales.volm"), "/books/Tales/");
    EXPECT_EQ(ProjectFolder("/books/Tales.volm"), "/books/");
    EXPECT_EQ(BookName("/books/my.volm.book.volm"), "my.volm.book");
    EXPECT_EQ(BookName("/a.b/Tales"), "Tales");          // no extension: the name stays
    EXPECT_EQ(BookFolder("Tales.volm"), "Tales/");       // a bare file name: the current folder
    EXPECT_EQ(BookName("/b/My, Book 2.volm"), "My, Book 2");
    EXPECT_EQ(BookName("/b/.hidden.volm"), ".hidden");
    EXPECT_THROW(BookName("/books/.volm"), Error);      // would make the project folder the book folder
    EXPECT_THROW(BookFolder("/books/"), Error);
}

TEST(Manifest, LinesOfTheDescriptorAndTheManifest)
{
    auto manifest = ManifestLines("Tales", "X", "ACME");
    auto jad = DescriptorLines(manifest, "Tales.jar", 12345);
    EXPECT_EQ(LinesText(manifest), kTalesManifest);
    EXPECT_EQ(LinesText(jad), kTalesManifest + "MIDlet-Jar-URL: Tales.jar\r\nMIDlet-Jar-Size: 12345\r\n");
    ASSERT_EQ(manifest.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(jad.begin(), jad.begin() + 8), manifest);

    // Empty texts leave nothing after the blank.
    auto empty = ManifestLines("B", "", "");
    EXPECT_EQ(empty[2], "MIDlet-Info-URL: ");
    EXPECT_EQ(empty[4], "MIDlet-Vendor: ");

    // Commas of the book name become blanks in the "MIDlet-1: " line only.
    auto commas = ManifestLines("My, Book,", "u", "v");
    EXPECT_EQ(commas[1], "MIDlet-1: My  Book , /images/orvane.png, LumeriaMain");
    EXPECT_EQ(commas[3], "MIDlet-Name: My, Book,");
    EXPECT_EQ(DescriptorLines(commas, "My, Book,.jar", 0)[8], "MIDlet-Jar-URL: My%2C%20Book%2C.jar");
    EXPECT_EQ(LinesText({}), "");
}

TEST(Manifest, SavingWritesCrLfAndReportsFailures)
{
    TempDir dir;
    auto lines = ManifestLines("Tales", "X", "ACME");
    SaveLines((dir / "manifest.mf").string(), lines);
    EXPECT_EQ(readFile(dir / "manifest.mf"), LinesText(lines));
    EXPECT_EQ(readFile(dir / "manifest.mf").substr(0, 23), "Manifest-Version: 1.0\r\n");

    std::string missing = (dir / "nope/manifest.mf").string();
    try {
        SaveLines(missing, lines);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Can't create file " + missing + ": No such file or directory");
    }
    fs::create_symlink("/dev/full", dir / "full.jad");
    EXPECT_THROW(SaveLines((dir / "full.jad").string(), lines), Error);
}

// Every value is one line: a line end or another control character in any of
// them is refused, naming the attribute, and nothing is made of it.
TEST(Manifest, NoValueCarriesALineEnd)
{
    const std::string injected = "ACME\r\nMIDlet-Jar-URL: http://evil.example/x.jar";
    auto refusal = [](const TManifestFields& f) {
        try {
            ManifestLines(f);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    TManifestFields f{"Tales", "http://x/", "ACME", "A book"};
    EXPECT_EQ(refusal(f), "");
    for (auto field : {&TManifestFields::name, &TManifestFields::url, &TManifestFields::vendor,
                       &TManifestFields::description}) {
        for (const std::string& bad : {injected, std::string("a\nb"), std::string("a\rb"), std::string("tab\there"),
                                      std::string("nul\0x", 5), std::string("del\x7F")}) {
            TManifestFields g = f;
            g.*field = bad;
            const std::string why = refusal(g);
            EXPECT_NE(why, "") << bad;
            const bool lineEnd = bad.find_first_of("\r\n") != std::string::npos;
            EXPECT_NE(why.find(lineEnd ? "holds a line end" : "holds a control character"), std::string::npos)
                << why;
        }
    }
    EXPECT_NE(refusal({"Tales", "u", "v\n", ""}).find("MIDlet-Vendor"), std::string::npos);
    EXPECT_NE(refusal({"Tales", "u\n", "v", ""}).find("MIDlet-Info-URL"), std::string::npos);
    // Windows-1251 letters are no control characters.
    EXPECT_EQ(refusal({"Tales", "u", "\xc2\xe5\xed\xe4\xee\xf0", "\xce\xef\xe8\xf1\xe0\xed\xe8\xe5"}), "");
    EXPECT_THROW(CheckOneLine("x\n", "--vendor"), Error);
    try {
        CheckOneLine("x\x1b", "--vendor");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, 41), "--vendor holds a control character (0x1B)");
    }
}

TEST(Manifest, TheUrlIsAnAbsoluteHttpUrl)
{
    for (const char* good : {"", "  ", "http://volm.example.org/", "https://x", " HTTP://x.example/a?b=c#d ", "http://[::1]:80/"})
        EXPECT_NO_THROW(CheckInfoUrl(good, "--url")) << good;
    for (const char* bad : {"X", "volm.example.org", "ftp://x/", "http://", "http:///path", "http://a b/",
                            "javascript:alert(1)", "http://x/\r\nMIDlet-Permissions: y", "//x.example/"}) {
        try {
            CheckInfoUrl(bad, "--url");
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, 6), "--url ") << e.what();
        }
    }
}

// The version rises with each build, each part at most 99.
TEST(Manifest, VersionsRiseAndRollOver)
{
    EXPECT_EQ(MidletVersion(1), "1.0.1");
    EXPECT_EQ(MidletVersion(2), "1.0.2");
    EXPECT_EQ(MidletVersion(99), "1.0.99");
    EXPECT_EQ(MidletVersion(100), "1.1.0");
    EXPECT_EQ(MidletVersion(101), "1.1.1");
    EXPECT_EQ(MidletVersion(9999), "1.99.99");
    EXPECT_EQ(MidletVersion(10000), "2.0.0");
    EXPECT_EQ(MidletVersion(989999), "99.99.99");
    EXPECT_EQ(MidletVersion(5000000), "99.99.99");
    EXPECT_EQ(ManifestLines("Tales", "u", "v")[5], "MIDlet-Version: 1.0.1");
    TManifestFields f{"Tales", "u", "v", "", MidletVersion(100)};
    EXPECT_EQ(ManifestLines(f)[5], "MIDlet-Version: 1.1.0");
}

// File names in plain ASCII, the MIDlet-Name and the description cut at a
// character boundary, the jar's URL percent-encoded.
TEST(Manifest, NamesPhonesTake)
{
    EXPECT_EQ(JarFileStem("Война и мир"), "Vojna_i_mir");
    EXPECT_EQ(JarFileStem("Tales"), "Tales");
    EXPECT_EQ(JarFileStem("My, Book 2"), "My_Book_2");
    EXPECT_EQ(JarFileStem("Čapek: R.U.R."), "Capek_RUR");
    EXPECT_EQ(JarFileStem("a-b_c"), "a-b_c");
    EXPECT_EQ(JarFileStem("!!!"), "book");
    EXPECT_EQ(JarFileStem(""), "book");
    EXPECT_EQ(JarFileStem("\xc2\xee\xe9\xed\xe0"), "Vojna"); // Windows-1251 (not UTF-8)
    const std::string longName = JarFileStem("Преступление и наказание, роман в шести частях");
    EXPECT_EQ(longName.size(), kFileStemMax);
    EXPECT_EQ(longName, "Prestuplenie_i_nakazanie");

    EXPECT_EQ(CutAtCharacter("Tales", 32), "Tales");
    const std::string russian = "xПреступление и наказание, роман"; // 2 bytes a letter
    EXPECT_EQ(CutAtCharacter(russian, 32), "xПреступление и н");          // 31 bytes, not half of "а"
    EXPECT_EQ(CutAtCharacter(russian, 32).size(), 31u);
    EXPECT_EQ(CutAtCharacter(russian, 33), "xПреступление и на");
    EXPECT_EQ(CutAtCharacter(std::string(40, '\xe0'), 32).size(), 32u); // Windows-1251: any byte
    EXPECT_EQ(ManifestLines(russian, "u", "v")[3], "MIDlet-Name: xПреступление и н");
    EXPECT_EQ(ManifestLines(russian, "u", "v")[1], "MIDlet-1: xПреступление и н, /images/orvane.png, LumeriaMain");

    EXPECT_EQ(PercentEncoded("Vojna_i_mir-2.jar"), "Vojna_i_mir-2.jar");
    EXPECT_EQ(PercentEncoded("Война и мир.jar"), "%D0%92%D0%BE%D0%B9%D0%BD%D0%B0%20%D0%B8%20%D0%BC%D0%B8%D1%80.jar");
    EXPECT_EQ(PercentEncoded("a/b?c%"), "a%2Fb%3Fc%25");

    TManifestFields f{"Tales", "u", "v", std::string(200, 'd')};
    const std::vector<std::string> lines = ManifestLines(f);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[2], "MIDlet-Description: " + std::string(kDescriptionMax, 'd'));
    EXPECT_EQ(ManifestLines({"Tales", "u", "v", ""}).size(), 8u); // no description, no line
}
