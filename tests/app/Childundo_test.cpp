// Every change of the topic list is taken back by Ctrl+Z and made again by
// Ctrl+Shift+Z, the file written at once each time; in the editor the keys
// act on the typing.

#include "app/Bookdialog.h"
#include "app/Child.h"
#include "app/Editortext.h"
#include "app/Main.h"
#include "common/Codepage.h"
#include "storage/Project.h"

#include "Testutil.h"
#include "app/Childtest.h"
#include "app/Guitest.h"
#include "text/Bookexpect.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;
namespace fs = std::filesystem;

namespace {

using volm::test::settle;

// One topic as the file holds it: "name=text".
using TFileTopics = std::vector<std::string>;

class Undo : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = volm::test::ShownFrame(dir / "registry.ini");
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    void TearDown() override
    {
        questions.answers = {kDiscard, kDiscard};
        if (frame)
            frame->close();
        settle();
    }
    TForm2* open(std::vector<std::string> names = {"One", "Two", "Three"})
    {
        {
            TProject project;
            project.Open(path().string());
            for (const std::string& n : names)
                project.CommitText(project.AddTopic(n), "text of " + n + "\r\n");
        }
        return reopen();
    }
    TForm2* reopen()
    {
        frame->OpenOrCreateProject(QString::fromStdString(path().string()));
        for (TProjectWindow* w : frame->projectWindows())
            if (w->HoldsProject(QString::fromStdString(path().string())))
                return static_cast<TForm2*>(w);
        return nullptr;
    }
    fs::path path() const { return dir / "book.volm"; }
    // What the file holds this moment (a copy of it, opened on its own).
    TFileTopics inFile() const
    {
        const fs::path copy = dir / "copy.volm";
        fs::copy_file(path(), copy, fs::copy_options::overwrite_existing);
        TProject p;
        p.Open(copy.string(), TProject::omReadOnly);
        TFileTopics out;
        for (size_t i = 0; i < p.TopicCount(); ++i)
            out.push_back(p.Topic(i).Name + "=" + p.GetText(i));
        return out;
    }
    static TFileTopics topics(std::initializer_list<const char*> names)
    {
        TFileTopics out;
        for (const char* n : names)
            out.push_back(std::string(n) + "=text of " + n + "\r\n");
        return out;
    }
    // The list's nodes as "name=text" of their topics, read through the window.
    static TFileTopics shown(TForm2* w)
    {
        TFileTopics out;
        for (int r = 0; r < w->TreeView1->topLevelItemCount(); ++r) {
            const int i = w->TopicIndex(w->TreeView1->topLevelItem(r));
            out.push_back(utf8ToCp1251(w->TreeView1->topLevelItem(r)->text(0).toStdString()) + "=" +
                          (i < 0 ? std::string("(none)") : w->Project().GetText(static_cast<size_t>(i))));
        }
        return out;
    }
    QString status() const { return frame->statusBar()->currentMessage(); }
    // The keys reach the window's commands while the frame is active (a
    // dialog that closed may have left no window active).
    void activate()
    {
        frame->windowHandle()->requestActivate();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == frame.get(); }));
    }
    void undoKey(TForm2* w)
    {
        activate();
        w->TreeView1->setFocus();
        QTest::keyClick(w->TreeView1, Qt::Key_Z, Qt::ControlModifier);
    }
    void redoKey(TForm2* w)
    {
        activate();
        w->TreeView1->setFocus();
        QTest::keyClick(w->TreeView1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    }
    // Undo, then redo, of the change just made: the file and the list hold
    // `before`, then `after` again.
    void undoRedo(TForm2* w, const TFileTopics& before, const TFileTopics& after, const QString& what)
    {
        SCOPED_TRACE(what.toStdString());
        ASSERT_EQ(inFile(), after);
        undoKey(w);
        EXPECT_EQ(inFile(), before);
        EXPECT_EQ(shown(w), before);
        EXPECT_EQ(status(), QStringLiteral("Undone: %1. Ctrl+Shift+Z makes it again.").arg(what));
        redoKey(w);
        EXPECT_EQ(inFile(), after);
        EXPECT_EQ(shown(w), after);
        EXPECT_EQ(status(), QStringLiteral("Made again: %1. Ctrl+Z undoes it.").arg(what));
    }

    TempDir dir;
    Messages messages;
    Questions questions;
    std::unique_ptr<TForm1> frame;
};

} // namespace

TEST_F(Undo, DeleteKeyDeletesWithoutAQuestionAndCtrlZRestoresTheTopic)
{
    TForm2* w = open();
    ASSERT_NE(w, nullptr);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(1));
    w->TreeView1->setFocus();
    QTest::keyClick(w->TreeView1, Qt::Key_Delete);
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(status(), QStringLiteral("Topic \"Two\" deleted. Ctrl+Z restores it."));
    EXPECT_EQ(inFile(), topics({"One", "Three"}));
    // The Edit menu names what Ctrl+Z would take back.
    emit frame->EditMenu->aboutToShow();
    EXPECT_EQ(frame->aUndo->text(), QStringLiteral("&Undo: Topic \"Two\" deleted"));
    EXPECT_FALSE(frame->aRedo->isEnabled());
    emit frame->EditMenu->aboutToHide();
    undoRedo(w, topics({"One", "Two", "Three"}), topics({"One", "Three"}), QStringLiteral("Topic \"Two\" deleted"));
    // Undone again, the project opened anew shows the topic in its place.
    undoKey(w);
    frame->WindowClose->trigger();
    settle();
    w = reopen();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(shown(w), topics({"One", "Two", "Three"}));
    // A new window has nothing to undo.
    undoKey(w);
    EXPECT_EQ(status(), QStringLiteral("Nothing to undo."));
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Undo, AppendRenameMoveAndAListAreEachOneStep)
{
    TForm2* w = open({"One", "Two"});
    ASSERT_NE(w, nullptr);
    const TFileTopics start = topics({"One", "Two"});
    TFileTopics withNew = start;
    withNew.push_back("Four=");
    w->Edit1->setText(QStringLiteral("Four"));
    w->BitBtn1->click();
    EXPECT_EQ(status(), QStringLiteral("Topic \"Four\" appended. Ctrl+Z undoes it."));
    undoRedo(w, start, withNew, QStringLiteral("Topic \"Four\" appended"));
    undoKey(w);

    ASSERT_TRUE(w->RenameTopic(w->TreeView1->topLevelItem(0), QStringLiteral("Uno")));
    TFileTopics renamed = start;
    renamed[0] = "Uno=text of One\r\n";
    undoRedo(w, start, renamed, QStringLiteral("Topic \"One\" renamed to \"Uno\""));
    undoKey(w);

    ASSERT_TRUE(w->MoveTopic(0, 1));
    undoRedo(w, start, topics({"Two", "One"}), QStringLiteral("Topic \"One\" moved"));
    undoKey(w);

    volm::test::writeFile(dir / "list.txt", "A\r\nB\r\n");
    chooseFile(w->OpenDialog2, (dir / "list.txt").string());
    w->BitBtn3->click();
    TFileTopics listed = start;
    listed.push_back("A=");
    listed.push_back("B=");
    undoRedo(w, start, listed, QStringLiteral("2 topics of the list appended"));

    // Several changes: taken back last first, made again in order.
    ASSERT_TRUE(w->RenameTopic(w->TreeView1->topLevelItem(0), QStringLiteral("Uno")));
    ASSERT_TRUE(w->MoveTopic(0, 3));
    const TFileTopics last{"Two=text of Two\r\n", "A=", "B=", "Uno=text of One\r\n"};
    ASSERT_EQ(inFile(), last);
    undoKey(w);
    undoKey(w);
    EXPECT_EQ(inFile(), listed);
    undoKey(w);
    EXPECT_EQ(inFile(), start);
    for (int i = 0; i < 3; ++i)
        redoKey(w);
    EXPECT_EQ(inFile(), last);
    redoKey(w);
    EXPECT_EQ(status(), QStringLiteral("Nothing to redo."));
    frame->WindowClose->trigger();
    settle();
    w = reopen();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(shown(w), last);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Undo, ABookImportIsOneStepAndACommitIsOneToo)
{
    TForm2* w = open({"One"});
    ASSERT_NE(w, nullptr);
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TBookDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->AppendButton->click();
    });
    w->ImportBook(QString::fromStdString((volm::test::booksDir() / "tale2.epub").string()));
    ASSERT_EQ(w->Project().TopicCount(), 5u);
    const TFileTopics imported = inFile();
    EXPECT_EQ(status(), QStringLiteral("4 topics of the book appended. Ctrl+Z undoes it."));
    undoRedo(w, topics({"One"}), imported, QStringLiteral("4 topics of the book appended"));
    undoKey(w);

    // Commit: the old text comes back, in the file and in the editor.
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    w->RxRichEdit1->setFocus();
    w->RxRichEdit1->moveCursor(QTextCursor::End);
    QTest::keyClicks(w->RxRichEdit1, QStringLiteral("more"));
    QTest::keyClick(w->RxRichEdit1, Qt::Key_S, Qt::ControlModifier);
    const TFileTopics committed{"One=text of One\r\nmore\r\n"};
    undoRedo(w, topics({"One"}), committed, QStringLiteral("Text of topic \"One\" committed"));
    undoKey(w);
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("text of One\n"));
    EXPECT_FALSE(w->HasUncommittedEdits());
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Undo, InTheEditorTheKeysActOnTheTyping)
{
    TForm2* w = open({"One"});
    ASSERT_NE(w, nullptr);
    w->Edit1->setText(QStringLiteral("Two"));
    w->BitBtn1->click();
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    w->RxRichEdit1->setFocus();
    w->RxRichEdit1->moveCursor(QTextCursor::End);
    QTest::keyClicks(w->RxRichEdit1, QStringLiteral("x"));
    QTest::keyClick(w->RxRichEdit1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("text of One\n"));
    EXPECT_EQ(w->Project().TopicCount(), 2u); // the append stays
    QTest::keyClick(w->RxRichEdit1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("text of One\nx"));
    // The menu's command does the same while the editor has the focus.
    frame->aUndo->trigger();
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("text of One\n"));
    EXPECT_EQ(w->Project().TopicCount(), 2u);

    // Typed text is settled before a change of the list is undone.
    QTest::keyClicks(w->RxRichEdit1, QStringLiteral("y"));
    questions.answers = {kCancel};
    undoKey(w);
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(w->Project().TopicCount(), 2u);
    questions.answers = {kDiscard};
    undoKey(w);
    EXPECT_EQ(w->Project().TopicCount(), 1u);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Undo, LoadOverATextIsTheEditorsOnlyAndIntoAnEmptyTopicOneStep)
{
    TForm2* w = open({"One"});
    ASSERT_NE(w, nullptr);
    // KOI8-R prose with a box-drawing line Windows-1251 lacks (0x80 in KOI8-R).
    const std::string koi = encode(CodePage::Koi8R, utf8ToUtf16("Около высокой горы стоит старый дом.\n")) + "\x80\n";
    volm::test::writeFile(dir / "koi.txt", koi);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    chooseFile(w->OpenDialog1, (dir / "koi.txt").string());
    w->Button1->click();
    EXPECT_EQ(status(), QStringLiteral("koi.txt loaded into the editor (KOI8-R detected; 1 character Windows-1251 "
                                       "lacks stored as the nearest text): \"Commit\" (Ctrl+S) stores it; Ctrl+Z "
                                       "restores the old text."));
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("Около высокой горы стоит старый дом.\n-\n"));
    EXPECT_TRUE(w->HasUncommittedEdits());
    EXPECT_TRUE(w->windowTitle().endsWith(u'*'));
    EXPECT_EQ(inFile(), topics({"One"}));
    activate();
    w->RxRichEdit1->setFocus();
    QTest::keyClick(w->RxRichEdit1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("text of One\n"));
    EXPECT_FALSE(w->HasUncommittedEdits());
    EXPECT_EQ(inFile(), topics({"One"}));

    // Into an empty topic the text is stored at once, and Ctrl+Z in the list takes it back.
    w->Edit1->setText(QStringLiteral("Two"));
    w->BitBtn1->click();
    chooseFile(w->OpenDialog1, (dir / "koi.txt").string());
    w->Button1->click();
    EXPECT_FALSE(w->HasUncommittedEdits());
    TFileTopics loaded = topics({"One"});
    loaded.push_back("Two=" + utf8ToCp1251("Около высокой горы стоит старый дом.\r\n-\r\n"));
    TFileTopics empty = topics({"One"});
    empty.push_back("Two=");
    undoRedo(w, empty, loaded, QStringLiteral("Text of topic \"Two\" committed"));
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}
