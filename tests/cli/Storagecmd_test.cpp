// volm-cli storage ls / cat on a compound file only the engine can make:
// names in UTF-8 straight from the container's UTF-16, and never a write to
// the file. Its errors are cases (cases/Storage*.case).

#include "Testutil.h"
#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

using namespace volm;
using volm::test::TempDir;

namespace {

std::string cli()
{
    return VOLM_CLI;
}

} // namespace

TEST(Storagecmd, ListsAndCatsAnyNamesWithoutWriting)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::string big(6000, 'z');
    {
        auto f = cfb::CompoundFile::create(path, false);
        f->createStream(u"101", false)->write(0, "hello", 5);
        f->createStream(u"\u4E2D\u6587", false)->write(0, big.data(), big.size()); // not in Windows-1251
        f->createStream(u"\u0422\u0435\u043A\u0441\u0442", false);
    }
    std::string before = test::readFile(path);

    auto ls = test::run({cli(), "storage", "ls", path});
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(ls.out, "stream          6000  \xE4\xB8\xAD\xE6\x96\x87\n" // shorter names first
                      "stream             5  101\n"
                      "stream             0  \xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82\n");

    auto cat = test::run({cli(), "storage", "cat", path, "\xE4\xB8\xAD\xE6\x96\x87"});
    ASSERT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, big);

    EXPECT_EQ(test::readFile(path), before);
}

TEST(Storagecmd, EveryListedStreamCatsAndImpossibleSizesFailInOneLine)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    {
        // Names that do not survive UTF-8 and a command line: an embedded
        // zero and a lone surrogate. Each is taken as the listing shows it.
        auto f = cfb::CompoundFile::create(path, false);
        f->createStream(std::u16string(u"ab\0cd", 5), false)->write(0, "zero", 4);
        f->createStream(u"x\xD800y", false)->write(0, "surrogate", 9);
    }
    auto ls = test::run({cli(), "storage", "ls", path});
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(ls.out, "stream             9  x\xEF\xBF\xBDy\n"
                      "stream             4  ab\n");
    EXPECT_EQ(test::run({cli(), "storage", "cat", path, "ab"}).out, "zero");
    EXPECT_EQ(test::run({cli(), "storage", "cat", path, "x\xEF\xBF\xBDy"}).out, "surrogate");

    // A stream whose size field reads 2^64 - 1 over a chain of one sector
    // (found by fuzzing; it once took the reader past the chain's end).
    std::string seed = (test::sourceDir() / "fuzz/corpus/cfb/size-beyond-chain.cfb").string();
    auto cat = test::run({cli(), "storage", "cat", seed, "Big"});
    EXPECT_EQ(cat.status, 1);
    EXPECT_EQ(cat.out, "");
    EXPECT_EQ(cat.err, "volm-cli: " + seed + ": corrupt file: stream \"Big\" has a broken sector chain [0x80030109]\n");
}
