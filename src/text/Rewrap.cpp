#include "text/Rewrap.h"

#include <algorithm>
#include <string_view>

namespace volm {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t Length(const std::string& s)
{
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return n;
}

bool Empty(const std::string& s) { return Length(s) == 0; }

bool Indented(const std::string& s) { return !s.empty() && IsBlank(s[0]); }

size_t FirstWord(const std::string& s)
{
    size_t n = 0;
    while (n < s.size() && !IsBlank(s[n]))
        ++n;
    return n;
}

// Lower-case letters of Windows-1251 (Russian, Ukrainian, Belarusian) and ASCII.
bool Lower(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || c >= 0xE0 || c == 0xB8 || c == 0xA2 || c == 0xB3 || c == 0xB4 || c == 0xBA ||
           c == 0xBF;
}

bool Letter(unsigned char c)
{
    return Lower(c) || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF) || c == 0xA8 || c == 0xA1 || c == 0xB2 ||
           c == 0xA5 || c == 0xAA || c == 0xAF;
}

// A line that ends in a hyphen right after a letter: a word goes on.
bool Hyphenated(const std::string& s)
{
    size_t n = Length(s);
    return n >= 2 && s[n - 1] == '-' && Letter(static_cast<unsigned char>(s[n - 2]));
}

std::string TrimLeft(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

// A line that ends a sentence: ".", "!", "?", "…", maybe followed by closing
// quotes or brackets.
bool EndsSentence(const std::string& s)
{
    size_t n = Length(s);
    while (n > 0 && std::string_view("\"')\xBB\x94\x92]").find(s[n - 1]) != std::string_view::npos)
        --n;
    return n > 0 && std::string_view(".!?\x85").find(s[n - 1]) != std::string_view::npos;
}

} // namespace

TRewrapResult Rewrap(std::vector<TWrapLine>& lines)
{
    TRewrapResult r;
    const size_t n = lines.size();
    std::vector<size_t> lengths;
    for (const TWrapLine& l : lines)
        if (!l.fixed && !Empty(l.text))
            lengths.push_back(Length(l.text));
    // The lines another line of the same paragraph follows.
    auto continued = [&](size_t i) {
        return i + 1 < n && !lines[i].fixed && !Empty(lines[i].text) && !lines[i + 1].fixed &&
               !Empty(lines[i + 1].text) && !Indented(lines[i + 1].text);
    };
    size_t candidates = 0;
    for (size_t i = 0; i < n; ++i)
        candidates += continued(i);
    if (candidates < 5 || lengths.empty())
        return r;
    std::sort(lengths.begin(), lengths.end());
    const size_t width = lengths[(lengths.size() - 1) * 98 / 100];
    if (width < 30)
        return r;
    size_t near = 0;
    for (size_t i = 0; i < n; ++i)
        if (continued(i)) {
            size_t len = Length(lines[i].text);
            near += len <= width && len >= width - width / 4;
        }
    if (near * 10 < candidates * 6)
        return r;
    // Hard-wrapped prose ends most lines inside a sentence; a text of one
    // paragraph a line ends nearly every line with one, however even they are.
    size_t ends = 0;
    for (size_t i = 0; i < n; ++i)
        ends += continued(i) && EndsSentence(lines[i].text);
    if (ends * 2 > candidates)
        return r;
    r.wrapped = true;
    r.width = width;

    std::vector<TWrapLine> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        TWrapLine line = lines[i];
        if (!line.fixed)
            line.text = TrimLeft(line.text);
        bool join = i > 0 && continued(i - 1) && !out.empty() && !out.back().fixed &&
                    (Hyphenated(lines[i - 1].text) ||
                     Length(lines[i - 1].text) + 1 + FirstWord(lines[i].text) > width);
        if (!join) {
            out.push_back(std::move(line));
            continue;
        }
        std::string& para = out.back().text;
        para.resize(Length(para));
        std::string next(line.text, 0, Length(line.text));
        if (Hyphenated(para)) {
            // "сло-" + "во" is one word; "Санкт-" + "Петербург" keeps its hyphen.
            if (Lower(static_cast<unsigned char>(para[para.size() - 2])) && !next.empty() &&
                Lower(static_cast<unsigned char>(next[0])))
                para.pop_back();
            para += next;
        } else {
            para += ' ';
            para += next;
        }
        ++r.joined;
    }
    lines = std::move(out);
    return r;
}

} // namespace volm
