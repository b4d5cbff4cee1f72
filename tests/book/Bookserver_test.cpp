// The book server's folder: a set a killed build recorded is put in place
// before anything is served, and a build's staged files are never served.

#include "book/Bookserver.h"

#include "Testutil.h"

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::test;

TEST(Bookserver, ARecordedSetIsPutInPlaceAndStagedFilesGoBeforeServing)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book);
    // A volume build killed after its record: the old single jar beside the
    // new volumes, staged.
    writeFile(book / "Tales.jar", "old jar");
    writeFile(book / "Tales.jad", "old jad");
    writeFile(book / ".Tales-1.jar.volm-staged", "jar 1");
    writeFile(book / ".Tales-1.jad.volm-staged", "jad 1");
    writeFile(book / "Tales-2.jar", "jar 2"); // renamed already
    writeFile(book / ".Tales-2.jad.volm-staged", "jad 2");
    writeFile(book / ".Tales.volm-set", "Tales-1.jar\nTales-1.jad\nTales-2.jar\nTales-2.jad\n");
    writeFile(book / "notes.txt", "mine");
    {
        TBookServer server((book.string() + "/"), 0);
        EXPECT_EQ(server.JadFiles(), (std::vector<std::string>{"Tales-1.jad", "Tales-2.jad"}));
    }
    EXPECT_EQ(readFile(book / "Tales-1.jar"), "jar 1");
    EXPECT_EQ(readFile(book / "Tales-2.jad"), "jad 2");
    EXPECT_FALSE(fs::exists(book / "Tales.jar"));
    EXPECT_FALSE(fs::exists(book / ".Tales.volm-set"));
    EXPECT_EQ(readFile(book / "notes.txt"), "mine");

    // Killed before its record: the staged files are stale, the old set stays.
    writeFile(book / ".Tales-1.jad.volm-staged", "newer jad 1");
    {
        TBookServer server(book.string(), 0);
        EXPECT_EQ(server.JadFiles(), (std::vector<std::string>{"Tales-1.jad", "Tales-2.jad"}));
    }
    EXPECT_FALSE(fs::exists(book / ".Tales-1.jad.volm-staged"));
    EXPECT_EQ(readFile(book / "Tales-1.jad"), "jad 1");
}
