// The project window as a desktop editor: the editor always shows the
// selected topic's text, typed text is never dropped without a question,
// names Windows-1251 lacks are refused, lists are read as text, topics are
// renamed and reordered, files dropped become topics, recent projects.

#include "app/Child.h"
#include "app/Editortext.h"
#include "app/Jbuild.h"
#include "app/Main.h"
#include "app/Topictree.h"
#include "common/Codepage.h"
#include "storage/Cfbfile.h"
#include "storage/Project.h"

#include "Testutil.h"
#include "app/Childtest.h"
#include "app/Guitest.h"

#include <QApplication>
#include <QCompleter>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string cp1251(const char* utf8)
{
    return utf8ToCp1251(utf8);
}

// Turns down whatever modal dialog is up once the event loop runs (a file
// dialog, the build parameters).
void rejectNextDialog()
{
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
}

using volm::test::settle;

// A frame with one project of the topics `names`, each with the text
// "text of NAME" stored.
class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = volm::test::ShownFrame(dir / "registry.ini");
    }
    void TearDown() override
    {
        questions.answers.clear();
        if (frame)
            frame->close();
        settle();
    }

    TForm2* open(const std::string& file, std::vector<std::string> names = {"One", "Two", "Three"})
    {
        const fs::path p = dir / file;
        {
            TProject project;
            project.Open(p.string());
            for (const std::string& n : names)
                project.CommitText(project.AddTopic(n), "text of " + n + "\r\n");
        }
        frame->OpenOrCreateProject(QString::fromStdString(p.string()));
        return window(QString::fromStdString(p.string()));
    }
    TForm2* window(const QString& path)
    {
        for (TProjectWindow* w : frame->projectWindows())
            if (w->HoldsProject(path))
                return static_cast<TForm2*>(w);
        return nullptr;
    }
    static void select(TForm2* w, int row) { w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(row)); }
    static void type(TForm2* w, const QString& text) { volm::test::typeInEditor(w, text); }
    static QStringList names(TForm2* w) { return volm::test::topicNames(w); }
    // The editor holds the selected topic's stored text, or nothing.
    static void expectEditorShowsSelection(TForm2* w)
    {
        QTreeWidgetItem* node = w->TreeView1->currentItem();
        const int index = w->TopicIndex(node);
        if (index < 0) {
            EXPECT_EQ(w->EditorNode(), nullptr);
            EXPECT_TRUE(w->RxRichEdit1->toPlainText().isEmpty());
            EXPECT_TRUE(w->RxRichEdit1->isReadOnly());
            return;
        }
        EXPECT_EQ(w->EditorNode(), node);
        EXPECT_FALSE(w->RxRichEdit1->isReadOnly());
        EXPECT_EQ(w->EditorText().Text(), w->Project().GetText(static_cast<size_t>(index)));
    }

    TempDir dir;
    Messages messages;
    Questions questions;
    std::unique_ptr<TForm1> frame;
};

} // namespace

TEST_F(Editor, AppendedTopicShowsItsOwnEmptyTextAndCommitWritesOnlyTheShownTopic)
{
    TForm2* w = open("book.volm", {"One"});
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TreeView1->currentItem(), nullptr); // nothing selected after opening
    select(w, 0);
    expectEditorShowsSelection(w);

    // Select a topic, type a name, Append, Commit: the new topic stays empty.
    w->Edit1->setText(QStringLiteral("Two"));
    w->BitBtn1->click();
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(w->TreeView1->currentItem(), w->TreeView1->topLevelItem(1));
    expectEditorShowsSelection(w);
    EXPECT_TRUE(w->RxRichEdit1->toPlainText().isEmpty());
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(1), "");
    EXPECT_EQ(w->Project().GetText(0), "text of One\r\n");
    EXPECT_TRUE(questions.asked.empty()); // nothing was typed: nothing asked

    // Delete: nothing selected, nothing shown.
    w->BitBtn2->click();
    expectEditorShowsSelection(w);
    EXPECT_TRUE(w->PageControl1->isHidden());

    // A topic list: the last topic is selected and its (empty) text shown.
    select(w, 0);
    volm::test::writeFile(dir / "list.txt", "A\r\nB\r\n");
    chooseFile(w->OpenDialog2, dir / "list.txt");
    w->BitBtn3->click();
    EXPECT_EQ(names(w), (QStringList{QStringLiteral("One"), QStringLiteral("A"), QStringLiteral("B")}));
    expectEditorShowsSelection(w);
    EXPECT_EQ(w->EditorNode(), w->TreeView1->topLevelItem(2));

    // Pack: rebuilt, nothing selected, nothing shown.
    w->Pack1->trigger();
    EXPECT_EQ(w->TreeView1->currentItem(), nullptr);
    expectEditorShowsSelection(w);
    select(w, 0);
    expectEditorShowsSelection(w);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

namespace {
enum class Way { Select, Append, LoadList, LoadText, Pack, Generate, CloseWindow, Exit };
const char* wayName(Way w)
{
    switch (w) {
    case Way::Select: return "select";
    case Way::Append: return "append";
    case Way::LoadList: return "load list";
    case Way::LoadText: return "load text";
    case Way::Pack: return "pack";
    case Way::Generate: return "generate";
    case Way::CloseWindow: return "close window";
    case Way::Exit: return "exit";
    }
    return "";
}
} // namespace

TEST_F(Editor, EveryWayOfLeavingTypedTextAsksOnceAndFollowsTheAnswer)
{
    TForm3 params(nullptr, dir / "build.ini"); // outlives the frames of this test
    setBuildParamsDialog(&params);
    int round = 0;
    for (Way way : {Way::Select, Way::Append, Way::LoadList, Way::LoadText, Way::Pack, Way::Generate,
                    Way::CloseWindow, Way::Exit}) {
        for (int answer : {kCommit, kDiscard, kCancel}) {
            SCOPED_TRACE(std::string(wayName(way)) + " answered " + std::to_string(answer));
            if (!frame) {
                SetUp();
            }
            const std::string file = "p" + std::to_string(round++) + ".volm";
            TForm2* w = open(file, {"A", "B"});
            ASSERT_NE(w, nullptr);
            select(w, 0);
            EXPECT_FALSE(w->windowTitle().endsWith(u'*'));
            type(w, QStringLiteral("typed"));
            EXPECT_TRUE(w->HasUncommittedEdits());
            EXPECT_TRUE(w->windowTitle().endsWith(u'*'));
            EXPECT_EQ(frame->ModifiedLabel->text(), QStringLiteral("Modified"));

            questions.asked.clear();
            questions.answers = {answer};
            QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
            QPointer<TForm2> alive(w);
            switch (way) {
            case Way::Select: select(w, 1); break;
            case Way::Append:
                w->Edit1->setText(QStringLiteral("C"));
                w->BitBtn1->click();
                break;
            case Way::LoadList:
                rejectNextDialog();
                w->BitBtn3->click();
                break;
            case Way::LoadText:
                rejectNextDialog();
                w->Button1->click();
                break;
            case Way::Pack: w->Pack1->trigger(); break;
            case Way::Generate:
                rejectNextDialog();
                w->GenerateJAVA1->trigger();
                break;
            case Way::CloseWindow: frame->WindowClose->trigger(); break;
            case Way::Exit: frame->close(); break;
            }
            settle();
            ASSERT_EQ(questions.asked.size(), 1u); // once
            EXPECT_EQ(questions.asked[0].buttons,
                      (QStringList{QStringLiteral("&Commit"), QStringLiteral("&Discard"), QStringLiteral("Cancel")}));
            EXPECT_EQ(questions.asked[0].defaultButton, kCommit);
            EXPECT_TRUE(questions.asked[0].text.contains(QStringLiteral("\"A\"")));

            const bool closes = way == Way::CloseWindow || way == Way::Exit;
            if (answer == kCancel) {
                // Nothing happened: the typing is still there, still marked.
                ASSERT_TRUE(alive);
                EXPECT_TRUE(w->HasUncommittedEdits());
                EXPECT_TRUE(w->RxRichEdit1->toPlainText().contains(QStringLiteral("typed")));
                EXPECT_EQ(w->TreeView1->currentItem(), w->TreeView1->topLevelItem(0));
                EXPECT_EQ(w->TreeView1->topLevelItemCount(), 2);
                EXPECT_EQ(w->Project().GetText(0), "text of A\r\n");
                if (way == Way::Exit) {
                    EXPECT_TRUE(frame->isVisible());
                }
                // Leave without a question for the next round.
                questions.answers = {kDiscard};
                sub->close();
                settle();
                continue;
            }
            if (closes) {
                EXPECT_FALSE(alive);
            } else if (alive) {
                EXPECT_FALSE(w->HasUncommittedEdits());
            }
            if (alive)
                sub->close();
            settle();
            if (way == Way::Exit)
                frame.reset();
            TProject p;
            ASSERT_NO_THROW(p.Open((dir / file).string()));
            EXPECT_EQ(p.GetText(0), answer == kCommit ? "text of A\r\ntyped\r\n" : "text of A\r\n");
            if (way == Way::Append) {
                EXPECT_EQ(p.TopicCount(), 3u); // and the command went on
            }
        }
    }
    setBuildParamsDialog(nullptr);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Editor, UntypedTextIsNeverAskedAbout)
{
    TForm2* w = open("plain.volm");
    select(w, 0);
    w->RxRichEdit1->setPlainText(QStringLiteral("set by the program, not typed"));
    select(w, 1);
    w->Pack1->trigger();
    select(w, 2);
    frame->WindowClose->trigger();
    settle();
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(Editor, KeysCommitCloseAndAppend)
{
    TForm2* w = open("keys.volm");
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    select(w, 1);
    w->RxRichEdit1->setFocus();
    type(w, QStringLiteral("+"));
    QTest::keyClick(w->RxRichEdit1, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(w->Project().GetText(1), "text of Two\r\n+\r\n");
    EXPECT_FALSE(w->HasUncommittedEdits());

    // Tab leaves the editor instead of typing a tab.
    EXPECT_TRUE(w->RxRichEdit1->tabChangesFocus());

    // Enter in the name field appends and empties the field; the button keeps it.
    w->Edit1->setFocus();
    w->Edit1->setText(QStringLiteral("Four"));
    QTest::keyClick(w->Edit1, Qt::Key_Return);
    EXPECT_EQ(names(w).back(), QStringLiteral("Four"));
    EXPECT_TRUE(w->Edit1->text().isEmpty());
    w->Edit1->setText(QStringLiteral("Five"));
    w->BitBtn1->click();
    EXPECT_EQ(w->Edit1->text(), QStringLiteral("Five"));

    // Ctrl+W closes the project window; with typed text it asks first.
    w->RxRichEdit1->setFocus();
    type(w, QStringLiteral("x"));
    questions.answers = {kCommit};
    QTest::keyClick(w->RxRichEdit1, Qt::Key_W, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    EXPECT_EQ(questions.asked.size(), 1u);
    TProject p;
    p.Open((dir / "keys.volm").string());
    EXPECT_EQ(p.GetText(4), "x\r\n");
}

TEST_F(Editor, NamesWindows1251LacksAreRefusedAndKeptForCorrection)
{
    TForm2* w = open("names.volm");
    w->Edit1->setText(QStringLiteral("Глава 中文"));
    w->BitBtn1->click();
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 3);
    EXPECT_EQ(w->Project().TopicCount(), 3u);
    EXPECT_EQ(w->Edit1->text(), QStringLiteral("Глава 中文"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("The topic name \"Глава 中文\": the characters \"中\", \"文\" have no Windows-1251 code."));

    // Renaming: refused the same way; the name editor opens again with the typing.
    QTreeWidgetItem* node = w->TreeView1->topLevelItem(0);
    EXPECT_FALSE(w->RenameTopic(node, QStringLiteral("One ☃")));
    settle();
    ASSERT_EQ(messages.shown.size(), 2u) << messages.all().toStdString();
    EXPECT_TRUE(messages.shown[1].text.contains(QStringLiteral("\"☃\" has no Windows-1251 code")));
    EXPECT_EQ(node->text(0), QStringLiteral("One"));
    EXPECT_EQ(w->Project().Item(0).GetName(), "One");
    auto* editor = w->TreeView1->findChild<QLineEdit*>(QStringLiteral("NameEditor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("One ☃"));
}

TEST_F(Editor, ListsAreReadAsTextAndAFailureNamesItsLine)
{
    TForm2* w = open("lists.volm", {});
    // UTF-8, with a byte-order mark: the names in Windows-1251, not mojibake.
    volm::test::writeFile(dir / "utf8.txt", "\xEF\xBB\xBFПервая глава\nВторая глава\n");
    chooseFile(w->OpenDialog2, dir / "utf8.txt");
    w->BitBtn3->click();
    ASSERT_EQ(w->Project().TopicCount(), 2u);
    EXPECT_EQ(w->Project().Item(0).GetName(), cp1251("Первая глава"));
    EXPECT_EQ(names(w), (QStringList{QStringLiteral("Первая глава"), QStringLiteral("Вторая глава")}));

    // A name Windows-1251 can't hold: named with its line, nothing added.
    volm::test::writeFile(dir / "cjk.txt", "Три\n四 four\nПять\n");
    chooseFile(w->OpenDialog2, dir / "cjk.txt");
    w->BitBtn3->click();
    EXPECT_EQ(w->Project().TopicCount(), 2u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("line 2 \"四 four\": \"四\""))) << messages.all().toStdString();

    // A failure part-way: the message names the line, the topics before it stay.
    volm::test::writeFile(dir / "long.txt", "a\nb\nc\nd\ne\nf\n");
    w->Project().Document()->File().io().failWritesAfter(12, ENOSPC);
    chooseFile(w->OpenDialog2, dir / "long.txt");
    w->BitBtn3->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    const QString m = messages.shown[1].text;
    const int added = w->Project().TopicCount() - 2;
    EXPECT_GE(added, 1) << m.toStdString();
    EXPECT_LT(added, 6) << m.toStdString();
    EXPECT_TRUE(m.contains(QStringLiteral("long.txt, line %1: ").arg(added + 1))) << m.toStdString();
    EXPECT_TRUE(m.contains(QStringLiteral("the topics of the %1 lines before it were appended").arg(added)))
        << m.toStdString();
    EXPECT_EQ(names(w).mid(2, added), QStringList({"a", "b", "c", "d", "e"}).mid(0, added));
}

TEST_F(Editor, RenameInPlaceAndReorderByKeysMenuAndDragging)
{
    TForm2* w = open("order.volm", {"One", "Two", "Three", "Four"});
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    auto* tree = qobject_cast<TTopicTree*>(w->TreeView1);
    ASSERT_NE(tree, nullptr);

    // F2 opens the name editor; Enter stores the name and the list shows it.
    select(w, 1);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    auto* editor = tree->findChild<QLineEdit*>(QStringLiteral("NameEditor"));
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->isVisible());
    editor->setText(QStringLiteral("Второй"));
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    EXPECT_EQ(w->TreeView1->topLevelItem(1)->text(0), QStringLiteral("Второй"));
    EXPECT_EQ(w->Project().Item(1).GetName(), cp1251("Второй"));

    // Typed text stays with its topic while topics move.
    select(w, 0);
    type(w, QStringLiteral("!"));
    QTreeWidgetItem* one = w->TreeView1->topLevelItem(0);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down, Qt::AltModifier); // One below Второй
    EXPECT_EQ(names(w), (QStringList{"Второй", "One", "Three", "Four"}));
    EXPECT_EQ(w->TreeView1->currentItem(), one);
    EXPECT_EQ(w->EditorNode(), one);
    EXPECT_TRUE(w->HasUncommittedEdits());
    w->MoveDownAction->trigger();
    w->MoveDownAction->trigger();
    EXPECT_FALSE(w->MoveDownAction->isEnabled()); // the last
    QTest::keyClick(tree, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(names(w), (QStringList{"Второй", "Three", "One", "Four"}));
    w->Button2->click(); // the typing goes into One, wherever it is now
    EXPECT_TRUE(questions.asked.empty());

    // Dragging Four to the top: dropped above the first node.
    QMimeData* data = tree->dragData(3);
    const QPoint top = tree->visualItemRect(tree->topLevelItem(0)).topLeft() + QPoint(5, 2);
    QDragEnterEvent enter(top, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(top, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &move);
    QDropEvent drop(QPointF(top), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    delete data;
    EXPECT_EQ(names(w), (QStringList{"Four", "Второй", "Three", "One"}));

    // The order is the storage-number order: it holds after reopening, each
    // topic with its own text; the numbers were only exchanged.
    std::vector<int> numbers;
    for (int i = 0; i < 4; ++i)
        numbers.push_back(TForm2::NodeNumber(w->TreeView1->topLevelItem(i)));
    EXPECT_EQ(numbers, (std::vector<int>{101, 102, 103, 104}));
    frame->WindowClose->trigger();
    settle();
    TProject p;
    p.Open((dir / "order.volm").string());
    ASSERT_EQ(p.TopicCount(), 4u);
    EXPECT_EQ(p.Topic(0).Name, "Four");
    EXPECT_EQ(p.GetText(0), "text of Four\r\n");
    EXPECT_EQ(p.Topic(1).Name, cp1251("Второй"));
    EXPECT_EQ(p.GetText(1), "text of Two\r\n");
    EXPECT_EQ(p.Topic(3).Name, "One");
    EXPECT_EQ(p.GetText(3), "text of One\r\n!\r\n");
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Editor, DroppedFilesBecomeTopicsProjectsOpenAndTheEditorTakesText)
{
    TForm2* w = open("drops.volm", {"One"});
    // Text files dropped on the list: topics named after the files, their
    // texts read with detection (KOI8-R here) as "L&oad..." reads them.
    const fs::path koi = dir / "Глава.txt";
    volm::test::writeFile(koi, encode(CodePage::Koi8R, utf8ToUtf16("Мороз и солнце; день чудесный!\nЕщё ты дремлешь, друг прелестный.\n")));
    const fs::path plain = dir / "notes.v2.txt";
    volm::test::writeFile(plain, "plain\n");
    auto drop = [](QWidget* target, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    };
    EXPECT_TRUE(drop(w->TreeView1->viewport(), {QUrl::fromLocalFile(QString::fromStdString(koi.string())),
                                               QUrl::fromLocalFile(QString::fromStdString(plain.string()))}));
    EXPECT_EQ(names(w), (QStringList{"One", "Глава", "notes.v2"}));
    EXPECT_EQ(w->Project().GetText(1), cp1251("Мороз и солнце; день чудесный!\r\nЕщё ты дремлешь, друг прелестный.\r\n"));
    EXPECT_EQ(w->Project().GetText(2), "plain\r\n");
    expectEditorShowsSelection(w);
    EXPECT_EQ(w->TreeView1->currentItem(), w->TreeView1->topLevelItem(2));

    // On the editor: the file's text at the cursor, not its address.
    select(w, 0);
    w->RxRichEdit1->moveCursor(QTextCursor::Start);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(plain.string()))});
    QDropEvent onEditor(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->RxRichEdit1->viewport(), &enter);
    QApplication::sendEvent(w->RxRichEdit1->viewport(), &onEditor);
    EXPECT_TRUE(w->RxRichEdit1->toPlainText().startsWith(QStringLiteral("plain\n"))) << w->RxRichEdit1->toPlainText().toStdString();
    EXPECT_FALSE(w->RxRichEdit1->toPlainText().contains(QStringLiteral("file:")));
    EXPECT_TRUE(w->HasUncommittedEdits());
    w->Button2->click();

    // A project dropped on the main window opens.
    {
        TProject other;
        other.Open((dir / "other.volm").string());
    }
    QMimeData project;
    project.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir / "other.volm").string()))});
    QDragEnterEvent enterFrame(QPoint(5, 5), Qt::CopyAction, &project, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &enterFrame);
    EXPECT_TRUE(enterFrame.isAccepted());
    QDropEvent dropFrame(QPointF(5, 5), Qt::CopyAction, &project, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &dropFrame);
    EXPECT_EQ(frame->projectWindows().size(), 2);
    EXPECT_TRUE(questions.asked.empty()); // it exists: nothing to ask
    // One dropped on the list: the window hands it to the main window.
    QSignalSpy dropped(w, &TProjectWindow::projectFileDropped);
    const QString third = QString::fromStdString((dir / "third.volm").string());
    EXPECT_TRUE(drop(w->TreeView1->viewport(), {QUrl::fromLocalFile(third)}));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toString(), third);
    EXPECT_EQ(frame->projectWindows().size(), 3);
    EXPECT_EQ(w->Project().TopicCount(), 3u); // and no topic of it
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Editor, RecentProjectsAndCreatingOnlyWhenAsked)
{
    std::vector<std::string> paths;
    for (int i = 1; i <= 9; ++i) {
        std::string file = std::to_string(i);
        file.insert(0, 1, 'r');
        file += ".volm";
        open(file, {});
        paths.push_back((dir / file).string());
        frame->WindowClose->trigger();
        settle();
    }
    frame->updateRecentProjects();
    QList<QAction*> recent = frame->recentActions();
    ASSERT_EQ(recent.size(), 8); // the last eight, latest first
    EXPECT_EQ(recent[0]->text(), QStringLiteral("&1 ") + QString::fromStdString(paths[8]));
    EXPECT_EQ(recent[7]->text(), QStringLiteral("&8 ") + QString::fromStdString(paths[1]));
    EXPECT_EQ(frame->FileMenu->actions().indexOf(recent[0]), 3); // after "&Open/Create...", "&New book from file..." and a line

    // A project that has gone is taken off the list, with a message.
    fs::remove(paths[7]);
    recent[1]->trigger();
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("no longer exists")));
    EXPECT_EQ(frame->recentActions().size(), 7);
    frame->recentActions()[0]->trigger();
    ASSERT_EQ(frame->projectWindows().size(), 1);
    EXPECT_TRUE(frame->projectWindows()[0]->HoldsProject(QString::fromStdString(paths[8])));

    // A missing project is created only when the user says so; the command
    // line's is created without asking.
    const QString missing = QString::fromStdString((dir / "new.volm").string());
    questions.answers = {kNo};
    frame->OpenProjectAsking(missing);
    EXPECT_FALSE(fs::exists(dir / "new.volm"));
    questions.answers = {kYes};
    frame->OpenProjectAsking(missing);
    EXPECT_TRUE(fs::exists(dir / "new.volm"));
    EXPECT_EQ(questions.asked.size(), 2u);
    frame->OpenOrCreateProject(QString::fromStdString((dir / "quiet.volm").string()));
    EXPECT_TRUE(fs::exists(dir / "quiet.volm"));
    EXPECT_EQ(questions.asked.size(), 2u);
}

TEST_F(Editor, CantCreateOrOpenSaysWhichFileAndWhy)
{
    auto failure = [&](const fs::path& p) {
        messages.shown.clear();
        frame->OpenOrCreateProject(QString::fromStdString(p.string()));
        EXPECT_EQ(messages.shown.size(), 1u);
        return messages.shown.empty() ? QString() : messages.shown.back().text;
    };
    QString m = failure(dir / "no such folder" / "a.volm");
    EXPECT_TRUE(m.startsWith(QStringLiteral("Can't create/open file.\n"))) << m.toStdString();
    EXPECT_TRUE(m.contains(QStringLiteral("the folder ") + QString::fromStdString((dir / "no such folder").string()) +
                           QStringLiteral(" does not exist")))
        << m.toStdString();
    volm::test::writeFile(dir / "empty.volm", "");
    EXPECT_TRUE(failure(dir / "empty.volm").contains(QStringLiteral("empty.volm: an empty file, not a project file")));
    volm::test::writeFile(dir / "text.volm", "text");
    EXPECT_TRUE(failure(dir / "text.volm").contains(QStringLiteral("not a project file (not a compound file)")));
    // Open elsewhere (here: by this process through another door).
    TProject held;
    held.Open((dir / "held.volm").string());
    EXPECT_TRUE(failure(dir / "held.volm").contains(QStringLiteral("already open")));
    EXPECT_TRUE(frame->projectWindows().isEmpty());
}

TEST_F(Editor, MnemonicsTooltipsIconAndPlacement)
{
    TForm2* w = open("look.volm");
    // One claim per mnemonic: the menu bar's titles with the project window's
    // buttons, and inside every menu.
    auto mnemonic = [](const QString& text) {
        const int at = text.indexOf(u'&');
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
    };
    std::map<QChar, QString> claimed;
    auto claim = [&](std::map<QChar, QString>& in, const QString& text) {
        const QChar m = mnemonic(text);
        if (m.isNull())
            return;
        EXPECT_EQ(in.count(m), 0u) << text.toStdString() << " and " << in[m].toStdString();
        in[m] = text;
    };
    for (QAction* a : frame->menuBar()->actions())
        claim(claimed, a->text());
    // The window's own buttons (its dialogs are windows of their own).
    QList<QPushButton*> buttons;
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->window() == frame.get())
            buttons << b;
    ASSERT_EQ(buttons.size(), 7);   // the list's three, the editor's two, the preview's two
    for (QPushButton* b : buttons)
        claim(claimed, b->text());
    frame->updateRecentProjects();
    for (QMenu* menu : {frame->FileMenu, w->DocumentMenu, frame->WindowMenu, frame->HelpMenu, w->TopicMenu}) {
        std::map<QChar, QString> inMenu;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            claim(inMenu, a->text());
            // Every command has a tooltip beside its hint.
            EXPECT_FALSE(a->toolTip().isEmpty()) << a->text().toStdString();
            EXPECT_NE(a->toolTip(), QString(a->text()).remove(u'&')) << a->text().toStdString();
        }
        EXPECT_TRUE(menu->toolTipsVisible());
    }
    for (QPushButton* b : buttons)
        EXPECT_FALSE(b->toolTip().isEmpty()) << b->text().toStdString();
    EXPECT_EQ(w->BitBtn2->text(), QStringLiteral("Dele&te"));

    // The file dialogs complete names in place: no list pops up to stay behind.
    for (QFileDialog* d : {frame->OpenProjectDialog, w->OpenDialog1, w->OpenDialog2}) {
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        ASSERT_NE(name->completer(), nullptr);
        EXPECT_EQ(name->completer()->completionMode(), QCompleter::InlineCompletion);
    }

    // The window fits in a small frame; the program's icon is on it.
    frame->resize(500, 380);
    settle();
    frame->OpenOrCreateProject(QString::fromStdString((dir / "small.volm").string()));
    QMdiSubWindow* sub = frame->MdiArea->subWindowList(QMdiArea::CreationOrder).back();
    EXPECT_TRUE(frame->MdiArea->viewport()->rect().contains(sub->geometry()))
        << sub->geometry().width() << "x" << sub->geometry().height();
    auto* small = static_cast<TForm2*>(sub->widget());
    EXPECT_EQ(small->windowIcon().availableSizes().size(), 6);
    EXPECT_EQ(small->OpenDialog1->windowIcon().availableSizes().size(), 6);
}

namespace {
class TUrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};
} // namespace

TEST_F(Editor, OpenBookFolderHandsTheFolderToTheDesktop)
{
    TForm2* w = open("Tales.volm");
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    w->OpenBookFolderAction->trigger(); // no book yet
    EXPECT_TRUE(catcher.urls.isEmpty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("no book folder yet")));
    fs::create_directories(dir / "Tales");
    emit w->DocumentMenu->aboutToShow();
    EXPECT_TRUE(w->OpenBookFolderAction->isEnabled());
    w->OpenBookFolderAction->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(fs::path(catcher.urls[0].toLocalFile().toStdString()), dir / "Tales" / "");
}

#include "Childedits_test.moc"
