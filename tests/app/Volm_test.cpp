// The desktop program's command line: --help and --version answer without a
// display, an unknown option is refused before any window opens.
#include "Testutil.h"

#include <gtest/gtest.h>

using volm::test::run;

namespace {

// volm with no display at all: the X11 platform would fail to start.
volm::test::RunResult volmWithoutDisplay(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                  "QT_QPA_PLATFORM=xcb", VOLM_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

} // namespace

TEST(VolmCommandLine, HelpAndVersionNeedNoDisplay)
{
    auto version = volmWithoutDisplay({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "volm " VOLM_VERSION "\n");

    for (const char* help : {"--help", "-h"}) {
        auto r = volmWithoutDisplay({help});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("Usage: volm [PROJECT.volm]\n", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("--version"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
}

TEST(VolmCommandLine, UnknownOptionIsRefusedAndCreatesNothing)
{
    volm::test::TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all); // a runtime folder
    // Qt's own options are taken out before ours are read.
    auto r = run({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (dir / "config").string(),
                  "XDG_DATA_HOME=" + (dir / "data").string(), "XDG_RUNTIME_DIR=" + dir.path().string(), VOLM_PROGRAM, "-platform", "offscreen",
                  "--versoin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "volm: unknown option \"--versoin\" (see volm --help)\n");
    EXPECT_FALSE(std::filesystem::exists("--versoin"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data"));
}
