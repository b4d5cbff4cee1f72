// Undo and redo of the topic list's commands: after each undo and each redo
// the project, opened again, holds exactly the state before or after the change.
#include "book/Topiccommands.h"

#include "Testutil.h"
#include "common/Errors.h"
#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace volm;
using namespace volm::test;

namespace {

using TState = std::vector<std::pair<std::string, std::string>>; // names and texts in list order

struct TBench {
    TempDir dir;
    std::string file = (dir / "p.volm").string();
    TProject p;
    TTopicCommands c{p};
    TBench() { p.Open(file); }
    // The project as the file holds it: closed and opened again.
    TState reopened()
    {
        try {
            p.CloseProject();
        } catch (const Error&) {
            // a write that failed earlier: closed all the same
        }
        p.Open(file);
        TState s;
        for (size_t i = 0; i < p.TopicCount(); ++i)
            s.emplace_back(p.Topic(i).Name, p.GetText(i));
        return s;
    }
};

} // namespace

TEST(Topichistory, EveryChangeIsUndoneAndRedoneInTheFile)
{
    TBench b;
    writeFile(b.dir / "list.txt", "L1\nL2\n");
    writeFile(b.dir / "text.txt", "from a file\n");
    std::vector<TState> states{b.reopened()};
    std::vector<std::string> whats;
    const auto step = [&](auto&& change) {
        change();
        whats.push_back(b.c.History().NextUndo().what);
        states.push_back(b.reopened());
    };
    step([&] { b.c.Append("One"); });
    step([&] { b.c.Append("Two"); });
    step([&] { b.c.SetText(0, "first\r\n"); });
    step([&] { b.c.SetText(1, "second\r\n"); });
    step([&] { b.c.AppendList((b.dir / "list.txt").string()); });
    step([&] { b.c.AppendTextFile("File", (b.dir / "text.txt").string(), true); });
    step([&] { b.c.AppendBook({{"Ch 1", "c1\r\n"}, {"Ch 2", "c2\r\n"}}); });
    step([&] { b.c.Move(0, 3); });
    step([&] { b.c.Rename(0, "Zwei"); });
    step([&] { b.c.Delete(0); }); // "Zwei" with its text, from the top
    step([&] { b.c.Delete(2); }); // "One", from the middle
    EXPECT_EQ(whats[0], "Topic \"One\" appended");
    EXPECT_EQ(whats[4], "2 topics of the list appended");
    EXPECT_EQ(whats[5], "Topic \"File\" appended");
    EXPECT_EQ(whats[6], "2 topics of the book appended");
    EXPECT_EQ(whats[8], "Topic \"Two\" renamed to \"Zwei\"");
    EXPECT_EQ(whats[9], "Topic \"Zwei\" deleted");

    // Back to the empty project, one change at a time, each named as it was made.
    for (size_t k = whats.size(); k-- > 0;) {
        ASSERT_TRUE(b.c.CanUndo());
        EXPECT_EQ(b.c.Undo(), whats[k]);
        EXPECT_EQ(b.reopened(), states[k]) << "after undoing " << whats[k];
    }
    EXPECT_FALSE(b.c.CanUndo());
    EXPECT_EQ(b.c.Undo(), "");
    // And forward again.
    for (size_t k = 0; k < whats.size(); ++k) {
        ASSERT_TRUE(b.c.CanRedo());
        EXPECT_EQ(b.c.Redo(), whats[k]);
        EXPECT_EQ(b.reopened(), states[k + 1]) << "after redoing " << whats[k];
    }
    EXPECT_FALSE(b.c.CanRedo());
}

TEST(Topichistory, ANewChangeEndsTheRedosAndAFailureForgetsTheHistory)
{
    TBench b;
    b.c.Append("A");
    b.c.Append("B");
    b.c.Undo();
    ASSERT_TRUE(b.c.CanRedo());
    b.c.Append("C");
    EXPECT_FALSE(b.c.CanRedo());
    EXPECT_EQ(b.c.Undo(), "Topic \"C\" appended");
    EXPECT_EQ(b.c.Undo(), "Topic \"A\" appended");
    EXPECT_EQ(b.reopened(), TState{});
    b.c.Redo();
    b.c.Redo();

    // A change made part-way is undone as far as it went.
    writeFile(b.dir / "long.txt", "a\nb\nc\nd\ne\nf\n");
    b.p.Document()->File().io().failWritesAfter(12, ENOSPC);
    const TListAppend done = b.c.AppendList((b.dir / "long.txt").string());
    b.p.Document()->File().io().failWritesAfter(-1, ENOSPC);
    ASSERT_FALSE(done.failure.empty());
    ASSERT_GE(done.appended, 1u);
    b.reopened(); // the file wants opening again after a failed write
    EXPECT_EQ(b.c.Undo(), std::to_string(done.appended) + (done.appended == 1 ? " topic" : " topics") +
                              " of the list appended");
    EXPECT_EQ(b.reopened(), (TState{{"A", ""}, {"C", ""}}));

    // An undo the disk refuses raises and leaves nothing to undo or redo.
    b.c.Delete(0);
    b.p.Document()->File().io().failWritesAfter(0, EIO);
    EXPECT_THROW(b.c.Undo(), Error);
    b.p.Document()->File().io().failWritesAfter(-1, EIO);
    EXPECT_FALSE(b.c.CanUndo());
    EXPECT_FALSE(b.c.CanRedo());
    EXPECT_EQ(b.reopened(), (TState{{"C", ""}}));
}
