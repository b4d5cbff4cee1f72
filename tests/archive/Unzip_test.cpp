#include "Ziptestutil.h"
#include "archive/Unzip.h"
#include "common/Crc32.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <random>
#include <sys/stat.h>
#include <zlib.h>

using namespace volm;
using namespace volm::test;

namespace {

std::string text(size_t n)
{
    std::string s;
    for (size_t i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i * 7919 % 1000) + " of the book\r\n";
    s.resize(n);
    return s;
}

std::map<std::string, std::string> templateFiles()
{
    return {
        {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n"},
        {"images/Font.png", randomBytes(70000, 1)},
        {"texts/itm1", text(100000)},
        {"files.txt", ""},
        {"LumeriaMain.class", randomBytes(3000, 2)},
    };
}

void writeTree(const fs::path& root, const std::map<std::string, std::string>& files)
{
    for (auto& [name, bytes] : files) {
        fs::create_directories((root / name).parent_path());
        writeFile(root / name, bytes);
    }
}

struct TExtraction {
    int count = 0;
    std::vector<TReport> reports;
};

TExtraction extract(const fs::path& archive, const fs::path& dir,
                    const std::vector<std::string>& masks = {"*.*"})
{
    TExtraction r;
    TUnJar un;
    un.FileSpec = masks;
    un.DateAttribute = daSysDate;
    un.RestoreFileAttr = false;
    un.OnError = [&r](TZipCommon&, const std::string& name, const std::string&,
                      const std::string& volume, int code) {
        EXPECT_EQ(volume, "0");
        r.reports.push_back({name, code});
    };
    un.SetArchiveFile(archive.string());
    un.SetExtractDir(dir.string());
    r.count = un.Extract();
    return r;
}

void expectTree(const fs::path& dir, const std::map<std::string, std::string>& files)
{
    for (auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::is_regular_file(dir / name));
        EXPECT_TRUE(readFile(dir / name) == bytes);
    }
}

std::string python()
{
    static std::string py = pythonWith({"zipfile"});
    return py;
}

// Writes the archive `out` with Python: `body` runs with the archive open
// for writing as `z`.
void pythonZip(const fs::path& out, const std::string& body)
{
    std::string code = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n" + body + "z.close()\n";
    auto r = run({python(), "-c", code, out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
}

struct TMember {
    std::string name; // UTF-8
    std::string data;
    std::string method; // zipfile's constant: "ZIP_STORED", "ZIP_DEFLATED", "ZIP_BZIP2"
};

// Writes the archive `out` with Python's zipfile, holding `members` in order.
// Names go over as hex and data through files beside the archive, so any
// bytes come through as given.
void pythonZip(const fs::path& out, const std::vector<TMember>& members)
{
    static const char digits[] = "0123456789abcdef";
    std::string body;
    for (size_t i = 0; i < members.size(); ++i) {
        std::string name;
        for (unsigned char c : members[i].name)
            name += {digits[c >> 4], digits[c & 15]};
        writeFile(out.string() + "." + std::to_string(i), members[i].data);
        body += "z.writestr(bytes.fromhex('" + name + "').decode(), open(sys.argv[1] + '." + std::to_string(i) +
                "', 'rb').read(), zipfile." + members[i].method + ")\n";
    }
    pythonZip(out, body);
    for (size_t i = 0; i < members.size(); ++i)
        fs::remove(out.string() + "." + std::to_string(i));
}

} // namespace

TEST(TUnJar, ExtractsArchivesOfZipPythonAndJar)
{
    TempDir tmp;
    auto files = templateFiles();
    writeTree(tmp / "src", files);
    fs::create_directories(tmp / "src" / "emptydir");

    // Info-ZIP's zip, folder entries included.
    auto z = run({"sh", "-c", "cd '" + (tmp / "src").string() + "' && zip -q -r -9 ../zip.zip ."});
    ASSERT_EQ(z.status, 0) << z.err;
    // Python, deflated and stored members written to a file.
    pythonZip(tmp / "py.zip",
              "import os\n"
              "root = sys.argv[1].replace('py.zip', 'src')\n"
              "for d, _, fs in os.walk(root):\n"
              "    for f in fs:\n"
              "        p = os.path.join(d, f); n = os.path.relpath(p, root)\n"
              "        z.write(p, n, zipfile.ZIP_STORED if n.endswith('.png') else zipfile.ZIP_DEFLATED)\n");
    // Python streaming to a pipe: every member has a data descriptor.
    auto s = run({python(), "-c",
                  "import sys, os, zipfile\n"
                  "root = sys.argv[1]\n"
                  "z = zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED)\n"
                  "for d, _, fs in os.walk(root):\n"
                  "    for f in fs:\n"
                  "        p = os.path.join(d, f)\n"
                  "        z.write(p, os.path.relpath(p, root), zipfile.ZIP_STORED if f.endswith('.class') else zipfile.ZIP_DEFLATED)\n"
                  "z.close()\n",
                  (tmp / "src").string()});
    ASSERT_EQ(s.status, 0) << s.err;
    writeFile(tmp / "stream.zip", s.out);
    TZipListing streamed = listZip(s.out);
    ASSERT_FALSE(streamed.entries.empty());
    for (auto& e : streamed.entries)
        EXPECT_TRUE(e.flags & 0x0008) << e.name;   // really data descriptors
    std::vector<fs::path> archives = {tmp / "zip.zip", tmp / "py.zip", tmp / "stream.zip"};
    // The JDK's jar (its own manifest replaces ours; data descriptors too).
    if (haveProgram("jar")) {
        auto j = run({"jar", "cf", (tmp / "t.jar").string(), "-C", (tmp / "src").string(), "."});
        ASSERT_EQ(j.status, 0) << j.err;
        archives.push_back(tmp / "t.jar");
    }

    for (const fs::path& a : archives) {
        SCOPED_TRACE(a.filename().string());
        TempDir out;
        TExtraction r = extract(a, out.path());
        EXPECT_TRUE(r.reports.empty()) << r.reports.size() << " " << (r.reports.empty() ? "" : r.reports[0].name);
        auto expect = files;
        if (a.extension() == ".jar")
            expect.erase("META-INF/MANIFEST.MF");
        expectTree(out.path(), expect);
        EXPECT_FALSE(fs::exists(out / "emptydir"));   // folder entries create nothing
        EXPECT_EQ(r.count, static_cast<int>(a.extension() == ".jar" ? files.size() : files.size()));
    }
}

TEST(TUnJar, DatesAreTheExtractionTimeAndFilesAreReplaced)
{
    TempDir tmp;
    pythonZip(tmp / "a.jar",
              "i = zipfile.ZipInfo('old.txt', (1990, 1, 1, 0, 0, 0))\n"
              "z.writestr(i, 'fresh')\n"
              "z.writestr('ro.txt', 'new')\n");
    TempDir out;
    writeFile(out / "old.txt", "stale contents that are longer");
    writeFile(out / "ro.txt", "keep");
    chmod((out / "ro.txt").c_str(), 0444);
    time_t before = time(nullptr);
    TExtraction r = extract(tmp / "a.jar", out.path());
    time_t after = time(nullptr);
    EXPECT_EQ(readFile(out / "old.txt"), "fresh");
    struct stat st {};
    ASSERT_EQ(stat((out / "old.txt").c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, before - 2);
    EXPECT_LE(st.st_mtime, after);
    EXPECT_EQ(st.st_mtime % 2, 0);   // DOS time: two-second steps
    // A read-only file is not replaced, even for a privileged user.
    EXPECT_EQ(readFile(out / "ro.txt"), "keep");
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].code, 25235);
    EXPECT_EQ(r.reports[0].name, (out / "ro.txt").string());
    EXPECT_EQ(r.count, 1);
}

TEST(TUnJar, CorruptMembersAreReportedAndTheRestExtracted)
{
    TempDir tmp;
    std::string big = text(200000);
    pythonZip(tmp / "c.zip", {{"1-crc.txt", "stored data", "ZIP_STORED"},
                              {"2-data.txt", big, "ZIP_DEFLATED"},
                              {"3-header.txt", "lost", "ZIP_STORED"},
                              {"4-method.txt", "bz", "ZIP_BZIP2"},
                              {"5-good.txt", "good", "ZIP_DEFLATED"},
                              {"6-empty.txt", "", "ZIP_STORED"}});
    std::string bytes = readFile(tmp / "c.zip");
    TZipListing z = listZip(bytes);
    ASSERT_EQ(z.entries.size(), 6u);
    setLe32(bytes, z.entries[0].cdPos + 16, z.entries[0].crc ^ 0x1234); // wrong CRC
    size_t data2 = z.entries[1].offset + 30 + z.entries[1].name.size();
    for (size_t i = 5000; i < 5100; ++i)                                // damaged deflate data
        bytes[data2 + i] = static_cast<char>(bytes[data2 + i] ^ 0x5A);
    setLe32(bytes, z.entries[2].cdPos + 42, z.entries[2].offset + 1);  // points at no header
    writeFile(tmp / "c.zip", bytes);

    TempDir out;
    TExtraction r = extract(tmp / "c.zip", out.path());
    std::map<std::string, int> codes;
    for (auto& rep : r.reports)
        codes[fs::path(rep.name).filename().string()] = rep.code;
    EXPECT_EQ(codes["1-crc.txt"], 25151);
    EXPECT_EQ(codes["2-data.txt"], 25151);
    EXPECT_EQ(codes["3-header.txt"], 25114);
    EXPECT_EQ(codes["4-method.txt"], 25326);
    EXPECT_EQ(r.reports.size(), 4u);
    EXPECT_EQ(readFile(out / "1-crc.txt"), "stored data");   // kept as written
    EXPECT_TRUE(fs::exists(out / "2-data.txt"));
    EXPECT_LE(fs::file_size(out / "2-data.txt"), big.size());
    EXPECT_FALSE(fs::exists(out / "3-header.txt"));
    EXPECT_EQ(readFile(out / "4-method.txt"), "");          // the empty output stays
    EXPECT_EQ(readFile(out / "5-good.txt"), "good");
    EXPECT_EQ(readFile(out / "6-empty.txt"), "");
    EXPECT_EQ(r.count, 5);
    EXPECT_EQ(zipErrorMessage(25151), "File fails CRC check");
}

// Whatever a run reports reaches its caller as one EArchiveError: the first
// report's code, its member and message, and how many followed; every run
// starts its record afresh, and OnError still hears each report.
TEST(TUnJar, ARunsReportsReachTheCallerAsOneArchiveError)
{
    TempDir tmp;
    pythonZip(tmp / "two.zip",
              {{"a.txt", "aaa", "ZIP_STORED"}, {"b.txt", "bbb", "ZIP_STORED"}, {"c.txt", "ccc", "ZIP_STORED"}});
    std::string good = readFile(tmp / "two.zip");
    std::string bad = good;
    TZipListing z = listZip(good);
    for (int i = 0; i < 2; ++i) // a.txt and b.txt get a wrong CRC
        setLe32(bad, z.entries[i].cdPos + 16, z.entries[i].crc ^ 1);
    writeFile(tmp / "bad.zip", bad);

    TUnJar un;
    int heard = 0;
    un.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int) { ++heard; };
    auto raised = [&](const std::string& context) -> std::pair<int, std::string> {
        try {
            un.RaiseFailures(context);
        } catch (const EArchiveError& e) {
            return {e.code(), e.what()};
        }
        return {0, ""};
    };

    un.Extract(); // no archive set
    EXPECT_EQ(raised("Unpacking"), std::make_pair(int(zeNoFile), std::string("Unpacking: File not found")));

    un.SetArchiveFile((tmp / "bad.zip").string());
    un.SetExtractDir((tmp / "out").string());
    EXPECT_EQ(un.Extract(), 3);
    EXPECT_EQ(un.FailureCount(), 2u);
    EXPECT_EQ(heard, 3);
    EXPECT_EQ(raised("Unpacking"),
              std::make_pair(int(zeCrc), std::string("Unpacking: a.txt: File fails CRC check (and 1 more failure)")));

    un.SetArchiveFile((tmp / "two.zip").string());
    EXPECT_EQ(un.Extract(), 3);
    EXPECT_EQ(un.FailureCount(), 0u);
    EXPECT_EQ(raised("Unpacking"), std::make_pair(0, std::string()));
}

TEST(TUnJar, NamesLeadingOutsideTheFolderAreSkipped)
{
    TempDir tmp;
    fs::path out = tmp / "a" / "b" / "out";
    fs::create_directories(out);
    pythonZip(tmp / "evil.zip",
              "for n in ['../evil1', 'x/../../evil2', '//evil3', 'C://evil4', '..\\\\evil5',\n"
              "          'ok\\\\..\\\\..\\\\evil6', 'C:..\\\\evil7', '../../../../../../../tmp/evil8',\n"
              "          '..', 'sub/..']:\n"
              "    z.writestr(zipfile.ZipInfo(n), 'evil')\n"
              "for n in ['/rooted.txt', 'C:\\\\drive.txt', 'd:x.txt', 'win\\\\sub\\\\f.txt', 'a..b/c..d', 'fine.txt']:\n"
              "    z.writestr(zipfile.ZipInfo(n), 'good')\n");
    TExtraction r = extract(tmp / "evil.zip", out);
    EXPECT_EQ(r.reports.size(), 10u);
    for (auto& rep : r.reports)
        EXPECT_EQ(rep.code, 25235) << rep.name;
    EXPECT_EQ(r.count, 6);
    for (auto* good : {"rooted.txt", "drive.txt", "x.txt", "win/sub/f.txt", "a..b/c..d", "fine.txt"})
        EXPECT_EQ(readFile(out / good), "good") << good;
    // Nothing anywhere above the extract folder.
    for (auto& e : fs::recursive_directory_iterator(tmp.path())) {
        std::string rel = fs::relative(e.path(), tmp.path()).string();
        bool inside = rel.rfind("a/b/out", 0) == 0 || rel == "a" || rel == "a/b" || rel == "evil.zip";
        EXPECT_TRUE(inside) << rel;
    }
    EXPECT_FALSE(fs::exists("/tmp/evil8"));
}

TEST(TUnJar, ArchiveStatesAndMasks)
{
    TempDir tmp;
    TUnJar un;
    std::vector<int> codes;
    un.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&,
                     int code) { codes.push_back(code); };
    EXPECT_EQ(un.Extract(), 0);                              // no archive set
    un.SetArchiveFile((tmp / "missing.jar").string());
    EXPECT_EQ(un.ArcType(), atNA);
    EXPECT_EQ(un.ArchiveFile(), "");
    EXPECT_EQ(un.Extract(), 0);
    writeFile(tmp / "text.jar", std::string(5000, 'x'));
    un.SetArchiveFile((tmp / "text.jar").string());
    EXPECT_EQ(un.ArcType(), atNA);
    EXPECT_EQ(un.Extract(), 0);
    EXPECT_EQ(codes, (std::vector<int>{25192, 25192, 25114}));
    // Files too short to hold an end record after the first byte.
    for (size_t n : {20, 21, 22}) {
        writeFile(tmp / "short.zip", std::string("xPK\x05\x06", 5) + std::string(n - 5, '\0'));
        un.SetArchiveFile((tmp / "short.zip").string());
        EXPECT_EQ(un.ArcType(), atNA) << n;
    }

    pythonZip(tmp / "m.ZIP",
              "for n in ['README', 'a.txt', 'sub/b.TXT', 'sub/c.bin', 'sub/deep/d.txt']:\n"
              "    z.writestr(n, n)\n"
              "z.writestr('x' * 300, 'long')\n");
    un.SetArchiveFile((tmp / "m.ZIP").string());
    EXPECT_EQ(un.ArcType(), atZip);
    EXPECT_TRUE(un.Selected("README"));
    un.FileSpec = {"*.*"};
    EXPECT_TRUE(un.Selected("README"));
    EXPECT_TRUE(un.Selected("sub/deep/d.txt"));
    un.FileSpec = {"*.txt"};
    EXPECT_TRUE(un.Selected("sub/b.TXT"));
    EXPECT_FALSE(un.Selected("sub/c.bin"));
    EXPECT_FALSE(un.Selected("README"));
    un.FileSpec = {"sub/*.txt"};
    EXPECT_TRUE(un.Selected("sub/deep/d.txt"));
    EXPECT_FALSE(un.Selected("a.txt"));
    un.RecurseDirs = false;
    EXPECT_TRUE(un.Selected("sub/b.TXT"));
    EXPECT_FALSE(un.Selected("sub/deep/d.txt"));
    un.RecurseDirs = true;
    un.FileSpec = {"*.*"};
    un.ExcludeSpec = {"*.bin"};
    EXPECT_FALSE(un.Selected("sub/c.bin"));

    // Without an extract folder the archive's own folder is used; a name
    // longer than 255 bytes is cut.
    un.SetExtractDir("");
    EXPECT_EQ(un.Extract(), 5);
    EXPECT_EQ(readFile(tmp / "sub/deep/d.txt"), "sub/deep/d.txt");
    EXPECT_EQ(readFile(tmp / std::string(255, 'x')), "long");
    EXPECT_FALSE(fs::exists(tmp / "sub/c.bin"));
    // A name flagged as UTF-8 comes out in Windows-1251.
    pythonZip(tmp / "u.zip",
              "z.writestr('\u041a\u043d\u0438\u0433\u0430.txt', 'utf')\n");
    un.SetArchiveFile((tmp / "u.zip").string());
    un.ExcludeSpec.clear();
    EXPECT_EQ(un.Extract(), 1);
    EXPECT_EQ(readFile(tmp / "\xCA\xED\xE8\xE3\xE0.txt"), "utf");
    un.SetExtractDir("C:\\x\\y");
    EXPECT_EQ(un.ExtractDir(), "C:/x/y/");
}

TEST(TUnJar, OutputPathRules)
{
    EXPECT_EQ(TUnZip::OutputPath("/o/", "images/Font.png", true), "/o/images/Font.png");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "images/Font.png", false), "/o/Font.png");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "/abs.txt", true), "/o/abs.txt");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "C:/x/y.txt", true), "/o/x/y.txt");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "../x", true), "");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "//x", true), "");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "a/../b", false), "");
    // "." names no file: as a member it would be the extract folder itself.
    EXPECT_EQ(TUnZip::OutputPath("/o/", ".", true), "");
    EXPECT_EQ(TUnZip::OutputPath("/o/", "a/.", true), "");
}

TEST(TUnJar, EachMemberInflatesFromItsOwnDataOnly)
{
    // Member "a" carries bytes after the end of its deflate stream (within its
    // compressed size); they must not be fed into member "b".
    auto deflateRaw = [](const std::string& in) {
        std::string out(in.size() + 64, '\0');
        z_stream zs{};
        deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        zs.avail_in = static_cast<uInt>(in.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, Z_FINISH);
        out.resize(out.size() - zs.avail_out);
        deflateEnd(&zs);
        return out;
    };
    std::string archive, central;
    auto add = [&](const std::string& name, const std::string& data, const std::string& junk) {
        std::string packed = deflateRaw(data) + junk;
        std::string h(30, '\0');
        setLe32(h, 0, 0x04034B50);
        setLe16(h, 4, 20);
        setLe16(h, 8, 8);
        setLe32(h, 14, crc32(data.data(), data.size()));
        setLe32(h, 18, static_cast<uint32_t>(packed.size()));
        setLe32(h, 22, static_cast<uint32_t>(data.size()));
        setLe16(h, 26, static_cast<uint16_t>(name.size()));
        std::string c(46, '\0');
        setLe32(c, 0, 0x02014B50);
        c.replace(6, 24, h.substr(4, 24));
        setLe32(c, 42, static_cast<uint32_t>(archive.size()));
        archive += h + name + packed;
        central += c + name;
    };
    std::string a = text(50000), b = text(70000).substr(3);
    add("a", a, std::string(40, '\x55'));
    add("b", b, "");
    std::string end(22, '\0');
    setLe32(end, 0, 0x06054B50);
    setLe16(end, 8, 2);
    setLe16(end, 10, 2);
    setLe32(end, 12, static_cast<uint32_t>(central.size()));
    setLe32(end, 16, static_cast<uint32_t>(archive.size()));
    TempDir tmp;
    writeFile(tmp / "two.zip", archive + central + end);
    EXPECT_EQ(run({"unzip", "-tq", (tmp / "two.zip").string()}).status, 0);
    TempDir out;
    TExtraction x = extract(tmp / "two.zip", out.path());
    EXPECT_TRUE(x.reports.empty());
    EXPECT_TRUE(readFile(out / "a") == a);
    EXPECT_TRUE(readFile(out / "b") == b);
}

// Members read into memory (book containers): by their stored names, checked,
// and never inflated past the limits.
TEST(TUnZip, MembersAreReadIntoMemoryWithinTheirLimits)
{
    TempDir tmp;
    std::string page;
    for (int i = 0; i < 50; ++i)
        page += "<p>text</p>";
    pythonZip(tmp / "m.zip", {{"mimetype", "application/epub+zip", "ZIP_STORED"},
                              {"OEBPS/глава.xhtml", page, "ZIP_DEFLATED"},
                              {"empty.txt", "", "ZIP_DEFLATED"},
                              {"big.txt", std::string(3u << 20, 'a'), "ZIP_DEFLATED"},
                              {"crc.txt", "checked data", "ZIP_STORED"}});
    std::string bytes = readFile(tmp / "m.zip");
    TZipListing z = listZip(bytes);
    ASSERT_EQ(z.entries.size(), 5u);
    setLe32(bytes, z.entries[4].cdPos + 16, z.entries[4].crc ^ 1);
    writeFile(tmp / "m.zip", bytes);

    TUnZip un;
    un.SetArchiveFile((tmp / "m.zip").string());
    // Stored names as they are: UTF-8 bytes, no OEM translation.
    EXPECT_EQ(un.StoredNames(), (std::vector<std::string>{"mimetype", "OEBPS/глава.xhtml", "empty.txt", "big.txt",
                                                          "crc.txt"}));
    EXPECT_EQ(un.ReadMember("mimetype"), "application/epub+zip");
    EXPECT_EQ(un.ReadMember("OEBPS/глава.xhtml"), page);
    EXPECT_EQ(un.ReadMember("empty.txt"), "");
    EXPECT_EQ(un.ReadMember("big.txt").size(), 3u << 20); // inflates 1000 times its packed size: allowed

    auto failure = [&](const std::string& name) {
        try {
            un.ReadMember(name);
        } catch (const EArchiveError& e) {
            return std::make_pair(e.code(), std::string(e.what()));
        }
        ADD_FAILURE() << name << " was read";
        return std::make_pair(0, std::string());
    };
    auto [crcCode, crcText] = failure("crc.txt");
    EXPECT_EQ(crcCode, 25151);
    EXPECT_NE(crcText.find("m.zip: crc.txt: File fails CRC check"), std::string::npos) << crcText;
    EXPECT_EQ(failure("none.txt").first, 25192);
    // Limits: past the absolute one, or past ten times what the entry declares.
    un.MaxMemberSize = 1u << 20;
    auto [bigCode, bigText] = failure("big.txt");
    EXPECT_NE(bigText.find("more than the 1 MB"), std::string::npos) << bigText;
    un.MaxMemberSize = 200u << 20;

    // A member that claims 1000 bytes and inflates to 3 MB stops at 10 KB.
    std::string lying = readFile(tmp / "m.zip");
    TZipListing lz = listZip(lying);
    setLe32(lying, lz.entries[3].cdPos + 24, 1000);
    writeFile(tmp / "lying.zip", lying);
    TUnZip liar;
    liar.SetArchiveFile((tmp / "lying.zip").string());
    try {
        liar.ReadMember("big.txt");
        ADD_FAILURE() << "a bomb was read";
    } catch (const EArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("inflates past 10 times the size its directory entry declares"),
                  std::string::npos) << e.what();
    }

    // No readable archive: one error, naming the file.
    writeFile(tmp / "not.zip", "PK\x03\x04 but nothing more");
    TUnZip bad;
    bad.SetArchiveFile((tmp / "not.zip").string());
    try {
        bad.StoredNames();
        ADD_FAILURE() << "a damaged archive was listed";
    } catch (const EArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("not.zip: Bad file header"), std::string::npos) << e.what();
    }
}

// The inflater may still hold output when the last input byte is in: a member
// whose final match straddles a chunk boundary reads whole.
TEST(TUnZip, MembersEndingInsideAChunksLastMatchReadWhole)
{
    TempDir tmp;
    pythonZip(tmp / "runs.zip",
              "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
              "for n in list(range(32760, 32800)) + list(range(65530, 65570)):\n"
              "    z.writestr('a%d' % n, b'a' * n, zipfile.ZIP_DEFLATED)\n"
              "z.close()\n");
    TUnZip un;
    un.SetArchiveFile((tmp / "runs.zip").string());
    for (const std::string& name : un.StoredNames())
        EXPECT_EQ(un.ReadMember(name), std::string(std::stoul(name.substr(1)), 'a')) << name;
}
