// Compound files as other programs shape them: a storage of 10,000 streams as
// one sibling chain (libgsf's writer, all black; Wine's ole32, all red), size
// fields their chains cannot hold, and a mini table that claims more than the
// file has.

#include "Testutil.h"
#include "common/Codepage.h"
#include "storage/Cfbtest.h"
#include "storage/Project.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace volm;
using namespace volm::cfb;
using namespace volm::test;

namespace {

constexpr int kFirst = 101;
constexpr int kCount = 10000;

std::string topicStream(const std::string& name, const std::string& text)
{
    std::string h(68, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(h.data());
    put32(p, 1);
    std::memcpy(h.data() + 4, name.data(), name.size());
    put32(p + 56, 68);
    put32(p + 60, static_cast<uint32_t>(text.size() + 1));
    put32(p + 64, static_cast<uint32_t>(68 + text.size() + 1));
    return h + text + std::string(1, '\0'); // and no reserved block
}

std::string textOf(int n) { return "text of topic " + std::to_string(n); }

// A version 3 file whose root holds kCount topic streams (in the mini
// stream) linked as one chain of right siblings in name order, every entry of
// the given colour: the shape Wine's ole32 (red) and libgsf (black) write.
std::string chainFile(bool red)
{
    const uint32_t ss = 512, per = ss / 4;
    std::vector<std::string> data;
    uint32_t miniUnits = 0;
    for (int n = kFirst; n < kFirst + kCount; ++n) {
        data.push_back(topicStream("Topic " + std::to_string(n), textOf(n)));
        miniUnits += static_cast<uint32_t>((data.back().size() + 63) / 64);
    }
    auto over = [](uint32_t a, uint32_t b) { return (a + b - 1) / b; };
    uint32_t dirSectors = over(kCount + 1, ss / kEntrySize), miniFat = over(miniUnits, per);
    uint32_t miniSectors = over(miniUnits * 64, ss), fatSectors = 1;
    while (fatSectors * per < fatSectors + dirSectors + miniFat + miniSectors)
        ++fatSectors;
    EXPECT_LE(fatSectors, 109u);
    uint32_t dir0 = fatSectors, miniFat0 = dir0 + dirSectors, mini0 = miniFat0 + miniFat;
    uint32_t total = mini0 + miniSectors;

    std::string b(static_cast<size_t>(total + 1) * ss, '\0');
    auto at = [&](uint64_t off) { return reinterpret_cast<uint8_t*>(b.data()) + off; };
    auto sector = [&](uint32_t s) { return at((static_cast<uint64_t>(s) + 1) * ss); };
    std::memcpy(at(0), kSignature, 8);
    put16(at(hMinorVersion), 0x3E);
    put16(at(hMajorVersion), 3);
    put16(at(hByteOrder), 0xFFFE);
    put16(at(hSectorShift), 9);
    put16(at(hMiniSectorShift), 6);
    put32(at(hFatSectors), fatSectors);
    put32(at(hFirstDirSector), dir0);
    put32(at(hMiniCutoff), kMiniCutoff);
    put32(at(hFirstMiniFat), miniFat0);
    put32(at(hMiniFatSectors), miniFat);
    put32(at(hFirstDifat), kEndOfChain);
    for (uint32_t i = 0; i < kHeaderDifat; ++i)
        put32(at(hDifat + 4 * i), i < fatSectors ? i : kFreeSect);
    // The allocation table: its own sectors, then three runs of sectors.
    uint8_t* fat = sector(0);
    for (uint32_t i = 0; i < fatSectors * per; ++i)
        put32(fat + 4 * i, i < fatSectors ? kFatSect : i < total ? i + 1 : kFreeSect);
    for (uint32_t end : {miniFat0, mini0, total})
        put32(fat + 4 * (end - 1), kEndOfChain);
    // The directory: the root, then the chain.
    uint8_t* dir = sector(dir0);
    for (uint32_t k = 0; k < dirSectors * ss / kEntrySize; ++k)
        for (size_t link : {eLeft, eRight, eChild})
            put32(dir + k * kEntrySize + link, kNoStream);
    auto entry = [&](uint32_t slot, const std::u16string& name, uint8_t type, uint32_t start, uint64_t size) {
        uint8_t* e = dir + slot * kEntrySize;
        for (size_t i = 0; i < name.size(); ++i)
            put16(e + eName + 2 * i, name[i]);
        put16(e + eNameLength, static_cast<uint16_t>(2 * name.size() + 2));
        e[eType] = type;
        e[eColor] = red && type != kTypeRoot ? 0 : 1;
        put32(e + eStart, start);
        put64(e + eSize, size);
    };
    entry(0, u"Root Entry", kTypeRoot, mini0, static_cast<uint64_t>(miniUnits) * 64);
    put32(dir + eChild, 1);
    uint8_t* minifat = sector(miniFat0);
    for (uint32_t i = 0; i < miniFat * per; ++i)
        put32(minifat + 4 * i, kFreeSect);
    uint32_t unit = 0;
    for (int i = 0; i < kCount; ++i) {
        const std::string& d = data[i];
        entry(1 + i, utf8ToUtf16(std::to_string(kFirst + i)), kTypeStream, unit, d.size());
        put32(dir + (1 + i) * kEntrySize + eRight, i + 1 < kCount ? 2 + i : kNoStream);
        uint32_t n = static_cast<uint32_t>((d.size() + 63) / 64);
        for (uint32_t k = 0; k < n; ++k)
            put32(minifat + 4 * (unit + k), k + 1 < n ? unit + k + 1 : kEndOfChain);
        std::memcpy(sector(mini0) + static_cast<uint64_t>(unit) * 64, d.data(), d.size());
        unit += n;
    }
    return b;
}

// Depth of the root's tree, counted level by level (a chain of 10,000
// entries would take a recursive walk's stack with it).
size_t depthOf(const Entry* storage)
{
    size_t depth = 0;
    std::vector<const Entry*> level;
    if (storage->child)
        level.push_back(storage->child);
    while (!level.empty()) {
        ++depth;
        std::vector<const Entry*> below;
        for (const Entry* e : level)
            for (const Entry* c : {e->left, e->right})
                if (c)
                    below.push_back(c);
        level.swap(below);
    }
    return depth;
}

// The same project written by libgsf's gsf, from one file per topic.
bool writeProjectWithGsf(const TempDir& dir, const std::string& path)
{
    std::filesystem::create_directory(dir / "topics");
    std::vector<std::string> argv{"gsf", "createole", path};
    for (int n = kFirst; n < kFirst + kCount; ++n) {
        std::string file = (dir / "topics" / std::to_string(n)).string();
        test::writeFile(file, topicStream("Topic " + std::to_string(n), textOf(n)));
        argv.push_back(file);
    }
    test::RunResult r = test::run(argv);
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 300);
    return r.status == 0;
}

// What olefile and gsf make of the file: the names they list and the text
// of the named streams.
void checkWithOtherReaders(const std::string& path, const std::vector<std::string>& names)
{
    std::string python = test::pythonWith({"olefile"});
    if (!python.empty()) {
        std::vector<std::string> argv{python, "-c",
                                      "import olefile,sys\n"
                                      "o=olefile.OleFileIO(sys.argv[1])\n"
                                      "print(len(o.listdir()))\n"
                                      "for n in sys.argv[2:]: print(o.openstream(n).read()[68:].split(b'\\0')[0].decode())\n",
                                      path};
        argv.insert(argv.end(), names.begin(), names.end());
        test::RunResult r = test::run(argv);
        ASSERT_EQ(r.status, 0) << r.err.substr(0, 500);
        std::string want = std::to_string(kCount + 1) + "\n";
        for (const std::string& n : names)
            want += n == "10101" ? "appended\n" : textOf(std::stoi(n)) + "\n";
        EXPECT_EQ(r.out, want);
    }
    if (test::haveProgram("gsf")) {
        test::RunResult list = test::run({"gsf", "list", path});
        ASSERT_EQ(list.status, 0) << list.err.substr(0, 300);
        EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), kCount + 3); // the file and the root too
        // The appended topic: 68 + 9 + 804 bytes.
        EXPECT_NE(list.out.find("          881 10101\n"), std::string::npos);
    }
}

} // namespace

TEST(Cfbwild, TenThousandDeepChainsListReadAndTakeATopic)
{
    TempDir dir;
    struct Shape {
        const char* what;
        bool gsf, red, others; // others: check the result with olefile and gsf
    };
    // The chain built by hand all black is libgsf's shape again: olefile and
    // gsf see it once, as libgsf wrote it.
    const Shape shapes[] = {{"libgsf", true, false, true}, {"ole32 (all red)", false, true, true},
                            {"all black", false, false, false}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        std::string path = (dir / (std::string(shape.red ? "red" : "black") + (shape.gsf ? "gsf" : "") + ".volm")).string();
        if (shape.gsf) {
            if (!test::haveProgram("gsf")) {
                std::cout << "libgsf-bin (gsf) is not installed: the file libgsf writes is not tried\n";
                continue;
            }
            if (!writeProjectWithGsf(dir, path))
                continue;
        } else {
            test::writeFile(path, chainFile(shape.red));
        }
        {
            // Every stream by name, the deepest too.
            auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
            ASSERT_EQ(depthOf(f->root()), static_cast<size_t>(kCount));
            ASSERT_EQ(f->list().size(), static_cast<size_t>(kCount));
            for (int n = kFirst; n < kFirst + kCount; ++n) {
                std::string data = readAll(*f->openStream(utf8ToUtf16(std::to_string(n))));
                ASSERT_EQ(data.substr(68, data.find('\0', 68) - 68), textOf(n)) << n;
            }
        }
        {
            // As a project: every topic, and one more appended.
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            ASSERT_EQ(p.TopicCount(), static_cast<size_t>(kCount));
            EXPECT_EQ(p.GetText(kCount - 1), textOf(kFirst + kCount - 1));
            size_t i = p.AddTopic("New topic");
            p.CommitText(i, "appended");
            p.CloseProject();
        }
        {
            // The chain is now a balanced red-black tree in name order.
            auto f = CompoundFile::open(path, CompoundFile::Access::ReadWrite);
            EXPECT_LE(depthOf(f->root()), 28u); // 2 log2(n + 1)
            checkTree(f->root()->child, nullptr, nullptr);
            EXPECT_EQ(f->list().size(), static_cast<size_t>(kCount + 1));
            TProject p;
            f.reset();
            p.Open(path, TProject::omOpenExisting);
            ASSERT_EQ(p.TopicCount(), static_cast<size_t>(kCount + 1));
            EXPECT_EQ(p.Topic(kCount).Item->Key, "10101");
            EXPECT_EQ(p.GetText(kCount), "appended");
            EXPECT_EQ(p.GetText(0), textOf(kFirst));
        }
        if (shape.others)
            checkWithOtherReaders(path, {"101", "5000", "10100", "10101"});
    }
}

namespace {

// A version 4 file (4096-byte sectors): the FAT in sector 0, the directory in
// sector 1, and one stream "Big" of `sectors` sectors from sector 2 whose
// size field says `size`.
std::string version4File(uint64_t size, uint32_t sectors)
{
    const uint32_t ss = 4096;
    std::string b((3 + sectors) * ss, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(b.data());
    std::memcpy(p, kSignature, 8);
    put16(p + hMinorVersion, 0x3E);
    put16(p + hMajorVersion, 4);
    put16(p + hByteOrder, 0xFFFE);
    put16(p + hSectorShift, 12);
    put16(p + hMiniSectorShift, 6);
    put32(p + hDirSectors, 1);
    put32(p + hFatSectors, 1);
    put32(p + hFirstDirSector, 1);
    put32(p + hMiniCutoff, kMiniCutoff);
    put32(p + hFirstMiniFat, kEndOfChain);
    put32(p + hFirstDifat, kEndOfChain);
    for (size_t i = 0; i < kHeaderDifat; ++i)
        put32(p + hDifat + 4 * i, i == 0 ? 0 : kFreeSect);
    uint8_t* fat = p + ss;
    for (uint32_t i = 0; i < ss / 4; ++i)
        put32(fat + 4 * i, kFreeSect);
    put32(fat, kFatSect);
    put32(fat + 4, kEndOfChain);
    for (uint32_t i = 0; i < sectors; ++i)
        put32(fat + 4 * (2 + i), i + 1 < sectors ? 3 + i : kEndOfChain);
    uint8_t* dir = p + 2 * ss;
    for (uint32_t k = 0; k < ss / kEntrySize; ++k) {
        put32(dir + k * kEntrySize + eLeft, kNoStream);
        put32(dir + k * kEntrySize + eRight, kNoStream);
        put32(dir + k * kEntrySize + eChild, kNoStream);
    }
    auto entry = [&](uint32_t slot, std::u16string_view name, uint8_t type, uint32_t start, uint64_t sz) {
        uint8_t* e = dir + slot * kEntrySize;
        for (size_t i = 0; i < name.size(); ++i)
            put16(e + eName + 2 * i, name[i]);
        put16(e + eNameLength, static_cast<uint16_t>(2 * name.size() + 2));
        e[eType] = type;
        e[eColor] = 1;
        put32(e + eStart, start);
        put64(e + eSize, sz);
    };
    entry(0, u"Root Entry", kTypeRoot, kEndOfChain, 0);
    put32(dir + eChild, 1);
    entry(1, u"Big", kTypeStream, 2, size);
    std::fill(b.begin() + 3 * ss, b.end(), 'B');
    return b;
}

} // namespace

TEST(Cfbwild, SizesTheirChainsCannotHoldAreRefusedNeverReadPast)
{
    TempDir dir;
    std::string path = (dir / "big.cfb").string();
    // Sizes whose sector count overflows, or that claim more than the chain
    // holds: listed as they are, refused when opened.
    for (uint64_t size : {UINT64_MAX, UINT64_MAX - 4095, uint64_t{1} << 40, uint64_t{3 * 4096 + 1}}) {
        SCOPED_TRACE(size);
        test::writeFile(path, version4File(size, 3));
        auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
        ASSERT_EQ(f->list().size(), 1u);
        EXPECT_EQ(f->list()[0].size, size);
        try {
            f->openStream(u"Big");
            ADD_FAILURE() << "opened";
        } catch (const EStorageError& e) {
            EXPECT_EQ(e.status(), STG_E_DOCFILECORRUPT);
            EXPECT_NE(std::string(e.what()).find("\"Big\" has a broken sector chain"), std::string::npos) << e.what();
        }
        EXPECT_THROW(CompoundFile::open(path, CompoundFile::Access::ReadWrite), EStorageError);
    }
    // The chain that holds it exactly reads whole.
    test::writeFile(path, version4File(3 * 4096, 3));
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    EXPECT_EQ(readAll(*f->openStream(u"Big")), std::string(3 * 4096, 'B'));
}

TEST(Cfbwild, MiniTableLargerThanTheFileIsReadNotWritten)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    std::string big(9000, 'b');
    {
        auto f = CompoundFile::create(path, false);
        f->createStream(u"small", false)->write(0, "small", 5);
        f->createStream(u"big", false)->write(0, big.data(), big.size());
    }
    std::string bytes = test::readFile(path);
    put32(reinterpret_cast<uint8_t*>(bytes.data()) + hMiniFatSectors, 0x00FFFFFF);
    test::writeFile(path, bytes);

    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    EXPECT_EQ(f->list().size(), 2u);
    EXPECT_EQ(readAll(*f->openStream(u"big")), big);
    EXPECT_EQ(readAll(*f->openStream(u"small")), "small");
    f.reset();
    EXPECT_THROW(CompoundFile::open(path, CompoundFile::Access::ReadWrite), EStorageError);
    EXPECT_EQ(test::readFile(path), bytes);
}

TEST(Cfbwild, ListedStreamsAreFoundWhateverTheTreeSays)
{
    TempDir dir;
    std::string path = (dir / "a.cfb").string();
    abcFile(path)->commit(); // no stale copies of entries left in free slots
    // The tree is b over a and c. "b" made a storage and "a" renamed "b":
    // the walk meets the storage, the listing holds both.
    std::string bytes = test::readFile(path);
    auto entry = [&](char16_t name) -> uint8_t* {
        for (size_t off = 512; off + kEntrySize <= bytes.size(); off += kEntrySize) {
            auto* e = reinterpret_cast<uint8_t*>(bytes.data()) + off;
            if (e[eType] == kTypeStream && get16(e + eNameLength) == 4 && get16(e + eName) == name)
                return e;
        }
        ADD_FAILURE() << "no entry " << static_cast<char>(name);
        return reinterpret_cast<uint8_t*>(bytes.data());
    };
    entry(u'b')[eType] = kTypeStorage;
    put16(entry(u'a') + eName, u'b');
    test::writeFile(path, bytes);
    const std::u16string name = u"b", other = u"a";
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    int named = 0;
    for (const ElementInfo& e : f->list())
        named += e.name == name;
    ASSERT_EQ(named, 2);
    EXPECT_EQ(readAll(*f->openStream(name)), utf16ToUtf8(other));
}
