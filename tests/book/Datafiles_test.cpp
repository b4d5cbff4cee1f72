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

// layout.txt names the layout and lists the size of each text as the jar
// holds it (CR bytes removed).
TEST(Datafiles, LayoutFileHoldsTheLayoutAndTheTextSizes)
{
    TTopicList topics({{"One", "ab\r\ncd\r\n"}, {"Two", "a\rb"}, {"Three", "\r\r\r"}});
    std::vector<uint64_t> sizes;
    for (size_t i = 0; i < topics.Count(); ++i)
        sizes.push_back(ReaderText(topics.Text(i)).size());
    EXPECT_EQ(LayoutText(TReaderLayout::Words, sizes), "words\r\n6\r\n2\r\n0\r\n");
    EXPECT_EQ(LayoutText(TReaderLayout::Grid, {}), "grid\r\n");
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
