// A project window over a project that can only be read: what it shows, what
// it refuses, and "Save a copy as..." into a project that can be changed.
#include "app/Child.h"
#include "app/Jbuild.h"
#include "app/Main.h"
#include "app/Phonepreview.h"
#include "storage/Pack.h"

#include "Testutil.h"
#include "storage/Projecttest.h"
#include "app/Childtest.h"
#include "app/Guitest.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using namespace volm::test;


TEST(Childreadonly, DamagedProjectOpensReadOnlyAndItsCopyCanBeChanged)
{
    TempDir dir;
    const std::string path = damagedProject(dir);
    const std::string bytes = readFile(path);
    Messages messages;
    Questions questions;
    auto frame = ShownFrame(dir / "registry.ini");
    frame->OpenOrCreateProject(QString::fromStdString(path));
    ASSERT_EQ(frame->projectWindows().size(), 1) << messages.all().toStdString();
    auto* w = static_cast<TForm2*>(frame->projectWindows()[0]);
    settle();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("damaged.volm [read only]"));
    const QString said = frame->statusBar()->currentMessage();
    EXPECT_TRUE(said.startsWith(QStringLiteral("Opened read only: ") + QString::fromStdString(path)))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("(it can only be read)"))) << said.toStdString();
    EXPECT_FALSE(said.contains(u'\n')) << said.toStdString();
    EXPECT_EQ(topicNames(w), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));

    // Reading stays: a topic's text, finding, the preview, the build and the copy.
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("first text"));
    EXPECT_TRUE(w->RxRichEdit1->isReadOnly());
    typeInEditor(w, QStringLiteral("typed"));
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QStringLiteral("first text"));
    EXPECT_FALSE(w->HasUncommittedEdits());
    EXPECT_EQ(w->FindInAllTopics(QStringLiteral("text")), 1);
    EXPECT_EQ(w->FindInAllTopics(QStringLiteral("tttt")), 1000); // topic 102, as far as the list goes
    for (QAction* a : {w->GenerateJAVA1, w->SaveCopyAction, w->PreviewPane->PreviewAction})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    // Every change is refused, offered or not.
    for (QAction* a : {w->AppendAction, w->RenameAction, w->DeleteAction, w->MoveUpAction, w->MoveDownAction,
                       w->LoadTextAction, w->CommitAction, w->ChooseFontAction, w->Usecustomfont1, w->Pack1,
                       w->ImportBookAction})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (QWidget* c : std::initializer_list<QWidget*>{w->Edit1, w->BitBtn1, w->BitBtn2, w->BitBtn3, w->Button1,
                                                      w->Button2})
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    w->Edit1->setText(QStringLiteral("Five"));
    w->BitBtn1Click();
    w->Edit1Enter();
    w->BitBtn2Click();
    EXPECT_FALSE(w->MoveTopic(0, 1));
    EXPECT_FALSE(w->RenameTopic(w->TreeView1->topLevelItem(0), QStringLiteral("Renamed")));
    writeFile(dir / "more.txt", "more");
    w->DropFiles({QString::fromStdString((dir / "more.txt").string())});
    EXPECT_TRUE(frame->statusBar()->currentMessage().contains(QStringLiteral("read only")))
        << messages.all().toStdString();
    w->Pack1Click();
    w->UndoChange();
    EXPECT_EQ(topicNames(w), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
    EXPECT_TRUE(readFile(path) == bytes);

    // "Save a copy as..." names what it left out, and opens the copy.
    const std::string copy = (dir / "copy.volm").string();
    chooseFile(w->SaveCopyDialog, copy);
    questions.answers = {kYes};
    w->SaveCopyAction->trigger();
    settle();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("could not be read and are not in the copy: topic 104")))
        << messages.all().toStdString();
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_TRUE(questions.asked[0].text.startsWith(QStringLiteral("Open the copy")))
        << questions.asked[0].text.toStdString();
    ASSERT_EQ(frame->projectWindows().size(), 2);
    auto* c = static_cast<TForm2*>(frame->projectWindows()[1]);
    EXPECT_EQ(c->windowTitle(), QStringLiteral("copy.volm"));
    EXPECT_EQ(topicNames(c), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_TRUE(c->BitBtn1->isEnabled());
    c->Edit1->setText(QStringLiteral("Five"));
    c->BitBtn1Click();
    EXPECT_EQ(c->Project().TopicCount(), 3u);
    EXPECT_EQ(c->Project().Title(), "Book");
    EXPECT_TRUE(readFile(path) == bytes);

    // An existing file is replaced only when the user says so; a copy over
    // a project that is open fails and says why.
    const std::string before = readFile(copy);
    chooseFile(w->SaveCopyDialog, copy);
    questions.answers = {kNo};
    w->SaveCopyAction->trigger();
    EXPECT_EQ(questions.asked.size(), 2u);
    EXPECT_TRUE(questions.asked[1].text.contains(QStringLiteral("already exists")))
        << questions.asked[1].text.toStdString();
    chooseFile(w->SaveCopyDialog, copy);
    questions.answers = {kYes};
    w->SaveCopyAction->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.contains(QStringLiteral("open in another window or program")))
        << messages.all().toStdString();
    EXPECT_EQ(frame->projectWindows().size(), 2);
    frame->close();
    EXPECT_TRUE(readFile(path) == bytes);
}

// A project open read only builds all the same, into the folder chosen for
// this build; nothing of the choice is written to the project.
TEST(Childreadonly, AProjectOpenReadOnlyBuildsWhereTheUserChooses)
{
    TempDir dir;
    const std::string path = damagedProject(dir);
    const std::string bytes = readFile(path);
    fs::create_directories(dir / "out");
    Messages messages;
    TForm3 params(nullptr, dir / "build.ini");
    setBuildParamsDialog(&params);
    auto frame = ShownFrame(dir / "registry.ini");
    frame->OpenOrCreateProject(QString::fromStdString(path));
    ASSERT_EQ(frame->projectWindows().size(), 1) << messages.all().toStdString();
    auto* w = static_cast<TForm2*>(frame->projectWindows()[0]);
    QTimer::singleShot(0, [&] {
        chooseFolderWhenAsked(dir / "out");
        params.FolderButton->click();
        params.LayoutBox->setCurrentIndex(params.LayoutBox->findData(static_cast<int>(TReaderLayout::Grid)));
        params.BitBtn1->click();
    });
    w->GenerateJAVA1->trigger();
    setBuildParamsDialog(nullptr);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
    EXPECT_TRUE(fs::exists(dir / "out" / "damaged" / "damaged.jar"));
    EXPECT_TRUE(frame->statusBar()->currentMessage().contains(QStringLiteral("not counted: the project is open read only")))
        << frame->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(readFile(path) == bytes);
    // The window keeps the folder chosen, without writing it.
    EXPECT_EQ(w->Project().OutputFolder(), (dir / "out").string());
    emit w->DocumentMenu->aboutToShow();
    EXPECT_TRUE(w->OpenBookFolderAction->isEnabled());
    frame->close();
}

// A file that can't be read either fails to open as before.
TEST(Childreadonly, WhatCantBeReadStillFailsToOpen)
{
    TempDir dir;
    std::string bytes = readFile(damagedProject(dir));
    bytes.resize(700);
    writeFile(dir / "cut.volm", bytes);
    Messages messages;
    auto frame = ShownFrame(dir / "registry.ini");
    frame->OpenOrCreateProject(QString::fromStdString((dir / "cut.volm").string()));
    EXPECT_TRUE(frame->projectWindows().isEmpty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("Can't create/open file.\n")))
        << messages.all().toStdString();
    EXPECT_EQ(readFile(dir / "cut.volm"), bytes);
}
