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
