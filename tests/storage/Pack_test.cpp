#include "storage/Pack.h"

#include "Testutil.h"
#include "storage/Projecttest.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "storage/Project.h"

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

struct Snapshot {
    std::vector<std::string> keys, names, texts;
    TFontSettings font;
    std::optional<TReaderLayout> layout;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const std::string& path)
{
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    Snapshot s;
    for (size_t i = 0; i < p.TopicCount(); ++i) {
        s.keys.push_back(p.Item(i).Key);
        s.names.push_back(p.Item(i).GetName());
        s.texts.push_back(p.GetText(i));
    }
    s.font = p.FontSettings();
    s.layout = p.Layout();
    return s;
}

// A project of 60 topics with texts, 45 of them deleted again, made as
// `name` in `dir`; gives its path.
std::string makeProject(const TempDir& dir, const std::string& name = "book.volm")
{
    const std::string path = (dir / name).string();
    TProject p;
    p.Open(path);
    for (int i = 0; i < 60; ++i) {
        p.AddTopic("Topic " + std::to_string(i));
        p.CommitText(i, std::string(500 + 97 * i, static_cast<char>('a' + i % 26)));
    }
    for (int i = 59; i >= 0; --i)
        if (i % 4 != 0)
            p.DeleteTopic(i);
    TFontSettings fs;
    fs.font.name = "Verdana";
    fs.font.style = fsBold;
    fs.useCustomFont = true;
    p.SaveFontSettings(fs);
    p.CloseProject();
    return path;
}

bool tempFilesIn(const fs::path& dir)
{
    for (const auto& e : fs::directory_iterator(dir))
        if (IsSafeWriteTemp(e.path().filename().string()))
            return true;
    return false;
}

} // namespace

TEST(Pack, ManyDeletesPackSmallerAndKeepEverything)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    Snapshot before = snapshot(path);
    ASSERT_EQ(before.keys.size(), 15u);
    auto sizeBefore = fs::file_size(path);

    PackProject(path);
    EXPECT_LT(fs::file_size(path), sizeBefore);
    EXPECT_FALSE(tempFilesIn(dir.path()));
    EXPECT_EQ(snapshot(path), before);

    TProject p;
    p.Open(path);
    EXPECT_EQ(p.Topic(p.AddTopic("next")).Number, 158); // after the highest present (157)
}

TEST(Pack, EmptyProjectPacksToAValidFileWithItsLayout)
{
    TempDir dir;
    std::string path = (dir / "empty.volm").string();
    {
        TProject p;
        p.Open(path, TProject::omCreateNew);
    }
    PackProject(path);
    Snapshot expected;
    expected.layout = TReaderLayout::Words; // a new project's only stream
    EXPECT_EQ(snapshot(path), expected);
    std::string py = pythonWith({"olefile"});
    if (!py.empty()) {
        RunResult r = run({py, "-c", "import olefile,sys; print(olefile.OleFileIO(sys.argv[1]).listdir())", path});
        EXPECT_EQ(r.out, "[['Layout']]\n") << r.err;
    }
}

TEST(Pack, SubStoragesAreNotCarried)
{
    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    TempDir dir;
    fs::create_directories(dir / "in" / "sub");
    writeFile(dir / "in" / "sub" / "inner", "inside");
    writeFile(dir / "in" / "notes", "kept");
    std::string path = (dir / "book.volm").string();
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult r = run({"gsf", "createole", path, "sub", "notes"});
    fs::current_path(cwd);
    ASSERT_EQ(r.status, 0) << r.err;
    PackProject(path);
    r = run({"gsf", "list", path});
    EXPECT_EQ(r.out.find("sub"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("notes"), std::string::npos) << r.out;
}

// A failure at any stage before the rename: the project stays byte for byte,
// no temporary file stays behind, and the caller hears about it.
TEST(Pack, FailureAtAnyStageLeavesTheProjectAsItWas)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    const std::string bytes = readFile(path);
    for (const char* at : {"temp", "copied", "flushed", "rename"}) {
        PackFaultHook = [&](const char* stage) {
            if (std::string(stage) == at)
                throw Error("simulated failure");
        };
        try {
            PackProject(path);
            ADD_FAILURE() << "no error at " << at;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("simulated failure"), std::string::npos) << e.what();
        }
        PackFaultHook = nullptr;
        EXPECT_EQ(readFile(path), bytes) << at;
        EXPECT_FALSE(tempFilesIn(dir.path())) << at;
    }
}

// The disk refuses the packed copy (a file-size limit stands in for a full
// disk; tests may run as root, for whom permission bits don't count).
TEST(Pack, RefusedWriteLeavesTheProjectIntact)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    const std::string bytes = readFile(path);
    int status = runInChild(
        [&] {
            try {
                PackProject(path);
                return 1; // should not have succeeded
            } catch (const Error&) {
                return 0;
            }
        },
        4096);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_FALSE(tempFilesIn(dir.path()));
    PackProject(path); // and without the limit it packs
    EXPECT_LT(fs::file_size(path), bytes.size());
}

// A pack killed before it renamed its copy leaves that copy behind under its
// temporary name; the next pack of the same project removes it, and removes
// no temporary file of another file, nor anything of another name.
TEST(Pack, NextPackRemovesWhatAKilledPackLeft)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    const std::string bytes = readFile(path);
    for (const char* at : {"temp", "copied", "flushed"}) {
        int status = runInChild([&] {
            PackFaultHook = [&](const char* stage) {
                if (std::string(stage) == at)
                    ::kill(::getpid(), SIGKILL);
            };
            PackProject(path);
            return 0;
        });
        ASSERT_EQ(status, -1) << at; // killed
        EXPECT_TRUE(readFile(path) == bytes) << at;
        // Each pack removed what the one before it left: one left-over.
        ASSERT_EQ(fileNames(dir.path()).size(), 2u) << at;
        EXPECT_TRUE(tempFilesIn(dir.path())) << at;
    }
    writeFile(dir / ".other.volm.volm-abc123", "another file's");
    writeFile(dir / ".book.volm.volm-notes", "not a temporary name");
    PackProject(path);
    EXPECT_EQ(fileNames(dir.path()),
              (std::vector<std::string>{".book.volm.volm-notes", ".other.volm.volm-abc123", "book.volm"}));
    EXPECT_LT(fs::file_size(path), bytes.size());
}

TEST(Pack, RefusesWhatItCannotPack)
{
    TempDir dir;
    EXPECT_THROW(PackProject((dir / "missing.volm").string()), Error);
    EXPECT_FALSE(fs::exists(dir / "missing.volm"));

    std::string plain = (dir / "plain.volm").string();
    writeFile(plain, "not a project");
    EXPECT_THROW(PackProject(plain), Error);
    EXPECT_EQ(readFile(plain), "not a project");

    // A project open elsewhere (exclusive sharing) is not packed under it.
    std::string path = (dir / "book.volm").string();
    TProject p;
    p.Open(path);
    p.AddTopic("open");
    EXPECT_THROW(PackProject(path), Error);
    EXPECT_FALSE(tempFilesIn(dir.path()));
}

// The packed file takes the project's place as the same kind of file: its
// permissions stay, and a project reached through a link keeps its link.
TEST(Pack, KeepsPermissionsAndLinks)
{
    TempDir dir;
    const std::string real = makeProject(dir, "real.volm");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::string link = (dir / "link.volm").string();
    fs::create_symlink(real, link);
    Snapshot before = snapshot(real);
    PackProject(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(snapshot(link), before);
    EXPECT_FALSE(tempFilesIn(dir.path()));
}

// The project window's Pack: close, pack, reopen; a failed pack still
// reopens the (unchanged) project and reports the failure.
TEST(Pack, ProjectPackReopens)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    Snapshot before = snapshot(path);
    TProject p;
    p.Open(path);
    p.Pack();
    EXPECT_TRUE(p.HoldsProject(path));
    EXPECT_EQ(p.TopicCount(), before.keys.size());
    EXPECT_EQ(p.TopicCounter(), 157);

    PackFaultHook = [](const char*) { throw Error("simulated failure"); };
    EXPECT_THROW(p.Pack(), Error);
    PackFaultHook = nullptr;
    EXPECT_TRUE(p.HoldsProject(path));
    EXPECT_EQ(p.TopicCount(), before.keys.size());
    p.CloseProject();
    EXPECT_EQ(snapshot(path), before);
}

// Compound files written by other programs, sound and damaged: packing either
// carries every root stream over unchanged or fails and leaves the file as it
// was; it never half-succeeds.
TEST(Pack, FilesOfOtherProgramsPackWholeOrNotAtAll)
{
    fs::path corpus = corpusDir() / "cfb";
    if (!fs::exists(corpus))
        GTEST_SKIP() << "the compound-file corpus (../shared/corpus/cfb) is absent";
    std::string py = pythonWith({"olefile"});
    const std::string dump = "import olefile,sys\n"
                             "o=olefile.OleFileIO(sys.argv[1])\n"
                             "for e in sorted(o.listdir(streams=True,storages=False)):\n"
                             "  if len(e)==1: print(e[0], o.openstream(e).read().hex())\n";
    TempDir dir;
    int packed = 0, refused = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        std::string name = entry.path().filename().string();
        if (name.find("__") == std::string::npos)
            continue;
        std::string path = (dir / "p.volm").string();
        fs::copy_file(entry.path(), path, fs::copy_options::overwrite_existing);
        const std::string before = readFile(path);
        try {
            PackProject(path);
            ++packed;
        } catch (const Error& e) {
            ++refused;
            EXPECT_EQ(readFile(path), before) << name << ": " << e.what();
            EXPECT_FALSE(tempFilesIn(dir.path())) << name;
            continue;
        }
        EXPECT_FALSE(tempFilesIn(dir.path())) << name;
        if (py.empty())
            continue;
        writeFile(dir / "orig", before);
        RunResult a = run({py, "-c", dump, (dir / "orig").string()});
        RunResult b = run({py, "-c", dump, path});
        EXPECT_EQ(b.status, 0) << name << ": " << b.err;
        if (a.status == 0) {
            EXPECT_EQ(a.out, b.out) << name;
        }
    }
    EXPECT_GT(packed, 0);
    RecordProperty("packed", packed);
    RecordProperty("refused", refused);
}


// The copy of a damaged project opened read only is a sound project with all
// that could be read: it opens for writing, takes changes, and other
// programs read it.
TEST(Pack, CopyOfADamagedProjectIsASoundProject)
{
    TempDir dir;
    const std::string path = damagedProject(dir);
    const std::string bytes = readFile(path);
    const std::string copy = (dir / "copy.volm").string();
    TProjectCopy done;
    {
        TProject p;
        ASSERT_NE(p.OpenWritableOrReadOnly(path), "");
        done = CopyProject(p, copy, false);
    }
    EXPECT_TRUE(readFile(path) == bytes);
    EXPECT_EQ(done.topics, 2u);
    EXPECT_EQ(done.skipped, std::vector<std::string>{"104"});
    EXPECT_EQ(done.streams,
              (std::vector<std::string>{"0", "Layout", "Paragraphs", "Sizes", "Hyphens", "Title", "Builds"}));
    EXPECT_FALSE(tempFilesIn(dir.path()));

    TProject c;
    c.Open(copy, TProject::omOpenExisting);
    ASSERT_EQ(c.TopicCount(), 2u);
    EXPECT_EQ(c.Topic(0).Item->Key, "101");
    EXPECT_EQ(c.Topic(0).Name, "One");
    EXPECT_EQ(c.GetText(0), "first text");
    EXPECT_EQ(c.Topic(1).Name, "Two");
    EXPECT_EQ(c.GetText(1), std::string(5000, 't'));
    EXPECT_TRUE(c.SkippedElements().empty());
    EXPECT_EQ(c.Title(), "Book");
    EXPECT_EQ(c.FontSettings().font.name, "Verdana");
    EXPECT_TRUE(c.FontSettings().useCustomFont);
    EXPECT_EQ(c.Layout(), TReaderLayout::Grid);
    EXPECT_EQ(c.Paragraphs(), TParagraphStyle::Gap);
    EXPECT_EQ(c.SheetSizes(), "11,14");
    EXPECT_EQ(c.Hyphens(), false);
    EXPECT_EQ(c.BuildCount(), 7u);
    EXPECT_EQ(c.TopicCounter(), 102);
    c.AppendTopics({{"Three again", "3"}});
    c.CloseProject();

    if (std::string py = pythonWith({"olefile"}); !py.empty()) {
        RunResult r = run({py, "-c",
                           "import olefile,sys\n"
                           "o=olefile.OleFileIO(sys.argv[1])\n"
                           "print(' '.join(sorted('/'.join(e) for e in o.listdir())))\n"
                           "print(o.openstream('102').read()[68:5068] == b't'*5000)\n",
                           copy});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "0 101 102 103 Builds Hyphens Layout Paragraphs Sizes Title\nTrue\n");
    }
    if (haveProgram("gsf")) {
        RunResult r = run({"gsf", "cat", copy, "Title"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "Book");
    }
}

// A copy goes only where it is asked to: never over an existing file unless
// told, never over the project's own file or one that another program holds;
// a failure at any point leaves nothing of it.
TEST(Pack, CopyRefusesWhatItMustNotReplaceAndFailsWithoutATrace)
{
    TempDir dir;
    const std::string path = makeProject(dir);
    const std::string copy = (dir / "copy.volm").string();
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    auto failure = [&](const std::string& target, bool replace) {
        try {
            CopyProject(p, target, replace);
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
            return std::string(e.what());
        }
        return std::string("no error");
    };
    writeFile(copy, "someone's file");
    EXPECT_NE(failure(copy, false).find("the file already exists"), std::string::npos);
    EXPECT_EQ(readFile(copy), "someone's file");
    EXPECT_NE(failure(path, true).find("the project's own file"), std::string::npos);
    EXPECT_NE(failure(dir.path().string(), true).find("is a folder"), std::string::npos);
    EXPECT_NE(failure((dir / "no" / "copy.volm").string(), false), "no error");
    {
        TProject other;
        other.Open((dir / "other.volm").string());
        EXPECT_NE(failure((dir / "other.volm").string(), true).find("open in another window or program"),
                  std::string::npos);
    }
    for (const char* at : {"copied", "rename"}) {
        PackFaultHook = [&](const char* stage) {
            if (std::string(stage) == at)
                throw Error("simulated failure");
        };
        EXPECT_NE(failure(copy, true).find("simulated failure"), std::string::npos) << at;
        EXPECT_EQ(readFile(copy), "someone's file") << at;
        fs::remove(copy);
        EXPECT_NE(failure(copy, false).find("simulated failure"), std::string::npos) << at;
        PackFaultHook = nullptr;
        EXPECT_FALSE(fs::exists(copy)) << at;
        EXPECT_FALSE(tempFilesIn(dir.path())) << at;
        writeFile(copy, "someone's file");
    }
    // Asked to, it replaces the file; the copy holds the project's topics.
    const TProjectCopy done = CopyProject(p, copy, true);
    EXPECT_EQ(done.topics, 15u);
    EXPECT_TRUE(done.skipped.empty());
    p.CloseProject();
    EXPECT_TRUE(snapshot(copy) == snapshot(path));
}
