// volm-cli's project commands, run as a user runs them.

#include "Testutil.h"
#include "text/Textlines.h"

#include <gtest/gtest.h>

using namespace volm::test;

namespace {

RunResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), VOLM_CLI);
    return run(args);
}

} // namespace

TEST(Projectcmd, TopicsFromNewToPack)
{
    TempDir dir;
    std::string p = (dir / "book.volm").string();

    RunResult r = cli({"add", p, "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(p)); // only `new` creates a project

    ASSERT_EQ(cli({"new", p}).status, 0);
    r = cli({"new", p});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;

    r = cli({"add", p, "Первая", "Second"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\t101\n2\t102\n");
    // A character Windows-1251 lacks is refused before anything is added.
    r = cli({"add", p, "ok", "中文"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("中"), std::string::npos) << r.err;

    writeFile(dir / "list.txt", "A\r\n\r\nB\nC\rD\r\n");
    r = cli({"add-list", p, (dir / "list.txt").string()});
    ASSERT_EQ(r.status, 0) << r.err;

    writeFile(dir / "text.txt", "ab\ncd");
    ASSERT_EQ(cli({"import", p, "2", (dir / "text.txt").string()}).status, 0);
    r = cli({"list", p});
    EXPECT_EQ(r.out, "1\t101\tПервая\t0\n2\t102\tSecond\t8\n3\t103\tA\t0\n4\t104\t\t0\n5\t105\tB\t0\n"
                     "6\t106\tC\t0\n7\t107\tD\t0\n");
    EXPECT_EQ(cli({"text", p, "2"}).out, "ab\r\ncd\r\n");

    EXPECT_EQ(cli({"delete", p, "3"}).status, 0);
    r = cli({"delete", p, "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no topic 9"), std::string::npos) << r.err;
    EXPECT_EQ(cli({"text", p, "0"}).status, 2);
    ASSERT_EQ(cli({"pack", p}).status, 0);
    r = cli({"list", p});
    EXPECT_EQ(r.out, "1\t101\tПервая\t0\n2\t102\tSecond\t8\n3\t104\t\t0\n4\t105\tB\t0\n5\t106\tC\t0\n"
                     "6\t107\tD\t0\n");
    r = cli({"add", p, "after pack"});
    EXPECT_EQ(r.out, "7\t108\n");
}

TEST(Projectcmd, ImportDetectsTheCodePageUnlessTold)
{
    fs::path data = sourceDir() / "tests" / "text" / "data";
    ASSERT_TRUE(fs::exists(data / "prose.koi8_r.txt")) << data;
    TempDir dir;
    std::string p = (dir / "book.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "t"}).status, 0);
    std::string expected = volm::NormalizeLineEnds(readFile(data / "prose.cp1251.txt"));
    for (const char* f : {"prose.koi8_r.txt", "prose.cp866.txt", "prose.utf8bom.txt", "prose.cp1251.txt"}) {
        RunResult r = cli({"import", p, "1", (data / f).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(cli({"text", p, "1"}).out, expected) << f;
    }
    // What had no Windows-1251 character, or was no character, is counted.
    writeFile(dir / "boxes.txt", "\xD0\xBE\xD0\xBA\xE2\x94\x80\xE2\x94\x82 \xFF\xD0");
    RunResult boxes = cli({"import", p, "1", (dir / "boxes.txt").string()});
    ASSERT_EQ(boxes.status, 0) << boxes.err;
    EXPECT_EQ(boxes.out, "9 bytes stored in topic 1 (read as UTF-8)\n"
                         "2 characters Windows-1251 lacks stored as the nearest text; 2 invalid bytes stored as \"?\"\n");
    EXPECT_EQ(cli({"text", p, "1"}).out, "\xEE\xEA-| ??\r\n");
    std::string koi = readFile(data / "prose.koi8_r.txt");
    ASSERT_EQ(cli({"import", p, "1", (data / "prose.koi8_r.txt").string(), "--no-detect"}).status, 0);
    EXPECT_EQ(cli({"text", p, "1"}).out, volm::NormalizeLineEnds(koi));
    EXPECT_EQ(cli({"text", p, "1", "--utf8"}).out.size() > koi.size(), true);
}

TEST(Projectcmd, FontSettings)
{
    TempDir dir;
    std::string p = (dir / "book.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    RunResult r = cli({"font", p, "--name", "Arial", "--height", "-16", "--charset", "RUSSIAN", "--style",
                       "bold,italic", "--color", "clRed", "--custom", "on"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = cli({"font", p});
    EXPECT_EQ(r.out, "name\tArial\nheight\t-16\ncharset\tRUSSIAN_CHARSET\nstyle\tbold,italic\ncolor\tclRed\n"
                     "pitch\tfixed\ncustom\ton\n");
    r = cli({"font", p, "--color", "0x123456", "--custom", "off", "--pitch", "default"});
    EXPECT_NE(r.out.find("color\t0x00123456\npitch\tdefault\ncustom\toff\n"), std::string::npos) << r.out;
    EXPECT_EQ(cli({"font", p, "--style", "wavy"}).status, 2);
}

TEST(Projectcmd, AFileThatIsNotAProjectStaysUntouched)
{
    TempDir dir;
    std::string p = (dir / "notes.txt").string();
    writeFile(p, "plain text");
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"add", p, "x"}, {"list", p}, {"pack", p}, {"font", p, "--custom", "on"}, {"new", p}}) {
        RunResult r = cli(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
        EXPECT_EQ(readFile(p), "plain text") << args[0];
    }
}
