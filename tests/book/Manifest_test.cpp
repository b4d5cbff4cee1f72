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
    auto jad = DescriptorLines(manifest, "Tales", 12345);
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
    EXPECT_EQ(DescriptorLines(commas, "My, Book,", 0)[8], "MIDlet-Jar-URL: My, Book,.jar");
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
