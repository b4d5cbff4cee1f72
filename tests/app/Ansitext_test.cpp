// The widgets' text in Windows-1251, and a loaded text that Windows-1251
// can't hold whole: "Load..." stores what importing it as a book stores.
#include "app/Ansitext.h"
#include "app/Child.h"
#include "app/Main.h"

#include "Testutil.h"
#include "app/Guitest.h"
#include "text/Bookimport.h"
#include "text/Detect.h"

#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

TEST(Ansitext, TheWidgetsTextUnderEachFallback)
{
    const QString cafe = QStringLiteral("Café ☺ 😀");
    size_t missing = 0;
    EXPECT_EQ(textToAnsi(cafe, &missing), "Caf? ? ?");
    EXPECT_EQ(missing, 3u);
    TAnsiWriter nearest(TAnsiFallback::Nearest);
    EXPECT_EQ(textToAnsi(cafe, nearest), "Cafe ? ?");
    EXPECT_EQ(ReplacementNote(nearest.count),
              "3 characters Windows-1251 lacks stored as the nearest text (2 of them as \"?\")");
    EXPECT_EQ(textToAnsiExact(cafe), std::nullopt);
    EXPECT_EQ(lackingCharacters(cafe), (QStringList{QStringLiteral("é"), QStringLiteral("☺"), QStringLiteral("😀")}));
    EXPECT_EQ(lackingMessage(QStringLiteral("The topic name"), QStringLiteral("Кафе ☺")),
              QStringLiteral("The topic name \"Кафе ☺\": the character \"☺\" has no Windows-1251 code"));
    // Every byte keeps its place through a widget, the undefined 0x98 too.
    const std::string bytes = "\x98\xC0\xFF\x85";
    EXPECT_EQ(ansiToText(bytes), QStringLiteral("\uF798А\u044F…"));
    EXPECT_EQ(textToAnsiExact(ansiToText(bytes)), bytes);
}

TEST(Ansitext, LoadStoresTheNearestTextAsImportingABookDoes)
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

    const std::string text = "Глава 1\n\nНа вывеске: «Café ½ ☺».\n";
    volm::test::writeFile(dir / "menu.txt", text);
    ASSERT_TRUE(w->CheckBox1->isChecked());
    chooseFile(w->OpenDialog1, (dir / "menu.txt").string());
    w->Button1->click();
    const std::string loaded = w->Project().GetText(0);
    EXPECT_EQ(loaded, utf8ToCp1251("Глава 1\r\n\r\nНа вывеске: «Cafe 1/2 ?».\r\n"));

    const std::vector<TBookTopic> topics = BookTopics(ImportBook(text, "menu.txt", {}), 0);
    ASSERT_EQ(topics.size(), 1u);
    EXPECT_EQ(topics[0].text, loaded);
    // What the project window's status bar says after such a load.
    EXPECT_EQ(LoadTextFile(text, true).Note(),
              "3 characters Windows-1251 lacks stored as the nearest text (1 of them as \"?\")");
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
    frame.close();
}
