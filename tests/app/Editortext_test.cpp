// The editor's text without a project window: an editor, the topic-list
// commands and a project are all it needs.
#include "app/Editortext.h"

#include "app/Ansitext.h"
#include "common/Codepage.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

namespace {

// An editor over a project of three topics, "text of NAME" each.
struct TEditorBench : ITopicListView {
    TempDir dir;
    TProject project;
    TTopicCommands commands{project, this};
    QWidget window;
    QPlainTextEdit* editor = new QPlainTextEdit(&window);
    TEditorText text{editor, commands, &window};
    QStringList remarks;

    TEditorBench()
    {
        project.Open((dir / "p.volm").string());
        for (const char* n : {"One", "Two", "Three"})
            project.CommitText(project.AddTopic(n), std::string("text of ") + n + "\r\n");
        QObject::connect(&text, &TEditorText::remark, [this](const QString& r) { remarks << r; });
    }
    void type(const QString& s)
    {
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(s); // as typing does: the document is modified
    }
    // The list's changes reach the editor as the project window passes them on.
    void TopicAppended(size_t) override {}
    void TopicAppendFailed(const std::string&) override {}
    void TopicDeleted(size_t) override { text.TopicDeleted(); }
    void TopicMoved(size_t, size_t) override {}
    void TopicRenamed(size_t) override {}
    void TopicTextChanged(size_t i) override { text.TopicTextChanged(i); }
};

} // namespace

TEST(Editortext, ShowsATopicCommitsItsParagraphsAndSaysWhatBecameAQuestionMark)
{
    TEditorBench b;
    QSignalSpy modified(&b.text, &TEditorText::modifiedChanged);
    EXPECT_FALSE(b.text.TopicIndex()); // nothing held yet
    b.text.Show(1);
    EXPECT_EQ(b.text.TopicIndex(), 1u);
    EXPECT_FALSE(b.editor->isReadOnly());
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("text of Two\n"));
    EXPECT_FALSE(b.text.Modified());

    // Every Windows-1251 byte survives the editor, 0x98 too.
    std::string all;
    for (int c = 1; c < 256; ++c)
        if (c != '\r' && c != '\n')
            all.push_back(static_cast<char>(c));
    b.editor->setPlainText(ansiToText(all));
    EXPECT_EQ(b.text.Text(), all + "\r\n");
    EXPECT_FALSE(b.text.Modified()); // put there by the program, not typed

    b.editor->setPlainText(QStringLiteral("Ж 中\nend"));
    b.type(QStringLiteral("!"));
    EXPECT_TRUE(b.text.Modified());
    TAnsiCount replaced;
    EXPECT_EQ(b.text.Text(&replaced), "\xc6 ?\r\nend!\r\n");
    EXPECT_EQ(replaced.missing, 1u);
    ASSERT_TRUE(b.text.Commit());
    EXPECT_FALSE(b.text.Modified());
    EXPECT_EQ(b.project.GetText(1), "\xc6 ?\r\nend!\r\n");
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("Ж 中\nend!")); // the editor keeps what it shows
    EXPECT_EQ(b.remarks, QStringList{QStringLiteral("1 character Windows-1251 lacks stored as \"?\".")});
    EXPECT_GE(modified.count(), 2);

    // Typed text gets the nearest text, as a loaded one does.
    b.editor->setPlainText(QStringLiteral("caf\u00e9"));
    b.type(QStringLiteral("!"));
    ASSERT_TRUE(b.text.Commit());
    EXPECT_EQ(b.project.GetText(1), "cafe!\r\n");
    EXPECT_EQ(b.remarks.last(), QStringLiteral("1 character Windows-1251 lacks stored as the nearest text."));

    // Nothing held: empty and read-only; a commit has nothing to do.
    b.text.Show(std::nullopt);
    EXPECT_TRUE(b.editor->toPlainText().isEmpty());
    EXPECT_TRUE(b.editor->isReadOnly());
    EXPECT_TRUE(b.text.Commit());
}

TEST(Editortext, TheQuestionBeforeTypedTextIsLost)
{
    TEditorBench b;
    Questions questions;
    b.text.Show(0);
    EXPECT_TRUE(b.text.Settle()); // nothing typed: nothing asked
    EXPECT_TRUE(questions.asked.empty());

    b.type(QStringLiteral("typed"));
    questions.answers = {kCancel};
    EXPECT_FALSE(b.text.Settle());
    EXPECT_TRUE(b.text.Modified());
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_TRUE(questions.asked[0].text.contains(QStringLiteral("\"One\"")));

    questions.answers = {kDiscard};
    EXPECT_TRUE(b.text.Settle());
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("text of One\n"));
    EXPECT_EQ(b.project.GetText(0), "text of One\r\n");

    b.type(QStringLiteral("kept"));
    questions.answers = {kCommit};
    EXPECT_TRUE(b.text.Settle());
    EXPECT_EQ(b.project.GetText(0), "text of One\r\nkept\r\n");
    EXPECT_EQ(questions.asked.size(), 3u);
}

TEST(Editortext, LoadingOverATextIsTypingAndAFileThatCantBeReadChangesNothing)
{
    TEditorBench b;
    Messages messages;
    b.text.Show(2);
    volm::test::writeFile(b.dir / "ab.txt", "ab\ncd\n");
    b.text.Load(QString::fromStdString((b.dir / "ab.txt").string()), true);
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("ab\ncd\n"));
    EXPECT_EQ(b.project.GetText(2), "text of Three\r\n"); // not yet
    EXPECT_TRUE(b.text.Modified());
    EXPECT_TRUE(b.remarks.back().startsWith(QStringLiteral("ab.txt loaded into the editor (Windows-1251 detected; "
                                                           "no character Windows-1251 lacks)")))
        << b.remarks.back().toStdString();
    // The editor's own undo brings the old text back, and nothing is typed then.
    b.editor->undo();
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("text of Three\n"));
    EXPECT_FALSE(b.text.Modified());
    b.editor->redo();
    ASSERT_TRUE(b.text.Commit());
    EXPECT_EQ(b.project.GetText(2), "ab\r\ncd\r\n");
    EXPECT_FALSE(b.text.Modified());

    // Into an empty topic: stored at once.
    b.commands.SetText(1, "");
    b.text.Show(1);
    b.text.Load(QString::fromStdString((b.dir / "ab.txt").string()), false);
    EXPECT_EQ(b.project.GetText(1), "ab\r\ncd\r\n");
    EXPECT_FALSE(b.text.Modified());
    EXPECT_EQ(b.remarks.back(), QStringLiteral("ab.txt loaded into the topic (read as Windows-1251; no character "
                                               "Windows-1251 lacks). Ctrl+Z undoes it."));

    // KOI8-R with detection, and the same bytes without.
    const std::string koi = encode(CodePage::Koi8R, utf8ToUtf16("Около высокой горы стоит старый дом."));
    volm::test::writeFile(b.dir / "koi.txt", koi);
    EXPECT_EQ(TEditorText::FileText(QString::fromStdString((b.dir / "koi.txt").string()), true),
              QStringLiteral("Около высокой горы стоит старый дом.\n"));
    EXPECT_EQ(textToAnsi(TEditorText::FileText(QString::fromStdString((b.dir / "koi.txt").string()), false)),
              koi + "\n");

    b.text.Show(2);
    for (const char* name : {"missing.txt", "nul.txt"}) {
        if (std::string(name) == "nul.txt")
            volm::test::writeFile(b.dir / name, std::string("ab\ncd\0ef", 8));
        b.text.Load(QString::fromStdString((b.dir / name).string()), true);
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_TRUE(messages.shown.back().text.contains(QString::fromLatin1(name)));
        EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("ab\ncd\n"));
        EXPECT_EQ(b.project.GetText(2), "ab\r\ncd\r\n");
        EXPECT_FALSE(b.text.Modified());
    }
    EXPECT_EQ(messages.shown.size(), 2u);
}

// A heading line keeps its mark (byte 0x01 first) through the editor: shown,
// typed after, committed and shown again; and a loaded file's marks stay, in
// any code page detection finds.
TEST(Editortext, HeadingMarksSurviveShowingCommittingAndLoading)
{
    TEditorBench b;
    const std::string marked = "\x01\xC3\xEB\xE0\xE2\xE0 1\r\n\r\n\x01Part\r\ntext\r\n";
    b.project.CommitText(1, marked);
    b.text.Show(1);
    EXPECT_EQ(b.text.Text(), marked);
    b.type(QStringLiteral("!"));
    ASSERT_TRUE(b.text.Commit());
    EXPECT_EQ(b.project.GetText(1), "\x01\xC3\xEB\xE0\xE2\xE0 1\r\n\r\n\x01Part\r\ntext\r\n!\r\n");
    b.text.Show(0);
    b.text.Show(1);
    EXPECT_EQ(b.text.Text(), b.project.GetText(1));

    const std::u16string words = utf8ToUtf16("\x01Глава первая\nОколо высокой горы стоит старый дом, а за ним сад.\n");
    for (CodePage cp : {CodePage::Koi8R, CodePage::Cp866, CodePage::Cp1251}) {
        volm::test::writeFile(b.dir / "marked.txt", encode(cp, words));
        b.text.Load(QString::fromStdString((b.dir / "marked.txt").string()), true);
        ASSERT_TRUE(b.text.Commit());
        EXPECT_EQ(b.project.GetText(1), "\x01\xC3\xEB\xE0\xE2\xE0 \xEF\xE5\xF0\xE2\xE0\xFF\r\n"
                                        "\xCE\xEA\xEE\xEB\xEE \xE2\xFB\xF1\xEE\xEA\xEE\xE9 \xE3\xEE\xF0\xFB "
                                        "\xF1\xF2\xEE\xE8\xF2 \xF1\xF2\xE0\xF0\xFB\xE9 \xE4\xEE\xEC, \xE0 "
                                        "\xE7\xE0 \xED\xE8\xEC \xF1\xE0\xE4.\r\n")
            << static_cast<int>(cp);
    }
}

TEST(Editortext, TheEditorFollowsItsTopicThroughTheListsChanges)
{
    TEditorBench b;
    b.text.Show(0);
    // Moved: the editor still holds One, wherever it is now.
    b.commands.Move(0, 2);
    EXPECT_EQ(b.text.TopicIndex(), 2u);
    // A new text from elsewhere: shown while nothing is typed...
    b.commands.SetText(2, "from elsewhere\r\n");
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("from elsewhere\n"));
    // ... and not over typed text, which stays to be asked about.
    b.type(QStringLiteral("mine"));
    b.commands.SetText(2, "again\r\n");
    EXPECT_EQ(b.editor->toPlainText(), QStringLiteral("from elsewhere\nmine"));
    EXPECT_TRUE(b.text.Modified());
    // Another topic deleted: the editor keeps its own.
    b.commands.Delete(0);
    EXPECT_EQ(b.text.TopicIndex(), 1u);
    // Its own deleted: nothing held, nothing to ask about.
    b.commands.Delete(1);
    EXPECT_FALSE(b.text.TopicIndex());
    EXPECT_FALSE(b.text.Modified());
    EXPECT_TRUE(b.editor->toPlainText().isEmpty());
    EXPECT_TRUE(b.editor->isReadOnly());
}
