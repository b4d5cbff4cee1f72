// Book files through their containers (EPUB 2 and 3, zipped FB2) and into a
// project: all topics or none.
#include "book/Bookfile.h"

#include "Testutil.h"
#include "common/Codepage.h"
#include "storage/Cfbfile.h"
#include "storage/Componounddoc.h"
#include "text/Bookexpect.h"
#include "text/Epub.h"

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::test;

namespace {

TBook readFixture(const std::string& name)
{
    return ReadBookFile((booksDir() / name).string(), {});
}

// Writes a ZIP archive with Python's zipfile: `members` are (name, data).
void makeZip(const fs::path& out, const std::vector<std::pair<std::string, std::string>>& members)
{
    TempDir src;
    std::string code = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n";
    for (size_t i = 0; i < members.size(); ++i) {
        writeFile(src / std::to_string(i), members[i].second);
        code += "z.write(sys.argv[2] + '/" + std::to_string(i) + "', '" + members[i].first + "')\n";
    }
    code += "z.close()\n";
    auto r = run({pythonWith({"zipfile"}), "-c", code, out.string(), src.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
}

std::string failure(const fs::path& p)
{
    try {
        ReadBookFile(p.string(), {});
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << p << " was read";
    return {};
}

} // namespace

TEST(Bookfile, EpubsAndAZippedFb2GiveTheirChaptersWithEveryParagraphOnceInOrder)
{
    for (const char* name : {"tale2.epub", "tale3.epub"}) {
        SCOPED_TRACE(name);
        TBook b = readFixture(name);
        EXPECT_EQ(b.format, "EPUB");
        EXPECT_EQ(cp1251ToUtf8(b.NameSuggestion()), "Иван Сидоров - Сказка о часовщике");
        expectTopics(b, name);
    }
    TBook zipped = readFixture("tale.fb2.zip");
    EXPECT_EQ(zipped.format, "FB2 (zipped)");
    expectTopics(zipped, "tale.fb2");
    // The plain formats go the same way without a container.
    expectTopics(readFixture("tale.html"), "tale.html");
}

TEST(Bookfile, HrefsResolveInsideTheContainer)
{
    std::string frag;
    EXPECT_EQ(ResolveHref("OEBPS/content.opf", "Text/ch%201.xhtml#c2", &frag), "OEBPS/Text/ch 1.xhtml");
    EXPECT_EQ(frag, "c2");
    EXPECT_EQ(ResolveHref("OEBPS/Text/nav.xhtml", "../Text/./a.xhtml"), "OEBPS/Text/a.xhtml");
    EXPECT_EQ(ResolveHref("OEBPS/nav.xhtml", "#top", &frag), "OEBPS/nav.xhtml");
    EXPECT_EQ(ResolveHref("a/b.opf", "../../../x.xhtml"), "x.xhtml"); // never above the root
    EXPECT_EQ(ResolveHref("a/b.opf", "http://example.org/x.xhtml"), "");
}

TEST(Bookfile, DamagedAndForeignContainersAreRefusedNamingTheFile)
{
    TempDir tmp;
    // A damaged archive: the EPUB cut short.
    std::string epub = readFile(booksDir() / "tale3.epub");
    writeFile(tmp / "cut.epub", epub.substr(0, epub.size() / 2));
    EXPECT_NE(failure(tmp / "cut.epub").find("cut.epub"), std::string::npos);
    // An archive that is no book.
    makeZip(tmp / "photos.zip", {{"a.jpg", "not really"}});
    EXPECT_NE(failure(tmp / "photos.zip").find("photos.zip: a ZIP archive that is neither an EPUB nor a zipped FB2"),
              std::string::npos);
    // An EPUB without a spine.
    makeZip(tmp / "nospine.epub",
            {{"mimetype", "application/epub+zip"},
             {"content.opf", "<package xmlns='http://www.idpf.org/2007/opf'><metadata/><manifest>"
                             "<item id='a' href='a.xhtml' media-type='application/xhtml+xml'/></manifest></package>"},
             {"a.xhtml", "<html><body><p>text</p></body></html>"}});
    EXPECT_NE(failure(tmp / "nospine.epub").find("nospine.epub: an EPUB without a spine"), std::string::npos);
    // A member whose data is damaged: the CRC check names it.
    std::string zipped = readFile(booksDir() / "tale.fb2.zip");
    zipped[zipped.size() / 2] = static_cast<char>(zipped[zipped.size() / 2] ^ 0x55);
    writeFile(tmp / "bad.fb2.zip", zipped);
    std::string msg = failure(tmp / "bad.fb2.zip");
    EXPECT_NE(msg.find("bad.fb2.zip: tale.fb2: "), std::string::npos) << msg;
    // Not a file at all.
    EXPECT_NE(failure(tmp.path()).find("not a regular file"), std::string::npos);
}

TEST(Bookfile, TopicsAreAppendedAllOrNone)
{
    TempDir tmp;
    const std::string path = (tmp / "book.volm").string();
    TBook book = readFixture("tale3.epub");
    std::vector<TBookTopic> topics = BookTopics(book, 300);
    ASSERT_GT(topics.size(), 4u);
    {
        TProject p;
        p.Open(path, TProject::omCreateNew);
        p.AddTopic("before");
        std::vector<size_t> added = AppendBookTopics(p, topics);
        ASSERT_EQ(added.size(), topics.size());
        for (size_t i = 0; i < topics.size(); ++i) {
            EXPECT_EQ(p.Topic(added[i]).Name, topics[i].name);
            EXPECT_EQ(p.GetText(added[i]), topics[i].text);
            EXPECT_LE(topics[i].text.size(), 300u);
        }
        p.CloseProject();
    }
    // A stream in the way of the third new topic: the two before it go again.
    TProject p;
    p.Open(path, TProject::omOpenExisting);
    const size_t before = p.TopicCount();
    const std::string blockerName = std::to_string(p.TopicCounter() + 3);
    TDocStream blocker;
    p.Document()->CreateStream(blocker, blockerName, 0x12);
    blocker.Close();
    EXPECT_THROW(AppendBookTopics(p, topics), Error);
    EXPECT_EQ(p.TopicCount(), before);
    p.Document()->DestroyElement(blockerName); // ours, not the import's
    p.CloseProject();
    TProject again;
    again.Open(path, TProject::omOpenExisting);
    EXPECT_EQ(again.TopicCount(), before);
}

namespace {

struct TProjectState {
    std::vector<std::pair<std::string, std::string>> topics; // name, text
    std::string title;
    std::vector<std::string> staged;                         // "Adding." streams left in the file
    bool operator==(const TProjectState&) const = default;
};

TProjectState stateOf(const std::string& path)
{
    TProject p;
    p.Open(path, TProject::omReadOnly);
    TProjectState s;
    for (size_t i = 0; i < p.TopicCount(); ++i)
        s.topics.emplace_back(p.Topic(i).Name, p.GetText(i));
    s.title = p.Title();
    std::list<TDocElem> elements;
    p.Document()->EnumElements(elements);
    for (const TDocElem& e : elements)
        if (e.name.rfind(kAddingPrefix, 0) == 0)
            s.staged.push_back(e.name);
    EXPECT_TRUE(p.SkippedElements().empty());
    return s;
}

} // namespace

// The disk refuses the k-th write of an append, for every k: a failed append
// leaves the project listing exactly its old topics, texts and title, and the
// next append clears what the failed one left; an append that gets through
// holds every topic and the title.
TEST(Bookfile, ABookIsAppendedAllOrNoneWhereverTheDiskFails)
{
    TempDir tmp;
    const std::string base = (tmp / "base.volm").string(), path = (tmp / "work.volm").string();
    {
        TProject p;
        p.Open(base, TProject::omCreateNew);
        for (const char* name : {"one", "two", "three"})
            p.CommitText(p.AddTopic(name), std::string(900, name[0]) + "\r\n");
    }
    // Small texts (mini stream), large ones (own sectors), an empty one.
    std::vector<TBookTopic> book;
    for (int i = 0; i < 9; ++i)
        book.push_back({"Chapter " + std::to_string(i + 1), std::string(i % 3 == 0 ? 9000 : i == 4 ? 0 : 700,
                                                                            static_cast<char>('a' + i))});
    const TProjectState old = stateOf(base);
    TProjectState all = old;
    for (const TBookTopic& t : book)
        all.topics.emplace_back(t.name, t.text);
    all.title = "The Book";

    long refused = 0;
    bool completed = false;
    for (long k = 0; !completed && k < 2000; ++k) {
        fs::copy_file(base, path, fs::copy_options::overwrite_existing);
        bool raised = false;
        {
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            p.Document()->File().io().failWritesAfter(k, k % 2 ? ENOSPC : EIO);
            try {
                std::vector<size_t> added = AppendBookTopics(p, book, "The Book");
                EXPECT_EQ(added.size(), book.size());
            } catch (const Error& e) {
                raised = true;
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
                EXPECT_EQ(p.TopicCount(), old.topics.size()) << k;
            }
            p.Document()->File().io().failWritesAfter(-1, 0);
            try {
                p.CloseProject();
            } catch (const Error&) {
            }
        }
        TProjectState now = stateOf(path);
        if (raised) {
            ++refused;
            if (!now.staged.empty() && refused % 4 == 1) {
                // A pack's copy leaves them behind.
                TProject p;
                p.Open(path, TProject::omOpenExisting);
                p.Pack();
                p.CloseProject();
                EXPECT_TRUE(stateOf(path).staged.empty()) << k;
                EXPECT_EQ(stateOf(path), old) << "packed after failing at write " << k;
            }
            now.staged.clear(); // left for the next append
            EXPECT_EQ(now, old) << "failing at write " << k;
            // The next append takes the place of what this one left.
            {
                TProject p;
                p.Open(path, TProject::omOpenExisting);
                AppendBookTopics(p, book, "The Book");
            }
            EXPECT_EQ(stateOf(path), all) << "appending again after failing at write " << k;
        } else {
            completed = true;
            EXPECT_EQ(now, all);
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(refused, 20); // the hook refused writes all through the append
}

// A project that has a title keeps it; the book's topics still come.
TEST(Bookfile, AProjectsOwnTitleStays)
{
    TempDir tmp;
    const std::string path = (tmp / "t.volm").string();
    TProject p;
    p.Open(path, TProject::omCreateNew);
    p.SaveTitle("Mine");
    AppendBookTopics(p, {{"A", "a\r\n"}}, "Theirs");
    EXPECT_EQ(p.Title(), "Mine");
    p.CloseProject();
    EXPECT_EQ(stateOf(path).title, "Mine");
    EXPECT_EQ(stateOf(path).topics.size(), 1u);
}
