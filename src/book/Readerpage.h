#pragma once
// The phone reader's text screen, laid out on the desktop: the rows of a
// topic exactly as the reader's text view breaks them, its pages, and what a
// screen draws (each glyph at its place, the status row, the progress line).
//
// Words layout: rows break between words, inside a word only at a soft
// hyphen (0xAD), after a hyphen or in a word longer than a row, where a "-"
// is drawn; no piece of a word on either side of such a break is a single
// letter. A line end starts a new row, CR and the heading mark take no room,
// a tab reaches the next multiple of four blanks. A paragraph's first row is
// indented by two figures (or, gap style, a third of a row comes before it);
// a line that starts with the heading mark is centred with a blank row after
// it, a scene break ("* * *", "***", "#") is centred, the book's last topic
// ends in a centred "* * *", an empty topic shows its note. A status row on
// top names the topic (cut with "…") and how far into the topic and the book
// the screen ends.
//
// Grid layout: rows of exactly as many bytes as cells fit, 3/4 of the line
// height apart.
//
// Pages are what the reader shows going on a screen at a time from the
// start (a screen less one row, as far as the last row at the bottom); a
// place (a byte offset) is shown as the reader shows a found word or a
// percentage: from the row that holds it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace volm {

// The font as the reader measures it: the line height and each byte's
// advance (the map's); cells: the grid layout's font of 16 x 16 cells, every
// byte 3/4 of a cell wide.
struct TReaderMetrics {
    int line = 0;
    std::array<uint8_t, 256> advance{};
    bool cells = false;
    int Width(uint8_t b) const { return cells ? line * 3 / 4 : advance[b]; }
};

// One topic as the reader opens it.
struct TReaderTopic {
    std::string text;                 // the bytes of its text as the jar holds them
    std::string title;                // its menu entry
    std::vector<std::string> note;    // the lines an empty topic shows
    bool words = true;
    bool gap = false;                 // paragraphs a third of a row apart, not indented
    bool endMark = false;             // the book's last topic: "* * *" after the text
    uint64_t before = 0;              // bytes of the texts before it, for the book's percentage
    uint64_t total = 0;               // bytes of all texts
};

// One glyph drawn: the byte, where its rectangle's left top corner goes.
struct TGlyphAt {
    uint8_t byte = 0;
    int x = 0, y = 0;
};

// A row of the text on the screen: the bytes [start, end), drawn from y.
struct TShownRow {
    int start = 0, end = 0;
    int y = 0;
    bool endMark = false;
};

struct TReaderScreen {
    int position = 0;                  // the first byte shown
    std::vector<TShownRow> rows;
    std::vector<TGlyphAt> glyphs;      // in drawing order
    int progressY = -1, progressWidth = 0;  // the progress line (none when progressY < 0)
    int end = 0;                       // where the screen ends
};

class TReaderPage {
public:
    TReaderPage(TReaderTopic topic, const TReaderMetrics& metrics, int width, int height);

    const TReaderTopic& Topic() const { return topic_; }
    int Length() const { return static_cast<int>(topic_.text.size()); }

    // Where each page starts, from 0: the reader's screens going on from the start.
    std::vector<int> PageStarts() const;
    // The page (from 0) that holds byte p, of the given page starts.
    static size_t PageOf(const std::vector<int>& starts, int p);

    // The start of the row that holds p (grid: p itself).
    int RowOf(int p) const;
    // Where the screen from `position` goes on to (right, fire).
    int Forward(int position) const;

    // What the screen from `position` draws.
    TReaderScreen Screen(int position) const;

    // Where the row that starts at s ends.
    int Next(int s) const;

private:
    int width(uint8_t b) const { return metrics_.Width(b); }
    uint8_t at(int i) const { return static_cast<uint8_t>(topic_.text[static_cast<size_t>(i)]); }
    int top() const;
    int columns() const;
    int room() const { return width_ - 2; }
    int perRow() const;
    int space() const;
    int tab() const { return 4 * space(); }
    int rows() const;
    int bufferSize() const;
    bool lineStart(int s) const;
    int lineStart(int from, int t) const;
    bool heading(int s) const;
    int indent(int s) const;
    bool sceneBreak(int s, int e) const;
    int used(int s, int e) const;
    bool inWord(int i) const;
    bool hyphen(int e) const;
    bool gapBefore(int s) const;
    std::vector<int> layout(int from, int n) const;
    int fits(const std::vector<int>& rows, int k, int n) const;
    int forward(int position, int n) const;
    int back(int p, int n) const;
    int page(int position) const;
    int widthOf(const std::string& text) const;
    int centre(const std::string& text) const;
    void drawRow(TReaderScreen& s, const std::string& text, int x, int y) const;

    TReaderTopic topic_;
    TReaderMetrics metrics_;
    int width_, height_;
};

} // namespace volm
