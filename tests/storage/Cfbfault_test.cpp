// Write order: a change that dies after any number of its writes leaves a
// file that opens (even for writing) and holds every earlier change. Each
// change here is one that the engine makes all-or-nothing (a write that
// overwrites bytes in place may land in part), so the file must hold exactly
// the state before it or the state after it.

#include "Testutil.h"
#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>

using namespace volm;
using namespace volm::cfb;
using volm::test::TempDir;

namespace {

using Snapshot = std::map<std::u16string, std::string>;

std::u16string u(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string bytes(size_t n, char seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 7 + i / 251);
    return s;
}

Snapshot snapshot(CompoundFile& f)
{
    Snapshot out;
    for (const ElementInfo& e : f.list()) {
        auto s = f.openStream(e.name);
        std::string data(static_cast<size_t>(s->size()), '\0');
        s->read(0, data.data(), data.size());
        out[e.name] = data;
    }
    return out;
}

void write(CompoundFile& f, const std::string& name, uint64_t offset, const std::string& data)
{
    f.openStream(u(name))->write(offset, data.data(), data.size());
}

// Streams of every kind, with holes left by deletions, committed.
void makeBaseline(const std::string& path)
{
    auto f = CompoundFile::create(path, false);
    for (int i = 1; i <= 40; ++i) {
        size_t size = i % 4 == 0 ? 5000 + 97 * i : i % 4 == 1 ? 20000 : 872 + i;
        f->createStream(u(std::to_string(i)), false)->write(0, bytes(size, static_cast<char>(i)).data(), size);
    }
    for (int i : {3, 8, 17, 21, 30})
        f->destroy(u(std::to_string(i)));
    f->commit();
}

struct Op {
    const char* name;
    std::function<void(CompoundFile&)> run;
};

const std::vector<Op>& ops()
{
    static const std::vector<Op> list = {
        {"create", [](CompoundFile& f) { f.createStream(u"999", false); }},
        // Whole from the start: never an empty stream of that name.
        {"create with content", [](CompoundFile& f) { f.createStreamWith(u"998", bytes(872, 't')); }},
        {"create with large content", [](CompoundFile& f) { f.createStreamWith(u"997", bytes(9000, 'T')); }},
        {"create over a deleted name", [](CompoundFile& f) { f.createStream(u"17", false); }},
        {"extend small", [](CompoundFile& f) { write(f, "6", 878, bytes(900, 'a')); }},
        {"extend large", [](CompoundFile& f) { write(f, "4", 5388, bytes(3000, 'b')); }},
        {"overwrite in place", [](CompoundFile& f) { write(f, "5", 100, bytes(300, 'c')); }},
        {"shrink large", [](CompoundFile& f) { f.openStream(u"5")->resize(4500); }},
        {"shrink small", [](CompoundFile& f) { f.openStream(u"6")->resize(100); }},
        {"cross up", [](CompoundFile& f) { write(f, "7", 879, bytes(5000, 'd')); }},
        {"cross down", [](CompoundFile& f) { f.openStream(u"9")->resize(872); }},
        {"extend by resizing", [](CompoundFile& f) { f.openStream(u"10")->resize(9000); }},
        {"destroy small", [](CompoundFile& f) { f.destroy(u"7"); }},
        {"destroy large", [](CompoundFile& f) { f.destroy(u"13"); }},
        {"replace", [](CompoundFile& f) { f.createStream(u"12", true); }},
        {"grow the table", [](CompoundFile& f) { write(f, "2", 0, bytes(200000, 'e')); }},
        {"many mini sectors", [](CompoundFile& f) { write(f, "11", 883, bytes(3200, 'f')); }},
        {"rename", [](CompoundFile& f) { f.rename(u"5", u"500"); }},
        {"exchange names", [](CompoundFile& f) { f.rename({{u"4", u"38"}, {u"38", u"4"}}); }},
        {"rotate names of open streams",
         [](CompoundFile& f) {
             auto a = f.openStream(u"10"), b = f.openStream(u"11"), c = f.openStream(u"12");
             f.rename({{u"10", u"11"}, {u"11", u"12"}, {u"12", u"10"}});
         }},
    };
    return list;
}

// Runs `op` on a fresh copy of `baseline` for every k, the change failing at
// its k-th write; checks each result.
void proveOp(const std::string& baseline, const std::string& path, const std::function<void(CompoundFile&)>& op,
             const char* what)
{
    test::writeFile(path, baseline);
    Snapshot before, after;
    long total = 0;
    {
        auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
        before = snapshot(*f);
        long w0 = f->io().writesDone();
        op(*f);
        total = f->io().writesDone() - w0;
        after = snapshot(*f);
    }
    ASSERT_GT(total, 0) << what;
    ASSERT_NE(before, after) << what;
    for (long k = 0; k < total; ++k) {
        test::writeFile(path, baseline);
        {
            auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
            f->io().failWritesAfter(k, k % 2 ? ENOSPC : EIO);
            try {
                op(*f);
                ADD_FAILURE() << what << ": no failure at write " << k;
            } catch (const EStorageError& e) {
                EXPECT_EQ(e.status(), k % 2 ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT) << e.what();
            }
            // The object refuses further work; the process "dies" here.
            EXPECT_THROW(f->createStream(u"later", false), EStorageError);
        }
        std::shared_ptr<CompoundFile> f;
        try {
            f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
        } catch (const EStorageError& e) {
            FAIL() << what << ", failing at write " << k << " of " << total << ": " << e.what();
        }
        Snapshot now = snapshot(*f);
        EXPECT_TRUE(now == before || now == after) << what << ", failing at write " << k << " of " << total;
        // And it takes further changes.
        f->createStream(u"later", false)->write(0, bytes(6000, 'g').data(), 6000);
        f->createStream(u"later2", false);
        f->destroy(u"later2");
        f.reset();
        f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
        Snapshot later = snapshot(*f);
        EXPECT_EQ(later[u"later"], bytes(6000, 'g')) << what << " " << k;
        EXPECT_EQ(later.count(u"later2"), 0u);
    }
}

} // namespace

TEST(Cfbfault, EveryOperationSurvivesDyingAtEveryWrite)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    makeBaseline(path);
    std::string baseline = test::readFile(path);
    for (const Op& op : ops())
        proveOp(baseline, path, op.run, op.name);
}

TEST(Cfbfault, GrowingPastTheHeaderTableListSurvivesDying)
{
    // 109 table sectors are listed in the header; the 110th needs a DIFAT
    // sector of its own.
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"fill", false)->resize((109 * 127 - 60) * 512);
        f->createStream(u"small", false)->write(0, "abc", 3);
        f->commit();
    }
    std::string baseline = test::readFile(path);
    auto op = [](CompoundFile& f) { write(f, "small", 3, bytes(60000, 'h')); };
    proveOp(baseline, path, op, "difat");
    test::writeFile(path, baseline);
    EXPECT_EQ(get32(reinterpret_cast<const uint8_t*>(baseline.data()) + hDifatSectors), 0u);
    op(*CompoundFile::open(path, CompoundFile::Access::ReadWrite));
    std::string grown = test::readFile(path);
    EXPECT_EQ(get32(reinterpret_cast<const uint8_t*>(grown.data()) + hDifatSectors), 1u);
}

TEST(Cfbfault, CreatingTheFileItselfFailsCleanly)
{
    for (long k = 0; k < 3; ++k) {
        auto io = std::make_unique<MemoryFile>();
        io->failWritesAfter(k, ENOSPC);
        EXPECT_THROW(CompoundFile::create(std::move(io), "mem"), EStorageError);
    }
}
