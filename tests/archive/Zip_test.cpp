#include "Ziptestutil.h"
#include "archive/Unzip.h"
#include "archive/Zip.h"
#include "common/Codepage.h"
#include "common/Crc32.h"

#include <gtest/gtest.h>

#include <ctime>
#include <dirent.h>
#include <map>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

std::string text(size_t n)
{
    std::string s;
    static const char* words[] = {"Manifest", "reader ", "book ", "topic\r\n", "MIDlet: 1.0 "};
    for (size_t i = 0; s.size() < n; ++i)
        s += words[i % 5];
    s.resize(n);
    return s;
}

// A jar writer set up as the generation pipeline sets it up.
void pipelineSettings(TJar& jar, const fs::path& folder, const std::string& target)
{
    jar.FileSpec.clear();
    jar.FileSpec.push_back(folder.string() + "/*.*");
    jar.DeflateType = dtDeflateX;
    jar.Switch = swMove;
    jar.DateAttribute = daSysDate;
    jar.DeleteOptions = doFinal;
    jar.SetArchiveFile(target);
}

void attachReports(TZipCommon& c, std::vector<TReport>& reports)
{
    c.OnError = [&reports](TZipCommon&, const std::string& name, const std::string&,
                           const std::string& volume, int code) {
        EXPECT_EQ(volume, "0");
        reports.push_back({name, code});
    };
}

std::vector<std::string> listFolder(const fs::path& dir)
{
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(dir))
        out.push_back(fs::relative(e.path(), dir).string() + (e.is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
}

// The files of a book folder, as the pipeline leaves them before packing.
std::map<std::string, std::string> bookFiles()
{
    return {
        {"META-INF/MANIFEST.MF", text(300)},       // deflated: more than 256 bytes
        {"images/Font.png", randomBytes(5000, 1)},  // deflated although it grows
        {"texts/itm1", text(1000)},
        {"files.txt", ""},                          // empty: stored
        {"appname.txt", "Tales"},                   // short and would grow: stored
        {"small.txt", std::string(200, 'a')},       // short but shrinks: deflated
        {"noise257.bin", randomBytes(257, 2)},      // 257 bytes: always deflated
        {"noise256.bin", randomBytes(256, 3)},      // 256 bytes that grow: stored
        {"x.ZIP", text(600)},                       // stored by its extension
        {"LumeriaMain.class", randomBytes(3000, 4)},
    };
}

void writeTree(const fs::path& root, const std::map<std::string, std::string>& files)
{
    for (auto& [name, bytes] : files) {
        fs::create_directories((root / name).parent_path());
        writeFile(root / name, bytes);
    }
}

} // namespace

TEST(TJar, PipelineJarIsExactAndReadableByEveryTool)
{
    TempDir tmp;
    fs::path book = tmp / "Tales";
    auto files = bookFiles();
    writeTree(book, files);
    TJar jar;
    std::vector<TReport> reports;
    attachReports(jar, reports);
    pipelineSettings(jar, book, (book / "Tales").string());
    EXPECT_EQ(jar.ArchiveFile(), (book / "Tales.jar").string());   // ".jar" appended
    time_t before = time(nullptr);
    EXPECT_EQ(jar.Compress(), static_cast<int>(files.size()));
    time_t after = time(nullptr);
    EXPECT_TRUE(reports.empty());

    // The sources are gone; the folders stay, empty.
    EXPECT_EQ(listFolder(book),
              (std::vector<std::string>{"META-INF/", "Tales.jar", "images/", "texts/"}));

    std::string bytes = readFile(book / "Tales.jar");
    TZipListing z = listZip(bytes);
    ASSERT_EQ(z.entries.size(), files.size());
    EXPECT_EQ(z.count, files.size());
    EXPECT_EQ(z.commentLen, 0);
    EXPECT_EQ(z.endPos + 22, bytes.size());                 // nothing follows the end record
    EXPECT_EQ(size_t(z.cdOffset) + z.cdSize, z.endPos);
    EXPECT_EQ(le16(bytes, z.endPos + 4), 0);
    EXPECT_EQ(le16(bytes, z.endPos + 6), 0);
    EXPECT_EQ(le16(bytes, z.endPos + 8), z.count);

    size_t expectOffset = 0;
    for (const TZipEntry& e : z.entries) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(files.count(e.name));
        const std::string& src = files[e.name];
        EXPECT_EQ(e.madeBy, 0x0014);
        EXPECT_EQ(e.needed, 20);
        EXPECT_EQ(e.internalAttr, 1);
        EXPECT_EQ(e.externalAttr, 0x20u);
        EXPECT_EQ(e.extraLen, 0);
        EXPECT_EQ(e.commentLen, 0);
        EXPECT_EQ(e.disk, 0);
        EXPECT_EQ(e.size, src.size());
        EXPECT_EQ(e.crc, src.empty() ? 0u : crc32(src.data(), src.size()));
        bool stored = src.empty() || e.name == "appname.txt" || e.name == "noise256.bin" ||
                      e.name == "x.ZIP";
        EXPECT_EQ(e.method, stored ? 0 : 8);
        EXPECT_EQ(e.flags, stored ? 0 : 0x0002);
        if (stored) {
            EXPECT_EQ(e.compSize, e.size);
        }
        // The local header repeats the central one; the data follows the
        // name directly and the next header follows the data (no descriptor).
        EXPECT_EQ(e.offset, expectOffset);
        size_t p = e.offset;
        EXPECT_EQ(le32(bytes, p), 0x04034B50u);
        EXPECT_EQ(le16(bytes, p + 4), 20);
        EXPECT_EQ(le16(bytes, p + 6), e.flags);
        EXPECT_EQ(le16(bytes, p + 8), e.method);
        EXPECT_EQ(le16(bytes, p + 10), e.time);
        EXPECT_EQ(le16(bytes, p + 12), e.date);
        EXPECT_EQ(le32(bytes, p + 14), e.crc);
        EXPECT_EQ(le32(bytes, p + 18), e.compSize);
        EXPECT_EQ(le32(bytes, p + 22), e.size);
        EXPECT_EQ(le16(bytes, p + 26), e.name.size());
        EXPECT_EQ(le16(bytes, p + 28), 0);
        EXPECT_EQ(bytes.substr(p + 30, e.name.size()), e.name);
        expectOffset = p + 30 + e.name.size() + e.compSize;
        // Entry times are the packing time (DOS, two-second steps).
        time_t t = fromDosDateTime((uint32_t(e.date) << 16) | e.time);
        EXPECT_GE(t, before - 2);
        EXPECT_LE(t, after);
    }
    EXPECT_EQ(expectOffset, z.cdOffset);

    // The outside tools.
    auto zi = run({"zipinfo", "-v", (book / "Tales.jar").string()});
    EXPECT_EQ(zi.status, 0) << zi.err;
    EXPECT_NE(zi.out.find("minimum software version required to extract:   2.0"), std::string::npos);
    EXPECT_NE(zi.out.find("version of encoding software:                   2.0"), std::string::npos);
    EXPECT_NE(zi.out.find("compression sub-type (deflation):               maximum"), std::string::npos);
    EXPECT_NE(zi.out.find("MS-DOS file attributes (20 hex):                arc"), std::string::npos);
    EXPECT_EQ(zi.out.find("extended local header:                          yes"), std::string::npos);
    EXPECT_EQ(zi.out.find("length of extra field:                          0 bytes"),
              zi.out.find("length of extra field:"));
    if (haveProgram("jar")) {
        auto j = run({"jar", "tf", (book / "Tales.jar").string()});
        EXPECT_EQ(j.status, 0) << j.err;
        for (auto& [name, _] : files)
            EXPECT_NE(j.out.find(name + "\n"), std::string::npos) << name;
        EXPECT_EQ(j.out.find("/\n"), std::string::npos);   // no folder entries
    }
    std::optional<std::string> read = expectZipToolsAccept(
        book / "Tales.jar",
        "for i in z.infolist():\n"
        "    sys.stdout.buffer.write(i.filename.encode('cp437') + b'\\0' + str(len(z.read(i))).encode() + b'\\0' + z.read(i) + b'\\0')\n");
    ASSERT_TRUE(read) << "no Python with zipfile";
    std::string expect;
    for (const TZipEntry& e : z.entries)
        expect += e.name + '\0' + std::to_string(files[e.name].size()) + '\0' + files[e.name] + '\0';
    EXPECT_TRUE(*read == expect);
}

TEST(TJar, DeflateTypesSetLevelsAndFlags)
{
    const std::pair<TDeflateType, int> cases[] = {
        {dtDeflateS, -1}, {dtDeflateF, 0x0004}, {dtDeflateN, 0}, {dtDeflateX, 0x0002}};
    for (auto [type, flags] : cases) {
        TempDir tmp;
        fs::create_directories(tmp / "in");
        writeFile(tmp / "in" / "a.txt", text(5000));
        TJar jar;
        jar.FileSpec = {(tmp / "in").string() + "/*.*"};
        jar.DeflateType = type;
        jar.SetArchiveFile((tmp / "out.jar").string());
        ASSERT_EQ(jar.Compress(), 1);
        TZipListing z = listZip(readFile(tmp / "out.jar"));
        ASSERT_EQ(z.entries.size(), 1u);
        EXPECT_EQ(z.entries[0].method, flags < 0 ? 0 : 8);
        EXPECT_EQ(z.entries[0].flags, flags < 0 ? 0 : flags);
        EXPECT_EQ(run({"unzip", "-tq", (tmp / "out.jar").string()}).status, 0);
        EXPECT_TRUE(fs::exists(tmp / "in" / "a.txt"));   // swAdd keeps the sources
    }
}

TEST(TJar, ScanAttributesMasksAndNames)
{
    TempDir tmp;
    fs::path root = tmp / "root";
    writeTree(root, {{"a/b/c/deep.txt", "deep"}, {"a/side.txt", "side"}, {"ro.txt", "ro"},
                     {".hidden", "h"}, {".git/config", "never"}, {"skip.bak", "bak"},
                     {"README", "no extension"}, {"z/last.txt", "z"}});
    chmod((root / "ro.txt").c_str(), 0444);
    fs::create_directory_symlink(root / "a", root / "linked");   // not followed
    std::string cyr = "\xCA\xED\xE8\xE3\xE0.txt";                   // "Книга.txt" in Windows-1251
    writeFile(root / cyr, "book");
    TJar jar;
    jar.FileSpec = {(root / "*.*").string()};
    jar.ExcludeSpec = {"*.bak"};
    jar.SetArchiveFile((tmp / "out").string());
    ASSERT_EQ(jar.Compress(), 7);
    TZipListing z = listZip(readFile(tmp / "out.jar"));
    std::map<std::string, uint32_t> attrs;
    std::vector<std::string> order;
    for (auto& e : z.entries) {
        attrs[e.name] = e.externalAttr;
        order.push_back(e.name);
    }
    EXPECT_EQ(attrs.size(), 7u);
    EXPECT_EQ(attrs["a/b/c/deep.txt"], 0x20u);
    EXPECT_EQ(attrs["ro.txt"], 0x21u);
    EXPECT_EQ(attrs[".hidden"], 0x22u);
    EXPECT_TRUE(attrs.count("README"));
    EXPECT_TRUE(attrs.count(ansiToOem(cyr)));   // names are stored in the OEM code page
    EXPECT_EQ(ansiToOem(cyr), "\x8A\xAD\xA8\xA3\xA0.txt");
    EXPECT_FALSE(attrs.count("skip.bak"));
    EXPECT_FALSE(attrs.count(".git/config"));
    // Depth first: the files of a/ (its subfolders included) come together.
    auto deep = std::find(order.begin(), order.end(), "a/b/c/deep.txt") - order.begin();
    auto side = std::find(order.begin(), order.end(), "a/side.txt") - order.begin();
    EXPECT_EQ(std::abs(deep - side), 1);

    // The reader turns the names back.
    TempDir out;
    TUnJar un;
    un.SetArchiveFile((tmp / "out.jar").string());
    un.SetExtractDir(out.path().string());
    EXPECT_EQ(un.Extract(), 7);
    EXPECT_EQ(readFile(out / cyr), "book");
    EXPECT_EQ(readFile(out / "a/b/c/deep.txt"), "deep");
}

TEST(TJar, PreconditionsAndNothingToDo)
{
    TempDir tmp;
    std::vector<TReport> reports;
    TJar jar;
    attachReports(jar, reports);
    jar.FileSpec = {(tmp / "*.*").string()};
    jar.SetArchiveFile((tmp / "missing" / "x.jar").string());
    EXPECT_EQ(jar.Compress(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 25158);
    EXPECT_EQ(zipErrorMessage(25158), "Invalid directory");

    reports.clear();
    fs::create_directories(tmp / "empty" / "sub");
    jar.FileSpec = {(tmp / "empty" / "*.*").string()};
    jar.SetArchiveFile((tmp / "x.jar").string());
    EXPECT_EQ(jar.Compress(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 25268);
    EXPECT_EQ(reports[0].name, (tmp / "x.jar").string());
    EXPECT_FALSE(fs::exists(tmp / "x.jar"));
}

TEST(TJar, UnopenableSourceIsLeftOutAndKept)
{
    TempDir tmp;
    writeTree(tmp / "book", {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
    std::vector<TReport> reports;
    TJar jar;
    attachReports(jar, reports);
    pipelineSettings(jar, tmp / "book", (tmp / "book.jar").string());
    // The file vanishes between the scan and its packing: it cannot be opened.
    std::string victim;
    jar.OnProgress = [&](TProgressStage stage, const std::string& name) {
        if (stage == psPack && victim.empty()) {
            victim = name;
            fs::rename(name, tmp / "moved");
        }
    };
    EXPECT_EQ(jar.Compress(), 2);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 25235);
    EXPECT_EQ(reports[0].name, victim);
    EXPECT_EQ(listZip(readFile(tmp / "book.jar")).entries.size(), 2u);
    EXPECT_EQ(listFolder(tmp / "book").size(), 0u);   // the packed two are gone
}

TEST(TJar, TempDirInsideScannedFolderNeverPacksItself)
{
    TempDir tmp;
    writeTree(tmp / "book", {{"a.txt", text(2000)}});
    TJar jar;
    pipelineSettings(jar, tmp / "book", (tmp / "book" / "book.jar").string());
    jar.TempDir = (tmp / "book").string();
    jar.Switch = swAdd;
    EXPECT_EQ(jar.Compress(), 1);
    TZipListing z = listZip(readFile(tmp / "book" / "book.jar"));
    ASSERT_EQ(z.entries.size(), 1u);
    EXPECT_EQ(z.entries[0].name, "a.txt");
    // An existing target inside the folder is not packed into the new one
    // either (and so not deleted as a packed source).
    jar.Switch = swMove;
    EXPECT_EQ(jar.Compress(), 1);
    EXPECT_EQ(listFolder(tmp / "book"), std::vector<std::string>{"book.jar"});
}

TEST(TJar, FailedRenameKeepsSourcesAndLeavesNoArchive)
{
    TempDir tmp;
    writeTree(tmp / "book", {{"a.txt", "a"}, {"b.txt", text(1000)}});
    fs::create_directories(tmp / "target.jar" / "full");   // the target name is a folder
    std::vector<TReport> reports;
    TJar jar;
    attachReports(jar, reports);
    jar.TempDir = (tmp / "temp").string();
    fs::create_directories(tmp / "temp");
    pipelineSettings(jar, tmp / "book", (tmp / "target.jar").string());
    EXPECT_EQ(jar.Compress(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 25235);
    EXPECT_TRUE(fs::is_directory(tmp / "target.jar"));
    EXPECT_EQ(listFolder(tmp / "book").size(), 2u);
    EXPECT_TRUE(fs::is_empty(tmp / "temp"));
}

TEST(TJar, CopiesAcrossFileSystems)
{
    TempDir tmp;
    struct stat a {}, b {};
    if (stat("/dev/shm", &a) != 0 || stat(tmp.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system (/dev/shm) to build the archive on";
    fs::path shm = fs::path("/dev/shm") / ("volmjar" + std::to_string(getpid()));
    fs::create_directories(shm);
    writeTree(tmp / "book", {{"a.txt", text(3000)}, {"sub/b.txt", "b"}});
    TJar jar;
    jar.TempDir = shm.string();
    pipelineSettings(jar, tmp / "book", (tmp / "book" / "book").string());
    EXPECT_EQ(jar.Compress(), 2);
    EXPECT_EQ(run({"unzip", "-tq", (tmp / "book" / "book.jar").string()}).status, 0);
    EXPECT_EQ(listFolder(tmp / "book"), (std::vector<std::string>{"book.jar", "sub/"}));
    EXPECT_TRUE(fs::is_empty(shm));
    fs::remove_all(shm);
}

TEST(TJar, FullDiskReportsLeavesNothingAndDeletesNothing)
{
    TempDir tmp;
    writeTree(tmp / "book", {{"a.txt", "a"}, {"noise.bin", randomBytes(600000, 7)}});
    fs::create_directories(tmp / "temp");
    // Files may not grow beyond 100 kB in the child: writes fail with EFBIG.
    int status = runInChild(
        [&] {
            int code = 0;
            TJar jar;
            jar.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&,
                              int c) { code = c; };
            jar.TempDir = (tmp / "temp").string();
            pipelineSettings(jar, tmp / "book", (tmp / "book.jar").string());
            int n = jar.Compress();
            return n == 0 && code == 25160 ? 0 : 1;
        },
        100000);
    EXPECT_EQ(status, 0) << "Compress did not report 25160 and return 0";
    EXPECT_FALSE(fs::exists(tmp / "book.jar"));
    EXPECT_EQ(listFolder(tmp / "book").size(), 2u);
    EXPECT_TRUE(fs::is_empty(tmp / "temp"));
}

TEST(TJar, ArchiveFileAndDefaultExt)
{
    TJar jar;
    EXPECT_EQ(jar.DefaultExt(), ".jar");
    jar.SetArchiveFile("C:\\Books\\Tales\\Tales");
    EXPECT_EQ(jar.ArchiveFile(), "C:/Books/Tales/Tales.jar");
    jar.SetArchiveFile("/x/y.zip");
    EXPECT_EQ(jar.ArchiveFile(), "/x/y.zip");
    jar.SetDefaultExt("ZIPPED");
    EXPECT_EQ(jar.DefaultExt(), ".zip");
    EXPECT_EQ(FileExtension("a.b/c"), "");
    EXPECT_EQ(FileExtension("dir/x.PK_"), ".PK_");
}
