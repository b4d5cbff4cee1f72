// volm-cli under faults the declarative cases cannot make: a file-size limit
// (ulimit -f) in the child, a FIFO, a project the user may only read, a
// project another process holds, and damaged compound files that reading
// must leave exactly as they are.
#include "Testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <random>
#include <sstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace volm::test;

namespace {

std::string Cli() { return VOLM_CLI; }

// The child's file-size limit; SIGXFSZ as a fresh process has it, so that
// only the program itself can keep the signal from ending it.
std::function<void()> fileSizeLimit(rlim_t bytes)
{
    return [bytes] {
        rlimit lim{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        std::signal(SIGXFSZ, SIG_DFL);
        ::alarm(60);
    };
}

// A program that waits for ever is ended by the alarm (a failure, not a hang).
void noHang() { ::alarm(20); }

RunResult cli(const std::vector<std::string>& args, const std::function<void()>& inChild = {})
{
    std::vector<std::string> argv{Cli()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, {}, inChild ? inChild : noHang);
}

// The one-line failure every failing run prints.
void expectOneLineFailure(const RunResult& r, const std::string& what)
{
    EXPECT_EQ(r.signal, 0) << what;
    EXPECT_EQ(r.status, 1) << what << ": " << r.err;
    EXPECT_EQ(r.err.rfind("volm-cli: ", 0), 0u) << what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
}

size_t staleTemps(const fs::path& dir)
{
    size_t n = 0;
    for (const std::string& name : fileNames(dir))
        n += name.find(".volm-") != std::string::npos;
    return n;
}

} // namespace

// Under ulimit -f a write fails with EFBIG: the command says so in one line
// and exits 1 instead of dying of SIGXFSZ; the project keeps every topic and
// text, add-list says exactly how many topics it added, and a failed pack
// leaves no temporary file.
TEST(Faults, FileSizeLimitIsReportedAndLosesNothing)
{
    TempDir dir;
    const std::string p = (dir / "p.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "kept"}).status, 0);
    writeFile(dir / "small.txt", std::string(3000, 'k'));
    ASSERT_EQ(cli({"import", p, "1", (dir / "small.txt").string()}).status, 0);
    const std::string keptText = cli({"text", p, "1"}).out;
    writeFile(dir / "big.txt", std::string(300000, 'b'));
    std::string list;
    for (int i = 0; i < 3000; ++i)
        list += "topic " + std::to_string(i) + "\r\n";
    writeFile(dir / "list.txt", list);

    int addListFailures = 0;
    for (rlim_t extra : {0, 700, 5000, 40000}) {
        const rlim_t limit = fs::file_size(p) + extra;
        RunResult r = cli({"import", p, "1", (dir / "big.txt").string()}, fileSizeLimit(limit));
        expectOneLineFailure(r, "import");
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
        EXPECT_EQ(cli({"text", p, "1"}).out, keptText);

        const std::string before = readFile(p);
        r = cli({"pack", p}, fileSizeLimit(1536));
        expectOneLineFailure(r, "pack");
        EXPECT_TRUE(readFile(p) == before);
        EXPECT_EQ(staleTemps(dir.path()), 0u);

        const size_t topicsBefore = splitLines(cli({"list", p}).out).size();
        r = cli({"add-list", p, (dir / "list.txt").string()}, fileSizeLimit(limit));
        std::vector<std::string> listed = splitLines(cli({"list", p}).out);
        size_t added = listed.size() - topicsBefore;
        if (r.status == 0) {
            EXPECT_EQ(r.out, "3000 topics added\n");
            EXPECT_EQ(added, 3000u);
        } else {
            ++addListFailures;
            expectOneLineFailure(r, "add-list");
            EXPECT_NE(r.err.find("; " + std::to_string(added) + " topics were added"), std::string::npos)
                << r.err << " (the file holds " << added << ")";
        }
        // Every topic whole and named: "position, number, name, length".
        for (size_t i = topicsBefore; i < listed.size(); ++i)
            EXPECT_NE(listed[i].find("\ttopic " + std::to_string(i - topicsBefore) + "\t0"), std::string::npos)
                << listed[i];
        EXPECT_EQ(cli({"text", p, "1"}).out, keptText);
    }
    EXPECT_GE(addListFailures, 3);
}

// A FIFO is refused at once (there is no writer to wait for), and so is a
// socket-like or device path; the project is not touched.
TEST(Faults, FifoIsRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string p = (dir / "p.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "t"}).status, 0);
    const std::string fifo = (dir / "fifo.txt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string before = readFile(p);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", p, "1", fifo}, std::vector<std::string>{"add-list", p, fifo},
          std::vector<std::string>{"import-book", p, fifo}}) {
        // A child that waits for a writer is ended by the alarm (and fails here).
        RunResult r = cli(args, [] { ::alarm(10); });
        expectOneLineFailure(r, args[0]);
        EXPECT_EQ(r.err, "volm-cli: Can't read file " + fifo + ": it is a FIFO (named pipe), not a regular file\n");
    }
    EXPECT_TRUE(readFile(p) == before);
}

// list, text and build only read: a project the user may not write is
// listed, read and built, and not a byte of it changes; add is refused.
// As root, the commands run as "nobody" (a root process may write any file),
// from a copy of volm-cli in the scratch folder: the build's own may lie in a
// home nobody may enter.
TEST(Faults, ReadOnlyProjectIsListedReadAndBuilt)
{
    TempDir dir;
    const fs::perms reachable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir.path(), reachable);
    fs::create_directory(dir / "bin");
    const fs::path cliCopy = dir / "bin" / "volm-cli";
    fs::copy_file(Cli(), cliCopy);
    fs::permissions(cliCopy, reachable);
    fs::create_directory(dir / "books");
    fs::permissions(dir / "books", fs::perms::all); // the book folder is made there
    const std::string p = (dir / "books" / "ro.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "One", "Two"}).status, 0);
    writeFile(dir / "t.txt", "text of two\n");
    ASSERT_EQ(cli({"import", p, "2", (dir / "t.txt").string()}).status, 0);
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = readFile(p);

    auto asReader = [] {
        ::alarm(60);
        if (::geteuid() == 0) {
            ::setgroups(0, nullptr);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(126);
        }
    };
    auto asUser = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{"/usr/bin/env", "XDG_CONFIG_HOME=" + (dir / "books" / "config").string(),
                                      "TMPDIR=" + (dir / "books").string(), cliCopy.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv, {}, asReader);
    };
    RunResult r = asUser({"list", p});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\t101\tOne\t0\n2\t102\tTwo\t13\n");
    r = asUser({"text", p, "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "text of two\r\n");
    // Its build counter can't be raised: the build says so, and the next one
    // gets the same version.
    for (int i = 0; i < 2; ++i) {
        r = asUser({"build", p});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("\nMIDlet-Version: 1.0.1 (each build raises it, so that phones install the book over an "
                             "earlier one); the project is read only, so its build counter was not raised"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_TRUE(fs::exists(dir / "books" / "ro" / "ro.jar"));
    // Its copy is a project of the user's own.
    const std::string copy = (dir / "books" / "copy.volm").string();
    r = asUser({"copy", p, copy});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, copy + ": 2 topics copied, and Layout\n");
    EXPECT_EQ(asUser({"add", copy, "Three"}).status, 0);
    EXPECT_EQ(asUser({"list", copy}).out, "1\t101\tOne\t0\n2\t102\tTwo\t13\n3\t103\tThree\t0\n");
    r = asUser({"add", p, "Three"});
    expectOneLineFailure(r, "add");
    EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
    // Storing an option needs the project for writing.
    r = asUser({"build", p, "--layout", "grid"});
    expectOneLineFailure(r, "build --layout");
    EXPECT_TRUE(readFile(p) == before);
}

// Readers share the project; a writer holds it alone.
TEST(Faults, ReadersShareTheProjectAWriterHoldsIt)
{
    TempDir dir;
    const std::string p = (dir / "p.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "One"}).status, 0);
    // The test takes the lock another process would hold.
    int fd = ::open(p.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0); // another reader
    EXPECT_EQ(cli({"list", p}).status, 0);
    RunResult r = cli({"add", p, "Two"});
    expectOneLineFailure(r, "add while read");
    EXPECT_NE(r.err.find("already open"), std::string::npos) << r.err;
    ASSERT_EQ(::flock(fd, LOCK_EX), 0); // a writer
    r = cli({"list", p});
    expectOneLineFailure(r, "list while written");
    ::close(fd);
    EXPECT_EQ(cli({"add", p, "Two"}).status, 0);
}

namespace {

// A project with holes (deleted topics, replaced texts), font settings and
// texts on both sides of the mini-stream cutoff.
std::string sampleProject(const TempDir& dir)
{
    const std::string p = (dir / "sample.volm").string();
    EXPECT_EQ(cli({"new", p}).status, 0);
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i)
        names.push_back("Topic " + std::to_string(i));
    std::vector<std::string> args{"add", p};
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_EQ(cli(args).status, 0);
    for (int i = 1; i <= 12; ++i) {
        writeFile(dir / "t.txt", std::string(i % 3 ? 300 * i : 6000 + 100 * i, static_cast<char>('a' + i)));
        EXPECT_EQ(cli({"import", p, std::to_string(i), (dir / "t.txt").string()}).status, 0);
    }
    EXPECT_EQ(cli({"delete", p, "3"}).status, 0);
    EXPECT_EQ(cli({"delete", p, "7"}).status, 0);
    EXPECT_EQ(cli({"font", p, "--name", "Arial", "--custom", "on"}).status, 0);
    return readFile(p);
}

} // namespace

// Reading never writes: list and text of damaged compound files (mutated
// projects, and the files of other programs in the shared corpus) leave every
// byte as it was, whatever they report.
TEST(Faults, ReadingDamagedFilesChangesNoByte)
{
    TempDir dir;
    const std::string sample = sampleProject(dir);
    const std::string path = (dir / "m.volm").string();
    std::mt19937 rng(12);
    int opened = 0;
    for (int i = 0; i < 24; ++i) {
        std::string bytes = sample;
        // Most faults in the header, the tables and the directory.
        const size_t span = i % 2 ? bytes.size() : std::min<size_t>(bytes.size(), 4096);
        for (int k = 1 + i % 6; k > 0; --k)
            bytes[rng() % span] ^= static_cast<char>(1 + rng() % 255);
        writeFile(path, bytes);
        RunResult r = cli({"list", path});
        opened += r.status == 0;
        cli({"text", path, "1"});
        cli({"text", path, "5"});
        ASSERT_TRUE(readFile(path) == bytes) << "mutant " << i << ": " << r.err;
    }
    EXPECT_GT(opened, 5);
}

// A damaged project that can only be read is copied with what can be read:
// the copy says what it left out, and is a sound project; a copy that can't
// be made fails in one line and leaves nothing.
TEST(Faults, DamagedProjectIsCopiedWithWhatCanBeRead)
{
    TempDir dir;
    const std::string p = (dir / "d.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "One", "Two", "Three", "Four"}).status, 0);
    writeFile(dir / "t.txt", "text of two\n");
    ASSERT_EQ(cli({"import", p, "2", (dir / "t.txt").string()}).status, 0);
    damageCompoundFile(p, "103", "104");
    const std::string bytes = readFile(p);
    RunResult r = cli({"add", p, "Five"});
    expectOneLineFailure(r, "add to a damaged project");
    EXPECT_NE(r.err.find("(it can only be read)"), std::string::npos) << r.err;

    const std::string copy = (dir / "copy.volm").string();
    r = cli({"copy", p, copy});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, copy + ": 2 topics copied, and Layout\nnot copied (could not be read): 104\n");
    EXPECT_TRUE(readFile(p) == bytes);
    EXPECT_EQ(cli({"add", copy, "Five"}).status, 0);
    EXPECT_EQ(cli({"list", copy}).out, "1\t101\tOne\t0\n2\t102\tTwo\t13\n3\t103\tFive\t0\n");

    const std::string before = readFile(copy);
    r = cli({"copy", p, copy});
    expectOneLineFailure(r, "copy over a file");
    EXPECT_NE(r.err.find(copy + ": can't copy the project: the file already exists"), std::string::npos) << r.err;
    EXPECT_TRUE(readFile(copy) == before);
    EXPECT_EQ(cli({"copy", p, copy, "--replace"}).status, 0);
    EXPECT_EQ(cli({"list", copy}).out, "1\t101\tOne\t0\n2\t102\tTwo\t13\n");
    // Under a file-size limit the copy can't be written: nothing of it stays.
    const std::string big = (dir / "big.volm").string();
    writeFile(dir / "t.txt", std::string(300000, 'x'));
    ASSERT_EQ(cli({"import", copy, "1", (dir / "t.txt").string()}).status, 0);
    r = cli({"copy", copy, big}, fileSizeLimit(100000));
    expectOneLineFailure(r, "copy under a file-size limit");
    EXPECT_FALSE(fs::exists(big));
    EXPECT_EQ(staleTemps(dir.path()), 0u);
    EXPECT_EQ(cli({"copy", p, (dir / "no" / "such.volm").string()}).status, 1);
}

TEST(Faults, CorpusFilesAreNeverWrittenByCommandsThatRead)
{
    TempDir dir;
    const std::string path = (dir / "c.volm").string();
    expectCorpusFilesUnchanged(path, [&] {
        cli({"list", path});
        cli({"text", path, "1"});
    });
}

// A disk that fills while a book goes in (the file-size limit of the child,
// at several points of the import): the command fails in one line and the
// project lists exactly the topics it had, or, with room enough, the whole
// book is in.
TEST(Faults, AFullDiskLeavesABookAllOrNone)
{
    TempDir dir;
    const std::string p = (dir / "p.volm").string();
    ASSERT_EQ(cli({"new", p}).status, 0);
    ASSERT_EQ(cli({"add", p, "one", "two", "three"}).status, 0);
    std::string body;
    for (int k = 1; k <= 40; ++k) {
        body += "<section><title><p>Chapter " + std::to_string(k) + "</p></title>";
        for (int i = 0; i < 40; ++i)
            body += "<p>" + std::string(400, static_cast<char>('a' + k % 26)) + "</p>";
        body += "</section>";
    }
    writeFile(dir / "big.fb2", "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook "
                               "xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\"><body>" + body +
                                   "</body></FictionBook>");
    const std::string before = cli({"list", p}).out;
    ASSERT_EQ(splitLines(before).size(), 3u);
    const rlim_t start = fs::file_size(p);
    for (rlim_t extra : {rlim_t(0), rlim_t(96 << 10), rlim_t(300 << 10), rlim_t(600 << 10)}) {
        RunResult r = cli({"import-book", p, (dir / "big.fb2").string(), "--split-at", "none"},
                          fileSizeLimit(start + extra));
        expectOneLineFailure(r, "import-book");
        EXPECT_EQ(cli({"list", p}).out, before) << extra;
    }
    RunResult r = cli({"import-book", p, (dir / "big.fb2").string(), "--split-at", "none"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(splitLines(cli({"list", p}).out).size(), 43u);
}
