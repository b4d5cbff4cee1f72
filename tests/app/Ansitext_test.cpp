// The widgets' text in Windows-1251, both ways, and what the user is told
// when a loaded text could not be held whole.
#include "app/Ansitext.h"

#include "app/Guitest.h"
#include "text/Detect.h"

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;

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

    // The project window's status bar after "Load..." of such a text (or one cut at a NUL).
    EXPECT_EQ(LoadTextFile("Caf\xC3\xA9 \xE2\x98\xBA\n", true).Note(),
              "2 characters Windows-1251 lacks stored as the nearest text (1 of them as \"?\")");
    EXPECT_EQ(LoadTextFile(std::string("Caf\xC3\xA9\0x", 7), true).Note(),
              "1 character Windows-1251 lacks stored as the nearest text; "
              "cut at byte 5: the file holds NUL bytes (a binary file?)");
    EXPECT_EQ(LoadTextFile("caf\xE9", false).Note(), "");
}
