#include "book/Readerpage.h"

#include "common/Headingmark.h"

#include <algorithm>
#include <utility>

namespace volm {
namespace {

constexpr uint8_t kSoftHyphen = 0xAD;
constexpr uint8_t kEllipsis = 0x85;
const std::string kEndMark = "* * *";

int percent(int64_t part, int64_t whole)
{
    return whole <= 0 ? 0 : static_cast<int>(part * 100 / whole);
}

} // namespace

TReaderPage::TReaderPage(TReaderTopic topic, const TReaderMetrics& metrics, int width, int height)
    : topic_(std::move(topic)), metrics_(metrics), width_(width), height_(height)
{
    if (metrics_.line <= 0)
        metrics_.line = 1;
}

int TReaderPage::top() const
{
    return topic_.words ? metrics_.line + 2 : 0;
}

int TReaderPage::columns() const
{
    const int glyph = metrics_.line * 3 / 4;
    const int c = (width_ - 2) / (glyph > 0 ? glyph : 1);
    return c < 1 ? 1 : c;
}

int TReaderPage::perRow() const
{
    if (!topic_.words)
        return columns() + 1;
    int narrow = width('.');
    const int w = width('i');
    narrow = (w > 0 && w < narrow) || narrow == 0 ? w : narrow;
    return room() / (narrow > 0 ? narrow : 1) * 3 / 2 + 2;
}

int TReaderPage::space() const
{
    const int w = width(' ');
    return w > 0 ? w : 1;
}

int TReaderPage::rows() const
{
    const int r = (height_ - (topic_.words ? top() : 2)) / metrics_.line;
    return r < 1 ? 1 : r;
}

// The reader keeps a few screens and 4 KB more; going back looks at most
// half of that behind.
int TReaderPage::bufferSize() const
{
    return 4096 + 4 * (rows() + 2) * perRow();
}

bool TReaderPage::lineStart(int s) const
{
    return s == 0 || (s > 0 && s <= Length() && at(s - 1) == '\n');
}

int TReaderPage::lineStart(int from, int t) const
{
    while (t > from && at(t - 1) != '\n')
        --t;
    return t;
}

bool TReaderPage::heading(int s) const
{
    int l = s;
    while (l > 0 && l > s - 256 && at(l - 1) != '\n')
        --l;
    return (l == 0 || at(l - 1) == '\n') && l < Length() && at(l) == static_cast<uint8_t>(kHeadingMark);
}

int TReaderPage::indent(int s) const
{
    if (topic_.gap || !lineStart(s) || s >= Length())
        return 0;
    const uint8_t b = at(s);
    return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == 1 ? 0 : 2 * width('0');
}

bool TReaderPage::sceneBreak(int s, int e) const
{
    if (!lineStart(s) || e - s > 12 || (e < Length() && at(e - 1) != '\n'))
        return false;
    int stars = 0, other = 0;
    for (int i = s; i < e; ++i) {
        const uint8_t c = at(i);
        if (c == '*') {
            ++stars;
        } else if (c == '#') {
            stars += 3;
            ++other;
        } else if (c != ' ' && c != '\r' && c != '\n' && c != '\t') {
            other += 2;
        }
    }
    return stars == 3 && other < 2;
}

int TReaderPage::used(int s, int e) const
{
    int x = 0, end = 0;
    for (int i = s; i < e; ++i) {
        const uint8_t b = at(i);
        if (b == '\t') {
            x = (x / tab() + 1) * tab();
        } else if (b != kSoftHyphen && b != '\r' && b != '\n' && b != 1) {
            x += width(b);
            if (b != ' ')
                end = x;
        }
    }
    return hyphen(e) ? end + width('-') : end;
}

bool TReaderPage::inWord(int i) const
{
    if (i < 0 || i >= Length())
        return false;
    const uint8_t b = at(i);
    return b > ' ' && b != '-' && b != kSoftHyphen && b != 0xA0;
}

bool TReaderPage::hyphen(int e) const
{
    return (e > 0 && e <= Length() && at(e - 1) == kSoftHyphen) || (inWord(e - 1) && inWord(e));
}

bool TReaderPage::gapBefore(int s) const
{
    return topic_.gap && topic_.words && s < Length() && lineStart(s);
}

int TReaderPage::Next(int s) const
{
    const int end = Length();
    if (!topic_.words) {
        const int w = columns();
        return s + w < end ? s + w : end;
    }
    const bool head = heading(s);
    const int room = this->room();
    const int dash = width('-');
    int x = indent(s);
    int blank = -1;  // a break after a blank
    int soft = -1;   // after a soft hyphen or a hyphen, with room for what it shows
    int fit = -1;    // the last break inside a word that leaves room for "-"
    for (int i = s; i < end; ++i) {
        const uint8_t b = at(i);
        if (b == '\n')
            return head && i > s ? i : i + 1;   // a heading's line end is a blank row
        if (b == kSoftHyphen) {
            if (x + dash <= room)
                soft = i + 1;
            continue;
        }
        const int w = b == '\t' ? tab() - x % tab() : b == '\r' || b == 1 ? 0 : width(b);
        if (x + w > room) {
            if (b == ' ' || b == '\t')
                return i + 1;
            int cut = blank > soft ? blank : soft;
            if (cut > s)
                return cut;
            // A word longer than a row: no single letter left on either side.
            cut = fit > s ? fit : i > s ? i : s + 1;
            if (cut - s > 2 && inWord(cut) && !inWord(cut + 1) && cut + 1 < end)
                --cut;
            return cut;
        }
        x += w;
        if (b == ' ' || b == '\t')
            blank = i + 1;
        else if (b == '-' && inWord(i - 1) && inWord(i + 1))
            soft = i + 1;
        if (inWord(i) && inWord(i + 1) && x + dash <= room)
            fit = i + 1;
    }
    return end;
}

// rows[0] = from, rows[k + 1] where row k ends; the end mark is a row of
// its own at the text's length. The rows laid out are rows.size() - 1.
std::vector<int> TReaderPage::layout(int from, int n) const
{
    const int len = Length();
    std::vector<int> r{from};
    int k = 0;
    while (k < n && r[static_cast<size_t>(k)] < len) {
        r.push_back(Next(r[static_cast<size_t>(k)]));
        ++k;
    }
    if (topic_.endMark && k < n && r[static_cast<size_t>(k)] == len && (k > 0 || from == len))
        r.push_back(len + 1);
    return r;
}

// How many of the rows from row k on (of n) fit on the screen, at least one.
int TReaderPage::fits(const std::vector<int>& r, int k, int n) const
{
    const int cell = metrics_.line;
    int y = top() + cell;
    int fit = 1;
    for (int i = k + 1; i < n; ++i) {
        y += cell + (gapBefore(r[static_cast<size_t>(i)]) ? cell / 3 : 0);
        if (y > height_)
            break;
        ++fit;
    }
    return n - k < fit ? n - k : fit;
}

int TReaderPage::forward(int position, int n) const
{
    if (!topic_.words) {
        const std::vector<int> r = layout(position, n + 1);
        const int k = static_cast<int>(r.size()) - 2;
        return k > 0 ? r[static_cast<size_t>(k < n ? k : n)] : position;
    }
    const std::vector<int> r = layout(position, n + rows());
    const int all = static_cast<int>(r.size()) - 1;
    int k = n < all ? n : all - 1;
    if (all < n + rows()) {
        // The end is near: no further than where the last row is at the bottom.
        int s = 0;
        while (s < k && s + fits(r, s, all) < all)
            ++s;
        k = s < k ? s : k;
    }
    return k > 0 ? r[static_cast<size_t>(k)] : position;
}

int TReaderPage::back(int p, int n) const
{
    if (p <= 0)
        return 0;
    if (!topic_.words) {
        const int w = columns();
        return p > n * w ? p - n * w : 0;
    }
    int s = p - bufferSize() / 2;
    if (s < 0)
        s = 0;
    int q = p - n * perRow();
    if (q < s)
        q = s;
    int t = lineStart(s, q);
    if (t == s && s > 0 && !lineStart(s)) {
        // A paragraph longer than the look back: from just after a blank.
        while (t < p && at(t) != ' ')
            ++t;
        t = t < p ? t + 1 : s;
    }
    // The last n row starts before p, in a ring.
    std::vector<int> ring(static_cast<size_t>(n > 0 ? n : 1));
    int k = 0;
    ring[0] = t;
    for (int e = Next(t); e < p; e = Next(e))
        ring[static_cast<size_t>(++k % n)] = e;
    return k < n ? t : ring[static_cast<size_t>((k + 1) % n)];
}

// A screen less one row (at least one).
int TReaderPage::page(int position) const
{
    const std::vector<int> r = layout(position, rows());
    const int p = fits(r, 0, static_cast<int>(r.size()) - 1) - 1;
    return p < 1 ? 1 : p;
}

int TReaderPage::RowOf(int p) const
{
    if (p < 0)
        p = 0;
    if (!topic_.words || p <= 0)
        return p;
    int r = back(p, 1);
    for (int e = r; e <= p && e < Length(); e = Next(e))
        r = e;
    return r;
}

int TReaderPage::Forward(int position) const
{
    return forward(position, page(position));
}

std::vector<int> TReaderPage::PageStarts() const
{
    std::vector<int> starts{0};
    for (;;) {
        const int next = Forward(starts.back());
        if (next <= starts.back())
            return starts;
        starts.push_back(next);
    }
}

size_t TReaderPage::PageOf(const std::vector<int>& starts, int p)
{
    auto it = std::upper_bound(starts.begin(), starts.end(), p);
    return it == starts.begin() ? 0 : static_cast<size_t>(it - starts.begin() - 1);
}

int TReaderPage::widthOf(const std::string& text) const
{
    int w = 0;
    for (char c : text)
        w += width(static_cast<uint8_t>(c));
    return w;
}

int TReaderPage::centre(const std::string& text) const
{
    const int x = (room() - widthOf(text)) / 2;
    return x > 0 ? x / space() * space() : 0;
}

// A line from x, each byte at its advance, none that would start beyond the screen.
void TReaderPage::drawRow(TReaderScreen& s, const std::string& text, int x, int y) const
{
    x = 2 + (x > 0 ? x : 0);
    for (size_t k = 0; k < text.size() && x < width_; ++k) {
        const uint8_t b = static_cast<uint8_t>(text[k]);
        const int w = width(b);
        if (w > 0 && b != '\r' && b != '\n')
            s.glyphs.push_back({b, x, y});
        x += w;
    }
}

TReaderScreen TReaderPage::Screen(int position) const
{
    TReaderScreen s;
    const int cell = metrics_.line;
    const int len = Length();
    const int h = rows();
    if (position < 0)
        position = 0;
    std::vector<int> r = layout(position, h);
    if (r.size() == 1 && position > 0) {
        // A place beyond the end: from the top.
        position = 0;
        r = layout(0, h);
    }
    s.position = position;
    if (topic_.words && len == 0) {
        int y = top() + (rows() - static_cast<int>(topic_.note.size())) / 2 * cell;
        for (const std::string& line : topic_.note) {
            drawRow(s, line, centre(line), y);
            y += cell;
        }
        return s;
    }
    const int shown = fits(r, 0, static_cast<int>(r.size()) - 1);
    int y = top();
    const int glyph = cell * 3 / 4;
    for (int k = 0; k < shown; ++k) {
        const int from = r[static_cast<size_t>(k)];
        const int to = r[static_cast<size_t>(k) + 1];
        if (k > 0 && gapBefore(from))
            y += cell / 3;
        if (topic_.endMark && from == len) {
            s.rows.push_back({from, from, y, true});
            drawRow(s, kEndMark, centre(kEndMark), y);
            break;
        }
        s.rows.push_back({from, to, y, false});
        if (!topic_.words) {
            for (int i = from, col = 0; i < to && col < columns(); ++i, ++col) {
                const uint8_t b = at(i);
                if (glyph > 0 && b != '\r' && b != '\n')
                    s.glyphs.push_back({b, 2 + glyph * col, y});
            }
            y += cell;
            continue;
        }
        int x = indent(from);
        if (heading(from) || sceneBreak(from, to))
            x = (room() - used(from, to)) / 2 / space() * space();
        for (int i = from; i < to; ++i) {
            const uint8_t b = at(i);
            if (b == '\t') {
                x = (x / tab() + 1) * tab();
            } else if (b != kSoftHyphen && b != '\r' && b != '\n' && b != 1) {
                if (width(b) > 0)
                    s.glyphs.push_back({b, 2 + x, y});
                x += width(b);
            }
        }
        if (hyphen(to) && width('-') > 0)
            s.glyphs.push_back({'-', 2 + x, y});
        y += cell;
    }
    const int last = r[static_cast<size_t>(shown)];
    s.end = last > len ? len : last;
    if (topic_.words) {
        // The status row: the name cut to fit with "…", the topic's and the book's percentage.
        std::string right = std::to_string(percent(s.end, len)) + "% " +
                            std::to_string(percent(static_cast<int64_t>(topic_.before) + s.end,
                                                   static_cast<int64_t>(topic_.total))) + "%";
        int room = this->room() - widthOf(right) - space();
        if (room < 4 * space()) {
            right = std::to_string(percent(s.end, len)) + "%";
            room = this->room() - widthOf(right) - space();
        }
        std::string left = topic_.title;
        if (room > 0) {
            if (widthOf(left) > room) {
                size_t k = 0;
                int x = width(kEllipsis);
                while (k < left.size() && x + width(static_cast<uint8_t>(left[k])) <= room)
                    x += width(static_cast<uint8_t>(left[k++]));
                left = left.substr(0, k) + static_cast<char>(kEllipsis);
            }
            drawRow(s, left, 0, 0);
        }
        drawRow(s, right, (this->room() - widthOf(right)) / space() * space(), 0);
    }
    if (len > 0) {
        s.progressY = topic_.words ? cell : height_ - 1;
        s.progressWidth = static_cast<int>(static_cast<int64_t>(width_) * s.end / len);
    }
    return s;
}

} // namespace volm
