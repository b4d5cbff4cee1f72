#include "storage/Project.h"

#include "Testutil.h"
#include "storage/Projecttest.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "storage/Cfbfile.h"
#include "storage/Fontrecord.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <random>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

// Every root stream of a compound file as python3-olefile reads it: name -> bytes.
std::map<std::string, std::string> oleStreams(const fs::path& file)
{
    std::string py = pythonWith({"olefile"});
    if (py.empty())
        return {};
    RunResult r = run({py, "-c",
                       "import olefile,sys\n"
                       "o=olefile.OleFileIO(sys.argv[1])\n"
                       "for e in o.listdir(streams=True,storages=False):\n"
                       "  print('/'.join(e), o.openstream(e).read().hex())\n",
                       file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos < r.out.size()) {
        size_t nl = r.out.find('\n', pos);
        std::string line = r.out.substr(pos, nl - pos);
        pos = nl == std::string::npos ? r.out.size() : nl + 1;
        size_t sp = line.find(' ');
        std::string hex = line.substr(sp + 1), bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        out[line.substr(0, sp)] = bytes;
    }
    return out;
}

uint32_t u32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

std::string topicStream(uint32_t version, const std::string& name, const std::string& text)
{
    std::string h(68, '\0');
    uint32_t off = 68, len = text.size() + 1, tail = off + len;
    std::memcpy(h.data(), &version, 4);
    std::memcpy(h.data() + 4, name.data(), name.size());
    std::memcpy(h.data() + 56, &off, 4);
    std::memcpy(h.data() + 60, &len, 4);
    std::memcpy(h.data() + 64, &tail, 4);
    return h + text + std::string(1, '\0') + std::string(804, '\0');
}

std::vector<std::string> names(const TProject& p)
{
    std::vector<std::string> v;
    for (size_t i = 0; i < p.TopicCount(); ++i)
        v.push_back(p.Topic(i).Item->Key + ":" + p.Topic(i).Name);
    return v;
}



} // namespace

TEST(Project, NewProjectOneAppendWritesOneTopicStreamBesideTheLayout)
{
    TempDir dir;
    std::string path = (dir / "book.volm").string();
    {
        TProject p;
        ASSERT_NO_THROW(p.Open(path));
        EXPECT_TRUE(p.HoldsProject(path));
        EXPECT_FALSE(p.HoldsProject(path + "/"));
        EXPECT_FALSE(p.HoldsProject((dir / "./book.volm").string()));
        EXPECT_EQ(p.TopicCount(), 0u);
        EXPECT_EQ(p.AddTopic("First"), 0u);
        EXPECT_EQ(p.Topic(0).Item->Key, "101");
        EXPECT_THROW(p.Open(path), Error); // already holds one
        p.CloseProject();
        EXPECT_FALSE(p.HoldsProject(path));
    }
    auto s = oleStreams(path);
    if (s.empty())
        GTEST_SKIP() << "python3-olefile is not installed";
    // The topic, and the layout every new project gets.
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s["Layout"], "words");
    ASSERT_EQ(s["101"].size(), 872u);
    EXPECT_EQ(u32(s["101"], 0), 1u);
    EXPECT_EQ(s["101"].substr(4, 6), std::string("First\0", 6));
}

TEST(Project, WhatIsWrittenReadsBackThroughOlefile)
{
    TempDir dir;
    std::string path = (dir / "book.volm").string();
    const std::string big(9000, 'b'); // beyond the small-stream limit
    TFontSettings fs;
    fs.font.name = "Times New Roman";
    fs.font.charset = RUSSIAN_CHARSET;
    fs.useCustomFont = true;
    {
        TProject p;
        p.Open(path);
        p.AddTopic(std::string("\xCF\xE5\xF0\xE2\xE0\xFF", 6));
        p.AddTopic(std::string(60, 'L'));
        p.AddTopic("third");
        EXPECT_EQ(p.Topic(1).Name, std::string(60, 'L')); // the list shows the whole line until reopened
        p.CommitText(0, "one\r\ntwo\r\n");
        p.CommitText(1, big);
        p.CommitText(2, "x");
        p.CommitText(2, "");
        p.SaveFontSettings(fs);
        p.SaveFontSettings(fs); // rewritten in place, same bytes
        p.CloseProject();
    }
    TMemoryStream font;
    WriteFontSettings(font, fs);
    auto s = oleStreams(path);
    if (!s.empty()) {
        EXPECT_EQ(s["0"], font.Data());
        EXPECT_EQ(s["101"], topicStream(1, "\xCF\xE5\xF0\xE2\xE0\xFF", "one\r\ntwo\r\n"));
        EXPECT_EQ(s["102"], topicStream(1, std::string(50, 'L'), big));
        EXPECT_EQ(s["103"], topicStream(1, "third", ""));
    }
    if (haveProgram("gsf")) { // and through libgsf
        EXPECT_EQ(run({"gsf", "cat", path, "0"}).out, font.Data());
        EXPECT_EQ(run({"gsf", "cat", path, "102"}).out, topicStream(1, std::string(50, 'L'), big));
    }
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:\xCF\xE5\xF0\xE2\xE0\xFF", "102:" + std::string(50, 'L'),
                                                  "103:third"}));
    EXPECT_EQ(p.GetText(1), big);
    EXPECT_EQ(p.FontSettings(), fs);
    EXPECT_EQ(p.TopicCounter(), 103);
}

TEST(Project, CounterFollowsTheHighestNumberAndDeletedNumbersAreNotReusedWhileOpen)
{
    TempDir dir;
    std::string path = (dir / "book.volm").string();
    TProject p;
    p.Open(path);
    for (const char* n : {"a", "b", "c", "d", "e"})
        p.AddTopic(n);
    p.DeleteTopic(4); // 105, the highest
    EXPECT_EQ(p.Topic(p.AddTopic("f")).Number, 106);
    p.DeleteTopic(1); // 102
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:a", "103:c", "104:d", "106:f"}));
    EXPECT_THROW(p.DeleteTopic(4), Error);
    p.DeleteTopic(3); // 106
    p.CloseProject();

    p.Open(path);
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:a", "103:c", "104:d"}));
    EXPECT_EQ(p.Topic(p.AddTopic("g")).Number, 105); // handed out again after the reopen
}

TEST(Project, OpenModesAndRefusedFiles)
{
    TempDir dir;
    std::string missing = (dir / "missing.volm").string();
    TProject p;
    auto failure = [&](const std::string& path, TProject::TOpenMode mode) {
        try {
            TProject q;
            q.Open(path, mode);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(failure(missing, TProject::omOpenExisting).find(missing), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));

    std::string plain = (dir / "plain.volm").string();
    writeFile(plain, "just some text, not a project");
    const std::string refused = failure(plain, TProject::omOpenOrCreate);
    EXPECT_NE(refused.find(plain + ": not a project file"), std::string::npos) << refused;
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(readFile(plain), "just some text, not a project");
    EXPECT_THROW(p.Open(plain, TProject::omCreateNew), Error);
    EXPECT_EQ(readFile(plain), "just some text, not a project");

    // A project that is already open elsewhere can't be opened again.
    std::string path = (dir / "book.volm").string();
    ASSERT_NO_THROW(p.Open(path, TProject::omCreateNew));
    TProject second;
    EXPECT_THROW(second.Open(path), Error);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_THROW(second.Open(path, TProject::omReadOnly), Error);

    // Reading only: never creates, refuses what is no project, shares the
    // file with other readers, and refuses every change.
    EXPECT_NE(failure(missing, TProject::omReadOnly).find(missing + ": no such project file"), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_NE(failure(plain, TProject::omReadOnly).find(plain + ": not a project file"), std::string::npos);
    EXPECT_EQ(readFile(plain), "just some text, not a project");
    p.AddTopic("one");
    p.CloseProject();
    const std::string before = readFile(path);
    TProject reader, another;
    ASSERT_NO_THROW(reader.Open(path, TProject::omReadOnly));
    ASSERT_NO_THROW(another.Open(path, TProject::omReadOnly));
    EXPECT_TRUE(reader.IsReadOnly());
    EXPECT_EQ(names(reader), std::vector<std::string>{"101:one"});
    EXPECT_THROW(second.Open(path), Error); // no writer while it is read
    EXPECT_THROW(reader.AddTopic("two"), Error);
    EXPECT_THROW(reader.CommitText(0, "text"), Error);
    EXPECT_THROW(reader.DeleteTopic(0), Error);
    EXPECT_THROW(reader.SaveFontSettings(TFontSettings()), Error);
    reader.CloseProject();
    another.CloseProject();
    EXPECT_TRUE(readFile(path) == before);
}

// A new project file appears whole or not at all (it is put in place in one
// step), and never over a file that appeared meanwhile.
TEST(Project, NewFileAppearsWholeOrNotAtAll)
{
    TempDir dir;
    const std::string path = (dir / "new.volm").string();
    struct Hook {
        ~Hook() { safewrite::FaultHook = nullptr; }
    } hook;
    safewrite::FaultHook = [](const char* step) { return std::string(step) == "rename" ? EIO : 0; };
    TProject p;
    EXPECT_THROW(p.Open(path, TProject::omCreateNew), Error);
    EXPECT_TRUE(fileNames(dir.path()).empty());

    safewrite::FaultHook = [&](const char* step) {
        if (std::string(step) == "rename")
            writeFile(path, "someone else's");
        return 0;
    };
    try {
        p.Open(path);
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.code(), EEXIST) << e.what();
    }
    EXPECT_EQ(readFile(path), "someone else's");
    EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"new.volm"});

    safewrite::FaultHook = nullptr;
    fs::remove(path);
    ASSERT_NO_THROW(p.Open(path, TProject::omCreateNew));
    EXPECT_EQ(p.Layout(), TReaderLayout::Words);
}

// Opening writes nothing: a damaged project (bytes flipped in its header,
// tables, directory and streams), opened for writing and closed again, or
// read whole, keeps every byte, whether it opened or not.
TEST(Project, OpeningAndReadingChangeNoByte)
{
    TempDir dir;
    const std::string base = (dir / "base.volm").string();
    {
        TProject p;
        p.Open(base, TProject::omCreateNew);
        for (int i = 0; i < 14; ++i) {
            p.AddTopic("Topic " + std::to_string(i));
            p.CommitText(p.TopicCount() - 1, std::string(i % 3 ? 250 * i : 5000 + 50 * i, char('a' + i)));
        }
        p.DeleteTopic(4);
        p.DeleteTopic(9);
        p.CommitText(2, "shorter");
        TFontSettings font;
        font.font.name = "Arial";
        p.SaveFontSettings(font);
    }
    const std::string sample = readFile(base);
    const std::string path = (dir / "m.volm").string();
    std::mt19937 rng(7);
    int opened = 0, openedForWriting = 0;
    for (int i = 0; i < 600; ++i) {
        std::string bytes = sample;
        const size_t span = i % 3 ? std::min<size_t>(bytes.size(), 3072) : bytes.size();
        for (int k = 1 + i % 5; k > 0; --k)
            bytes[rng() % span] ^= static_cast<char>(1 + rng() % 255);
        if (i % 4 == 0) {
            // A cut tree link: the entries below it are no longer reached.
            const size_t dirAt = (u32(bytes, 0x30) + 1) * 512u;
            const size_t link = dirAt + (rng() % 4) * 128 + 0x44 + 4 * (rng() % 3);
            if (link + 4 <= bytes.size())
                bytes.replace(link, 4, std::string(4, '\xFF'));
        }
        writeFile(path, bytes);
        for (TProject::TOpenMode mode : {TProject::omReadOnly, TProject::omOpenExisting}) {
            try {
                TProject p;
                p.Open(path, mode);
                for (size_t t = 0; t < p.TopicCount(); ++t) {
                    p.Item(t).GetName();
                    try {
                        p.GetText(t);
                    } catch (const Error&) {
                    }
                }
                p.CloseProject();
                (mode == TProject::omReadOnly ? opened : openedForWriting) += 1;
            } catch (const Error&) {
            }
            ASSERT_TRUE(readFile(path) == bytes) << "mutant " << i << " mode " << mode;
        }
    }
    EXPECT_GT(opened, 300);
    EXPECT_GT(openedForWriting, 200);
}

// Other programs' compound files (the shared corpus) stay as they were when
// opened and closed.
TEST(Project, CorpusFilesAreNeverWrittenByReading)
{
    TempDir dir;
    const std::string path = (dir / "c.volm").string();
    expectCorpusFilesUnchanged(path, [&] {
        try {
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            p.CloseProject();
        } catch (const Error&) {
        }
    });
}

// A project whose streams another program wrote (libgsf's gsf): the usable
// topics load in storage-number order; what can't be used is skipped and
// left exactly as it was.
TEST(Project, OpensAProjectWrittenByAnotherProgram)
{
    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    TempDir dir;
    fs::create_directory(dir / "in");
    TFontSettings font;
    font.font.name = "Arial";
    font.font.height = -16;
    font.useCustomFont = true;
    TMemoryStream fontBytes;
    WriteFontSettings(fontBytes, font);
    std::map<std::string, std::string> files = {
        {"250", topicStream(1, "Last", "text of 250")},
        {"102", topicStream(0, "Second", "version 0")},
        {"101", topicStream(1, "First", "hello")},
        {"103", topicStream(2, "Later version", "skip me")},
        {"104", "short"}, // too short to be a topic: a new, nameless one (written only when changed)
        {"50", "not a topic"},
        {"notes", "not a number"},
        {"0", fontBytes.Data()},
    };
    std::vector<std::string> argv = {"gsf", "createole", (dir / "book.volm").string()};
    for (const auto& [name, bytes] : files) {
        writeFile(dir / "in" / name, bytes);
        argv.push_back(name);
    }
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult r = run(argv);
    fs::current_path(cwd);
    ASSERT_EQ(r.status, 0) << r.err;

    std::string path = (dir / "book.volm").string();
    TProject p;
    ASSERT_NO_THROW(p.Open(path));
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:First", "102:Second", "104:", "250:Last"}));
    EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"103"}));
    EXPECT_EQ(p.GetText(0), "hello");
    EXPECT_EQ(p.GetText(3), "text of 250");
    EXPECT_EQ(p.FontSettings(), font);
    EXPECT_EQ(p.Topic(p.AddTopic("new")).Number, 251);
    p.CloseProject();

    auto s = oleStreams(path);
    if (s.empty())
        return;
    EXPECT_EQ(s["103"], files["103"]);
    EXPECT_EQ(s["50"], files["50"]);
    EXPECT_EQ(s["notes"], files["notes"]);
    EXPECT_EQ(s["0"], files["0"]);
    EXPECT_EQ(s["104"], files["104"]); // opening writes nothing
}

TEST(Project, UnreadableFontSettingsAreSkippedAndKept)
{
    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    TempDir dir;
    fs::create_directory(dir / "in");
    writeFile(dir / "in" / "0", "\xFF\x0A\x00garbage");
    writeFile(dir / "in" / "101", topicStream(1, "Only", ""));
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult r = run({"gsf", "createole", (dir / "book.volm").string(), "0", "101"});
    fs::current_path(cwd);
    ASSERT_EQ(r.status, 0) << r.err;
    TProject p;
    ASSERT_NO_THROW(p.Open((dir / "book.volm").string()));
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"}));
    EXPECT_EQ(p.FontSettings(), TFontSettings{});
    EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"0"}));
}

// New projects read in the words layout; a project without the layout stream
// has none (and opening it adds none); a word this version does not know is
// skipped and kept.
TEST(Project, LayoutStream)
{
    TempDir dir;
    const std::string fresh = (dir / "fresh.volm").string();
    {
        TProject p;
        p.Open(fresh, TProject::omCreateNew);
        EXPECT_EQ(p.Layout(), TReaderLayout::Words);
        p.SaveLayout(TReaderLayout::Grid);
        EXPECT_EQ(p.Layout(), TReaderLayout::Grid);
    }
    {
        TProject p;
        p.Open(fresh, TProject::omOpenExisting);
        EXPECT_EQ(p.Layout(), TReaderLayout::Grid);
    }
    auto s = oleStreams(fresh);
    if (!s.empty()) {
        EXPECT_EQ(s["Layout"], "grid");
    }

    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    fs::create_directory(dir / "in");
    writeFile(dir / "in" / "101", topicStream(1, "Only", "text"));
    writeFile(dir / "in" / "Layout", "columns");
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult older = run({"gsf", "createole", (dir / "older.volm").string(), "101"});
    RunResult later = run({"gsf", "createole", (dir / "later.volm").string(), "101", "Layout"});
    fs::current_path(cwd);
    ASSERT_EQ(older.status, 0) << older.err;
    ASSERT_EQ(later.status, 0) << later.err;
    {
        TProject p;
        p.Open((dir / "older.volm").string());
        EXPECT_EQ(p.Layout(), std::nullopt);
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"}));
    }
    s = oleStreams(dir / "older.volm");
    if (!s.empty()) {
        EXPECT_EQ(s.count("Layout"), 0u);
    }
    {
        TProject p;
        p.Open((dir / "later.volm").string());
        EXPECT_EQ(p.Layout(), std::nullopt);
        EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"Layout"}));
    }
    s = oleStreams(dir / "later.volm");
    if (!s.empty()) {
        EXPECT_EQ(s["Layout"], "columns");
    }
}

// The build counter: none in a new project, kept across opening and packing
// in stream "Builds" (decimal), beside the topics; one this version can't
// read counts as none and is listed as skipped.
TEST(Project, BuildsStream)
{
    TempDir dir;
    const std::string path = (dir / "p.volm").string();
    {
        TProject p;
        p.Open(path, TProject::omCreateNew);
        EXPECT_EQ(p.BuildCount(), 0u);
        p.AddTopic("One");
        p.SaveBuildCount(1);
        p.SaveBuildCount(2);
        EXPECT_EQ(p.BuildCount(), 2u);
        p.Pack();
        EXPECT_EQ(p.BuildCount(), 2u);
    }
    {
        TProject p;
        p.Open(path, TProject::omReadOnly);
        EXPECT_EQ(p.BuildCount(), 2u);
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:One"}));
        EXPECT_TRUE(p.SkippedElements().empty());
    }
    auto s = oleStreams(path);
    if (!s.empty()) {
        EXPECT_EQ(s["Builds"], "2");
    }
    for (const std::string& bad : {std::string("x1"), std::string(), std::string(30, '9')}) {
        {
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            TDocStream st;
            p.Document()->CreateStream(st, "Builds", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
            if (!bad.empty())
                st.Stream()->WriteBuffer(bad.data(), bad.size());
            st.Close();
            p.Document()->Commit();
        }
        TProject p;
        p.Open(path, TProject::omOpenExisting);
        EXPECT_EQ(p.BuildCount(), 0u) << bad;
        EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"Builds"}));
    }
}

TEST(Project, StorageNumbers)
{
    int32_t n;
    EXPECT_TRUE(ParseStorageNumber("101", n) && n == 101);
    EXPECT_TRUE(ParseStorageNumber("-5", n) && n == -5);
    EXPECT_TRUE(ParseStorageNumber("0", n) && n == 0);
    EXPECT_TRUE(ParseStorageNumber("2147483647", n) && n == INT32_MAX);
    for (const char* bad : {"", "-", "1a", " 1", "2147483648", "99999999999999999999", "1.5"})
        EXPECT_FALSE(ParseStorageNumber(bad, n)) << bad;
}

// The disk refuses a write at every point of a commit, of a font-settings save
// and of an append in turn (the engine's write-failure hook; after a refused
// write the engine does no further work). Reopened, the project holds the old
// state or the new one, never a lost or mixed text, and a failure is raised
// whenever the old state is what remains.
TEST(Project, RefusedWritesAtEveryPointLoseNothing)
{
    TempDir dir;
    std::string base = (dir / "base.volm").string();
    const std::string oldText(700, 'o'), newText(5000, 'n');
    TFontSettings oldFont, newFont;
    newFont.font.name = std::string(200, 'F');
    newFont.useCustomFont = true;
    {
        TProject p;
        p.Open(base);
        p.AddTopic("kept");
        p.CommitText(0, oldText);
        p.SaveFontSettings(oldFont);
    }
    std::string path = (dir / "work.volm").string();
    enum Op { Commit, Font, Add };
    for (Op op : {Commit, Font, Add}) {
        bool completed = false;
        long refused = 0;
        for (long k = 0; k < 400 && !completed; ++k) {
            fs::copy_file(base, path, fs::copy_options::overwrite_existing);
            bool raised = false;
            {
                TProject p;
                p.Open(path);
                p.Document()->File().io().failWritesAfter(k, ENOSPC);
                try {
                    if (op == Commit)
                        p.CommitText(0, newText);
                    else if (op == Font)
                        p.SaveFontSettings(newFont);
                    else
                        p.AddTopic("added");
                } catch (const Error&) {
                    raised = true;
                }
                completed = !raised;
                refused += raised;
                try {
                    p.CloseProject();
                } catch (const Error&) {
                    raised = true;
                }
            }
            TProject p;
            ASSERT_NO_THROW(p.Open(path));
            ASSERT_GE(p.TopicCount(), 1u);
            EXPECT_EQ(p.Topic(0).Name, "kept") << k;
            std::string text = p.GetText(0);
            if (op == Commit) {
                EXPECT_TRUE(text == oldText || text == newText) << k << ": " << text.size();
                EXPECT_TRUE(raised || text == newText) << k;
            } else {
                EXPECT_EQ(text, oldText) << k;
            }
            if (op == Font) {
                EXPECT_TRUE(p.FontSettings() == oldFont || p.FontSettings() == newFont) << k;
                EXPECT_TRUE(raised || p.FontSettings() == newFont) << k;
            }
            if (op == Add) {
                // A refused append leaves no topic or the whole one, never
                // an empty or nameless stream.
                EXPECT_LE(p.TopicCount(), 2u) << k;
                EXPECT_TRUE(p.TopicCount() == 2 || raised) << k;
                if (p.TopicCount() == 2) {
                    EXPECT_EQ(p.Topic(1).Name, "added") << k;
                    EXPECT_EQ(p.Item(1).Stream().Size(), 872u) << k;
                }
                EXPECT_TRUE(p.SkippedElements().empty()) << k;
            }
        }
        EXPECT_TRUE(completed) << op;
        EXPECT_GE(refused, 2) << op; // the hook did refuse writes inside the operation
    }
}

TEST(Project, MovingExchangesStorageNumbersAndRenamingKeepsThePlace)
{
    TempDir dir;
    std::string path = (dir / "book.volm").string();
    {
        TProject p;
        p.Open(path);
        for (const char* n : {"A", "B", "C", "D"}) {
            size_t i = p.AddTopic(n);
            p.CommitText(i, std::string("text of ") + n);
        }
        p.DeleteTopic(1);            // numbers 101, 103, 104: a gap stays a gap
        p.AddTopic("E");             // 105
        p.MoveTopic(0, 2);           // A C D E -> C D A E
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:C", "103:D", "104:A", "105:E"}));
        p.MoveTopic(3, 0);           // -> E C D A
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:E", "103:C", "104:D", "105:A"}));
        p.MoveTopic(1, 2);           // a neighbour: two numbers exchanged
        p.MoveTopic(2, 2);           // nothing
        EXPECT_THROW(p.MoveTopic(0, 4), Error);
        p.RenameTopic(2, "Renamed " + std::string(60, 'x'));
        EXPECT_EQ(p.Topic(2).Name, "Renamed " + std::string(60, 'x')); // whole until reopened
        EXPECT_EQ(p.GetText(2), "text of C");
        EXPECT_EQ(p.TopicCounter(), 105);
        p.AddTopic("F");            // the counter is not touched by moves
        EXPECT_EQ(p.Topic(4).Number, 106);
        p.CloseProject();
    }
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    const std::string renamed = "Renamed " + std::string(42, 'x');
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:E", "103:D", "104:" + renamed, "105:A", "106:F"}));
    EXPECT_EQ(p.GetText(0), "");
    EXPECT_EQ(p.GetText(1), "text of D");
    EXPECT_EQ(p.GetText(2), "text of C");
    EXPECT_EQ(p.GetText(3), "text of A");
    p.CloseProject();
    auto s = oleStreams(path);
    if (s.empty())
        return;
    // The real tools read the renamed directory as we do.
    EXPECT_EQ(s.size(), 6u); // five topics and the layout
    EXPECT_EQ(s["104"].substr(4, 50), renamed);
    EXPECT_EQ(s["105"].substr(68, 9), "text of A");
}

TEST(Project, AMoveCutShortAtAnyWriteKeepsEveryTopicOnceWithItsText)
{
    TempDir dir;
    std::string base = (dir / "base.volm").string();
    std::map<std::string, std::string> texts; // name -> text
    {
        TProject p;
        p.Open(base);
        for (int i = 0; i < 12; ++i) {
            std::string name = "topic " + std::to_string(i);
            texts[name] = std::string(300 + 997 * i, static_cast<char>('a' + i)); // small and large streams
            p.CommitText(p.AddTopic(name), texts[name]);
        }
    }
    std::string path = (dir / "work.volm").string();
    struct Move {
        size_t from, to;
    };
    for (Move m : {Move{0, 11}, Move{9, 2}, Move{5, 6}}) {
        std::vector<std::string> before, after;
        long total = 0;
        {
            fs::copy_file(base, path, fs::copy_options::overwrite_existing);
            TProject p;
            p.Open(path);
            for (size_t i = 0; i < p.TopicCount(); ++i)
                before.push_back(p.Topic(i).Name);
            const long w0 = p.Document()->File().io().writesDone();
            p.MoveTopic(m.from, m.to);
            total = p.Document()->File().io().writesDone() - w0;
            for (size_t i = 0; i < p.TopicCount(); ++i)
                after.push_back(p.Topic(i).Name);
        }
        ASSERT_GT(total, 1);
        ASSERT_NE(before, after);
        for (long k = 0; k < total; ++k) {
            fs::copy_file(base, path, fs::copy_options::overwrite_existing);
            {
                TProject p;
                p.Open(path);
                p.Document()->File().io().failWritesAfter(k, k % 2 ? EIO : ENOSPC);
                EXPECT_THROW(p.MoveTopic(m.from, m.to), Error) << k;
                // The process "dies" here: closing writes nothing more.
            }
            TProject p;
            ASSERT_NO_THROW(p.Open(path)) << k;
            std::vector<std::string> now;
            for (size_t i = 0; i < p.TopicCount(); ++i) {
                now.push_back(p.Topic(i).Name);
                EXPECT_EQ(p.GetText(i), texts[p.Topic(i).Name]) << k;
            }
            // Every topic once: the old order or the new one, nothing between.
            EXPECT_TRUE(now == before || now == after) << m.from << "->" << m.to << " cut at write " << k;
        }
    }
}

// The paragraph style: none in a new project (the indent), stored and read
// back beside the layout; a word this version does not know (or a stream too
// long to be a word) is skipped and kept, the layout read all the same.
TEST(Project, ParagraphsStream)
{
    TempDir dir;
    const std::string fresh = (dir / "fresh.volm").string();
    {
        TProject p;
        p.Open(fresh, TProject::omCreateNew);
        EXPECT_EQ(p.Paragraphs(), std::nullopt);
        p.SaveParagraphs(TParagraphStyle::Gap);
        EXPECT_EQ(p.Paragraphs(), TParagraphStyle::Gap);
        p.CommitText(p.AddTopic("Only"), "text");
    }
    {
        TProject p;
        p.Open(fresh, TProject::omOpenExisting);
        EXPECT_EQ(p.Paragraphs(), TParagraphStyle::Gap);
        EXPECT_EQ(p.Layout(), TReaderLayout::Words);
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"})); // not a topic
        p.SaveParagraphs(TParagraphStyle::Indent);
        p.CloseProject();
        EXPECT_EQ(p.Paragraphs(), std::nullopt); // closed
        p.Open(fresh, TProject::omReadOnly);
        EXPECT_EQ(p.Paragraphs(), TParagraphStyle::Indent);
    }
    auto s = oleStreams(fresh);
    if (!s.empty()) {
        EXPECT_EQ(s["Paragraphs"], "indent");
    }

    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    fs::create_directory(dir / "in");
    writeFile(dir / "in" / "101", topicStream(1, "Only", "text"));
    writeFile(dir / "in" / "Layout", "words");
    for (const std::string& word : {std::string("Gap"), std::string(65, 'g')}) {
        writeFile(dir / "in" / "Paragraphs", word);
        std::string cwd = fs::current_path().string();
        fs::current_path(dir / "in");
        RunResult later = run({"gsf", "createole", (dir / "later.volm").string(), "101", "Layout", "Paragraphs"});
        fs::current_path(cwd);
        ASSERT_EQ(later.status, 0) << later.err;
        {
            TProject p;
            p.Open((dir / "later.volm").string());
            EXPECT_EQ(p.Paragraphs(), std::nullopt);
            EXPECT_EQ(p.Layout(), TReaderLayout::Words);
            EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"Paragraphs"}));
        }
        s = oleStreams(dir / "later.volm");
        if (!s.empty()) {
            EXPECT_EQ(s["Paragraphs"], word);
        }
        fs::remove(dir / "later.volm");
    }
}

// The words layout's font sizes and hyphens switch: none in a new project
// (the defaults), stored and read back as words; words this version does not
// read are skipped and kept.
TEST(Project, SizesAndHyphensStreams)
{
    TempDir dir;
    const std::string fresh = (dir / "fresh.volm").string();
    {
        TProject p;
        p.Open(fresh, TProject::omCreateNew);
        EXPECT_EQ(p.SheetSizes(), std::nullopt);
        EXPECT_EQ(p.Hyphens(), std::nullopt);
        p.SaveSheetSizes("11,14,20");
        p.SaveHyphens(false);
        EXPECT_EQ(p.SheetSizes(), "11,14,20");
        EXPECT_EQ(p.Hyphens(), false);
        p.CommitText(p.AddTopic("Only"), "text");
    }
    {
        TProject p;
        p.Open(fresh, TProject::omOpenExisting);
        EXPECT_EQ(p.SheetSizes(), "11,14,20");
        EXPECT_EQ(p.Hyphens(), false);
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"})); // neither is a topic
        p.SaveSheetSizes("12");
        p.SaveHyphens(true);
        p.CloseProject();
        EXPECT_EQ(p.SheetSizes(), std::nullopt); // closed
        EXPECT_EQ(p.Hyphens(), std::nullopt);
        p.Open(fresh, TProject::omReadOnly);
        EXPECT_EQ(p.SheetSizes(), "12");
        EXPECT_EQ(p.Hyphens(), true);
        EXPECT_TRUE(p.SkippedElements().empty());
    }
    auto s = oleStreams(fresh);
    if (!s.empty()) {
        EXPECT_EQ(s["Sizes"], "12");
        EXPECT_EQ(s["Hyphens"], "on");
    }

    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    fs::create_directory(dir / "in");
    writeFile(dir / "in" / "101", topicStream(1, "Only", "text"));
    writeFile(dir / "in" / "Sizes", "11px");
    writeFile(dir / "in" / "Hyphens", "On");
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult later = run({"gsf", "createole", (dir / "later.volm").string(), "101", "Sizes", "Hyphens"});
    fs::current_path(cwd);
    ASSERT_EQ(later.status, 0) << later.err;
    TProject p;
    p.Open((dir / "later.volm").string());
    EXPECT_EQ(p.SheetSizes(), std::nullopt);
    EXPECT_EQ(p.Hyphens(), std::nullopt);
    std::vector<std::string> skipped = p.SkippedElements();
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"Hyphens", "Sizes"}));
    EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"}));
}


// The book's own name: none in a new project, stored and read back, a
// rewrite shorter than before leaves nothing of the old; what is no title
// is refused when saved and skipped (kept as it is) when read.
TEST(Project, TitleStream)
{
    TempDir dir;
    const std::string path = (dir / "t.volm").string();
    {
        TProject p;
        p.Open(path, TProject::omCreateNew);
        EXPECT_EQ(p.Title(), "");
        p.SaveTitle("Война и мир — том первый");
        p.CommitText(p.AddTopic("Only"), "text");
    }
    {
        TProject p;
        p.Open(path, TProject::omOpenExisting);
        EXPECT_EQ(p.Title(), "Война и мир — том первый");
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:Only"})); // not a topic
        p.SaveTitle("Мир");
        for (const std::string& bad : {std::string(), std::string("a\nb"), std::string("\xff\xfe"),
                                       std::string(kTitleMax + 1, 'a')}) {
            EXPECT_THROW(p.SaveTitle(bad), Error) << bad;
            EXPECT_EQ(p.Title(), "Мир");
        }
        p.CloseProject();
        EXPECT_EQ(p.Title(), "");
        p.Open(path, TProject::omReadOnly);
        EXPECT_EQ(p.Title(), "Мир");
    }
    EXPECT_EQ(TitleFault(std::string(kTitleMax, 'a')), "");

    if (!haveProgram("gsf"))
        GTEST_SKIP() << "libgsf's gsf is not installed";
    fs::create_directory(dir / "in");
    writeFile(dir / "in" / "101", topicStream(1, "Only", "text"));
    writeFile(dir / "in" / "Title", "two\r\nlines");
    std::string cwd = fs::current_path().string();
    fs::current_path(dir / "in");
    RunResult later = run({"gsf", "createole", (dir / "later.volm").string(), "101", "Title"});
    fs::current_path(cwd);
    ASSERT_EQ(later.status, 0) << later.err;
    TProject p;
    p.Open((dir / "later.volm").string());
    EXPECT_EQ(p.Title(), "");
    EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"Title"}));
}

// The folder the book is built in: kept as stored, refused when it is not an
// absolute one-line path, and skipped (left as it is) when the file's is not.
TEST(Project, FolderStream)
{
    TempDir dir;
    const std::string path = (dir / "t.volm").string();
    {
        TProject p;
        p.Open(path, TProject::omCreateNew);
        EXPECT_EQ(p.OutputFolder(), "");
        p.SaveOutputFolder("/media/книги");
        for (const std::string& bad : {std::string(), std::string("books"), std::string("/a\nb"),
                                       "/" + std::string(kFolderMax, 'a')}) {
            EXPECT_THROW(p.SaveOutputFolder(bad), Error) << bad;
            EXPECT_EQ(p.OutputFolder(), "/media/книги");
        }
    }
    {
        TProject p;
        p.Open(path, TProject::omReadOnly);
        EXPECT_EQ(p.OutputFolder(), "/media/книги");
        EXPECT_TRUE(p.SkippedElements().empty());
    }
    {
        TProject p;
        p.Open(path, TProject::omOpenExisting);
        TDocStream st;
        p.Document()->CreateStream(st, "Folder", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
        st.Stream()->WriteBuffer("relative", 8);
        st.Close();
        p.Document()->Commit();
    }
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    EXPECT_EQ(p.OutputFolder(), "");
    EXPECT_EQ(p.SkippedElements(), (std::vector<std::string>{"Folder"}));
}

// A project that can't be opened for writing opens read only, saying why;
// one that can't be read either fails as before.
TEST(Project, WhatCanOnlyBeReadOpensReadOnly)
{
    TempDir dir;
    const std::string path = damagedProject(dir);
    const std::string bytes = readFile(path);
    {
        TProject p;
        try {
            p.Open(path);
            ADD_FAILURE() << "opened for writing";
        } catch (const EStorageError& e) {
            EXPECT_NE(std::string(e.what()).find("(it can only be read)"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(p.IsOpen());
        const std::string cause = p.OpenWritableOrReadOnly(path);
        EXPECT_EQ(cause.find(path + ": "), 0u) << cause;
        EXPECT_NE(cause.find("(it can only be read)"), std::string::npos) << cause;
        EXPECT_EQ(cause.find('\n'), std::string::npos) << cause;
        ASSERT_TRUE(p.IsReadOnly());
        EXPECT_EQ(names(p), (std::vector<std::string>{"101:One", "102:Two"}));
        EXPECT_EQ(p.GetText(1), std::string(5000, 't'));
        EXPECT_EQ(p.SkippedElements(), std::vector<std::string>{"104"});
        EXPECT_EQ(p.Title(), "Book");
        EXPECT_THROW(p.AddTopic("Five"), Error);
    }
    EXPECT_TRUE(readFile(path) == bytes);

    // A sound project opens for writing; a file that is no project, or is
    // damaged past reading, fails with the first failure.
    TProject sound;
    EXPECT_EQ(sound.OpenWritableOrReadOnly((dir / "new.volm").string()), "");
    EXPECT_FALSE(sound.IsReadOnly());
    writeFile(dir / "plain.volm", "just some text");
    TProject plain;
    EXPECT_THROW(plain.OpenWritableOrReadOnly((dir / "plain.volm").string()), Error);
    EXPECT_FALSE(plain.IsOpen());
    std::string cut = bytes;
    cut.resize(700);
    writeFile(dir / "cut.volm", cut);
    try {
        plain.OpenWritableOrReadOnly((dir / "cut.volm").string());
        ADD_FAILURE() << "opened";
    } catch (const EStorageError& e) {
        EXPECT_EQ(e.status(), STG_E_DOCFILECORRUPT) << e.what();
    }
    EXPECT_FALSE(plain.IsOpen());
    EXPECT_EQ(readFile(dir / "cut.volm"), cut);
}

// A file without write permission opens read only (as another user when
// the test runs as root, for whom permissions don't count).
TEST(Project, AFileThatCantBeWrittenOpensReadOnly)
{
    TempDir dir;
    const std::string path = (dir / "ro" / "book.volm").string();
    fs::create_directory(dir / "ro");
    {
        TProject p;
        p.Open(path);
        p.AppendTopics({{"One", "text"}});
    }
    const fs::perms reach = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir.path(), reach | fs::perms::owner_write);
    fs::permissions(dir / "ro", reach);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string bytes = readFile(path);
    const int status = runInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 90;
        TProject p;
        if (p.IsOpen())
            return 91;
        try {
            p.Open(path);
            return 92; // opened for writing
        } catch (const Error&) {
        }
        const std::string cause = p.OpenWritableOrReadOnly(path);
        if (cause != path + ": the file can't be written (Permission denied)")
            return 93;
        if (!p.IsReadOnly() || p.TopicCount() != 1 || p.GetText(0) != "text")
            return 94;
        return 0;
    });
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(readFile(path) == bytes);
}
