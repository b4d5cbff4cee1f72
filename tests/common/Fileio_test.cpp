#include "common/Fileio.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// The message of the EFileError that `f` raises, "" when it raises none.
template <typename F>
std::string failure(F f)
{
    try {
        f();
    } catch (const EFileError& e) {
        return e.what();
    }
    return {};
}

// Installs the test hooks for one test and removes them again.
struct Hooks {
    ~Hooks()
    {
        safewrite::WriteHook = nullptr;
        safewrite::FaultHook = nullptr;
    }
};

} // namespace

TEST(WriteAll, CarriesOnAfterShortWritesAndInterruptions)
{
    Hooks hooks;
    TempDir dir;
    int fd = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    int call = 0;
    safewrite::WriteHook = [&](int f, const void* p, size_t n) -> long {
        switch (call++ % 3) {
        case 0: errno = EINTR; return -1;            // interrupted before any byte
        case 1: return ::write(f, p, std::min<size_t>(n, 7)); // a short write
        default: return ::write(f, p, n);
        }
    };
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += std::to_string(i) + ",";
    EXPECT_TRUE(WriteAll(fd, bytes.data(), 20));
    EXPECT_TRUE(WriteAll(fd, bytes.data() + 20, bytes.size() - 20));
    ::close(fd);
    EXPECT_EQ(readFile(dir / "out"), bytes);
    EXPECT_GE(call, 4);
}

TEST(WriteAll, AWriteThatTakesNothingIsAFullDiskNotALoop)
{
    Hooks hooks;
    int calls = 0;
    safewrite::WriteHook = [&](int, const void*, size_t) -> long {
        ++calls;
        return 0;
    };
    errno = 0;
    EXPECT_FALSE(WriteAll(1, "x", 1));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(calls, 1);

    safewrite::WriteHook = [](int, const void*, size_t) -> long {
        errno = EIO;
        return -1;
    };
    EXPECT_FALSE(WriteAll(1, "x", 1));
    EXPECT_EQ(errno, EIO);
}

TEST(SafeFile, ReplacesTheTargetThroughARecognisableTemporaryFile)
{
    TempDir dir;
    const std::string target = (dir / "book.jad").string();
    writeFile(target, "old");
    ::chmod(target.c_str(), 0640);
    std::string temp;
    WriteFileSafely(target, [&](TSafeFile& f) {
        temp = f.TempPath();
        f.Write("new ");
        f.Write("content");
        // Until the commit, the old file is what readers see.
        EXPECT_EQ(readFile(target), "old");
        EXPECT_EQ(readFile(temp), "new content");
    });
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(modeOf(target), 0640u); // kept
    EXPECT_EQ(fs::path(temp).parent_path(), dir.path());
    EXPECT_TRUE(IsSafeWriteTemp(fs::path(temp).filename().string())) << temp;
    EXPECT_EQ(fs::path(temp).filename().string().rfind(".book.jad.volm-", 0), 0u) << temp;
    EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"book.jad"});

    EXPECT_FALSE(IsSafeWriteTemp("book.jad"));
    EXPECT_FALSE(IsSafeWriteTemp(".book.jad.volm-ab"));
    EXPECT_FALSE(IsSafeWriteTemp(".book.jad.volm-abc/de"));
    EXPECT_FALSE(IsSafeWriteTemp(".volm-abcdef"));
}

TEST(SafeFile, NewFilesFollowTheUmaskAndLinksStay)
{
    TempDir dir;
    mode_t old = ::umask(022);
    WriteFileSafely((dir / "a.txt").string(), "a");
    TSafeWriteOptions priv;
    priv.newMode = 0600;
    WriteFileSafely((dir / "b.txt").string(), "b", priv);
    ::umask(old);
    EXPECT_EQ(modeOf(dir / "a.txt"), 0644u);
    EXPECT_EQ(modeOf(dir / "b.txt"), 0600u);

    // Written through a link: the file behind it is replaced, the link stays.
    fs::create_directories(dir / "real");
    writeFile(dir / "real" / "r.ini", "old");
    fs::create_symlink("real/r.ini", dir / "link.ini");
    WriteFileSafely((dir / "link.ini").string(), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(readFile(dir / "real" / "r.ini"), "new");
    EXPECT_EQ(fileNames(dir / "real"), std::vector<std::string>{"r.ini"});
    // A link that leads nowhere yet: the file it names is created.
    fs::create_symlink("real/later.ini", dir / "dangling.ini");
    WriteFileSafely((dir / "dangling.ini").string(), "later");
    EXPECT_EQ(readFile(dir / "real" / "later.ini"), "later");
}

TEST(SafeFile, RefusedTargetsNameTheFileAndTheCause)
{
    TempDir dir;
    const std::string missing = (dir / "no" / "x.mf").string();
    EXPECT_EQ(failure([&] { WriteFileSafely(missing, "x"); }),
              "Can't create file " + missing + ": No such file or directory");
    fs::create_directories(dir / "folder");
    EXPECT_EQ(failure([&] { WriteFileSafely((dir / "folder").string(), "x"); }),
              "Can't create file " + (dir / "folder").string() + ": Is a directory");
    // A read-only file is not replaced, also for a privileged user.
    writeFile(dir / "ro.txt", "ro");
    ::chmod((dir / "ro.txt").c_str(), 0444);
    EXPECT_EQ(failure([&] { WriteFileSafely((dir / "ro.txt").string(), "x"); }),
              "Can't create file " + (dir / "ro.txt").string() + ": Permission denied");
    EXPECT_EQ(readFile(dir / "ro.txt"), "ro");
    // Devices are not files to replace.
    fs::create_symlink("/dev/null", dir / "null");
    EXPECT_NE(failure([&] { WriteFileSafely((dir / "null").string(), "x"); }).find("not a regular file"),
              std::string::npos);
    EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"folder", "null", "ro.txt"}));
}

// A failure at any step before the rename leaves the old file and no
// temporary one; the message names the file and the cause.
TEST(SafeFile, FailuresLeaveTheOldFileAndNoTemporary)
{
    Hooks hooks;
    TempDir dir;
    const std::string target = (dir / "r.ini").string();
    writeFile(target, "old");
    const std::string big(300000, 'x');

    int writes = 0;
    safewrite::WriteHook = [&](int fd, const void* p, size_t n) -> long {
        if (++writes == 3) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, p, std::min<size_t>(n, 100000));
    };
    EXPECT_EQ(failure([&] { WriteFileSafely(target, big); }),
              "Can't write file " + target + ": No space left on device");
    safewrite::WriteHook = nullptr;
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"r.ini"});

    for (const char* step : {"sync", "rename"}) {
        safewrite::FaultHook = [&](const char* s) { return std::string(s) == step ? EIO : 0; };
        EXPECT_EQ(failure([&] { WriteFileSafely(target, "new"); }),
                  "Can't write file " + target + ": Input/output error")
            << step;
        EXPECT_EQ(readFile(target), "old") << step;
        EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"r.ini"}) << step;
    }

    // A fill that fails, and a file given up before its commit.
    safewrite::FaultHook = nullptr;
    EXPECT_THROW(WriteFileSafely(target, [](TSafeFile& f) {
                     f.Write("partial");
                     throw Error("the writer failed");
                 }),
                 Error);
    {
        TSafeFile abandoned(target);
        abandoned.Write("never committed");
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"r.ini"});
}

TEST(SafeFile, TheFolderIsFlushedAfterTheRename)
{
    Hooks hooks;
    TempDir dir;
    const std::string target = (dir / "book.jar").string();
    std::vector<std::string> steps;
    safewrite::FaultHook = [&](const char* s) {
        steps.push_back(s);
        return std::string(s) == "folder" ? EIO : 0;
    };
    // The content is in place; the failure to make the name last is told.
    std::string msg = failure([&] { WriteFileSafely(target, "jar"); });
    EXPECT_EQ(readFile(target), "jar");
    EXPECT_NE(msg.find("File " + target + " was written, but its folder " + dir.path().string() + "/"),
              std::string::npos)
        << msg;
    EXPECT_EQ(steps, (std::vector<std::string>{"sync", "rename", "folder"}));

    // Work files skip both flushes.
    steps.clear();
    TSafeWriteOptions work;
    work.durable = false;
    WriteFileSafely(target, "work", work);
    EXPECT_EQ(steps, std::vector<std::string>{"rename"});
    EXPECT_EQ(readFile(target), "work");
}

TEST(SafeFile, ByNameForWritersThatOpenTheFileThemselves)
{
    TempDir dir;
    const std::string target = (dir / "p.volm").string();
    TSafeFile f(target);
    f.Close();
    EXPECT_EQ(f.Fd(), -1);
    writeFile(f.TempPath(), "written by name");
    f.Commit();
    EXPECT_EQ(readFile(target), "written by name");
    EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"p.volm"});
}

TEST(ReadWholeFile, ReadsUpToItsLimitAndNamesTheFile)
{
    TempDir dir;
    std::string bytes(100000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    writeFile(dir / "f.bin", bytes);
    const std::string path = (dir / "f.bin").string();
    EXPECT_EQ(ReadWholeFile(path, bytes.size()), bytes);
    EXPECT_EQ(failure([&] { ReadWholeFile(path, bytes.size() - 1); }),
              "Can't read file " + path + ": it is larger than the limit of 99999 bytes");
    const std::string missing = (dir / "missing.txt").string();
    EXPECT_EQ(failure([&] { ReadWholeFile(missing, 10); }),
              "Can't read file " + missing + ": No such file or directory");
    EXPECT_EQ(failure([&] { ReadWholeFile(dir.path().string(), 10); }),
              "Can't read file " + dir.path().string() + ": Is a directory");
    // Files that tell no size are held to the limit as they are read.
    EXPECT_NE(failure([&] { ReadWholeFile("/proc/self/maps", 10); }).find("larger than the limit of 10 bytes"),
              std::string::npos);
    try {
        ReadWholeFile(missing, 10);
    } catch (const EFileError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_EQ(e.path(), missing);
    }
}

// Only regular files are read: what is not one is refused at once, naming
// the file and what it is (a FIFO without a writer must not block), and the
// size limit is named in the message.
TEST(ReadWholeFile, RefusesWhatIsNoRegularFileAndNamesTheLimit)
{
    TempDir dir;
    const std::string fifo = (dir / "pipe.txt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(failure([&] { ReadWholeFile(fifo, 10); }),
              "Can't read file " + fifo + ": it is a FIFO (named pipe), not a regular file");
    EXPECT_EQ(failure([&] { ReadWholeFile("/dev/null", 10); }),
              "Can't read file /dev/null: it is a device, not a regular file");

    const std::string sock = (dir / "sock.txt").string();
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(failure([&] { ReadWholeFile(sock, 10); }),
              "Can't read file " + sock + ": it is a socket, not a regular file");
    ::close(s);

    // A text over the limit: refused before anything is read (a sparse file).
    const std::string big = (dir / "big.txt").string();
    writeFile(big, "");
    fs::resize_file(big, (64u << 20) + 1);
    EXPECT_EQ(failure([&] { ReadWholeFile(big, 64u << 20); }),
              "Can't read file " + big + ": it is larger than the limit of 64 MB (67108864 bytes)");
    fs::resize_file(big, 64u << 20);
    EXPECT_EQ(ReadWholeFile(big, 64u << 20).size(), size_t(64) << 20);
}

// Stale temporary files of one target are its own only: other targets'
// temporaries, names of another form and what is no regular file stay.
TEST(SafeFile, StaleTemporariesOfOneTargetAreRemoved)
{
    TempDir dir;
    fs::create_directory(dir / "real");
    const std::string target = (dir / "real" / "p.volm").string();
    writeFile(target, "project");
    fs::create_symlink(dir / "real" / "p.volm", dir / "link.volm");
    for (const char* name : {".p.volm.volm-abc123", ".p.volm.volm-ZZ9zz9", ".p.volm.volm-abc12", ".q.volm.volm-abc123",
                             "p.volm.volm-abc123", ".p.volm.volm-abc123x"})
        writeFile(dir / "real" / name, "stale");
    fs::create_directory(dir / "real" / ".p.volm.volm-dir000");
    {
        TSafeFile live(target); // a temporary of its own form, removed as well
        EXPECT_EQ(RemoveStaleTemps((dir / "link.volm").string()), 3u);
    }
    EXPECT_EQ(fileNames(dir / "real"),
              (std::vector<std::string>{".p.volm.volm-abc12", ".p.volm.volm-abc123x", ".p.volm.volm-dir000",
                                        ".q.volm.volm-abc123", "p.volm", "p.volm.volm-abc123"}));
    EXPECT_EQ(readFile(target), "project");
    EXPECT_EQ(RemoveStaleTemps((dir / "missing" / "p.volm").string()), 0u);
}
