#include "app/Ansitext.h"
#include "app/Errorbox.h"
#include "app/Main.h"
#include "app/Fontcommands.h"
#include "app/Fontdialog.h"
#include "app/Jbuild.h"
#include "common/Codepage.h"
#include "app/Child.h"
#include "app/Editortext.h"
#include "storage/Componounddoc.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QListWidget>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

namespace {

QStringList nodeTexts(const TForm2& w)
{
    QStringList out;
    for (int i = 0; i < w.TreeView1->topLevelItemCount(); ++i)
        out << w.TreeView1->topLevelItem(i)->text(0);
    return out;
}

std::vector<int> numbers(const TForm2& w)
{
    std::vector<int> out;
    for (int i = 0; i < w.TreeView1->topLevelItemCount(); ++i)
        out.push_back(TForm2::NodeNumber(w.TreeView1->topLevelItem(i)));
    return out;
}

void append(TForm2& w, const QString& name)
{
    w.Edit1->setText(name);
    w.BitBtn1->click();
}

std::string cp1251(const char* utf8)
{
    return utf8ToCp1251(utf8);
}

} // namespace

TEST(Child, EditorKeepsEveryWindows1251Byte)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all.push_back(static_cast<char>(b));
    EXPECT_EQ(textToAnsi(ansiToText(all)), all); // 0x98, undefined in 1251, too
    size_t missing = 0;
    EXPECT_EQ(textToAnsi(QStringLiteral("Ж€€ 中 😀 é"), &missing), "\xc6\x88\x88 ? ? ?");
    EXPECT_EQ(missing, 3u);

    TForm2 w;
    w.RxRichEdit1->setPlainText(ansiToText(all));
    EXPECT_EQ(w.EditorText().Text(), all + "\r\n");
    w.RxRichEdit1->setPlainText(QString());
    EXPECT_EQ(w.EditorText().Text(), ""); // an empty editor gives the empty text
    w.RxRichEdit1->setPlainText(QStringLiteral("a\n\nb\n"));
    EXPECT_EQ(w.EditorText().Text(), "a\r\n\r\nb\r\n"); // an empty last line is not counted
}

TEST(Child, NewProjectAppendDeleteAndNumbers)
{
    TempDir dir;
    const QString path = QString::fromStdString((dir / "book.volm").string());
    Messages messages;
    {
        TForm2 w;
        EXPECT_FALSE(w.HoldsProject(path));
        ASSERT_TRUE(w.OpenProject(path));
        EXPECT_FALSE(w.OpenProject(path)); // one project per window
        EXPECT_TRUE(w.HoldsProject(path));
        EXPECT_FALSE(w.HoldsProject(path + QStringLiteral("/")));
        EXPECT_EQ(w.windowTitle(), QStringLiteral("book.volm")); // the path: in the frame's tooltip and menu
        EXPECT_EQ(w.ProjectPath(), path);
        EXPECT_EQ(w.TreeView1->topLevelItemCount(), 0);
        EXPECT_TRUE(w.PageControl1->isHidden());
        EXPECT_EQ(w.Edit1->maxLength(), 50);

        append(w, QString()); // nothing
        EXPECT_EQ(w.TreeView1->topLevelItemCount(), 0);
        append(w, QStringLiteral("Первая"));
        append(w, QStringLiteral("   ")); // blanks are a name too
        append(w, QStringLiteral("Third"));
        EXPECT_EQ(numbers(w), (std::vector<int>{101, 102, 103}));
        EXPECT_EQ(w.Edit1->text(), QStringLiteral("Third")); // the entry keeps its text
        EXPECT_EQ(w.TreeView1->currentItem(), w.TreeView1->topLevelItem(2));
        EXPECT_FALSE(w.PageControl1->isHidden());
        EXPECT_EQ(w.Project().Topic(0).Item->GetName(), cp1251("Первая"));

        // Delete the last one, append: its number is not handed out again.
        w.RxRichEdit1->setPlainText(QStringLiteral("unsaved"));
        w.BitBtn2->click();
        EXPECT_TRUE(w.PageControl1->isHidden());
        EXPECT_TRUE(w.RxRichEdit1->toPlainText().isEmpty());
        EXPECT_EQ(w.TreeView1->currentItem(), nullptr);
        append(w, QStringLiteral("Fourth"));
        EXPECT_EQ(numbers(w), (std::vector<int>{101, 102, 104}));

        // Delete with nothing selected only empties the editor.
        w.TreeView1->setCurrentItem(nullptr);
        w.RxRichEdit1->setPlainText(QStringLiteral("x"));
        w.BitBtn2->click();
        EXPECT_TRUE(w.RxRichEdit1->toPlainText().isEmpty());
        EXPECT_EQ(w.TreeView1->topLevelItemCount(), 3);
        w.close();
    }
    // Reopened: the counter restarts from the largest number present.
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(path));
    EXPECT_EQ(nodeTexts(w), (QStringList{QStringLiteral("Первая"), QStringLiteral("   "),
                                         QStringLiteral("Fourth")}));
    EXPECT_EQ(w.TreeView1->currentItem(), nullptr); // nothing selected after opening
    append(w, QStringLiteral("Fifth"));
    EXPECT_EQ(numbers(w).back(), 105);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(Child, NextNumberAfterGapsAndTopicLists)
{
    TempDir dir;
    const std::string file = (dir / "gaps.volm").string();
    {
        TComponoundDocument doc(file, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
        for (const char* name : {"101", "102", "250"}) {
            TDocStream s;
            doc.CreateStream(s, name, STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
        }
        doc.Commit();
    }
    TForm2 w;
    ASSERT_TRUE(w.OpenProject(QString::fromStdString(file)));
    ASSERT_EQ(w.TreeView1->topLevelItemCount(), 3);

    // Lines ending in CR LF, LF and CR: the same two topics each time (the
    // empty line between them names none).
    const std::string longLine(60, 'L');
    int expectedNumber = 251;
    for (const std::string& list : {std::string("A\r\n\r\nB\r\n"), std::string("A\n\nB"),
                                    std::string("A\r\rB\r")}) {
        const auto lf = dir / "list.txt";
        volm::test::writeFile(lf, list);
        chooseFile(w.OpenDialog2, lf.string());
        w.BitBtn3->click();
        const int n = w.TreeView1->topLevelItemCount();
        ASSERT_EQ(n, 3 + (expectedNumber - 251) + 2);
        EXPECT_EQ(nodeTexts(w).mid(n - 2), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        EXPECT_EQ(numbers(w).back(), expectedNumber + 1);
        EXPECT_EQ(w.TreeView1->currentItem(), w.TreeView1->topLevelItem(n - 1)); // the last one selected
        expectedNumber += 2;
    }
    // A 60-character line shows whole until the project is opened again.
    volm::test::writeFile(dir / "long.txt", longLine + "\r\n");
    chooseFile(w.OpenDialog2, (dir / "long.txt").string());
    w.BitBtn3->click();
    EXPECT_EQ(nodeTexts(w).back(), QString::fromStdString(longLine));
    w.close();
    TForm2 again;
    ASSERT_TRUE(again.OpenProject(QString::fromStdString(file)));
    EXPECT_EQ(nodeTexts(again).back(), QString::fromStdString(longLine.substr(0, 50)));
}

TEST(Child, SelectionCommitLoadAndPack)
{
    TempDir dir;
    const QString path = QString::fromStdString((dir / "texts.volm").string());
    Messages messages;
    TForm1 frame([](TForm1* f) -> TProjectWindow* { return new TForm2(f); });
    frame.show();
    frame.OpenOrCreateProject(path);
    ASSERT_EQ(frame.projectWindows().size(), 1);
    auto* w = static_cast<TForm2*>(frame.projectWindows()[0]);
    append(*w, QStringLiteral("One"));
    append(*w, QStringLiteral("Two"));

    // Commit stores the editor's paragraphs, however the editor wraps them.
    const QString longParagraph = QString(500, u'ж');
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    w->RxRichEdit1->setPlainText(longParagraph + QStringLiteral("\nend"));
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(0), std::string(500, '\xe6') + "\r\nend\r\n");

    // Typing and then selecting another topic drops the typing when the
    // user says "Discard".
    Questions questions;
    questions.answers = {kDiscard};
    w->RxRichEdit1->moveCursor(QTextCursor::End);
    w->RxRichEdit1->insertPlainText(QStringLiteral("not committed"));
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(1));
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QString());
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), longParagraph + QStringLiteral("\nend\n"));

    // A character Windows-1251 lacks is stored as "?", and the status bar says so.
    w->RxRichEdit1->setPlainText(QStringLiteral("日本"));
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(0), "??\r\n");
    EXPECT_TRUE(frame.statusBar()->currentMessage().contains(QStringLiteral("\"?\"")));

    // Load: KOI8-R prose comes out as Windows-1251 letters.
    const char* prose = "Дорогой доктор, хорошо ли вам? Около высокой горы стоит старый дом, "
                        "в котором много комнат. Её тут нет.";
    const std::string koi = encode(CodePage::Koi8R, utf8ToUtf16(prose));
    volm::test::writeFile(dir / "koi.txt", koi);
    EXPECT_TRUE(w->CheckBox1->isChecked());
    chooseFile(w->OpenDialog1, (dir / "koi.txt").string());
    w->Button1->click();
    EXPECT_EQ(w->RxRichEdit1->toPlainText(), QString::fromUtf8(prose) + u'\n');
    // Over a text it is the editor's only, until Commit.
    EXPECT_EQ(w->Project().GetText(0), "??\r\n");
    EXPECT_TRUE(w->HasUncommittedEdits());
    EXPECT_TRUE(frame.statusBar()->currentMessage().startsWith(
        QStringLiteral("koi.txt loaded into the editor (KOI8-R detected; no character Windows-1251 lacks)")))
        << frame.statusBar()->currentMessage().toStdString();
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(0), cp1251(prose) + "\r\n");

    // Detection off: the bytes stay as they are; LF becomes CR LF.
    w->CheckBox1->setChecked(false);
    volm::test::writeFile(dir / "ab.txt", "ab\ncd\xc1");
    chooseFile(w->OpenDialog1, (dir / "ab.txt").string());
    w->Button1->click();
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(0), "ab\r\ncd\xc1\r\n");
    volm::test::writeFile(dir / "empty.txt", "");
    chooseFile(w->OpenDialog1, (dir / "empty.txt").string());
    w->Button1->click();
    w->Button2->click();
    EXPECT_EQ(w->Project().GetText(0), "");

    // Pack: the tree is rebuilt, nothing selected, the texts kept.
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(1));
    w->RxRichEdit1->setPlainText(QStringLiteral("second"));
    w->Button2->click();
    append(*w, QStringLiteral("Gone"));
    w->BitBtn2->click();
    w->Pack1->trigger();
    EXPECT_EQ(nodeTexts(*w), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_EQ(w->TreeView1->currentItem(), nullptr);
    EXPECT_TRUE(w->PageControl1->isHidden());
    EXPECT_TRUE(w->HoldsProject(path));
    EXPECT_EQ(w->Project().GetText(1), "second\r\n");

    // The same file under another spelling is refused while it is open.
    frame.OpenOrCreateProject(QString::fromStdString((dir / "." / "texts.volm").string()));
    EXPECT_EQ(frame.projectWindows().size(), 1);
    // A plain text file is refused and left as it is.
    volm::test::writeFile(dir / "plain.txt", "hello\r\n");
    frame.OpenOrCreateProject(QString::fromStdString((dir / "plain.txt").string()));
    EXPECT_EQ(frame.projectWindows().size(), 1);
    EXPECT_EQ(volm::test::readFile(dir / "plain.txt"), "hello\r\n");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.startsWith(QStringLiteral("Can't create/open file.\n")));
    EXPECT_TRUE(messages.shown[1].text.contains(QStringLiteral("plain.txt: not a project file")));

    // Exit commits and closes every project.
    frame.OpenOrCreateProject(QString::fromStdString((dir / "second.volm").string()));
    auto* w2 = static_cast<TForm2*>(frame.projectWindows()[1]);
    append(*w2, QStringLiteral("Kept"));
    frame.close();
    TProject p;
    ASSERT_NO_THROW(p.Open((dir / "second.volm").string()));
    ASSERT_EQ(p.TopicCount(), 1u);
    EXPECT_EQ(p.Item(0).GetName(), "Kept");
    TProject first;
    ASSERT_NO_THROW(first.Open(path.toStdString()));
    EXPECT_EQ(first.TopicCount(), 2u);
}

TEST(Child, GenerateAsksForTheParametersAndBuildsTheBook)
{
    TempDir dir;
    Messages messages;
    TForm1 frame([](TForm1* f) -> TProjectWindow* { return new TForm2(f); });
    TForm3 params(&frame, dir / "registry.ini");
    setBuildParamsDialog(&params);
    frame.show();
    const std::string project = (dir / "Tales.volm").string();
    frame.OpenOrCreateProject(QString::fromStdString(project));
    ASSERT_EQ(frame.projectWindows().size(), 1);
    auto* w = static_cast<TForm2*>(frame.projectWindows()[0]);
    append(*w, QStringLiteral("Начало"));
    w->RxRichEdit1->setPlainText(QStringLiteral("Текст"));
    w->Button2->click();

    // Cancel: nothing is written and the status text stays.
    frame.statusBar()->showMessage(QStringLiteral("before"));
    QTimer::singleShot(0, [&] { params.BitBtn2->click(); });
    w->GenerateJAVA1->trigger();
    EXPECT_FALSE(std::filesystem::exists(dir / "Tales"));
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("before"));

    // Build: the vendor goes into the jad as typed (the registry keeps it trimmed).
    QTimer::singleShot(0, [&] {
        params.Edit1->setText(QStringLiteral("ACME "));
        params.Edit2->setText(QStringLiteral("http://x.example.org/"));
        params.BitBtn1->click();
    });
    w->GenerateJAVA1->trigger();
    EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text.toStdString();
    EXPECT_EQ(frame.statusBar()->currentMessage(),
              QStringLiteral("Done. Subfolder was created. The book: ") +
                  QString::fromStdString((dir / "Tales" / "Tales.jar").string()) +
                  QStringLiteral(" (MIDlet-Version 1.0.1)"));
    const std::string jad = volm::test::readFile(dir / "Tales" / "Tales.jad");
    EXPECT_NE(jad.find("MIDlet-Vendor: ACME \r\n"), std::string::npos) << jad;
    EXPECT_NE(jad.find("MIDlet-Info-URL: http://x.example.org/\r\n"), std::string::npos);
    const auto jarSize = std::filesystem::file_size(dir / "Tales" / "Tales.jar");
    EXPECT_NE(jad.find("MIDlet-Jar-Size: " + std::to_string(jarSize) + "\r\n"), std::string::npos);
    EXPECT_EQ(frame.statusBar()->findChildren<QProgressBar*>().size(), 0); // gone after the build
    if (volm::test::haveProgram("unzip")) {
        auto r = volm::test::run({"unzip", "-p", (dir / "Tales" / "Tales.jar").string(), "topics.txt"});
        EXPECT_EQ(r.out, "\xcd\xe0\xf7\xe0\xeb\xee\r\n"); // Начало
    }
    // Built again with nothing changed: the version rises (the counter is the
    // project's), and the description goes into the jad.
    QTimer::singleShot(0, [&] {
        params.Edit3->setText(QStringLiteral("Сказки"));
        params.BitBtn1->click();
    });
    w->GenerateJAVA1->trigger();
    const std::string again = volm::test::readFile(dir / "Tales" / "Tales.jad");
    EXPECT_NE(again.find("\r\nMIDlet-Version: 1.0.2\r\n"), std::string::npos) << again;
    EXPECT_NE(again.find("\r\nMIDlet-Description: \xd1\xea\xe0\xe7\xea\xe8\r\n"), std::string::npos) << again;
    setBuildParamsDialog(nullptr);
}

TEST(Child, FontChoiceStoredAndRestoredCancelWritesNothing)
{
    TempDir dir;
    const QString path = QString::fromStdString((dir / "font.volm").string());
    {
        TForm2 w;
        ASSERT_TRUE(w.OpenProject(path));
        EXPECT_FALSE(w.Usecustomfont1->isChecked());
        const TFontSettings before = w.Project().FontSettings();

        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<TFontDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            d->reject();
        });
        w.ChooseFontAction->trigger();
        EXPECT_EQ(w.Project().FontSettings(), before);
        EXPECT_FALSE(w.Usecustomfont1->isChecked());

        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<TFontDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            const auto family = d->FontList->findItems(QStringLiteral("Liberation Mono"), Qt::MatchExactly);
            ASSERT_FALSE(family.isEmpty());
            d->FontList->setCurrentItem(family.front());
            d->SizeEdit->setText(QStringLiteral("12")); // 16 pixels
            d->StyleList->setCurrentRow(2);            // Bold
            d->OkButton->click();
        });
        w.ChooseFontAction->trigger();
        const TFontSettings& s = w.Project().FontSettings();
        EXPECT_TRUE(s.useCustomFont);
        EXPECT_TRUE(w.Usecustomfont1->isChecked());
        EXPECT_EQ(s.font.name, "Liberation Mono");
        EXPECT_EQ(s.font.height, -16);
        EXPECT_EQ(s.font.style, fsBold);
        EXPECT_EQ(s.font.charset, before.font.charset); // what the dialog lacks stays
        EXPECT_EQ(w.RxRichEdit1->font().family(), QStringLiteral("Liberation Mono"));

        w.Usecustomfont1->trigger(); // the switch alone
        EXPECT_FALSE(w.Project().FontSettings().useCustomFont);
        w.close();
    }
    TForm2 again;
    ASSERT_TRUE(again.OpenProject(path));
    EXPECT_FALSE(again.Usecustomfont1->isChecked());
    EXPECT_EQ(again.Project().FontSettings().font.name, "Liberation Mono");
    EXPECT_EQ(again.RxRichEdit1->font().pixelSize(), 16);
    EXPECT_TRUE(again.RxRichEdit1->font().bold());
}
