// Other readers and writers: olefile and libgsf's gsf read what we write,
// and we read what other programs wrote (the shared corpus), as olefile does.

#include "Testutil.h"
#include "common/Codepage.h"
#include "common/Crc32.h"
#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

using namespace volm;
using namespace volm::cfb;
using volm::test::TempDir;

namespace {

// For every root-level stream olefile lists: file, name (UTF-8 in hex),
// declared size, bytes read, CRC-32 of what it read. "REJECT file" when the
// file does not open.
const char* kOlefileScript = R"(
import olefile, sys, zlib, logging
logging.disable(logging.CRITICAL)
for path in sys.argv[1:]:
    try:
        o = olefile.OleFileIO(path)
    except Exception as e:
        print("REJECT", path)
        continue
    for e in o.listdir(streams=True, storages=False):
        if len(e) != 1:
            continue
        name = e[0].encode('utf-8', 'surrogatepass').hex()
        try:
            d = o.openstream(e[0]).read()
            print("S", path, name, o.get_size(e[0]), len(d), zlib.crc32(d) & 0xffffffff)
        except Exception:
            print("E", path, name)
)";

struct OleStream {
    std::string file, name;
    uint64_t size = 0, got = 0;
    uint32_t crc = 0;
};

struct OleResult {
    std::vector<OleStream> streams;
    std::vector<std::string> rejected;
};

OleResult runOlefile(const std::string& python, const std::vector<std::string>& files)
{
    std::vector<std::string> argv{python, "-c", kOlefileScript};
    argv.insert(argv.end(), files.begin(), files.end());
    test::RunResult r = test::run(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    OleResult out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "REJECT") {
            std::string f;
            ls >> f;
            out.rejected.push_back(f);
        } else if (kind == "S") {
            OleStream s;
            std::string hexName;
            ls >> s.file >> hexName >> s.size >> s.got >> s.crc;
            for (size_t i = 0; i + 1 < hexName.size(); i += 2)
                s.name.push_back(static_cast<char>(std::stoi(hexName.substr(i, 2), nullptr, 16)));
            out.streams.push_back(s);
        }
    }
    return out;
}

std::string readStream(CompoundFile& f, const std::u16string& name)
{
    auto s = f.openStream(name);
    std::string data(static_cast<size_t>(s->size()), '\0');
    EXPECT_EQ(s->read(0, data.data(), data.size()), data.size());
    return data;
}

std::string content(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    std::mt19937 rng(seed);
    for (char& c : s)
        c = static_cast<char>('a' + rng() % 26);
    return s;
}

std::u16string u(const std::string& s) { return utf8ToUtf16(s); }

} // namespace

TEST(Cfbinterop, OlefileAndGsfReadWhatWeWrite)
{
    std::string python = test::pythonWith({"olefile"});
    if (python.empty() || !test::haveProgram("gsf"))
        GTEST_SKIP() << "python3-olefile or libgsf-bin (gsf) is not installed";
    TempDir dir;
    std::string path = (dir / "a.volm").string();
    std::map<std::string, std::string> model;
    {
        // Many creates, writes and resizes across the mini-stream cutoff in
        // both directions, deletions, names reused.
        auto f = CompoundFile::create(path, false);
        std::mt19937 rng(42);
        const size_t sizes[] = {0, 10, 872, 4095, 4096, 5000, 20000, 70000};
        for (int step = 0; step < 600; ++step) {
            std::string name = std::to_string(100 + rng() % 150);
            if (step == 7)
                name = "\xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82"; // Cyrillic
            unsigned op = rng() % 10;
            if (!model.count(name)) {
                auto s = f->createStream(u(name), false);
                std::string d = content(sizes[rng() % 8], step);
                s->write(0, d.data(), d.size());
                model[name] = d;
            } else if (op < 2) {
                f->destroy(u(name));
                model.erase(name);
            } else if (op < 6) {
                size_t n = sizes[rng() % 8];
                f->openStream(u(name))->resize(n);
                model[name].resize(n, '\0');
            } else {
                std::string d = content(sizes[rng() % 8] / 2 + 1, step);
                size_t at = rng() % (model[name].size() + 1);
                f->openStream(u(name))->write(at, d.data(), d.size());
                if (model[name].size() < at + d.size())
                    model[name].resize(at + d.size());
                model[name].replace(at, d.size(), d);
            }
        }
        f->commit();
    }
    ASSERT_GT(model.size(), 50u);

    OleResult ole = runOlefile(python, {path});
    ASSERT_TRUE(ole.rejected.empty());
    std::map<std::string, OleStream> seen;
    for (const OleStream& s : ole.streams)
        seen[s.name] = s;
    ASSERT_EQ(seen.size(), model.size());
    for (const auto& [name, data] : model) {
        ASSERT_TRUE(seen.count(name)) << name;
        EXPECT_EQ(seen[name].size, data.size()) << name;
        EXPECT_EQ(seen[name].got, data.size()) << name;
        EXPECT_EQ(seen[name].crc, crc32(data.data(), data.size())) << name;
    }

    // gsf prints names in the locale's character set: a UTF-8 one whatever
    // the user's, or the Cyrillic name comes out as question marks.
    test::RunResult list = test::run({"env", "LC_ALL=C.UTF-8", "gsf", "list", path});
    ASSERT_EQ(list.status, 0) << list.err;
    std::map<std::string, uint64_t> gsfSizes;
    std::istringstream in(list.out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind, name;
        uint64_t size = 0;
        if (ls >> kind >> size >> name && kind == "f")
            gsfSizes[name] = size;
    }
    EXPECT_EQ(gsfSizes.size(), model.size());
    int catted = 0;
    for (const auto& [name, data] : model) {
        EXPECT_EQ(gsfSizes[name], data.size()) << name;
        if (catted++ % 8 == 0) {
            test::RunResult cat = test::run({"env", "LC_ALL=C.UTF-8", "gsf", "cat", path, name});
            EXPECT_EQ(cat.status, 0) << cat.err;
            EXPECT_EQ(cat.out, data) << name;
        }
    }
}

TEST(Cfbinterop, OlefileReadsTenThousandStreams)
{
    // olefile walks the tree recursively: a degenerate tree of this size
    // would overflow its recursion.
    std::string python = test::pythonWith({"olefile"});
    if (python.empty())
        GTEST_SKIP() << "python3-olefile is not installed";
    TempDir dir;
    std::string path = (dir / "many.volm").string();
    {
        auto f = CompoundFile::create(path, false);
        for (int i = 101; i < 10101; ++i)
            f->createStream(u(std::to_string(i)), false);
        for (int i = 101; i < 10101; i += 3)
            f->destroy(u(std::to_string(i)));
        f->commit();
    }
    test::RunResult r = test::run({python, "-c",
                                   "import olefile,sys\n"
                                   "o=olefile.OleFileIO(sys.argv[1])\n"
                                   "print('\\n'.join(sorted(k.name for k in o.root.kids)))\n",
                                   path});
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 500);
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    std::vector<std::string> ours;
    for (const ElementInfo& e : f->list())
        ours.push_back(utf16ToUtf8(e.name));
    std::sort(ours.begin(), ours.end());
    std::string expected;
    for (const std::string& n : ours)
        expected += n + "\n";
    EXPECT_TRUE(r.out == expected) << "olefile lists " << std::count(r.out.begin(), r.out.end(), '\n') << " names";
    EXPECT_EQ(f->list().size(), 6666u);
    EXPECT_EQ(f->list().front().name, u"102");
}

TEST(Cfbinterop, CorpusReadsAsOlefileReadsItAndBrokenFilesAreRefused)
{
    std::filesystem::path corpus = test::corpusDir() / "cfb";
    if (!std::filesystem::exists(corpus / "OLEFILE_GSF_RESULTS.tsv"))
        GTEST_SKIP() << "the compound-file corpus is not here (" << corpus.string() << ")";
    std::string python = test::pythonWith({"olefile"});
    if (python.empty())
        GTEST_SKIP() << "python3-olefile is not installed";

    std::vector<std::string> files;
    std::vector<std::string> bothReject;
    std::ifstream tsv(corpus / "OLEFILE_GSF_RESULTS.tsv");
    std::string line;
    std::getline(tsv, line);
    while (std::getline(tsv, line)) {
        std::vector<std::string> cols;
        std::istringstream ls(line);
        for (std::string c; std::getline(ls, c, '\t');)
            cols.push_back(c);
        if (cols.size() < 4)
            continue;
        std::string file = (corpus / cols[0]).string();
        files.push_back(file);
        if (cols[2].rfind("ERR", 0) == 0 && cols[3].rfind("ERR", 0) == 0)
            bothReject.push_back(file);
    }
    ASSERT_GT(files.size(), 30u);

    // Files both other readers reject: opening, listing and reading
    // everything raises the storage error somewhere, and nothing worse.
    for (const std::string& file : bothReject) {
        bool refused = false;
        try {
            auto f = CompoundFile::open(file, CompoundFile::Access::ReadOnly);
            for (const ElementInfo& e : f->list())
                if (e.type == kTypeStream)
                    readStream(*f, e.name);
        } catch (const EStorageError&) {
            refused = true;
        }
        EXPECT_TRUE(refused) << file;
    }

    // Streams olefile reads whole: the same bytes.
    OleResult ole = runOlefile(python, files);
    int compared = 0;
    for (const OleStream& s : ole.streams) {
        SCOPED_TRACE(s.file + " / " + s.name);
        std::shared_ptr<CompoundFile> f;
        try {
            f = CompoundFile::open(s.file, CompoundFile::Access::ReadOnly);
        } catch (const EStorageError& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        if (s.got == s.size) {
            std::string data;
            EXPECT_NO_THROW(data = readStream(*f, utf8ToUtf16(s.name)));
            EXPECT_EQ(data.size(), s.size);
            EXPECT_EQ(crc32(data.data(), data.size()), s.crc);
            ++compared;
        } else {
            // olefile stops where the chain breaks off or the file ends. We
            // refuse the stream, or (a file that ends inside its last sector)
            // give the same bytes as far as the file goes, then zeros.
            try {
                std::string data = readStream(*f, utf8ToUtf16(s.name));
                ASSERT_EQ(data.size(), s.size);
                EXPECT_EQ(crc32(data.data(), static_cast<size_t>(s.got)), s.crc);
                EXPECT_EQ(data.find_first_not_of('\0', static_cast<size_t>(s.got)), std::string::npos);
                EXPECT_GT(s.size - s.got, 0u);
                EXPECT_LT(s.size - s.got, 4096u);
            } catch (const EStorageError&) {
            }
        }
    }
    EXPECT_GT(compared, 200);
}

TEST(Cfbinterop, CorpusFilesThatOpenForWritingStayReadable)
{
    // Opening a real file for writing, adding and removing a stream, leaves
    // every other stream as it was.
    std::filesystem::path corpus = test::corpusDir() / "cfb";
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "the compound-file corpus is not here (" << corpus.string() << ")";
    TempDir dir;
    int written = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::string name = entry.path().filename().string();
        if (name.find(".tsv") != std::string::npos || name.find(".md") != std::string::npos)
            continue;
        std::string copy = (dir / name).string();
        std::filesystem::copy_file(entry.path(), copy);
        std::map<std::u16string, std::string> before;
        try {
            auto f = CompoundFile::open(copy, CompoundFile::Access::ReadWrite);
            for (const ElementInfo& e : f->list())
                if (e.type == kTypeStream)
                    before[e.name] = readStream(*f, e.name);
            f->createStream(u"volm test", false)->write(0, content(5000, 1).data(), 5000);
            f->createStream(u"volm small", false)->write(0, "abc", 3);
            f->destroy(u"volm test");
            f->commit();
        } catch (const EStorageError&) {
            continue; // damaged: only read, never written
        }
        ++written;
        auto f = CompoundFile::open(copy, CompoundFile::Access::ReadWrite);
        for (const auto& [n, data] : before)
            EXPECT_EQ(readStream(*f, n), data) << name;
        EXPECT_EQ(readStream(*f, u"volm small"), "abc") << name;
        EXPECT_EQ(f->find(u"volm test"), nullptr);
    }
    EXPECT_GT(written, 20);
}
