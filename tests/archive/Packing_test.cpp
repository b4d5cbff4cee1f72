// The member packer: the store-or-deflate rule and the deflate types' flag
// bits, archives written from packed members (read back by our own walk,
// unzip and Python's zipfile), their size known before they are written, and
// the same bytes whatever the number of packing threads.

#include "Ziptestutil.h"
#include "archive/Deflate.h"
#include "archive/Packpool.h"
#include "archive/Unzip.h"
#include "archive/Zipwriter.h"
#include "common/Crc32.h"
#include "common/Fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <zlib.h>

using namespace volm;
using namespace volm::test;

namespace {

std::string prose(size_t n, unsigned seed)
{
    static const char* words[] = {"\xea\xed\xe8\xe3\xe0 ", "\xec\xee\xf0\xe5 ", "\xe4\xee\xec ", "\xe7\xe8\xec\xe0, ",
                                  "\xe2\xe5\xf7\xe5\xf0. ", "\xe4\xee\xf0\xee\xe3\xe0 ", "\r\n"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n)
        s += words[rng() % 7];
    s.resize(n);
    return s;
}

// Raw inflate with zlib, as phones do.
std::string inflateRaw(const std::string& data, size_t size)
{
    std::string out(size, '\0');
    z_stream zs{};
    inflateInit2(&zs, -MAX_WBITS);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int ret = inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    EXPECT_EQ(ret, Z_STREAM_END);
    EXPECT_EQ(zs.avail_out, 0u);
    return out;
}

// Writes members through a pool of `threads` into a file; returns its bytes.
std::string writeArchive(const fs::path& path, const std::vector<std::string>& contents, unsigned threads)
{
    TPackPool pool(threads);
    TFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    TZipWriter w(fd.get(), path.string());
    uint64_t predicted = TZipWriter::kEndCost;
    auto take = [&] {
        TPackedMember m = pool.Next();
        predicted += TZipWriter::EntryCost(m);
        w.Add(m, 0x5A210000u);
    };
    for (size_t i = 0; i < contents.size(); ++i) {
        pool.Submit([name = "m/" + std::to_string(i), bytes = contents[i]](TDeflater& d) {
            return PackBytes(name, bytes, dtDeflateX, d);
        }, contents[i].size());
        while (pool.Full())
            take();
    }
    while (pool.Pending())
        take();
    w.Finish();
    EXPECT_EQ(w.Size(), predicted);
    EXPECT_EQ(w.Count(), contents.size());
    return readFile(path);
}

} // namespace

TEST(Packing, StoreOrDeflateAndTheFlagBitsOfEachType)
{
    TDeflater d;
    TPackedMember empty = PackBytes("e", "", dtDeflateX, d);
    EXPECT_EQ(empty.method, 0);
    EXPECT_EQ(empty.flags, 0);
    EXPECT_EQ(empty.crc, 0u);
    EXPECT_TRUE(empty.data.empty());

    // A few bytes that would grow: stored, without flag bits.
    TPackedMember tiny = PackBytes("t", "Tales\r\n", dtDeflateX, d);
    EXPECT_EQ(tiny.method, 0);
    EXPECT_EQ(tiny.flags, 0);
    EXPECT_EQ(tiny.data, "Tales\r\n");
    EXPECT_EQ(tiny.crc, crc32("Tales\r\n", 7));

    // 256 bytes of noise grow too and are stored; 257 are deflated all the same.
    EXPECT_EQ(PackBytes("n", randomBytes(256, 1), dtDeflateX, d).method, 0);
    TPackedMember noise = PackBytes("n", randomBytes(257, 1), dtDeflateX, d);
    EXPECT_EQ(noise.method, 8);
    EXPECT_EQ(noise.flags, 0x0002);
    EXPECT_GT(noise.data.size(), 257u);
    EXPECT_EQ(inflateRaw(noise.data, 257), randomBytes(257, 1));

    const std::string text = prose(5000, 2);
    struct {
        TDeflateType type;
        uint16_t method, flags;
    } cases[] = {{dtDeflateS, 0, 0}, {dtDeflateF, 8, 0x0004}, {dtDeflateN, 8, 0}, {dtDeflateX, 8, 0x0002}};
    size_t fastSize = 0;
    for (auto c : cases) {
        TPackedMember m = PackBytes("x", text, c.type, d);
        EXPECT_EQ(m.method, c.method) << c.type;
        EXPECT_EQ(m.flags, c.flags) << c.type;
        EXPECT_EQ(m.size, text.size());
        EXPECT_EQ(m.crc, crc32(text.data(), text.size()));
        EXPECT_EQ(m.method == 0 ? m.data : inflateRaw(m.data, text.size()), text) << c.type;
        if (c.type == dtDeflateF)
            fastSize = m.data.size();
        if (c.type == dtDeflateX) {
            EXPECT_LE(m.data.size(), fastSize); // the strongest level packs best
        }
    }
}

// What a book's jar stores rather than deflates: files of the archive
// extensions (by the last name component, letter case aside), everything
// with cmStore; and its names in the OEM code page.
TEST(Packing, TheJarSettingsOfABook)
{
    const TJarSettings book;
    EXPECT_EQ(book.DeflateType, dtDeflateX);
    for (const char* deflated : {"texts/itm1", "topics.txt", "a.b/c", "notes.zipped", "x.u", "dir.zip/file",
                                 "dir.zip\\file"})
        EXPECT_EQ(book.MemberDeflateType(deflated), dtDeflateX) << deflated;
    for (const char* stored : {"x.jar", "dir/NOTES.zip", "a.Pk_", "b.uu", "b.UUE", "c.z", "d.tgz", "e.PK3"})
        EXPECT_EQ(book.MemberDeflateType(stored), dtDeflateS) << stored;
    TJarSettings plain = book;
    plain.CompressMethod = cmStore;
    EXPECT_EQ(plain.MemberDeflateType("texts/itm1"), dtDeflateS);

    const std::string cyrillic = "\xF4\xE0\xE9\xEB.txt"; // "файл.txt" in Windows-1251
    EXPECT_EQ(book.StoredName(cyrillic), "\xE4\xA0\xA9\xAB.txt"); // and in CP866
    plain.TranslateOemChar = false;
    EXPECT_EQ(plain.StoredName(cyrillic), cyrillic);
}

TEST(Packing, ArchivesReadBackAndAreTheSameForAnyNumberOfThreads)
{
    TempDir dir;
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 40; ++i)
        contents.push_back(i % 7 == 3 ? randomBytes(i * 97, i) : prose(i * i * 53, i));
    const std::string one = writeArchive(dir / "one.zip", contents, 1);
    const std::string three = writeArchive(dir / "three.zip", contents, 3);
    EXPECT_EQ(one, three);

    TZipListing z = listZip(one);
    ASSERT_EQ(z.entries.size(), contents.size());
    for (size_t i = 0; i < contents.size(); ++i) {
        const TZipEntry& e = z.entries[i];
        EXPECT_EQ(e.name, "m/" + std::to_string(i));
        EXPECT_EQ(e.size, contents[i].size());
        EXPECT_EQ(e.madeBy, 20);
        EXPECT_EQ(e.needed, 20);
        EXPECT_EQ(e.internalAttr, 1);
        EXPECT_EQ(e.externalAttr, 0x20u);
        EXPECT_EQ(e.extraLen, 0);
        EXPECT_EQ(one.substr(e.offset, 4), std::string("PK\x03\x04", 4));
        EXPECT_EQ((e.flags & 0x0008), 0); // no data descriptor
    }
    std::optional<std::string> read =
        expectZipToolsAccept(dir / "one.zip", "print(sum(len(z.read(n)) for n in z.namelist()))\n");
    size_t total = 0;
    for (const std::string& c : contents)
        total += c.size();
    if (read) {
        EXPECT_EQ(*read, std::to_string(total) + "\n");
    }
}

// A failure of a packing job reaches the caller in order, and the pool goes
// on with the jobs after it.
TEST(Packing, AFailedJobIsRaisedInItsTurn)
{
    TPackPool pool(2);
    for (int i = 0; i < 5; ++i)
        pool.Submit([i](TDeflater& d) {
            if (i == 2)
                throw std::runtime_error("job 2");
            return PackBytes(std::to_string(i), prose(1000, i), dtDeflateN, d);
        }, 1000);
    EXPECT_EQ(pool.Next().name, "0");
    EXPECT_EQ(pool.Next().name, "1");
    EXPECT_THROW(pool.Next(), std::runtime_error);
    EXPECT_EQ(pool.Next().name, "3");
    EXPECT_EQ(pool.Next().name, "4");
    EXPECT_FALSE(pool.Pending());
}

// The template reader also reads an archive held in memory into memory.
TEST(Packing, AnArchiveInMemoryExtractsIntoMemory)
{
    TempDir dir;
    std::vector<std::string> contents{prose(3000, 7), "", "short", randomBytes(600, 3)};
    const std::string zip = writeArchive(dir / "a.jar", contents, 2);
    TUnJar unjar;
    unjar.FileSpec = {"*.*"};
    unjar.SetArchiveData({reinterpret_cast<const uint8_t*>(zip.data()), zip.size()}, "a.jar");
    EXPECT_EQ(unjar.ArcType(), atJar);
    std::vector<TExtractedMember> got = unjar.ExtractToMemory();
    EXPECT_EQ(unjar.FailureCount(), 0u) << unjar.FirstFailure();
    ASSERT_EQ(got.size(), contents.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, "m/" + std::to_string(i));
        EXPECT_EQ(got[i].bytes, contents[i]);
    }
    // A damaged member is reported and left out.
    std::string bad = zip;
    bad[listZip(zip).entries[0].offset + 30 + 3 + 10] ^= 0x55;
    unjar.SetArchiveData({reinterpret_cast<const uint8_t*>(bad.data()), bad.size()}, "a.jar");
    got = unjar.ExtractToMemory();
    EXPECT_EQ(got.size(), contents.size() - 1);
    EXPECT_GE(unjar.FailureCount(), 1u);
    EXPECT_THROW(unjar.RaiseFailures("reading"), EArchiveError);
}
