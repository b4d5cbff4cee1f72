// The user's own files of a book folder: packed a bounded window at a time
// and kept out of memory until the jar is written, the same jar whatever the
// number of threads, and one that no volume can carry named.

#include "book/Pipeline.h"
#include "common/Errors.h"

#include "Jartest.h"
#include "Testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

TBuildRequest Request(const TempDir& dir, unsigned threads)
{
    TBuildRequest r;
    r.projectPath = (dir / "Tales.volm").string();
    r.vendor = "ACME";
    r.url.assign(1, 'X');
    r.threads = threads;
    r.clock = [] { return static_cast<time_t>(1000000000); };
    return r;
}

// Bytes that deflate can't shrink, so that each file packs to its own size.
std::string Noise(size_t n, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i + 8 <= n; i += 8) {
        const uint64_t v = rng();
        std::memcpy(s.data() + i, &v, 8);
    }
    return s;
}

} // namespace

TEST(Userfiles, LargeFilesArePackedWithinABoundedMemoryAndTheJarIsTheSameOnAnyThreads)
{
    constexpr size_t kFiles = 6, kSize = 24u << 20;
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book / "sub");
    for (size_t i = 0; i < kFiles; ++i)
        writeFile(book / (i % 2 ? "sub" : ".") / ("f" + std::to_string(i) + ".bin"), Noise(kSize, i));
    writeFile(book / "notes.txt", std::string(100000, 'a'));

    // The build in a child of its own, whose peak memory is its own.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 0;
        try {
            TTopicList topics{{"One", "1"}};
            GenerateBook(Request(dir, 2), topics, {});
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const uint64_t peak = static_cast<uint64_t>(usage.ru_maxrss) * 1024;
    // One file in, its packed form out, and a fixed amount: far below the
    // 144 MB of the files (twice that when they were all held).
    if (!kSanitized) {
        EXPECT_LT(peak, 2 * kSize + (48u << 20)) << peak;
    }

    const fs::path jar = book / "Tales.jar";
    const std::string first = readFile(jar);
    EXPECT_EQ(JarMember(jar, "sub/f3.bin"), Noise(kSize, 3));
    EXPECT_EQ(JarMember(jar, "notes.txt"), std::string(100000, 'a'));
    // The scratch file leaves nothing in the folder.
    for (const auto& e : fs::directory_iterator(book))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

    TTopicList topics{{"One", "1"}};
    GenerateBook(Request(dir, 1), topics, {});
    EXPECT_TRUE(readFile(jar) == first);
}

TEST(Userfiles, AFileNoVolumeCanCarryIsNamed)
{
    TempDir dir;
    const fs::path book = dir / "Tales";
    fs::create_directories(book);
    writeFile(book / "photo.bin", Noise(200000, 7));
    TTopicList topics{{"One", std::string(5000, 'x')}};
    TBuildRequest r = Request(dir, 2);
    r.maxJar = 64 * 1024;
    try {
        GenerateBook(r, topics, {});
        FAIL() << "built";
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("too small"), std::string::npos) << what;
        EXPECT_NE(what.find((book / "photo.bin").string()), std::string::npos) << what;
    }
    EXPECT_FALSE(fs::exists(book / "Tales.jar"));
}
