#include "text/Textlines.h"

#include <gtest/gtest.h>

using namespace volm;
using Lines = std::vector<std::string>;

TEST(Textlines, ListFilesSplitAtEveryKindOfLineEnd)
{
    const Lines want{"A", "", "B"};
    EXPECT_EQ(SplitLines("A\r\n\r\nB\r\n"), want);
    EXPECT_EQ(SplitLines("A\n\nB\n"), want);
    EXPECT_EQ(SplitLines("A\r\rB\r"), want);
    EXPECT_EQ(SplitLines("A\r\n\nB"), want);       // mixed, no break at the end
    EXPECT_EQ(SplitLines("A\n\rB"), want);          // LF then CR is two breaks
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
    EXPECT_EQ(SplitLines("  \t "), Lines{"  \t "});  // nothing is trimmed
    // The text ends at the first NUL.
    EXPECT_EQ(SplitLines(std::string("A\nB\0C\nD\n", 8)), (Lines{"A", "B"}));
    EXPECT_EQ(SplitLines(std::string("\0A\n", 3)), Lines{});
    // High bytes are kept as they are.
    EXPECT_EQ(SplitLines("\xCF\xF0\xE8\r\n\xFF"), (Lines{"\xCF\xF0\xE8", "\xFF"}));
}

TEST(Textlines, EditorParagraphsAreStoredWithCrLf)
{
    EXPECT_EQ(JoinLines({"ab", "cd"}), "ab\r\ncd\r\n");
    EXPECT_EQ(JoinLines({"ab", "cd", ""}), "ab\r\ncd\r\n");  // an empty last line is not counted
    EXPECT_EQ(JoinLines({"ab", "", ""}), "ab\r\n\r\n");
    EXPECT_EQ(JoinLines({""}), "");
    EXPECT_EQ(JoinLines({}), "");
    EXPECT_EQ(SplitParagraphs("ab\ncd\n"), (Lines{"ab", "cd", ""}));
    EXPECT_EQ(SplitParagraphs(""), Lines{""});
    // A long paragraph stays one line, whatever width shows it.
    std::string longLine(5000, 'x');
    EXPECT_EQ(JoinLines(SplitParagraphs(longLine)), longLine + "\r\n");
}

TEST(Textlines, LoadedTextsGetCrLfLineEnds)
{
    EXPECT_EQ(NormalizeLineEnds("ab\ncd"), "ab\r\ncd\r\n");
    EXPECT_EQ(NormalizeLineEnds("ab\rcd\r\n\n"), "ab\r\ncd\r\n\r\n");
    EXPECT_EQ(NormalizeLineEnds("ab\r\n"), "ab\r\n");
    EXPECT_EQ(NormalizeLineEnds("\n"), "\r\n");
    EXPECT_EQ(NormalizeLineEnds(""), "");
    // The editor holds no NUL: the text ends there.
    EXPECT_EQ(NormalizeLineEnds(std::string("ab\0cd", 5)), "ab\r\n");
    // Loading a stored text again changes nothing; same result as the paragraph route.
    for (std::string t : {"x\ny\r\rz", "\r\n\r\n", "a", "a\r\r\n\n"}) {
        std::string once = NormalizeLineEnds(t);
        EXPECT_EQ(NormalizeLineEnds(once), once);
        EXPECT_EQ(JoinLines(SplitParagraphs(t)), once) << t;
    }
}
