// The topic list's commands without a window: each change lands in the file
// and the view hears of it as it lands, also when a command fails part-way.
#include "book/Topiccommands.h"

#include "Testutil.h"
#include "common/Codepage.h"
#include "common/Errors.h"
#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace volm;
using namespace volm::test;

namespace {

// A view that writes down what it is told, and checks that every index it
// hears of is a topic of the project at that moment.
class TLog : public ITopicListView {
public:
    explicit TLog(const TProject& p) : project(p) {}
    void TopicAppended(size_t i) override { note("appended " + name(i)); }
    void TopicAppendFailed(const std::string& n) override { note("failed " + n); }
    void TopicDeleted(size_t i) override { note("deleted " + std::to_string(i)); }
    void TopicMoved(size_t from, size_t to) override
    {
        note("moved " + std::to_string(from) + ">" + std::to_string(to) + " " + name(to));
    }
    void TopicRenamed(size_t i) override { note("renamed " + name(i)); }
    void TopicTextChanged(size_t i) override { note("text " + name(i) + "=" + project.GetText(i)); }

    const TProject& project;
    std::vector<std::string> heard;

private:
    std::string name(size_t i) const
    {
        EXPECT_LT(i, project.TopicCount());
        return i < project.TopicCount() ? project.Topic(i).Name : "?";
    }
    void note(const std::string& s) { heard.push_back(s); }
};

std::vector<std::string> names(const TProject& p)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < p.TopicCount(); ++i)
        out.push_back(p.Topic(i).Name);
    return out;
}

using Lines = std::vector<std::string>;

// A new project in a scratch folder, its commands told to a log.
struct TBench {
    TempDir dir;
    TProject p;
    TLog log{p};
    TTopicCommands c{p, &log};
    TBench() { p.Open((dir / "p.volm").string()); }
    // Writes fail with `err` after `count` more (a negative count: they work again).
    void failWritesAfter(long count, int err = ENOSPC) { p.Document()->File().io().failWritesAfter(count, err); }
};

} // namespace

TEST(Topiccommands, EachCommandChangesTheFileAndTellsTheView)
{
    TempDir dir;
    const std::string file = (dir / "book.volm").string();
    {
        TProject p;
        p.Open(file);
        TLog log(p);
        TTopicCommands c(p, &log);
        EXPECT_EQ(c.Append("One"), 0u);
        c.Append("Two");
        c.Append("Three");
        c.SetText(1, "two\r\n");
        c.Move(0, 2); // Two, Three, One
        c.Rename(0, "Second");
        c.Delete(1);
        c.Move(1, 1); // nothing moves, nobody hears
        EXPECT_EQ(log.heard, (Lines{"appended One", "appended Two", "appended Three", "text Two=two\r\n",
                                    "moved 0>2 One", "renamed Second", "deleted 1"}));
        // A topic that is not there raises, and nobody hears of it.
        EXPECT_THROW(c.Delete(5), Error);
        EXPECT_THROW(c.Rename(5, "x"), Error);
        EXPECT_EQ(log.heard.size(), 7u);
        p.CloseProject();
    }
    TProject again;
    again.Open(file);
    EXPECT_EQ(names(again), (Lines{"Second", "One"}));
    EXPECT_EQ(again.GetText(0), "two\r\n");
    // Without a view the commands work all the same.
    TTopicCommands quiet(again);
    quiet.Append("Four");
    EXPECT_EQ(again.TopicCount(), 3u);
}

TEST(Topiccommands, AListIsReadAsTextAndStopsAtTheFirstFailure)
{
    TBench b;
    auto& [dir, p, log, c] = b;

    // UTF-8 with a byte-order mark, a NUL ending the list: Windows-1251 names.
    writeFile(dir / "utf8.txt", std::string("\xEF\xBB\xBF\xD0\x9F\xD0\xB5\xD1\x80\xD0\xB2\xD0\xB0\xD1\x8F\nB\r\n\0C\n", 21));
    TListAppend done = c.AppendList((dir / "utf8.txt").string());
    EXPECT_EQ(done.appended, 2u);
    EXPECT_TRUE(done.failure.empty());
    EXPECT_TRUE(done.refused.empty());
    EXPECT_EQ(done.cutAt, 19u); // the byte-order mark, "Первая" and its LF, "B" and its CR LF
    EXPECT_EQ(names(p), (Lines{utf8ToCp1251("Первая"), "B"}));

    // A name Windows-1251 can't hold refuses the whole list.
    writeFile(dir / "cjk.txt", "Three\n\xE5\x9B\x9B four\nFive\n");
    done = c.AppendList((dir / "cjk.txt").string());
    ASSERT_EQ(done.refused.size(), 1u);
    EXPECT_EQ(done.refused[0].line, 2u);
    EXPECT_EQ(done.appended, 0u);
    EXPECT_EQ(p.TopicCount(), 2u);

    // Empty lines name no topic: skipped, and counted.
    writeFile(dir / "gaps.txt", "X\r\n\r\n\r\nY\r\n\r\n");
    done = c.AppendList((dir / "gaps.txt").string());
    EXPECT_EQ(done.appended, 2u);
    EXPECT_EQ(done.skipped, 3u);
    EXPECT_EQ(names(p), (Lines{utf8ToCp1251("Первая"), "B", "X", "Y"}));
    c.Undo();
    EXPECT_EQ(p.TopicCount(), 2u);

    // A file that can't be read raises; nothing is appended.
    EXPECT_THROW(c.AppendList((dir / "missing.txt").string()), Error);
    EXPECT_EQ(p.TopicCount(), 2u);
    log.heard.clear();

    // The disk fills part-way: the lines before the failing one stay, the
    // view has heard of each of them and of the one that failed.
    writeFile(dir / "long.txt", "a\nb\nc\nd\ne\nf\n");
    b.failWritesAfter(12);
    done = c.AppendList((dir / "long.txt").string());
    b.failWritesAfter(-1);
    EXPECT_FALSE(done.failure.empty());
    ASSERT_GE(done.appended, 1u);
    ASSERT_LT(done.appended, 6u);
    EXPECT_EQ(p.TopicCount(), 2 + done.appended);
    ASSERT_EQ(log.heard.size(), done.appended + 1);
    EXPECT_EQ(log.heard.front(), "appended a");
    EXPECT_EQ(log.heard.back(), "failed " + std::string(1, static_cast<char>('a' + done.appended)));
}

TEST(Topiccommands, TextFilesAndBooksAreAppendedWithTheirTexts)
{
    TBench b;
    auto& [dir, p, log, c] = b;

    // KOI8-R prose, detected; LF becomes CR LF.
    const std::string prose = "Дорогой доктор, хорошо ли вам? Около высокой горы стоит старый дом.\n";
    writeFile(dir / "koi.txt", encode(CodePage::Koi8R, utf8ToUtf16(prose)));
    TDetection found;
    EXPECT_EQ(c.AppendTextFile("Koi", (dir / "koi.txt").string(), true, &found), 0u);
    EXPECT_EQ(found.Describe().find("KOI8-R") != std::string::npos, true) << found.Describe();
    EXPECT_EQ(p.GetText(0), utf8ToCp1251("Дорогой доктор, хорошо ли вам? Около высокой горы стоит старый дом.\r\n"));
    // Without detection the bytes stay.
    writeFile(dir / "raw.txt", "ab\ncd\xc1");
    c.AppendTextFile("Raw", (dir / "raw.txt").string(), false);
    EXPECT_EQ(p.GetText(1), "ab\r\ncd\xc1\r\n");
    // A file that can't be read appends nothing.
    EXPECT_THROW(c.AppendTextFile("Gone", (dir / "gone.txt").string(), true), Error);
    EXPECT_EQ(p.TopicCount(), 2u);
    ASSERT_EQ(log.heard.size(), 4u);
    EXPECT_EQ(log.heard[0], "appended Koi");
    EXPECT_EQ(log.heard[1].rfind("text Koi=", 0), 0u);

    // A book: all its topics, and the view hears of them once they are in.
    log.heard.clear();
    const std::vector<size_t> added = c.AppendBook({{"Chapter 1", "one\r\n"}, {"Chapter 2", "two\r\n"}});
    EXPECT_EQ(added, (std::vector<size_t>{2, 3}));
    EXPECT_EQ(log.heard, (Lines{"appended Chapter 1", "appended Chapter 2"}));
    EXPECT_EQ(p.GetText(3), "two\r\n");
    // A book that fails part-way is taken out again, and nobody hears of it.
    log.heard.clear();
    b.failWritesAfter(3);
    EXPECT_THROW(c.AppendBook({{"A", std::string(20000, 'a')}, {"B", std::string(20000, 'b')}}), Error);
    b.failWritesAfter(-1);
    EXPECT_EQ(p.TopicCount(), 4u);
    EXPECT_TRUE(log.heard.empty());
}

TEST(Topiccommands, AFailedAppendAndAFailedDeleteAreTold)
{
    TBench b;
    auto& [dir, p, log, c] = b;
    c.Append("Kept");
    c.Append("Gone");
    log.heard.clear();

    b.failWritesAfter(0, EIO);
    EXPECT_THROW(c.Append("Never"), Error);
    EXPECT_EQ(p.TopicCount(), 2u);
    // The topic leaves the list before the file fails: the view hears of it.
    EXPECT_THROW(c.Delete(1), Error);
    b.failWritesAfter(-1);
    EXPECT_EQ(names(p), (Lines{"Kept"}));
    EXPECT_EQ(log.heard, (Lines{"failed Never", "deleted 1"}));
}
