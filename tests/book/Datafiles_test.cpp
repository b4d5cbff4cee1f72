#include "book/Datafiles.h"

#include <gtest/gtest.h>

using namespace volm;

namespace {

std::vector<std::string> Names(TTopicList& t)
{
    std::vector<std::string> names;
    for (size_t i = 0; i < t.Count(); ++i)
        names.push_back(t.Name(i));
    return names;
}

} // namespace

TEST(Datafiles, ThreeTopicsByteForByte)
{
    TTopicList topics({{"One", "ab\r\ncd\r\n"}, {"Two", "a\rb"}, {"Three", "\r\r\r"}});
    EXPECT_EQ(TopicsText(Names(topics)), "One\r\nTwo\r\nThree\r\n");
    EXPECT_EQ(TopicsText(Names(topics)).size(), 17u);
    EXPECT_EQ(FilesText(3), "/texts/itm1\r\n/texts/itm2\r\n/texts/itm3\r\n");
    EXPECT_EQ(FilesText(3).size(), 39u);
    EXPECT_EQ(ReaderText(topics.Text(0)), "ab\ncd\n");
    EXPECT_EQ(ReaderText(topics.Text(1)), "ab");
    EXPECT_EQ(ReaderText(topics.Text(2)), "");
    EXPECT_EQ(AppNameText("Tales"), "Tales\r\n");
    EXPECT_EQ(TextEntryName(3), "texts/itm3");
}

// layout.txt names the layout, the paragraph style and the empty topic's
// note, and lists the size of each text as the jar holds it (CR bytes
// removed) with the topic's id.
TEST(Datafiles, LayoutFileHoldsTheLayoutAndTheTextSizes)
{
    TTopicList topics({{"One", "ab\r\ncd\r\n"}, {"Two", "a\rb"}, {"Three", "\r\r\r"}});
    std::vector<uint64_t> sizes;
    for (size_t i = 0; i < topics.Count(); ++i)
        sizes.push_back(ReaderText(topics.Text(i)).size());
    const std::vector<std::string> names = Names(topics);
    TLayoutData data{TReaderLayout::Words, TParagraphStyle::Indent, EmptyNote(names)};
    EXPECT_EQ(LayoutText(data, sizes, TopicIds(names)),
              "words\r\nindent\r\nEmpty\r\n6 13646\r\n2 14a2c\r\n0 4d0b57e\r\n");
    data = {TReaderLayout::Grid, TParagraphStyle::Gap, "Empty"};
    EXPECT_EQ(LayoutText(data, {}, {}), "grid\r\ngap\r\nEmpty\r\n");
}

// Ids hash the stored name (bytes unsigned, modulo 2^32); namesakes count on.
TEST(Datafiles, TopicIdsComeFromTheNamesAndCountNamesakes)
{
    EXPECT_EQ(TopicIds({"One", "", "One", "A", "One", "", std::string(8, '\xFF')}),
              (std::vector<std::string>{"13646", "0", "13646.1", "41", "13646.2", "0.1", "ec45af80"}));
    // The same names in another order keep their ids; only namesakes follow
    // their order.
    EXPECT_EQ(TopicIds({"A", "One"}), (std::vector<std::string>{"41", "13646"}));
    // The stored name, not the title line the menu shows.
    EXPECT_NE(TopicIds({"a\nb"})[0], TopicIds({"a b"})[0]);
    EXPECT_TRUE(TopicIds({}).empty());
}

// The note follows the letters of the names: Cyrillic (Ё and ё too) against
// Latin; a tie, digits and signs alone say "Empty".
TEST(Datafiles, TheEmptyTopicsNoteFollowsTheNamesLetters)
{
    const std::string pusto = "\xCF\xF3\xF1\xF2\xEE";
    EXPECT_EQ(EmptyNote({"\xC3\xEB\xE0\xE2\xE0 1", "Into"}), pusto); // "Глава 1": 5 letters to 4
    EXPECT_EQ(EmptyNote({"\xC3\xEB\xE0\xE2\xE0 1", "Intro"}), "Empty"); // 5 to 5
    EXPECT_EQ(EmptyNote({"\xC3\xEB\xE0\xE2\xE0", "Introduction"}), "Empty");
    EXPECT_EQ(EmptyNote({"\xA8\xB8", "A"}), pusto);
    EXPECT_EQ(EmptyNote({"\xA8", "A"}), "Empty");
    EXPECT_EQ(EmptyNote({"1", "* * *"}), "Empty");
    EXPECT_EQ(EmptyNote({}), "Empty");
}

// Heading marks: kept for the words layout, dropped (only where they start a
// line, after LF or CR) for the grid.
TEST(Datafiles, HeadingMarksAreDroppedOnlyAtALineStart)
{
    const std::string text = "\x01Title\r\n\x01\x01Two\r\na\x01" "b\r\x01" "c\n\x01";
    EXPECT_EQ(ReaderText(text), "\x01Title\n\x01\x01Two\na\x01" "b\x01" "c\n\x01");
    EXPECT_EQ(ReaderText(text, true), "Title\n\x01Two\na\x01" "bc\n");
}

// Texts of the words layout over 16384 bytes take a member per 16384 bytes.
TEST(Datafiles, LongTextsOfTheWordsLayoutComeInPieces)
{
    EXPECT_EQ(TextPieces(TReaderLayout::Words, 0), 1u);
    EXPECT_EQ(TextPieces(TReaderLayout::Words, 16384), 1u);
    EXPECT_EQ(TextPieces(TReaderLayout::Words, 16385), 2u);
    EXPECT_EQ(TextPieces(TReaderLayout::Words, 3 * 16384), 3u);
    EXPECT_EQ(TextPieces(TReaderLayout::Grid, 1u << 20), 1u);
    EXPECT_EQ(TextPieceName(3, 0), "texts/itm3");
    EXPECT_EQ(TextPieceName(3, 2), "texts/itm3_2");
}

TEST(Datafiles, NoTopicsAndOneTopic)
{
    EXPECT_EQ(TopicsText({}), "");
    EXPECT_EQ(FilesText(0), "");
    // Bytes above 0x7F, tabs and lone LF bytes stay as they are.
    EXPECT_EQ(TopicsText({"\xCF\xF0\xE8\xE2\xE5\xF2"}), "\xCF\xF0\xE8\xE2\xE5\xF2\r\n");
    EXPECT_EQ(FilesText(1), "/texts/itm1\r\n");
    EXPECT_EQ(ReaderText("\x80\xFF\t\n\x98"), "\x80\xFF\t\n\x98");
}

TEST(Datafiles, TwelveTopicsAreListedInTopicOrder)
{
    std::string want;
    for (int i = 1; i <= 12; ++i)
        want += "/texts/itm" + std::to_string(i) + "\r\n";
    EXPECT_EQ(FilesText(12), want);
}

TEST(Datafiles, EveryTitleStaysPairedWithItsText)
{
    // An empty name, a name of line breaks and a name holding one: the reader
    // counts only non-empty lines, so each must still give exactly one entry.
    EXPECT_EQ(TopicsText({"A", "", "\r\n", "x\ny", "  "}), "A\r\n \r\n  \r\nx y\r\n  \r\n");
    EXPECT_EQ(TitleLine(""), " ");
    EXPECT_EQ(TitleLine("a\rb"), "a b");
    EXPECT_EQ(TextModeLine("a\nb"), "a\r\nb\r\n");
}
