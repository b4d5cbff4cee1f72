#include "book/Bookpreview.h"
#include "book/Datafiles.h"
#include "book/Readerpage.h"
#include "image/Pngimage.h"
#include "image/Pngread.h"
#include "text/Hyphenate.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace volm;

namespace {

// Every printable byte 6 pixels wide, rows 10 high; a 62 x 62 screen has
// rows of 60 pixels (ten letters) and, under the status row, five rows.
TReaderMetrics monospace()
{
    TReaderMetrics m;
    m.line = 10;
    for (int b = 0x20; b < 256; ++b)
        m.advance[static_cast<size_t>(b)] = b == 0xAD || b == 0x7F ? 0 : 6;
    return m;
}

TReaderTopic topic(std::string text, bool gap = true)
{
    TReaderTopic t;
    t.text = std::move(text);
    t.title = "Name";
    t.note = {"Empty"};
    t.gap = gap;
    t.total = t.text.size();
    return t;
}

std::vector<int> rowStarts(const TReaderPage& page)
{
    std::vector<int> r;
    for (int s = 0; s < page.Length(); s = page.Next(s))
        r.push_back(s);
    return r;
}

// The bytes drawn on the row at y, as text.
std::string drawn(const TReaderScreen& s, int y)
{
    std::string out;
    for (const TGlyphAt& g : s.glyphs)
        if (g.y == y)
            out += static_cast<char>(g.byte);
    return out;
}

int xOf(const TReaderScreen& s, int y)
{
    for (const TGlyphAt& g : s.glyphs)
        if (g.y == y)
            return g.x;
    return -1;
}

} // namespace

TEST(Readerpage, RowsBreakBetweenWordsAndInsideLongOnesWithAHyphen)
{
    const TReaderMetrics m = monospace();
    // The first row indented by two figures: "aaaa " fills it up to the next word.
    EXPECT_EQ(rowStarts(TReaderPage(topic("aaaa bbbb cccc", false), m, 62, 62)), (std::vector<int>{0, 5}));
    // A word longer than a row breaks where "-" still fits.
    TReaderPage alphabet(topic("abcdefghijklmnopqrstuvwxyz"), m, 62, 62);
    EXPECT_EQ(rowStarts(alphabet), (std::vector<int>{0, 9, 18}));
    const TReaderScreen s = alphabet.Screen(0);
    EXPECT_EQ(drawn(s, 12), "abcdefghi-");
    EXPECT_EQ(drawn(s, 22), "jklmnopqr-");
    EXPECT_EQ(drawn(s, 32), "stuvwxyz");
    // No single letter left after the break: the piece before gives one up.
    TReaderMetrics wide = m;
    wide.advance['W'] = 13;
    TReaderPage single(topic("abcdefghW more"), wide, 62, 62);
    EXPECT_EQ(rowStarts(single), (std::vector<int>{0, 7}));
    EXPECT_EQ(drawn(single.Screen(0), 12), "abcdefg-");
    // A soft hyphen is the break, shown as "-" and otherwise taking no room.
    TReaderPage soft(topic("abcdef\xAD" "ghijkl"), m, 62, 62);
    EXPECT_EQ(rowStarts(soft), (std::vector<int>{0, 7}));
    EXPECT_EQ(drawn(soft.Screen(0), 12), "abcdef-");
    // After a hyphen: no second one drawn.
    TReaderPage hard(topic("well-knowing"), m, 62, 62);
    EXPECT_EQ(rowStarts(hard), (std::vector<int>{0, 5}));
    EXPECT_EQ(drawn(hard.Screen(0), 12), "well-");
    // A line end starts a row; a tab reaches the next four blanks.
    TReaderPage lines(topic("ab\n\tc"), m, 62, 62);
    EXPECT_EQ(rowStarts(lines), (std::vector<int>{0, 3}));
    EXPECT_EQ(xOf(lines.Screen(0), 25), 2 + 24);   // a gap before the line
}

TEST(Readerpage, HeadingsScenesIndentsAndGaps)
{
    const TReaderMetrics m = monospace();
    // A heading is centred on the grid of blanks, a blank row after it.
    TReaderPage head(topic("\x01Title\nText here", false), m, 62, 62);
    EXPECT_EQ(rowStarts(head), (std::vector<int>{0, 6, 7, 12}));
    TReaderScreen s = head.Screen(0);
    EXPECT_EQ(drawn(s, 12), "Title");
    EXPECT_EQ(xOf(s, 12), 2 + 12);
    EXPECT_EQ(drawn(s, 22), "");
    EXPECT_EQ(xOf(s, 32), 2 + 12);   // the paragraph after it, indented
    // A scene break is centred; "#" alone is one too, "* x *" is not.
    s = TReaderPage(topic("a\n* * *\nb\n#\nc\n* x *", false), m, 62, 82).Screen(0);
    EXPECT_EQ(xOf(s, 22), 2 + 12);
    EXPECT_EQ(xOf(s, 42), 2 + 24);
    EXPECT_EQ(xOf(s, 62), 2 + 12);
    // Gap style: a third of a row before a paragraph, no indent.
    s = TReaderPage(topic("aa\nbb"), m, 62, 62).Screen(0);
    EXPECT_EQ(xOf(s, 12), 2);
    EXPECT_EQ(xOf(s, 25), 2);
}

TEST(Readerpage, PagesGoOnAScreenLessARowToTheEnd)
{
    const TReaderMetrics m = monospace();
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "line " + std::to_string(i) + "\n";
    TReaderTopic t = topic(text);
    t.gap = false;
    const TReaderPage page(t, m, 62, 62);
    const std::vector<int> starts = page.PageStarts();
    const std::vector<int> rows = rowStarts(page);
    ASSERT_GT(starts.size(), 2u);
    // Five rows a screen: each page starts on the last row of the one before.
    for (size_t k = 1; k + 1 < starts.size(); ++k)
        EXPECT_EQ(starts[k], rows[4 * k]) << k;
    // The last page ends with the text, its last row at the bottom.
    EXPECT_EQ(page.Screen(starts.back()).end, page.Length());
    EXPECT_EQ(page.Screen(starts.back()).rows.size(), 5u);
    EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    EXPECT_EQ(TReaderPage::PageOf(starts, starts[2]), 2u);
    EXPECT_EQ(TReaderPage::PageOf(starts, starts[2] - 1), 1u);
    // A place is shown from the row that holds it.
    EXPECT_EQ(page.RowOf(rows[7] + 2), rows[7]);
    EXPECT_EQ(page.RowOf(0), 0);
    // A place beyond the end shows the start.
    EXPECT_EQ(page.Screen(page.Length() + 5).position, 0);
}

TEST(Readerpage, StatusRowEndMarkAndEmptyNote)
{
    const TReaderMetrics m = monospace();
    TReaderTopic t = topic("abc");
    t.endMark = true;
    t.title = "Longname";
    t.before = 3;
    t.total = 12;
    const TReaderScreen s = TReaderPage(t, m, 62, 62).Screen(0);
    // The end mark centred on a row of its own; the progress line full width.
    ASSERT_EQ(s.rows.size(), 2u);
    EXPECT_TRUE(s.rows[1].endMark);
    EXPECT_EQ(drawn(s, 22), "* * *");
    EXPECT_EQ(xOf(s, 22), 2 + 12);
    EXPECT_EQ(s.progressY, 10);
    EXPECT_EQ(s.progressWidth, 62);
    // A narrow screen: only the topic's percentage, the name cut with "…".
    EXPECT_EQ(drawn(s, 0), "Long\x85" "100%");
    // A wide one: both percentages, the book's counting the texts before.
    EXPECT_EQ(drawn(TReaderPage(t, m, 122, 62).Screen(0), 0), "Longname100% 50%");
    // An empty topic shows its note in the middle, and no status row.
    const TReaderScreen empty = TReaderPage(topic(""), m, 62, 62).Screen(0);
    EXPECT_EQ(drawn(empty, 32), "Empty");
    EXPECT_EQ(xOf(empty, 32), 2 + 12);
    EXPECT_EQ(empty.progressY, -1);
    EXPECT_EQ(drawn(empty, 0), "");
}

TEST(Readerpage, GridRowsAreCellsOfTheWidth)
{
    TReaderMetrics m;
    m.cells = true;
    m.line = 8;   // cells 6 wide: ten a row on 62 pixels
    TReaderTopic t = topic("0123456789abcdefghij\nxyz");
    t.words = false;
    const TReaderPage page(t, m, 62, 42);
    EXPECT_EQ(rowStarts(page), (std::vector<int>{0, 10, 20}));
    const TReaderScreen s = page.Screen(0);
    EXPECT_EQ(drawn(s, 16), "xyz");
    EXPECT_EQ(xOf(s, 16), 2 + 6);          // the line end is a blank cell
    EXPECT_EQ(s.progressY, 41);
    EXPECT_EQ(drawn(s, 0), "0123456789");  // no status row
}

TEST(Bookpreview, PhoneTextsMadeLineByLineAreTheWholeTextsOnes)
{
    const THyphenator hyphenator;
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "\x01Heading " + std::to_string(i) + "\r\nwonderful extraordinary paragraph\r\n\r\n";
    for (bool grid : {false, true}) {
        TPhoneTexts texts(&hyphenator, grid);
        EXPECT_EQ(texts.Text(text), ReaderText(hyphenator.Hyphenate(text), grid));
        // A letter typed into one line; a line end taken away.
        std::string typed = text;
        typed.insert(typed.find("paragraph") + 4, "x");
        EXPECT_EQ(texts.Text(typed), ReaderText(hyphenator.Hyphenate(typed), grid));
        typed.erase(typed.find("\r\n"), 2);
        EXPECT_EQ(texts.Text(typed), ReaderText(hyphenator.Hyphenate(typed), grid));
        EXPECT_EQ(texts.Text("no line end"), ReaderText(hyphenator.Hyphenate("no line end"), grid));
    }
    EXPECT_EQ(TPhoneTexts(nullptr, false).Text("a\xAD" "b\r\n"), "a\xAD" "b\n");
}

TEST(Bookpreview, PhoneOffsetsSkipCrsAndCountSoftHyphens)
{
    const std::string text = "ab\r\ncdef";
    const std::string phone = "ab\ncd\xAD" "ef";
    EXPECT_EQ(TBookPreview::PhoneOffset(text, phone, 0), 0);
    EXPECT_EQ(TBookPreview::PhoneOffset(text, phone, 4), 3);   // 'c'
    EXPECT_EQ(TBookPreview::PhoneOffset(text, phone, 6), 5);   // 'e', before its soft hyphen
    EXPECT_EQ(TBookPreview::PhoneOffset(text, phone, 8), 8);
}

TEST(Bookpreview, GlyphsDrawnFromTheirRectanglesAndNightInvertsThePalette)
{
    // An image of 4 x 2 pixels: glyph 'A' is its left half (ink on paper), 'B' the right.
    TBitmap b(4, 2, 4);
    b.colors[0] = {255, 255, 255, 0};
    b.colors[1] = {0, 0, 0, 0};
    b.scanLine(0)[0] = 0x10;   // pixels 1, 0 | 0, 0
    b.scanLine(1)[1] = 0x01;   // 0, 0 | 0, 1
    TPNGObject png;
    png.Assign(b);
    TMemoryStream stream;
    png.SaveToStream(stream);
    TPreviewFont f;
    f.image = ReadPng(stream.Data(), "test");
    f.metrics.line = 2;
    f.metrics.advance['A'] = f.metrics.advance['B'] = 2;
    f.glyphs['A'] = {0, 0, 2};
    f.glyphs['B'] = {2, 0, 2};
    f.day = f.image.palette;
    for (uint32_t c : f.day)
        f.night.push_back(c ^ 0xFFFFFFu);
    f.dayPaper = 0xFFFFFF;
    f.nightPaper = 0;
    TReaderScreen s;
    s.glyphs = {{'B', 0, 0}, {'A', 3, 1}};
    s.progressY = 2;
    s.progressWidth = 2;
    const std::vector<uint32_t> day = DrawScreen(s, f, false, 5, 3);
    EXPECT_EQ(day, (std::vector<uint32_t>{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,   //
                                          0xFFFFFF, 0,        0xFFFFFF, 0,        0xFFFFFF,   //
                                          0,        0,        0xFFFFFF, 0xFFFFFF, 0xFFFFFF}));
    const std::vector<uint32_t> night = DrawScreen(s, f, true, 5, 3);
    for (size_t i = 0; i < day.size(); ++i)
        EXPECT_EQ(night[i], day[i] ^ 0xFFFFFFu) << i;
}
