// Hostile and unusual book files, each made here at test time: every import
// runs in a child process under RLIMIT_AS and must end (well within a
// generous timeout) with topics or with a refusal naming the limit it
// passed, its memory growing by at most 16 times the input plus 44 MB (the
// 64 MB an import may take over the input, less what the program itself
// holds). Times and peaks are printed, not asserted. And the valid books
// that were refused: ZIP64 archives, an FB2 with a large image, a UTF-8 FB2
// that names another encoding.
#include "book/Bookfile.h"

#include "Testutil.h"
#include "common/Codepage.h"
#include "common/Crc32.h"
#include "text/Booklimits.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

void put16(std::string& s, uint32_t v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}
void put32(std::string& s, uint32_t v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
void put64(std::string& s, uint64_t v)
{
    put32(s, uint32_t(v));
    put32(s, uint32_t(v >> 32));
}

std::string rawDeflate(const std::string& data)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// A ZIP archive written by hand, so that it can be anything a hostile one
// is: members that share their data, and ZIP64 records and extra fields.
class TTestZip {
public:
    // A member with its data (deflated unless `store`).
    void Add(const std::string& name, const std::string& data, bool store = false)
    {
        TCrc32 crc;
        crc.update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        std::string packed = store ? data : rawDeflate(data);
        AddRaw(name, packed, store ? 0 : 8, crc.value(), data.size());
    }
    // A member whose data is already packed.
    void AddRaw(const std::string& name, const std::string& packed, uint16_t method, uint32_t crc, uint64_t size)
    {
        TEntry e{name, method, crc, packed.size(), size, bytes_.size()};
        local(e);
        bytes_ += packed;
        entries_.push_back(e);
    }
    // A second directory entry for the data of member `of` (its sizes and
    // CRC, a name of its own): members that overlap.
    void Alias(const std::string& name, size_t of)
    {
        TEntry e = entries_.at(of);
        e.name = name;
        entries_.push_back(e);
    }
    // With `zip64`, every entry carries its sizes and offset in a ZIP64
    // extra field (its header fields 0xFFFFFFFF) and the archive ends in
    // the ZIP64 end record and its locator before the end record.
    std::string Finish(bool zip64 = false)
    {
        const uint64_t cdStart = bytes_.size();
        for (const TEntry& e : entries_) {
            put32(bytes_, 0x02014B50);
            put16(bytes_, zip64 ? 45 : 20);
            put16(bytes_, zip64 ? 45 : 20);
            put16(bytes_, 0);
            put16(bytes_, e.method);
            put32(bytes_, 0);
            put32(bytes_, e.crc);
            put32(bytes_, zip64 ? 0xFFFFFFFF : uint32_t(e.packed));
            put32(bytes_, zip64 ? 0xFFFFFFFF : uint32_t(e.size));
            put16(bytes_, static_cast<uint32_t>(e.name.size()));
            put16(bytes_, zip64 ? 28 : 0);
            put32(bytes_, 0); // comment, disk
            put16(bytes_, 0);
            put32(bytes_, 0);
            put32(bytes_, zip64 ? 0xFFFFFFFF : uint32_t(e.offset));
            bytes_ += e.name;
            if (zip64) {
                put16(bytes_, 1);
                put16(bytes_, 24);
                put64(bytes_, e.size);
                put64(bytes_, e.packed);
                put64(bytes_, e.offset);
            }
        }
        const uint64_t cdSize = bytes_.size() - cdStart;
        if (zip64) {
            const uint64_t recPos = bytes_.size();
            put32(bytes_, 0x06064B50);
            put64(bytes_, 44);
            put16(bytes_, 45);
            put16(bytes_, 45);
            put32(bytes_, 0);
            put32(bytes_, 0);
            put64(bytes_, entries_.size());
            put64(bytes_, entries_.size());
            put64(bytes_, cdSize);
            put64(bytes_, cdStart);
            put32(bytes_, 0x07064B50);
            put32(bytes_, 0);
            put64(bytes_, recPos);
            put32(bytes_, 1);
        }
        put32(bytes_, 0x06054B50);
        put32(bytes_, 0);
        const uint32_t count = zip64 ? 0xFFFF : static_cast<uint32_t>(std::min<size_t>(entries_.size(), 0xFFFF));
        put16(bytes_, count);
        put16(bytes_, count);
        put32(bytes_, zip64 ? 0xFFFFFFFF : uint32_t(cdSize));
        put32(bytes_, zip64 ? 0xFFFFFFFF : uint32_t(cdStart));
        put16(bytes_, 0);
        return std::move(bytes_);
    }

private:
    struct TEntry {
        std::string name;
        uint16_t method;
        uint32_t crc;
        uint64_t packed, size, offset;
    };
    void local(const TEntry& e)
    {
        put32(bytes_, 0x04034B50);
        put16(bytes_, 20);
        put16(bytes_, 0);
        put16(bytes_, e.method);
        put32(bytes_, 0);
        put32(bytes_, e.crc);
        put32(bytes_, uint32_t(e.packed));
        put32(bytes_, uint32_t(e.size));
        put16(bytes_, static_cast<uint32_t>(e.name.size()));
        put16(bytes_, 0);
        bytes_ += e.name;
    }
    std::string bytes_;
    std::vector<TEntry> entries_;
};

const char* kContainer = "<?xml version=\"1.0\"?><container version=\"1.0\" "
                         "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
                         "full-path=\"OEBPS/book.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles>"
                         "</container>";

std::string opf(const std::string& items, const std::string& spine)
{
    return "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\"><metadata "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>Book</dc:title></metadata><manifest>" +
           items + "</manifest><spine>" + spine + "</spine></package>";
}

std::string item(const std::string& id, const std::string& href, const std::string& props = {})
{
    return "<item id=\"" + id + "\" href=\"" + href + "\" media-type=\"application/xhtml+xml\"" +
           (props.empty() ? "" : " properties=\"" + props + "\"") + "/>";
}

// An EPUB of `docs` documents, one chapter each.
std::string epubOf(size_t docs, bool zip64 = false)
{
    TTestZip z;
    z.Add("mimetype", "application/epub+zip", true);
    z.Add("META-INF/container.xml", kContainer);
    std::string items, spine;
    for (size_t i = 0; i < docs; ++i) {
        items += item("d" + std::to_string(i), "d" + std::to_string(i) + ".xhtml");
        spine += "<itemref idref=\"d" + std::to_string(i) + "\"/>";
    }
    z.Add("OEBPS/book.opf", opf(items, spine));
    for (size_t i = 0; i < docs; ++i)
        z.Add("OEBPS/d" + std::to_string(i) + ".xhtml",
              "<html><body><h1>Chapter " + std::to_string(i + 1) + "</h1><p>Text of chapter " +
                  std::to_string(i + 1) + ".</p></body></html>");
    return z.Finish(zip64);
}

std::string repeat(const std::string& s, size_t n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

struct TOutcome {
    bool ended = false;     // the child ended by itself
    int status = -1;        // 0: topics, 1: refused, other: a fault
    std::string message;    // the number of topics, or the refusal
    long growthKb = 0;      // its peak memory less what it had before the import
    double seconds = 0;
};

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

// Imports `path` as import-book does (the book read whole, then its topics)
// in a child, under RLIMIT_AS (its address space now plus the bound and
// some room for the allocator), killed after `timeout` seconds.
TOutcome importInChild(const fs::path& path, const TBookOptions& options = {}, int timeout = 120)
{
    const uint64_t size = fs::file_size(path);
    const uint64_t bound = 16 * size + (44u << 20);
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (!kSanitized) {
            rlimit lim{};
            lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(statusKb("VmSize:")) * 1024 + bound + (64u << 20);
            setrlimit(RLIMIT_AS, &lim);
        }
        // The peak counts from here.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const long before = statusKb("VmRSS:");
        std::string out;
        int status = 0;
        try {
            TBook book = ReadBookFile(path.string(), options);
            out = std::to_string(BookTopics(book, kDefaultSplitSize, path.string()).size()) + " topics";
        } catch (const std::bad_alloc&) {
            status = 2;
            out = "out of memory";
        } catch (const std::exception& e) {
            status = 1;
            out = e.what();
        }
        out = std::to_string(statusKb("VmHWM:") - before) + "\n" + out;
        (void)!write(fds[1], out.data(), out.size());
        _exit(status);
    }
    close(fds[1]);
    TOutcome r;
    std::string got;
    pollfd p{fds[0], POLLIN, 0};
    char buf[4096];
    auto deadline = start + std::chrono::seconds(timeout);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) {
            r.ended = true;
            break;
        }
        got.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (!r.ended)
        kill(pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    size_t nl = got.find('\n');
    r.growthKb = std::atol(got.substr(0, nl).c_str());
    r.message = nl == std::string::npos ? got : got.substr(nl + 1);
    std::printf("  %-22s %9llu bytes: %6.2f s, %7ld KB (bound %llu KB): %s\n", path.filename().c_str(),
                static_cast<unsigned long long>(size), r.seconds, r.growthKb,
                static_cast<unsigned long long>(bound >> 10), r.message.substr(0, 110).c_str());
    if (!kSanitized) {
        EXPECT_LE(static_cast<uint64_t>(r.growthKb) * 1024, bound) << path.filename();
    }
    EXPECT_TRUE(r.ended) << path.filename() << " ran past " << timeout << " s";
    EXPECT_TRUE(r.status == 0 || r.status == 1) << path.filename() << ": " << r.message;
    return r;
}

class Hostilebooks : public ::testing::Test {
protected:
    TOutcome import(const std::string& name, const std::string& bytes, const TBookOptions& options = {})
    {
        writeFile(dir_ / name, bytes);
        return importInChild(dir_ / name, options);
    }
    // A refusal that names the limit.
    void expectRefused(const TOutcome& r, const std::string& limit)
    {
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.message.find(limit), std::string::npos) << r.message;
    }
    TempDir dir_;
};

} // namespace

TEST_F(Hostilebooks, PlainTextsOfHeadingsScenesAndBlankLines)
{
    std::string heads;
    for (int i = 1; i <= 100000; ++i)
        heads += "Chapter " + std::to_string(i) + "\n";
    EXPECT_EQ(import("heads.txt", heads).status, 0); // a contents list, then the last chapter
    std::string chapters;
    for (int i = 1; i <= 60000; ++i)
        chapters += "Chapter " + std::to_string(i % 9000 + 1) + "\n\nText.\n\n";
    expectRefused(import("chapters.txt", chapters), "limit of topics per book (10000)");
    EXPECT_EQ(import("stars.txt", repeat("* * *\n", 1000000)).status, 0);
    EXPECT_EQ(import("blank.txt", "Text.\n" + std::string(9000000, '\n')).status, 0);
    TBookOptions own;
    own.chapters = "(a+)+b";
    EXPECT_EQ(import("pattern.txt", repeat(std::string(30, 'a') + "\n", 100000), own).status, 0);
}

TEST_F(Hostilebooks, Fb2SectionsOfTitlesAloneAndNamesakesDeepDown)
{
    // Titles that each hand themselves on to the next section.
    std::string titles = "<?xml version=\"1.0\"?><FictionBook><body>";
    for (int i = 0; i < 9000; ++i)
        titles += "<section><title><p>T" + std::to_string(i) + "</p></title></section>";
    titles += "<section><title><p>End</p></title><p>x</p></section></body></FictionBook>";
    EXPECT_EQ(import("titles.fb2", titles).status, 0);
    // 9,000 sections of one name, 200 sections deep, in sections of that name.
    std::string deep = "<?xml version=\"1.0\"?><FictionBook><body>" +
                       repeat("<section><title><p>A</p></title><p>x</p>", 200) +
                       repeat("<section><title><p>A</p></title><p>x</p></section>", 9000) + repeat("</section>", 200) +
                       "</body></FictionBook>";
    EXPECT_EQ(import("namesakes.fb2", deep).message, "9200 topics");
    expectRefused(import("nested.fb2", "<?xml version=\"1.0\"?><FictionBook><body>" + repeat("<section>", 100000) +
                                           "<p>x</p>" + repeat("</section>", 100000) + "</body></FictionBook>"),
                  "nested deeper than the limit of 256 levels");
}

TEST_F(Hostilebooks, HtmlAndMarkdownThatExpand)
{
    // Each block counted with what it costs: past the output size limit
    // before a chapter is made.
    expectRefused(import("h1.html", "<html><body>" + repeat("<h1>x</h1>", 1000000) + "</body></html>"),
                  "h1.html: the book's text passes the output size limit (92 MB for this file)");
    expectRefused(import("h1s.html", "<html><body>" + repeat("<h1>x</h1><p>y</p>", 20000) + "</body></html>"),
                  "more chapters than the limit of topics per book");
    EXPECT_EQ(import("emphasis.md", repeat("*a **b ", 300000) + "\n").status, 0);
    EXPECT_EQ(import("refs.md", "[a]: http://" + std::string(2000, 'x') + "\n\n" + repeat("see [a] ", 250000) + "\n")
                  .status,
              0);
    expectRefused(import("quotes.md", repeat("> ", 100000) + "a\n"), "nested deeper than the limit of 256 levels");
}

TEST_F(Hostilebooks, EpubsWithManyMembersSpineItemsAndEntries)
{
    // Large members, each a mimetype entry: only the first is read.
    {
        TTestZip z;
        z.Add("mimetype", "application/epub+zip", true);
        const std::string large = rawDeflate(std::string(1 << 20, 'x'));
        TCrc32 crc;
        const std::string x(1 << 20, 'x');
        crc.update(reinterpret_cast<const uint8_t*>(x.data()), x.size());
        for (int i = 0; i < 2000; ++i)
            z.AddRaw("mimetype", large, 8, crc.value(), x.size());
        EXPECT_NE(import("mimetypes.epub", z.Finish()).message.find("without a package document"), std::string::npos);
    }
    // 10,000 documents in the spine (and as many members to find).
    TOutcome many = import("spine.epub", epubOf(10000));
    EXPECT_EQ(many.message, "10000 topics");
    // The spine past its limit, and many entries naming one document.
    {
        TTestZip z;
        z.Add("mimetype", "application/epub+zip", true);
        z.Add("META-INF/container.xml", kContainer);
        std::string items = item("a", "a.xhtml"), spine = repeat("<itemref idref=\"a\"/>", 50000);
        z.Add("OEBPS/book.opf", opf(items, spine));
        z.Add("OEBPS/a.xhtml", "<html><body><p>Text.</p></body></html>");
        expectRefused(import("repeats.epub", z.Finish()), "more spine items than the limit of 10000 (50000)");
    }
    {
        TTestZip z;
        z.Add("mimetype", "application/epub+zip", true);
        z.Add("META-INF/container.xml", kContainer);
        std::string items, spine;
        for (int i = 0; i < 9000; ++i) {
            std::string id(1, 'a');
            id += std::to_string(i);
            items += item(id, "a.xhtml");
            spine += std::string("<itemref idref=\"") + id + "\"/>";
        }
        z.Add("OEBPS/book.opf", opf(items, spine));
        z.Add("OEBPS/a.xhtml", "<html><body>" + repeat("<p>Text of the one document.</p>", 20000) + "</body></html>");
        EXPECT_EQ(import("samefile.epub", z.Finish()).status, 0); // read once
    }
    // Navigation entries that all point into one document.
    for (int entries : {9000, 60000}) {
        TTestZip z;
        z.Add("mimetype", "application/epub+zip", true);
        z.Add("META-INF/container.xml", kContainer);
        z.Add("OEBPS/book.opf", opf(item("a", "a.xhtml") + item("nav", "nav.xhtml", "nav"),
                                    "<itemref idref=\"a\"/>"));
        std::string doc = "<html><body>", nav = "<html><body><nav epub:type=\"toc\"><ol>";
        for (int i = 0; i < entries; ++i) {
            doc += "<p id=\"p" + std::to_string(i) + "\">Paragraph " + std::to_string(i) + ".</p>";
            nav += "<li><a href=\"a.xhtml#p" + std::to_string(i) + "\">Entry " + std::to_string(i) + "</a></li>";
        }
        z.Add("OEBPS/a.xhtml", doc + "</body></html>");
        z.Add("OEBPS/nav.xhtml", nav + "</ol></nav></body></html>");
        TOutcome r = import("nav" + std::to_string(entries) + ".epub", z.Finish());
        if (entries < 10000)
            EXPECT_EQ(r.message, std::to_string(entries) + " topics");
        else
            expectRefused(r, "limit of topics per book");
    }
}

TEST_F(Hostilebooks, MembersThatShareTheirDataAreReadWithinTheBudget)
{
    // Ten documents whose entries all name the same 190 MB of deflated zeros.
    const size_t size = 190u << 20;
    TCrc32 crc;
    std::string packed;
    {
        const std::string zeros(size, '\0');
        crc.update(reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size());
        packed = rawDeflate(zeros);
    }
    TTestZip z;
    z.Add("mimetype", "application/epub+zip", true);
    z.Add("META-INF/container.xml", kContainer);
    std::string items, spine;
    for (int i = 0; i < 10; ++i) {
        items += item("d" + std::to_string(i), "d" + std::to_string(i) + ".xhtml");
        spine += "<itemref idref=\"d" + std::to_string(i) + "\"/>";
    }
    z.Add("OEBPS/book.opf", opf(items, spine));
    z.AddRaw("OEBPS/d0.xhtml", packed, 8, crc.value(), size);
    for (int i = 1; i < 10; ++i)
        z.Alias("OEBPS/d" + std::to_string(i) + ".xhtml", 3);
    TOutcome r = import("overlap.epub", z.Finish());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.message.find("OEBPS/d0.xhtml"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("more than the"), std::string::npos) << r.message;

    // Members that cost more to hold than they take to inflate, and members
    // each within the budget but together past it (the third is not read).
    {
        const std::string dense = "<html><body>" + repeat("<p>x</p>", 900000) + "</body></html>";
        TTestZip x;
        x.Add("mimetype", "application/epub+zip", true);
        x.Add("META-INF/container.xml", kContainer);
        x.Add("OEBPS/book.opf", opf(items, spine));
        x.Add("OEBPS/d0.xhtml", dense);
        expectRefused(import("dense.epub", x.Finish()),
                      "OEBPS/d0.xhtml: the book's text passes the output size limit (16 MB for this file)");
    }
    const std::string doc = "<html><body><p>" + repeat("xy ", 2000000) + "</p></body></html>";
    TCrc32 docCrc;
    docCrc.update(doc.data(), doc.size());
    TTestZip y;
    y.Add("mimetype", "application/epub+zip", true);
    y.Add("META-INF/container.xml", kContainer);
    y.Add("OEBPS/book.opf", opf(items, spine));
    y.AddRaw("OEBPS/d0.xhtml", rawDeflate(doc), 8, docCrc.value(), doc.size());
    for (int i = 1; i < 10; ++i)
        y.Alias("OEBPS/d" + std::to_string(i) + ".xhtml", 3);
    TOutcome two = import("budget.epub", y.Finish());
    EXPECT_EQ(two.status, 1);
    EXPECT_NE(two.message.find("OEBPS/d2.xhtml: Too large to read into memory (it declares 5 MB, more than the 4 MB"),
              std::string::npos)
        << two.message;
}

TEST_F(Hostilebooks, Zip64ArchivesAreRead)
{
    writeFile(dir_ / "zip64.epub", epubOf(3, true));
    TBook b = ReadBookFile((dir_ / "zip64.epub").string(), {});
    ASSERT_EQ(b.chapters.size(), 3u);
    EXPECT_EQ(b.chapters[2].name, "Chapter 3");

    // More than 65,535 members: the end record can't count them.
    {
        TTestZip z;
        z.Add("mimetype", "application/epub+zip", true);
        z.Add("META-INF/container.xml", kContainer);
        z.Add("OEBPS/book.opf", opf(item("a", "a.xhtml"), "<itemref idref=\"a\"/>"));
        z.Add("OEBPS/a.xhtml", "<html><body><h1>Only</h1><p>Text.</p></body></html>");
        for (int i = 0; i < 70000; ++i)
            z.Add("x/" + std::to_string(i), "", true);
        EXPECT_EQ(import("members.epub", z.Finish(true)).message, "1 topics");
    }
    // What zip -fz makes of a book folder.
    if (!haveProgram("zip"))
        GTEST_SKIP() << "zip is not installed";
    TempDir src;
    fs::create_directories(src / "META-INF");
    fs::create_directories(src / "OEBPS");
    writeFile(src / "mimetype", "application/epub+zip");
    writeFile(src / "META-INF/container.xml", kContainer);
    writeFile(src / "OEBPS/book.opf", opf(item("a", "a.xhtml"), "<itemref idref=\"a\"/>"));
    writeFile(src / "OEBPS/a.xhtml", "<html><body><h1>Forced</h1><p>Text.</p></body></html>");
    RunResult zr = run({"sh", "-c",
                        "cd '" + src.path().string() + "' && zip -q -X -fz -0 '" + (dir_ / "fz.epub").string() +
                            "' mimetype && zip -q -X -fz -r '" + (dir_ / "fz.epub").string() + "' META-INF OEBPS"});
    ASSERT_EQ(zr.status, 0) << zr.err;
    TBook fz = ReadBookFile((dir_ / "fz.epub").string(), {});
    ASSERT_EQ(fz.chapters.size(), 1u);
    EXPECT_EQ(fz.chapters[0].name, "Forced");
}

TEST_F(Hostilebooks, Fb2WithALargeImageAndUtf8ThatNamesWindows1251)
{
    const std::string body = "<body><section><title><p>Глава 1</p></title><p>Текст первой главы.</p></section>"
                             "<section><title><p>Глава 2</p></title><p>Текст второй.</p></section></body>";
    const std::string head = "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\"><description>"
                             "<title-info><book-title>Книга</book-title></title-info></description>";
    std::string image;
    image.reserve(28u << 20);
    const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; image.size() < (27u << 20); ++i) {
        image += b64[(i * 7919) % 64];
        if (i % 76 == 75)
            image += '\n';
    }
    TOutcome big = import("image.fb2", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + head + body +
                                           "<binary id=\"cover.jpg\" content-type=\"image/jpeg\">" + image +
                                           "</binary></FictionBook>\n");
    EXPECT_EQ(big.message, "2 topics");

    writeFile(dir_ / "lie.fb2", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" + head + body + "</FictionBook>");
    TBook b = ReadBookFile((dir_ / "lie.fb2").string(), {});
    EXPECT_EQ(b.encoding, "UTF-8");
    ASSERT_EQ(b.chapters.size(), 2u);
    EXPECT_EQ(cp1251ToUtf8(b.chapters[0].name), "Глава 1");
    ASSERT_EQ(b.notes.size(), 1u);
    EXPECT_NE(b.notes[0].find("lie.fb2: it says windows-1251 but is UTF-8; read as UTF-8"), std::string::npos);
    // Text in Windows-1251 that says so stays Windows-1251.
    writeFile(dir_ / "true.fb2", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" +
                                     utf8ToCp1251(head + body) + "</FictionBook>");
    TBook t = ReadBookFile((dir_ / "true.fb2").string(), {});
    EXPECT_EQ(t.encoding, "Windows-1251");
    EXPECT_EQ(cp1251ToUtf8(t.chapters[1].name), "Глава 2");
    EXPECT_TRUE(t.notes.empty());
}
