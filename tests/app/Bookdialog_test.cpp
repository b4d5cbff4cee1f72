// The project window's book import: the dialog shows the chapters, their
// sizes and parts as the split stands, appends all topics or none, and takes
// book files dropped on the topic list.
#include "app/Bookdialog.h"

#include "app/Child.h"
#include "book/Bookfile.h"
#include "app/Errorbox.h"
#include "common/Codepage.h"

#include "Testutil.h"
#include "app/Guitest.h"
#include "text/Bookexpect.h"
#include "text/Booklimits.h"
#include "common/Errors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using namespace volm::test;

namespace {

QString fixture(const char* name)
{
    return QString::fromStdString((booksDir() / name).string());
}

// Runs `check` on the book dialog once it is up.
void whenDialogShows(std::function<void(TBookDialog&)> check)
{
    QTimer::singleShot(0, [check] {
        auto* d = qobject_cast<TBookDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        check(*d);
    });
}

QStringList column(const QTreeWidget* tree, int col)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(col);
    return out;
}

QStringList nodeTexts(const TForm2& w)
{
    QStringList out;
    for (int i = 0; i < w.TreeView1->topLevelItemCount(); ++i)
        out << w.TreeView1->topLevelItem(i)->text(0);
    return out;
}

} // namespace

TEST(Bookdialog, ShowsChaptersAndPartsThenAppendsThem)
{
    TempDir dir;
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(QString::fromStdString((dir / "book.volm").string())));
    EXPECT_TRUE(w.DocumentMenu->actions().contains(w.ImportBookAction));
    EXPECT_TRUE(w.TopicMenu->actions().contains(w.ImportBookAction)); // the list's context menu
    w.Edit1->setText(QStringLiteral("First"));
    w.BitBtn1->click();

    whenDialogShows([](TBookDialog& d) {
        // Split at 32 KB by default: every chapter of this book is one topic.
        EXPECT_TRUE(d.SplitCheck->isChecked());
        EXPECT_EQ(d.SplitSizeBox->value(), 32);
        EXPECT_TRUE(d.KeepLinesCheck->isEnabled()); // a plain text may keep its lines
        EXPECT_EQ(column(d.ChapterList, 0),
                  (QStringList{"Глава 1", "Глава 2. Гость", "Глава 3", "ГЛАВА 4"}));
        EXPECT_EQ(column(d.ChapterList, 2), (QStringList{"1", "1", "1", "1"}));
        EXPECT_TRUE(d.SummaryLabel->text().contains(QStringLiteral("KOI8-R"))) << d.SummaryLabel->text().toStdString();
        // At 4 KB the long chapter makes two parts, shown below it.
        d.SplitSizeBox->setValue(4);
        EXPECT_EQ(column(d.ChapterList, 2), (QStringList{"1", "1", "2", "1"}));
        QTreeWidgetItem* long3 = d.ChapterList->topLevelItem(2);
        ASSERT_EQ(long3->childCount(), 2);
        EXPECT_EQ(long3->child(1)->text(0), QStringLiteral("Глава 3 (2)"));
        EXPECT_EQ(d.Topics().size(), 5u);
        d.AppendButton->click();
    });
    w.ImportBook(fixture("glava.koi8.txt"));
    EXPECT_EQ(nodeTexts(w), (QStringList{"First", "Глава 1", "Глава 2. Гость", "Глава 3 (1)", "Глава 3 (2)",
                                         "ГЛАВА 4"}));
    EXPECT_EQ(TForm2::NodeNumber(w.TreeView1->topLevelItem(5)), 106);
    EXPECT_EQ(w.TreeView1->currentItem(), w.TreeView1->topLevelItem(5));
    for (size_t i = 1; i < w.Project().TopicCount(); ++i)
        EXPECT_LE(w.Project().GetText(i).size(), 4096u);
    // The chapter's title line is marked as a heading.
    EXPECT_EQ(w.Project().GetText(2).substr(0, 9), kHeadingMark + utf8ToCp1251("Глава 2."));

    // Cancel appends nothing.
    whenDialogShows([](TBookDialog& d) {
        EXPECT_FALSE(d.KeepLinesCheck->isEnabled()); // keeping lines is for plain texts
        d.CancelButton->click();
    });
    w.ImportBook(fixture("tale3.epub"));
    EXPECT_EQ(w.TreeView1->topLevelItemCount(), 6);
    EXPECT_EQ(w.Project().TopicCount(), 6u);
}

TEST(Bookdialog, KeepingTheLinesOfAHardWrappedTextReadsItAgain)
{
    TBookDialog d(fixture("wrapped.txt"));
    EXPECT_TRUE(d.KeepLinesCheck->isEnabled());
    EXPECT_TRUE(d.SummaryLabel->text().contains(QStringLiteral("hard-wrapped at 72 columns")));
    const size_t repaired = d.Topics()[0].text.size();
    d.KeepLinesCheck->setChecked(true);
    EXPECT_FALSE(d.SummaryLabel->text().contains(QStringLiteral("hard-wrapped")));
    EXPECT_GT(d.Topics()[0].text.size(), repaired); // the line breaks are back
    d.SplitCheck->setChecked(false);
    EXPECT_FALSE(d.SplitSizeBox->isEnabled());
    EXPECT_EQ(d.Topics().size(), 1u);
}

TEST(Bookdialog, TheNotesChoiceReadsTheBookAgain)
{
    TBookDialog d(fixture("tale.fb2"));
    ASSERT_EQ(d.NotesBox->currentIndex(), 0); // in place
    auto topics = d.Topics();
    EXPECT_NE(cp1251ToUtf8(topics[1].text).find("[1] Сорок второй"), std::string::npos);
    const size_t inPlace = topics.size();
    d.NotesBox->setCurrentIndex(2); // in a topic, as the book has them
    topics = d.Topics();
    EXPECT_EQ(topics.size(), inPlace);
    EXPECT_EQ(cp1251ToUtf8(topics[1].text).find("[1] Сорок второй"), std::string::npos);
    EXPECT_NE(cp1251ToUtf8(topics.back().text).find("\r\n1\r\nСорок второй"), std::string::npos);
}

TEST(Bookdialog, WhatIsNoBookIsShownInTheErrorBox)
{
    TempDir dir;
    writeFile(dir / "photo.epub", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    std::vector<TShownMessage> shown;
    setMessageSink([&](const TShownMessage& m) { shown.push_back(m); });
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(QString::fromStdString((dir / "book.volm").string())));
    w.ImportBook(QString::fromStdString((dir / "photo.epub").string()));
    setMessageSink({});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("photo.epub: not a book"))) << shown[0].text.toStdString();
    EXPECT_EQ(w.Project().TopicCount(), 0u);
}

TEST(Bookdialog, BookFilesDroppedOnTheListOpenTheDialog)
{
    EXPECT_TRUE(IsBookFileName(QStringLiteral("/x/Tale.FB2.zip")));
    EXPECT_TRUE(IsBookFileName(QStringLiteral("a.epub")));
    EXPECT_TRUE(IsBookFileName(QStringLiteral("a.md")));
    EXPECT_FALSE(IsBookFileName(QStringLiteral("a.txt")));
    EXPECT_FALSE(IsBookFileName(QStringLiteral("a.zip")));

    TempDir dir;
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(QString::fromStdString((dir / "book.volm").string())));
    w.show();
    auto drop = [&](const QString& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.TreeView1->viewport(), &enter);
        bool accepted = enter.isAccepted();
        if (accepted) {
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w.TreeView1->viewport(), &dropped);
        }
        return accepted;
    };
    whenDialogShows([](TBookDialog& d) {
        EXPECT_EQ(column(d.ChapterList, 0), (QStringList{"Глава первая: Мастерская", "Глава вторая: Гость",
                                                       "Глава третья: Зима", "Эпилог"}));
        d.AppendButton->click();
    });
    EXPECT_TRUE(drop(fixture("tale2.epub")));
    EXPECT_EQ(w.Project().TopicCount(), 4u);
    // A plain text file is not a book: it becomes one topic named after it.
    EXPECT_TRUE(drop(fixture("chapter.txt")));
    ASSERT_EQ(w.Project().TopicCount(), 5u);
    EXPECT_EQ(w.Project().Topic(4).Name, "chapter");
}

TEST(Bookdialog, PlainWordsAndTheTitleAsTheBooksName)
{
    // Counts with their plural forms; the hard-wrap repair named by its control.
    {
        TBookDialog d(fixture("wrapped.txt"));
        const QString summary = d.SummaryLabel->text();
        EXPECT_FALSE(summary.contains(QStringLiteral("--"))) << summary.toStdString();
        EXPECT_TRUE(summary.contains(QStringLiteral("(\"Keep lines as they are\" keeps them)"))) << summary.toStdString();
        EXPECT_FALSE(summary.contains(QRegularExpression(QStringLiteral("\\b1 (chapters|topics)"))))
            << summary.toStdString();
    }
    TempDir dir;
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(QString::fromStdString((dir / "book.volm").string())));
    // A project without a name of its own takes the book's title when the box stays checked.
    QString shownTitle;
    whenDialogShows([&](TBookDialog& d) {
        EXPECT_TRUE(d.TitleCheck->isVisible());
        EXPECT_TRUE(d.TitleCheck->isChecked());
        shownTitle = d.TitleCheck->text();
        EXPECT_TRUE(d.SummaryLabel->text().contains(QStringLiteral("Title: ")));
        d.AppendButton->click();
    });
    w.ImportBook(fixture("tale2.epub"));
    const TBook tale = ReadBookFile((booksDir() / "tale2.epub").string(), {});
    EXPECT_EQ(w.Project().Title(), cp1251ToUtf8(tale.title));
    EXPECT_EQ(shownTitle, QStringLiteral("Name the book after its &title: ") +
                              QString::fromStdString(cp1251ToUtf8(tale.title)));
    // Once named, another book leaves the name alone unless asked.
    whenDialogShows([](TBookDialog& d) {
        EXPECT_FALSE(d.TitleCheck->isChecked());
        d.AppendButton->click();
    });
    w.ImportBook(fixture("tale3.epub"));
    EXPECT_EQ(w.Project().Title(), cp1251ToUtf8(tale.title));
}

TEST(Bookdialog, ABookRefusedForItsTopicsNamesItsFile)
{
    // One chapter split at 1 KB into more topics than a book may have.
    TempDir dir;
    const fs::path file = dir / "long.txt";
    std::string text;
    const std::string line(70, 'a');
    while (text.size() < (kMaxBookTopics + 500) * 1024)
        text += line + "\r\n";
    writeFile(file, text);
    TBookDialog d(QString::fromStdString(file.string()));
    d.SplitCheck->setChecked(true);
    d.SplitSizeBox->setValue(1);
    try {
        d.Topics();
        FAIL() << "no refusal";
    } catch (const Error& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with(file.string() + ": ")) << e.what();
    }
}
