// What a new user met walking through the project window: a book imported
// over typed text, the editor after an import, a full disk on closing, names
// cut or empty, the focus of a new window, a project open elsewhere, and the
// windows' titles.

#include "app/Bookdialog.h"
#include "app/Child.h"
#include "app/Phonepreview.h"
#include "app/Editortext.h"
#include "app/Jbuild.h"
#include "app/Main.h"
#include "common/Codepage.h"
#include "storage/Cfbfile.h"
#include "storage/Project.h"
#include "book/Bookfile.h"

#include "Testutil.h"
#include "app/Childtest.h"
#include "app/Guitest.h"
#include "text/Bookexpect.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cerrno>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;
namespace fs = std::filesystem;

namespace {

using volm::test::settle;

// Clicks "&Append" of the book dialog once it is up; counts the dialogs shown.
int booksShown = 0;
void appendWhenTheDialogShows()
{
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TBookDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        ++booksShown;
        d->AppendButton->click();
    });
}

QString tale()
{
    return QString::fromStdString((volm::test::booksDir() / "tale2.epub").string());
}

class Walk : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = volm::test::ShownFrame(dir / "registry.ini");
    }
    void TearDown() override
    {
        questions.answers = {kDiscard, kDiscard};
        if (frame)
            frame->close();
        settle();
    }
    TForm2* open(const std::string& file, std::vector<std::string> names = {"One", "Two"})
    {
        const fs::path p = dir / file;
        {
            TProject project;
            project.Open(p.string());
            for (const std::string& n : names)
                project.CommitText(project.AddTopic(n), "text of " + n + "\r\n");
        }
        return window(QString::fromStdString(p.string()), true);
    }
    TForm2* window(const QString& path, bool opening = false)
    {
        if (opening)
            frame->OpenOrCreateProject(path);
        for (TProjectWindow* w : frame->projectWindows())
            if (w->HoldsProject(path))
                return static_cast<TForm2*>(w);
        return nullptr;
    }
    static void type(TForm2* w, const QString& text) { volm::test::typeInEditor(w, text); }
    static QStringList names(TForm2* w) { return volm::test::topicNames(w); }
    QString status() const { return frame->statusBar()->currentMessage(); }

    TempDir dir;
    Messages messages;
    Questions questions;
    std::unique_ptr<TForm1> frame;
};

} // namespace

TEST_F(Walk, ABookOverTypedTextAsksOnceAndCancelStopsItBeforeAnythingIsWritten)
{
    TForm2* w = open("book.volm");
    ASSERT_NE(w, nullptr);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    type(w, QStringLiteral("typed"));
    questions.answers = {kCancel};
    booksShown = 0;
    w->ImportBook(tale());
    settle();
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(booksShown, 0);
    EXPECT_EQ(w->Project().TopicCount(), 2u);
    EXPECT_TRUE(w->HasUncommittedEdits());

    questions.asked.clear();
    questions.answers = {kCommit};
    appendWhenTheDialogShows();
    w->ImportBook(tale());
    settle();
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(booksShown, 1);
    EXPECT_EQ(w->Project().TopicCount(), 6u);
    EXPECT_EQ(w->Project().GetText(0), "text of One\r\ntyped\r\n");

    // After the import the last chapter is selected and the editor holds its
    // text, ready for typing and for "L&oad...".
    QTreeWidgetItem* last = w->TreeView1->topLevelItem(5);
    EXPECT_EQ(w->TreeView1->currentItem(), last);
    EXPECT_EQ(w->EditorNode(), last);
    EXPECT_FALSE(w->PageControl1->isHidden());
    EXPECT_FALSE(w->RxRichEdit1->isReadOnly());
    EXPECT_EQ(w->EditorText().Text(), w->Project().GetText(5));
    type(w, QStringLiteral("!"));
    EXPECT_TRUE(w->HasUncommittedEdits());
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(5).substr(w->Project().GetText(5).size() - 3), "!\r\n");
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Walk, DiscardAfterAFailedCommitOnAFullDiskSaysItOnceAndKeepsTheList)
{
    TForm2* w = open("full.volm");
    ASSERT_NE(w, nullptr);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    type(w, QStringLiteral("typed"));
    w->Project().Document()->File().io().failWritesAfter(0, ENOSPC);
    w->Button2->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(w->HasUncommittedEdits());
    questions.answers = {kDiscard};
    frame->WindowClose->trigger();
    settle();
    // The one message of the failed commit; the window closed, the file as it was.
    EXPECT_EQ(messages.shown.size(), 1u) << messages.all().toStdString();
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    TProject p;
    p.Open((dir / "full.volm").string(), TProject::omReadOnly);
    EXPECT_EQ(p.TopicCount(), 2u);
    EXPECT_EQ(p.GetText(0), "text of One\r\n");
}

TEST_F(Walk, CutNamesAreSaidAndEmptyLinesOfAListAreSkipped)
{
    TForm2* w = open("names.volm", {});
    ASSERT_NE(w, nullptr);
    const std::string longName(60, 'n');
    volm::test::writeFile(dir / "list.txt", "A\r\n\r\n" + longName + "\r\n\r\nB\r\n");
    chooseFile(w->OpenDialog2, (dir / "list.txt").string());
    w->BitBtn3->click();
    EXPECT_EQ(names(w), (QStringList{"A", QString::fromStdString(longName), "B"}));
    EXPECT_EQ(status(), QStringLiteral("3 topics of the list appended. Ctrl+Z undoes it. The name is longer than 50 "
                                       "bytes and is stored cut: \"%1\". 2 empty lines skipped.")
                            .arg(QString(50, u'n')));
    // A list of empty lines appends nothing, and says so.
    volm::test::writeFile(dir / "empty.txt", "\r\n\r\n");
    chooseFile(w->OpenDialog2, (dir / "empty.txt").string());
    w->BitBtn3->click();
    EXPECT_EQ(w->Project().TopicCount(), 3u);
    EXPECT_EQ(status(), QStringLiteral("No topics appended. 2 empty lines skipped."));
    // Renamed to a long name: said the same way.
    ASSERT_TRUE(w->RenameTopic(w->TreeView1->topLevelItem(0), QString(55, u'x')));
    EXPECT_TRUE(status().endsWith(QStringLiteral("The name is longer than 50 bytes and is stored cut: \"%1\".")
                                      .arg(QString(50, u'x'))))
        << status().toStdString();
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Walk, ANewWindowIsReadyForANameAndTitlesAreFileNames)
{
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    const QString path = QString::fromStdString((dir / "Новая книга.volm").string());
    frame->OpenOrCreateProject(path);
    TForm2* w = window(path);
    ASSERT_NE(w, nullptr);
    settle();
    EXPECT_EQ(QApplication::focusWidget(), w->Edit1);
    // The title is the file's name however the project was named; the path
    // is in the "&Window" menu, which lists the open windows.
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Новая книга.volm"));
    TForm2* other = open("second.volm");
    ASSERT_NE(other, nullptr);
    const QString relative = QString::fromStdString(
        fs::relative(dir / "third.volm", fs::current_path()).string());
    frame->OpenOrCreateProject(relative);
    TForm2* third = window(relative);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->windowTitle(), QStringLiteral("third.volm"));
    emit frame->WindowMenu->aboutToShow();
    const QList<QAction*> listed = frame->windowActions();
    ASSERT_EQ(listed.size(), 4); // a separator and the three windows
    EXPECT_EQ(listed[1]->text(), QStringLiteral("&1 Новая книга.volm"));
    EXPECT_EQ(listed[1]->toolTip(), path);
    EXPECT_EQ(listed[3]->toolTip(), QString::fromStdString((dir / "third.volm").string()));
    EXPECT_TRUE(listed[3]->isChecked()); // the active one
    listed[1]->trigger();
    EXPECT_EQ(frame->activeProjectWindow(), w);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

// The preview beside the editor takes room of its own: the editor's pane
// keeps the width its check box's words need.
TEST_F(Walk, ThePreviewPaneLeavesTheEditorsPaneWhole)
{
    frame->resize(1280, 800);
    TForm2* w = open("wide.volm");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->PreviewPane->PreviewAction->isChecked());
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    settle();
    ASSERT_TRUE(w->PreviewPane->isVisible());
    EXPECT_GE(w->CheckBox1->width(), w->CheckBox1->sizeHint().width()) << w->window()->width();
    // Hidden, the window opens at its usual width again.
    w->PreviewPane->PreviewAction->trigger();
    TForm2* narrow = open("narrow.volm");
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->ExtraWidth(), 0);
    EXPECT_GT(w->PreviewPane->sizeHint().width(), 0);
}

TEST_F(Walk, AProjectOpenElsewhereIsSaidSoAndOurWindowComesForward)
{
    TForm2* first = open("held.volm");
    TForm2* second = open("other.volm");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(frame->activeProjectWindow(), second);
    // Another spelling of a file one of our windows holds.
    frame->OpenOrCreateProject(QString::fromStdString((dir / "." / "held.volm").string()));
    EXPECT_EQ(frame->projectWindows().size(), 2);
    EXPECT_EQ(frame->activeProjectWindow(), first);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Can't create/open file.\n%1: the project is already open in this program, as %2; that "
                             "window is brought to the front.")
                  .arg(QString::fromStdString((dir / "." / "held.volm").string()), first->ProjectPath()));
    // Held by another program: no storage code, the cause in words.
    TProject elsewhere;
    elsewhere.Open((dir / "busy.volm").string());
    frame->OpenOrCreateProject(QString::fromStdString((dir / "busy.volm").string()));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.endsWith(
        QStringLiteral("busy.volm: the project is already open in another window or program; close it there, or "
                       "use that window.")))
        << messages.shown[1].text.toStdString();
    EXPECT_FALSE(messages.shown[1].text.contains(QStringLiteral("0x8003")));
}

namespace {
// Runs `act` on the modal dialog of type T once it is up.
template <class T>
void whenModal(std::function<void(T*)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget()); d && d->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(d);
        }
    });
    poll->start();
}
} // namespace

TEST_F(Walk, ANewBookFromAFileGetsItsOwnProjectNamedAfterTheTitle)
{
    EXPECT_EQ(ProjectFileNameForTitle(QStringLiteral(" Война и мир: том 1/2? "), QStringLiteral("x")),
              QStringLiteral("Война и мир_ том 1_2_.volm"));
    EXPECT_EQ(ProjectFileNameForTitle(QStringLiteral("..."), QStringLiteral("tale")), QStringLiteral("tale.volm"));
    EXPECT_EQ(ProjectFileNameForTitle(QString(150, u'я'), {}).toUtf8().size(), 200 + 5);

    TForm3 params(nullptr, dir / "build.ini");
    setBuildParamsDialog(&params);
    const TBook book = ReadBookFile((volm::test::booksDir() / "tale2.epub").string(), {});
    ASSERT_FALSE(book.title.empty());
    const QString title = QString::fromStdString(cp1251ToUtf8(book.title));
    const QString project = QString::fromStdString((dir / "").string()) + title + QStringLiteral(".volm");
    QString suggested;
    bool buildAsked = false;
    whenModal<TBookDialog>([&](TBookDialog* d) {
        whenModal<QFileDialog>([&](QFileDialog* f) {
            auto* edit = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            suggested = edit->text();
            whenModal<TForm3>([&](TForm3* b) {
                buildAsked = true;
                b->reject();
            });
            edit->setText(project);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        d->AppendButton->click();
    });
    frame->NewBookFromFile(tale());
    EXPECT_EQ(suggested, title + QStringLiteral(".volm"));
    TForm2* w = window(project);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Project().TopicCount(), 4u);
    EXPECT_EQ(w->Project().Title(), title.toStdString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return buildAsked; }));
    setBuildParamsDialog(nullptr);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Walk, TheEmptyFrameShowsTheFirstStepsAndTheRecentProjects)
{
    ASSERT_TRUE(frame->StartPanel->isVisible());
    EXPECT_TRUE(frame->StartOpenButton->isVisible());
    EXPECT_TRUE(frame->StartNewBookButton->isVisible());
    EXPECT_TRUE(frame->startRecentButtons().isEmpty());
    TForm2* w = open("recent.volm");
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(frame->StartPanel->isVisible());
    frame->WindowClose->trigger();
    settle();
    ASSERT_TRUE(frame->StartPanel->isVisible());
    ASSERT_EQ(frame->startRecentButtons().size(), 1);
    QPushButton* recent = frame->startRecentButtons()[0];
    EXPECT_EQ(recent->text(), QStringLiteral("recent.volm"));
    EXPECT_EQ(recent->toolTip(), QString::fromStdString((dir / "recent.volm").string()));
    recent->click();
    settle();
    EXPECT_EQ(frame->projectWindows().size(), 1);
    EXPECT_FALSE(frame->StartPanel->isVisible());
    // The first steps are the menu's commands.
    frame->WindowClose->trigger();
    settle();
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->reject();
    });
    frame->StartNewBookButton->click(); // asks for a book file first; turned down
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST_F(Walk, FindInTheTopicAndInEveryTopic)
{
    TForm2* w = open("find.volm", {"One", "Two", "Three"});
    ASSERT_NE(w, nullptr);
    w->Project().CommitText(1, "first line\r\nthe Clock and the clock\r\n");
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(1));
    // In the topic: each place in turn (case aside), then again from the start.
    EXPECT_TRUE(w->FindInTopic(QStringLiteral("clock")));
    EXPECT_EQ(w->RxRichEdit1->textCursor().selectedText(), QStringLiteral("Clock"));
    EXPECT_EQ(w->RxRichEdit1->textCursor().selectionStart(), 15);
    EXPECT_TRUE(w->FindInTopic(QStringLiteral("clock")));
    EXPECT_EQ(w->RxRichEdit1->textCursor().selectionStart(), 29);
    EXPECT_TRUE(w->FindInTopic(QStringLiteral("clock")));
    EXPECT_EQ(w->RxRichEdit1->textCursor().selectionStart(), 15);
    EXPECT_EQ(status(), QStringLiteral("\"clock\" found again from the start of the topic."));
    EXPECT_FALSE(w->FindInTopic(QStringLiteral("bell")));
    EXPECT_EQ(status(), QStringLiteral("\"bell\" is not in the topic \"Two\"."));

    // In every topic: a list of the places (the editor's typing counts for its topic).
    w->RxRichEdit1->moveCursor(QTextCursor::End);
    QTest::keyClicks(w->RxRichEdit1, QStringLiteral("of One"));
    EXPECT_EQ(w->FindInAllTopics(QStringLiteral("of one")), 2);
    ASSERT_NE(w->FindResults, nullptr);
    EXPECT_TRUE(w->FindResults->isVisible());
    EXPECT_EQ(w->FindResults->windowTitle(), QStringLiteral("\"of one\": 2 places"));
    ASSERT_EQ(w->FindList->topLevelItemCount(), 2);
    QTreeWidgetItem* first = w->FindList->topLevelItem(0);
    EXPECT_EQ(first->text(0), QStringLiteral("One"));
    EXPECT_EQ(first->text(1), QStringLiteral("1"));
    EXPECT_EQ(first->text(2), QStringLiteral("text of One"));
    EXPECT_EQ(w->FindList->topLevelItem(1)->text(0), QStringLiteral("Two"));
    EXPECT_EQ(w->FindList->topLevelItem(1)->text(1), QStringLiteral("3"));
    // Going there asks about the typing first, then selects the place.
    questions.answers = {kCommit};
    emit w->FindList->itemActivated(first, 0);
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(w->TreeView1->currentItem(), w->TreeView1->topLevelItem(0));
    EXPECT_EQ(w->RxRichEdit1->textCursor().selectedText(), QStringLiteral("of One"));
    EXPECT_EQ(w->Project().GetText(1), "first line\r\nthe Clock and the clock\r\nof One\r\n");
    EXPECT_EQ(w->FindInAllTopics(QStringLiteral("bell")), 0);
    EXPECT_FALSE(w->FindResults->isVisible());
    EXPECT_EQ(status(), QStringLiteral("\"bell\" is in no topic."));
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

// Run at scale factors 1, 1.5 and 2 (QT_SCALE_FACTOR, see CMakeLists.txt).
TEST(WalkScreen, WindowsAndDialogsFitTheScreenAtAnyScale)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto inside = [&](QWidget* w) {
        const QRect r = w->frameGeometry();
        return area.contains(r) ? std::string() : "frame " + std::to_string(r.width()) + "x" +
                                                      std::to_string(r.height()) + " at " + std::to_string(r.x()) +
                                                      "," + std::to_string(r.y()) + " outside the screen's " +
                                                      std::to_string(area.width()) + "x" +
                                                      std::to_string(area.height());
    };
    TForm1 frame([](TForm1* f) -> TProjectWindow* { return new TForm2(f); });
    frame.resize(1800, 1280); // as large as it once opened
    frame.show();
    EXPECT_EQ(inside(&frame), "");
    TBookDialog dialog(tale(), &frame);
    dialog.resize(3000, 2000);
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(inside(&dialog), "");
        EXPECT_TRUE(area.contains(dialog.AppendButton->mapToGlobal(dialog.AppendButton->rect().center())));
        dialog.reject();
    });
    dialog.exec();
}
