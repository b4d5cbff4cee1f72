// The desktop program's command line: --help and --version answer without a
// display, an unknown option is refused before any window opens; the program
// ignores SIGXFSZ.
#include "Testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // The About box's text: "1.0.0.1" reads "1.0.0. Build 1" there too.
    std::string expected = VOLM_VERSION;
    expected.replace(expected.rfind('.'), 1, ". Build ");
    EXPECT_EQ(version.out, "volm " + expected + "\n");

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
    // The documentation's pictures are a tool's business (volm-screenshots).
    r = run({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (dir / "config").string(),
             "XDG_DATA_HOME=" + (dir / "data").string(), "XDG_RUNTIME_DIR=" + dir.path().string(), VOLM_PROGRAM,
             "--screenshots", (dir / "pictures").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "pictures"));
}

// Past a file-size limit a write must fail with EFBIG and be reported, not end
// the program: volm ignores SIGXFSZ from its first moment. Started with the
// signal's default disposition, the running program shows the signal among
// the ignored ones in /proc (SigIgn), whatever it is doing meanwhile.
TEST(VolmCommandLine, IgnoresTheFileSizeSignal)
{
    volm::test::TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    const std::string project = (dir / "p.volm").string();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit lim{1024, 1024}; // too small for a new project: its creation fails with EFBIG
        ::setrlimit(RLIMIT_FSIZE, &lim);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
        ::execl(VOLM_PROGRAM, VOLM_PROGRAM, project.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const unsigned long long bit = 1ull << (SIGXFSZ - 1);
    bool ignored = false, ended = false;
    int status = 0;
    for (int i = 0; i < 3000 && !ignored && !ended; ++i) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("SigIgn:", 0) == 0)
                ignored = (std::stoull(line.substr(7), nullptr, 16) & bit) != 0;
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ignored && !ended)
            ::usleep(10000);
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(ignored);
    EXPECT_FALSE(ended && WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
}
