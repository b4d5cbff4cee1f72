// The compound-file engine: streams of every size, the tree order, reuse of
// freed space, and what a reopened file holds.

#include "Testutil.h"
#include "storage/Cfbtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>

using namespace volm;
using namespace volm::cfb;
using namespace volm::test;

namespace {

std::string pattern(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    std::mt19937 rng(seed);
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::u16string u(const std::string& s) { return std::u16string(s.begin(), s.end()); }

} // namespace

TEST(Cfbfile, NameOrderIsLengthThenUpperCase)
{
    EXPECT_LT(compareNames(u"99", u"100"), 0);
    EXPECT_LT(compareNames(u"101", u"102"), 0);
    EXPECT_EQ(compareNames(u"abc", u"ABC"), 0);
    EXPECT_LT(compareNames(u"Z", u"ab"), 0);
    EXPECT_EQ(compareNames(u"\u0430\u044f", u"\u0410\u042f"), 0); // Cyrillic letters
    EXPECT_EQ(compareNames(u"\u0451", u"\u0401"), 0);
}

TEST(Cfbfile, NewFileIsVersion3WithTheRootOnly)
{
    TempDir dir;
    {
        auto f = CompoundFile::create((dir / "a.cfb").string(), false);
        EXPECT_TRUE(f->list().empty());
    }
    std::string bytes = test::readFile(dir / "a.cfb");
    ASSERT_EQ(bytes.size(), 1536u);
    EXPECT_EQ(get16(reinterpret_cast<const uint8_t*>(bytes.data()) + hMajorVersion), 3);
    auto f = CompoundFile::open((dir / "a.cfb").string(), CompoundFile::Access::ReadOnly);
    EXPECT_EQ(f->version(), 3);
    EXPECT_TRUE(f->list().empty());
}

TEST(Cfbfile, StreamsOfEverySizeSurviveReopening)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    const std::vector<size_t> sizes = {0, 1, 63, 64, 65, 511, 512, 513, 872, 4095, 4096, 4097, 10000, 70000, 300000};
    {
        auto f = CompoundFile::create(path, false);
        for (size_t i = 0; i < sizes.size(); ++i) {
            auto s = f->createStream(u(std::string("s").append(std::to_string(i))), false);
            std::string data = pattern(sizes[i], static_cast<unsigned>(i));
            s->write(0, data.data(), data.size());
            EXPECT_EQ(s->size(), sizes[i]);
            EXPECT_EQ(readAll(*s), data);
        }
        f->commit();
    }
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
    auto list = f->list();
    ASSERT_EQ(list.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        auto s = f->openStream(u(std::string("s").append(std::to_string(i))));
        EXPECT_EQ(readAll(*s), pattern(sizes[i], static_cast<unsigned>(i))) << i;
    }
}

TEST(Cfbfile, WritesAtOffsetsAndResizesAcrossTheCutoff)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::string model;
    auto f = CompoundFile::create(path, false);
    auto s = f->createStream(u"x", false);
    auto check = [&](const char* what) {
        ASSERT_EQ(s->size(), model.size()) << what;
        ASSERT_EQ(readAll(*s), model) << what;
    };
    auto write = [&](uint64_t off, const std::string& d) {
        s->write(off, d.data(), d.size());
        if (model.size() < off + d.size())
            model.resize(off + d.size(), '\0');
        model.replace(off, d.size(), d);
    };
    auto resize = [&](size_t n) {
        s->resize(n);
        model.resize(n, '\0');
    };
    write(0, pattern(100, 1));
    check("small");
    write(3000, pattern(2000, 2)); // gap of zeros, then up past the cutoff
    check("up with a gap");
    resize(4095); // down
    check("down to 4095");
    resize(4096); // up by one byte: zero
    check("up to 4096");
    resize(10);
    check("down to 10");
    resize(9000); // up by resizing: zeros
    check("up by resize");
    write(50, pattern(20, 3));
    check("in place");
    resize(0);
    check("empty");
    write(5000, "x");
    check("write far out");
    s.reset();
    f.reset();
    f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    s = f->openStream(u"x");
    check("reopened");
}

TEST(Cfbfile, TreeStaysBalancedAndOrderedThroughInsertsAndDeletes)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::mt19937 rng(7);
    std::map<std::u16string, bool> names;
    {
        auto f = CompoundFile::create(path, false);
        for (int i = 0; i < 3000; ++i) {
            std::u16string name = u(std::to_string(rng() % 5000));
            if (names.count(name)) {
                f->destroy(name);
                names.erase(name);
            } else {
                f->createStream(name, false);
                names[name] = true;
            }
        }
        checkTree(f->root()->child, nullptr, nullptr);
        f->commit();
    }
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    // Colours and order as stored on disk.
    int bh = checkTree(f->root()->child, nullptr, nullptr);
    EXPECT_LE(bh, 2 + static_cast<int>(std::log2(names.size() + 1)));
    auto list = f->list();
    ASSERT_EQ(list.size(), names.size());
    std::vector<std::u16string> expected;
    for (auto& [n, _] : names)
        expected.push_back(n);
    std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return compareNames(a, b) < 0; });
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].name, expected[i]);
}

TEST(Cfbfile, RenamesKeepTheTreeTheContentsAndOpenStreams)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::mt19937 rng(11);
    std::map<std::u16string, std::string> content; // name -> bytes
    {
        auto f = CompoundFile::create(path, false);
        for (int i = 0; i < 300; ++i) {
            std::u16string name = u(std::to_string(100 + i));
            content[name] = pattern(i % 3 ? 872 + i : 5000 + i, static_cast<unsigned>(i));
            f->createStream(name, false)->write(0, content[name].data(), content[name].size());
        }
        // Single renames, exchanges and rotations of names.
        for (int round = 0; round < 400; ++round) {
            std::vector<std::u16string> names;
            for (auto& [n, _] : content)
                names.push_back(n);
            size_t k = 1 + rng() % 4;
            std::vector<std::u16string> from;
            while (from.size() < k) {
                const std::u16string& n = names[rng() % names.size()];
                if (std::find(from.begin(), from.end(), n) == from.end())
                    from.push_back(n);
            }
            std::vector<std::pair<std::u16string, std::u16string>> renames;
            std::map<std::u16string, std::string> moved;
            for (size_t i = 0; i < k; ++i) {
                // A rotation among the chosen, or a fresh name for a single one.
                std::u16string to = k == 1 ? u(std::to_string(1000 + round)) : from[(i + 1) % k];
                renames.emplace_back(from[i], to);
                moved[to] = content[from[i]];
            }
            f->rename(renames);
            for (auto& r : renames)
                content.erase(r.first);
            for (auto& [n, c] : moved)
                content[n] = c;
        }
        checkTree(f->root()->child, nullptr, nullptr);

        // An open stream keeps working under its new name.
        auto s = f->openStream(u"1399");
        f->rename(u"1399", u"9");
        EXPECT_EQ(s->name(), u"9");
        s->write(0, "new", 3);
        s.reset();
        content[u"9"] = content[u"1399"];
        content[u"9"].replace(0, 3, "new");
        content.erase(u"1399");
        f->commit();
    }
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    checkTree(f->root()->child, nullptr, nullptr);
    auto list = f->list();
    ASSERT_EQ(list.size(), content.size());
    for (const ElementInfo& e : list) {
        ASSERT_TRUE(content.count(e.name));
        EXPECT_EQ(readAll(*f->openStream(e.name)), content[e.name]);
    }
}

TEST(Cfbfile, RefusedRenamesChangeNothing)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    auto f = abcFile(path);
    auto expectStatus = [&](uint32_t status, const std::vector<std::pair<std::u16string, std::u16string>>& r) {
        try {
            f->rename(r);
            ADD_FAILURE() << "no error";
        } catch (const EStorageError& e) {
            EXPECT_EQ(e.status(), status) << e.what();
        }
    };
    expectStatus(STG_E_FILENOTFOUND, {{u"a", u"x"}, {u"missing", u"y"}});
    expectStatus(STG_E_FILEALREADYEXISTS, {{u"a", u"B"}});              // b keeps its name
    expectStatus(STG_E_FILEALREADYEXISTS, {{u"a", u"x"}, {u"b", u"X"}}); // two would be named x
    expectStatus(STG_E_INVALIDPARAMETER, {{u"a", u"x"}, {u"A", u"y"}});  // a named twice
    expectStatus(STG_E_INVALIDNAME, {{u"a", u"x/y"}});
    expectStatus(STG_E_INVALIDNAME, {{u"a", u""}});
    const long writes = f->io().writesDone();
    f->rename({}); // nothing to do
    EXPECT_EQ(f->io().writesDone(), writes);
    std::vector<std::u16string> names;
    for (const ElementInfo& e : f->list())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"b", u"c"}));
    f->rename(u"a", u"A"); // the letter case alone
    EXPECT_EQ(f->list()[0].name, u"A");
    EXPECT_EQ(readAll(*f->openStream(u"A")), "a");
}

TEST(Cfbfile, FreedSpaceIsReused)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    auto f = CompoundFile::create(path, false);
    std::string big = pattern(20000, 1), small = pattern(872, 2);
    auto cycle = [&] {
        for (int i = 0; i < 20; ++i) {
            auto s = f->createStream(u(std::to_string(100 + i)), false);
            s->write(0, small.data(), small.size());
            s->write(0, big.data(), big.size());
            s->resize(500);
        }
        for (int i = 0; i < 20; ++i)
            f->destroy(u(std::to_string(100 + i)));
    };
    cycle();
    auto size1 = std::filesystem::file_size(path);
    for (int k = 0; k < 5; ++k)
        cycle();
    EXPECT_EQ(std::filesystem::file_size(path), size1);
}

TEST(Cfbfile, Errors)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    auto f = CompoundFile::create(path, false);
    auto expectStatus = [](uint32_t status, const std::function<void()>& fn) {
        try {
            fn();
            ADD_FAILURE() << "no error";
        } catch (const EStorageError& e) {
            EXPECT_EQ(e.status(), status) << e.what();
        }
    };
    expectStatus(STG_E_INVALIDNAME, [&] { f->createStream(u"", false); });
    expectStatus(STG_E_INVALIDNAME, [&] { f->createStream(std::u16string(32, u'a'), false); });
    f->createStream(std::u16string(31, u'a'), false);
    for (char16_t c : {u'/', u'\\', u':', u'!'})
        expectStatus(STG_E_INVALIDNAME, [&] { f->createStream(std::u16string(u"a") + c, false); });
    expectStatus(STG_E_FILENOTFOUND, [&] { f->openStream(u"missing"); });
    expectStatus(STG_E_FILENOTFOUND, [&] { f->destroy(u"missing"); });
    auto s = f->createStream(u"x", false);
    expectStatus(STG_E_FILEALREADYEXISTS, [&] { f->createStream(u"X", false); });
    expectStatus(STG_E_ACCESSDENIED, [&] { f->openStream(u"x"); });
    expectStatus(STG_E_ACCESSDENIED, [&] { f->destroy(u"x"); });
    expectStatus(STG_E_DOCFILETOOLARGE, [&] { s->resize(uint64_t(3) << 30); });
    s->write(0, "abc", 3); // the object is still usable after a refused change
    s.reset();
    f->destroy(u"x");
    try {
        CompoundFile::create(path, false);
        ADD_FAILURE();
    } catch (const EStorageError& e) {
        EXPECT_EQ(e.status(), STG_E_FILEALREADYEXISTS);
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
}

TEST(Cfbfile, ReadOnlyOpenNeverWrites)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"a", false)->write(0, "hello", 5);
    }
    std::string before = test::readFile(path);
    {
        auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
        EXPECT_THROW(f->createStream(u"b", false), EStorageError);
        auto s = f->openStream(u"a");
        EXPECT_THROW(s->write(0, "x", 1), EStorageError);
        EXPECT_EQ(readAll(*s), "hello");
        f->commit();
    }
    EXPECT_EQ(test::readFile(path), before);
}

namespace {

// The offset of the directory entry named `name` (ASCII) in a file's bytes.
size_t entryAt(const std::string& bytes, const std::string& name)
{
    std::string raw;
    for (char c : name)
        raw += std::string{c, '\0'};
    raw += std::string(2, '\0');
    for (size_t off = 512; off + kEntrySize <= bytes.size(); off += kEntrySize)
        if (bytes.compare(off, raw.size(), raw) == 0 && bytes[off + eNameLength] == static_cast<char>(raw.size()))
            return off;
    ADD_FAILURE() << "no entry " << name;
    return 0;
}

} // namespace

TEST(Cfbfile, SmallFaultsOfRealFilesAreAccepted)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::string big = pattern(5000, 9);
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"b", false)->write(0, "bbb", 3);
        f->createStream(u"a", false)->write(0, "aaa", 3);
        f->createStream(u"c", false)->write(0, "ccc", 3);
        f->createStream(u"z", false)->write(0, big.data(), big.size());
    }
    std::string bytes = test::readFile(path);
    // A name out of the tree's order, every entry red, garbage in the high
    // word of a version 3 size, another root name, and a file that ends
    // inside its last sector.
    bytes[entryAt(bytes, "a")] = 'd';
    for (const char* n : {"b", "d", "c", "z"})
        bytes[entryAt(bytes, n) + eColor] = 0;
    put32(reinterpret_cast<uint8_t*>(bytes.data()) + entryAt(bytes, "c") + eSize + 4, 0xDEADBEEF);
    size_t root = entryAt(bytes, "Root Entry");
    bytes.replace(root, 8, std::string("R\0O\0O\0T\0", 8));
    bytes[root + eNameLength] = 10;
    ASSERT_EQ(bytes.size() % 512, 0u);
    // The last sector holds the end of "z": drop its unused tail.
    size_t zEnd = bytes.rfind(big.substr(big.size() - 64));
    ASSERT_NE(zEnd, std::string::npos);
    bytes.resize(zEnd + 64);
    test::writeFile(path, bytes);

    auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
    EXPECT_EQ(readAll(*f->openStream(u"d")), "aaa"); // found by the scan after the walk misses
    EXPECT_EQ(readAll(*f->openStream(u"c")), "ccc");
    EXPECT_EQ(readAll(*f->openStream(u"z")), big);
    // It takes changes and stays readable.
    f->createStream(u"e", false)->write(0, "eee", 3);
    f->destroy(u"b");
    f.reset();
    f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    EXPECT_EQ(f->list().size(), 4u);
    EXPECT_EQ(readAll(*f->openStream(u"d")), "aaa");
    EXPECT_EQ(readAll(*f->openStream(u"e")), "eee");
}

// A directory entry that the tree does not reach (another program's
// leftover) is not ours: opening for writing and committing without a change
// leaves every byte, and a change leaves that entry.
TEST(Cfbfile, UnreachableEntriesAreLeftAsTheyAre)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"a", false)->write(0, "aaa", 3);
        f->createStream(u"b", false)->write(0, "bbb", 3);
    }
    std::string bytes = test::readFile(path);
    const size_t root = entryAt(bytes, "Root Entry");
    std::string orphan = bytes.substr(entryAt(bytes, "b"), kEntrySize);
    orphan[0] = 'q';
    ASSERT_EQ(bytes[root + 3 * kEntrySize + eType], kTypeEmpty);
    bytes.replace(root + 3 * kEntrySize, kEntrySize, orphan);
    test::writeFile(path, bytes);

    CompoundFile::open(path, CompoundFile::Access::ReadWrite)->commit();
    EXPECT_EQ(test::readFile(path), bytes);
    {
        auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
        EXPECT_EQ(f->list().size(), 2u);
        f->openStream(u"a")->write(3, "A", 1);
        f->commit();
    }
    EXPECT_EQ(test::readFile(path).substr(root + 3 * kEntrySize, kEntrySize), orphan);
}

TEST(Cfbfile, MalformedFilesAreRefusedWithTheStorageError)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"s", false)->write(0, pattern(9000, 1).data(), 9000);
        f->createStream(u"t", false)->write(0, "tt", 2);
    }
    const std::string good = test::readFile(path);
    auto refused = [&](const std::string& bytes, const char* what) {
        test::writeFile(path, bytes);
        try {
            auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
            for (const ElementInfo& e : f->list())
                readAll(*f->openStream(e.name));
            ADD_FAILURE() << what << ": accepted";
        } catch (const EStorageError& e) {
            EXPECT_NE(std::string(e.what()).find(path + ": "), std::string::npos) << e.what();
        }
    };
    auto patched = [&](size_t off, uint32_t value) {
        std::string b = good;
        put32(reinterpret_cast<uint8_t*>(b.data()) + off, value);
        return b;
    };
    refused(good.substr(0, 400), "truncated header");
    refused(patched(0, 0x12345678), "signature");
    refused(patched(hFatSectors, 0x7FFFFFFF), "absurd table count");
    refused(patched(hDifat, 5000), "table sector beyond the file");
    refused(patched(hFirstDirSector, 0xFFFFFFFE), "no directory");
    size_t s = entryAt(good, "s");
    refused(patched(s + eStart, 4000), "stream chain beyond the file");
    refused(patched(s + eSize, 90000000), "stream size beyond the file");
    // A FAT chain that loops on itself.
    std::string loop = good;
    uint32_t start = get32(reinterpret_cast<const uint8_t*>(good.data()) + s + eStart);
    uint32_t fat0 = get32(reinterpret_cast<const uint8_t*>(good.data()) + hDifat);
    put32(reinterpret_cast<uint8_t*>(loop.data()) + 512 * (fat0 + 1) + 4 * (start + 1), start);
    refused(loop, "cyclic chain");
    // Nothing of this is written by an open for writing.
    test::writeFile(path, loop);
    EXPECT_THROW(CompoundFile::open(path, CompoundFile::Access::ReadWrite), EStorageError);
    EXPECT_EQ(test::readFile(path), loop);
}
