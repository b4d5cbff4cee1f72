// The project window's two loads (a topic's text, a topic list) with files
// that are no plain text: what is no regular file, too large or no text (NUL
// bytes, a known binary signature) is refused with a message; a list cut at a
// NUL byte is taken as far as the NUL with the status bar saying so; a text
// Windows-1251 can't hold whole.
#include "app/Child.h"
#include "app/Errorbox.h"
#include "app/Main.h"

#include "Testutil.h"
#include "app/Guitest.h"
#include "common/Ansiwriter.h"
#include "common/Headingmark.h"
#include "text/Bookimport.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

TEST(Childload, NoTextIsRefusedAndACutTextIsSaid)
{
    TempDir dir;
    Messages messages;
    TForm1 frame([](TForm1* f) -> TProjectWindow* { return new TForm2(f); });
    frame.show();
    frame.OpenOrCreateProject(QString::fromStdString((dir / "p.volm").string()));
    ASSERT_EQ(frame.projectWindows().size(), 1);
    auto* w = static_cast<TForm2*>(frame.projectWindows()[0]);
    w->Edit1->setText(QStringLiteral("One"));
    w->BitBtn1->click();
    // Loads the file and commits what the editor then holds; the status
    // bar's line after the load.
    auto load = [&](const std::string& name, const std::string& bytes) {
        volm::test::writeFile(dir / name, bytes);
        frame.statusBar()->showMessage(QStringLiteral("before"));
        chooseFile(w->OpenDialog1, (dir / name).string());
        w->Button1->click();
        const QString said = frame.statusBar()->currentMessage();
        w->Button2->click();
        return said;
    };

    // NUL bytes: no text, refused as a book import refuses it.
    EXPECT_EQ(load("nul.txt", std::string("ab\ncd\0ef", 8)), QStringLiteral("before"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromStdString((dir / "nul.txt").string() +
                                                             ": not a text file (it holds binary data); nothing was "
                                                             "loaded."));
    EXPECT_EQ(w->Project().GetText(0), "");
    // UTF-16 is decoded whole: its zero bytes are characters. Into an empty
    // topic the text is stored at once.
    EXPECT_EQ(load("utf16.txt", std::string("\xFF\xFEh\0i\0", 6)),
              QStringLiteral("utf16.txt loaded into the topic (UTF-16LE detected; no character Windows-1251 lacks). "
                             "Ctrl+Z undoes it."));
    EXPECT_EQ(w->Project().GetText(0), "hi\r\n");
    // What Windows-1251 lacks becomes the nearest text, as importing the
    // file as a book stores it (which marks the title line as a heading; a
    // loaded text has no mark).
    const std::string menu = "Глава 1\n\nНа вывеске: «Café ½ ☺».\n";
    EXPECT_EQ(load("menu.txt", menu),
              QStringLiteral("menu.txt loaded into the editor (UTF-8 detected; 3 characters Windows-1251 lacks stored "
                             "as the nearest text (1 of them as \"?\")): \"Commit\" (Ctrl+S) stores it; Ctrl+Z "
                             "restores the old text."));
    EXPECT_EQ(w->Project().GetText(0), utf8ToCp1251("Глава 1\r\n\r\nНа вывеске: «Cafe 1/2 ?».\r\n"));
    EXPECT_EQ(BookTopics(ImportBook(menu, "menu.txt", {}), 0).at(0).text, kHeadingMark + w->Project().GetText(0));
    w->CheckBox1->setChecked(false);
    EXPECT_EQ(load("nul2.txt", std::string("x\0", 2)), QStringLiteral("before"));
    // Known signatures are named.
    const std::pair<const char*, std::string> binaries[] = {
        {"a PNG image", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16)},
        {"a ZIP archive", "PK\x03\x04 text after"},
        {"a compound file (a project or an office document)", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)},
    };
    for (const auto& [kind, bytes] : binaries)
        load("binary.txt", bytes);
    ASSERT_EQ(messages.shown.size(), 5u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(messages.shown[2 + i].text.endsWith(QStringLiteral(": not a text file (it holds %1); nothing was "
                                                                       "loaded.")
                                                            .arg(QLatin1String(binaries[i].first))))
            << messages.shown[2 + i].text.toStdString();
    EXPECT_EQ(w->Project().GetText(0), utf8ToCp1251("Глава 1\r\n\r\nНа вывеске: «Cafe 1/2 ?».\r\n"));
    messages.shown.clear();

    // A FIFO is refused at once (no writer is waited for); the text stays.
    const std::string fifo = (dir / "fifo.txt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    chooseFile(w->OpenDialog1, fifo);
    w->Button1->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QString::fromStdString("Can't read file " + fifo + ": it is a FIFO (named pipe), not a regular file."));
    EXPECT_EQ(w->Project().GetText(0), utf8ToCp1251("Глава 1\r\n\r\nНа вывеске: «Cafe 1/2 ?».\r\n"));
    // A text over the limit (a sparse file: nothing is read).
    volm::test::writeFile(dir / "big.txt", "");
    std::filesystem::resize_file(dir / "big.txt", (64u << 20) + 1);
    chooseFile(w->OpenDialog1, (dir / "big.txt").string());
    w->Button1->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.endsWith(QStringLiteral(": it is larger than the limit of 64 MB (67108864 bytes)")))
        << messages.shown[1].text.toStdString();

    // A topic list is read by the same rules.
    volm::test::writeFile(dir / "list.txt", std::string("A\nB\0C\n", 6));
    frame.statusBar()->showMessage(QStringLiteral("before"));
    chooseFile(w->OpenDialog2, (dir / "list.txt").string());
    w->BitBtn3->click();
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 3);
    EXPECT_EQ(w->TreeView1->topLevelItem(2)->text(0), QStringLiteral("B"));
    EXPECT_EQ(frame.statusBar()->currentMessage(),
              QStringLiteral("2 topics of the list appended. Ctrl+Z undoes it. cut at byte 3: the file holds NUL "
                             "bytes (a binary file?)"));
    chooseFile(w->OpenDialog2, fifo);
    w->BitBtn3->click();
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_TRUE(messages.shown[2].text.contains(QStringLiteral("FIFO")));
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 3);
    frame.close();
}
