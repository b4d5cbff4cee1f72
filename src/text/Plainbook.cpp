#include "text/Plainbook.h"

#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "text/Booktext.h"
#include "text/Rewrap.h"

#include <re2/re2.h>

#include <memory>

namespace volm {
namespace {

constexpr size_t kLongestHeading = 200;
constexpr size_t kTitleLine = 80;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool Letter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

// Words in Windows-1251, made once from their UTF-8 spelling here.
std::vector<std::string> Words(std::initializer_list<const char*> utf8)
{
    std::vector<std::string> out;
    for (const char* w : utf8)
        out.push_back(utf8ToCp1251(w));
    return out;
}

// A Roman numeral in its usual form (I to MMMCMXCIX); Cyrillic look-alikes count.
bool Roman(std::string_view s)
{
    if (s.empty() || s.size() > 12)
        return false;
    std::string latin;
    for (char ch : s) {
        switch (static_cast<unsigned char>(ch)) {
        case 0xD5: latin += 'X'; break; // Х
        case 0xB2: latin += 'I'; break; // І
        case 0xD1: latin += 'C'; break; // С
        case 0xCC: latin += 'M'; break; // М
        default: latin += ch;
        }
    }
    auto value = [](char c) {
        switch (c) {
        case 'I': return 1; case 'V': return 5; case 'X': return 10; case 'L': return 50;
        case 'C': return 100; case 'D': return 500; case 'M': return 1000; default: return 0;
        }
    };
    int total = 0;
    for (size_t i = 0; i < latin.size(); ++i) {
        int v = value(latin[i]);
        if (v == 0)
            return false;
        int next = i + 1 < latin.size() ? value(latin[i + 1]) : 0;
        total += v < next ? -v : v;
    }
    if (total <= 0 || total >= 4000)
        return false;
    // Only the canonical spelling of that value.
    static const char* thousands[] = {"", "M", "MM", "MMM"};
    static const char* hundreds[] = {"", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"};
    static const char* tens[] = {"", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"};
    static const char* ones[] = {"", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"};
    std::string canon = std::string(thousands[total / 1000]) + hundreds[total / 100 % 10] + tens[total / 10 % 10] +
                        ones[total % 10];
    return canon == latin;
}

// What follows a heading's keyword: a number and maybe a title.
// Returns false when it is not a heading's number.
bool NumberAndTitle(std::string_view rest, bool& bare)
{
    if (rest.empty() || !IsBlank(rest[0]))
        return false;
    rest = Trim(rest);
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end]) && rest[end] != '.' && rest[end] != ':' && rest[end] != ',')
        ++end;
    std::string_view number = rest.substr(0, end), after = rest.substr(end);
    bool digits = !number.empty() && number.size() <= 4 &&
                  number.find_first_not_of("0123456789") == std::string_view::npos;
    bool word = !number.empty() && Letter(static_cast<unsigned char>(number[0]));
    for (char c : number)
        word &= Letter(static_cast<unsigned char>(c)) || c == '-';
    bool numeral = digits || Roman(number);
    if (!numeral && !word)
        return false;
    if (!after.empty() && (after[0] == '.' || after[0] == ':'))
        after.remove_prefix(1);
    after = Trim(after);
    if (after.empty()) {
        bare = true;
        return true;
    }
    bare = false;
    // A title after punctuation, or after a numeral and a blank when it
    // starts as a title does (a capital, a quote). Anything else is prose:
    // "Глава семьи сказал", "Part 2 of the story".
    bool punct = rest.substr(end).find_first_of(".:") == 0;
    auto first = static_cast<unsigned char>(after[0]);
    bool dashed = first == '-' || first == 0x96 || first == 0x97;
    bool capital = (first >= 'A' && first <= 'Z') || (first >= 0xC0 && first <= 0xDF) || first == 0xA8 ||
                   first == 0xAB || first == '"' || first == 0x84 || first == 0x93 || (first >= '0' && first <= '9');
    return punct || dashed || (numeral && capital);
}

// Windows-1251 upper case of a letter (ASCII, Russian, Ё).
char Upper(char ch)
{
    auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || c >= 0xE0)
        return static_cast<char>(c - 0x20);
    return c == 0xB8 ? '\xA8' : ch;
}

bool SameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

bool StartsWithWord(std::string_view line, const std::string& word, std::string_view& rest)
{
    if (line.size() < word.size() || !SameWord(line.substr(0, word.size()), word))
        return false;
    rest = line.substr(word.size());
    return rest.empty() || !Letter(static_cast<unsigned char>(rest[0]));
}

// RE2 over bytes (Latin-1 mode: every byte one character), so that a
// pattern of Windows-1251 letters matches Windows-1251 text. The automaton
// runs in time linear in the line, whatever the pattern.
RE2::Options PatternOptions()
{
    RE2::Options o;
    o.set_encoding(RE2::Options::EncodingLatin1);
    o.set_log_errors(false);
    o.set_max_mem(kMaxPatternMemory);
    return o;
}

// Keeps only the lines between Project Gutenberg's "*** START OF" and
// "*** END OF" lines, when the text has the first; says whether it had.
bool CutGutenberg(std::vector<TWrapLine>& lines)
{
    auto marker = [](const std::string& line, std::string_view word) {
        std::string_view t = Trim(line);
        if (t.substr(0, 3) != "***")
            return false;
        t.remove_prefix(3);
        t = Trim(t);
        return t.size() >= word.size() && SameWord(t.substr(0, word.size()), word);
    };
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size() && start == lines.size(); ++i)
        if (marker(lines[i].text, "START OF"))
            start = i;
    if (start == lines.size())
        return false;
    size_t end = lines.size();
    for (size_t i = start + 1; i < lines.size(); ++i)
        if (marker(lines[i].text, "END OF")) {
            end = i;
            break;
        }
    lines.erase(lines.begin() + static_cast<long>(end), lines.end());
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(start + 1));
    return true;
}

} // namespace

TPlainHeading DefaultHeading(std::string_view line, bool& bare)
{
    static const std::vector<std::string> chapters = Words({"Глава", "Chapter"});
    static const std::vector<std::string> parts = Words({"Часть", "Part"});
    // Books and volumes, one level above chapters too, but only with a
    // numeral or an ordinal: "Том" and "Book" begin prose as often.
    static const std::vector<std::string> volumes = Words({"Книга", "Том", "Book", "Volume"});
    static const std::vector<std::string> ordinals =
        Words({"первая", "вторая", "третья", "четвертая", "четвёртая", "пятая", "шестая", "седьмая", "восьмая",
               "девятая", "десятая", "первый", "второй", "третий", "четвертый", "четвёртый", "пятый", "шестой",
               "седьмой", "восьмой", "девятый", "десятый", "последняя", "последний", "one", "two", "three", "four",
               "five", "six", "seven", "eight", "nine", "ten", "eleven", "twelve", "thirteen", "fourteen",
               "fifteen", "first", "second", "third", "fourth", "fifth", "sixth", "seventh", "eighth", "ninth",
               "tenth", "last"});
    static const std::vector<std::string> alone =
        Words({"Пролог", "Эпилог", "Предисловие", "Послесловие", "Заключение", "Вступление", "Введение",
               "От автора", "Вместо предисловия", "Вместо послесловия", "Prologue", "Epilogue", "Preface",
               "Foreword", "Introduction", "Afterword", "Conclusion", "Postscript"});
    bare = false;
    line = Trim(line);
    if (line.empty() || line.size() > kLongestHeading)
        return TPlainHeading::None;
    if (line[0] == '*') {
        size_t stars = 0;
        for (char c : line) {
            if (c == '*')
                ++stars;
            else if (!IsBlank(c))
                return TPlainHeading::None;
        }
        bare = true;
        return stars >= 3 ? TPlainHeading::Separator : TPlainHeading::None;
    }
    std::string_view rest;
    for (const std::string& w : chapters)
        if (StartsWithWord(line, w, rest))
            return NumberAndTitle(rest, bare) ? TPlainHeading::Chapter : TPlainHeading::None;
    for (const std::string& w : parts)
        if (StartsWithWord(line, w, rest))
            return NumberAndTitle(rest, bare) ? TPlainHeading::Part : TPlainHeading::None;
    for (const std::string& w : volumes)
        if (StartsWithWord(line, w, rest)) {
            std::string_view number = Trim(rest);
            size_t end = number.find_first_of(" \t.:,");
            std::string_view first = number.substr(0, end);
            bool counted = Roman(first) || (!first.empty() && first.size() <= 4 &&
                                            first.find_first_not_of("0123456789") == std::string_view::npos);
            for (const std::string& o : ordinals)
                counted |= SameWord(first, o);
            return counted && NumberAndTitle(rest, bare) ? TPlainHeading::Part : TPlainHeading::None;
        }
    std::string_view word = line;
    if (word.back() == '.')
        word.remove_suffix(1);
    for (const std::string& w : alone)
        if (SameWord(word, w)) {
            bare = true;
            return TPlainHeading::Chapter;
        }
    if (Roman(word)) {
        bare = true;
        return TPlainHeading::Chapter;
    }
    return TPlainHeading::None;
}

std::string ChapterPatternFault(const std::string& pattern)
{
    if (pattern.size() > kMaxPatternSize)
        return "longer than " + std::to_string(kMaxPatternSize) + " bytes";
    RE2 re(pattern, PatternOptions());
    if (re.ok())
        return {};
    switch (re.error_code()) {
    case RE2::ErrorPatternTooLarge:
        return "too large (nested or repeated too deeply for " + std::to_string(kMaxPatternMemory >> 20) +
               " MB)";
    default:
        return re.error();
    }
}

TBook ImportPlainText(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = BookFormatName(TBookFormat::Text);
    std::unique_ptr<RE2> pattern;
    if (!options.chapters.empty()) {
        if (std::string fault = ChapterPatternFault(options.chapters); !fault.empty()) {
            const std::string& p = options.chapters;
            throw EBookError("the chapter pattern \"" + cp1251ToUtf8(p.size() > 60 ? p.substr(0, 60) + "..." : p) +
                             "\" is refused: " + fault);
        }
        pattern = std::make_unique<RE2>(options.chapters, PatternOptions());
    }
    TBookTextWriter w;
    std::vector<TWrapLine> lines;
    {
        TSourceText src = DecodeBookSource(book, bytes, false, fileName, options);
        std::string text = w(src.Text());
        src.utf8.clear();
        src.utf8.shrink_to_fit();
        // Runs of empty lines are one empty line from the start (they count
        // as one everywhere below), so that a text of line ends costs no
        // more than its bytes. Counted first, so that the lines take no more
        // room than they need.
        auto eachLine = [&](auto take) {
            size_t start = 0;
            bool lastEmpty = false, any = false;
            for (size_t i = 0; i <= text.size(); ++i) {
                if (i < text.size() && text[i] != '\r' && text[i] != '\n')
                    continue;
                std::string_view l(text.data() + start, i - start);
                while (!l.empty() && IsBlank(l.back()))
                    l.remove_suffix(1);
                if ((i < text.size() || !l.empty()) && !(l.empty() && any && lastEmpty)) {
                    take(l);
                    any = true;
                    lastEmpty = l.empty();
                }
                if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                start = i + 1;
            }
        };
        size_t count = 0;
        eachLine([&](std::string_view) { ++count; });
        lines.reserve(count);
        eachLine([&](std::string_view l) { lines.push_back({std::string(l), false}); });
    }
    book.SetReplaced(w.Count());
    if (CutGutenberg(lines))
        book.notes.push_back(fileName + ": the Project Gutenberg licence before \"*** START OF\" and after "
                                        "\"*** END OF\" is left out");

    // Headings first: they are never joined to their neighbours.
    std::vector<TPlainHeading> kinds(lines.size(), TPlainHeading::None);
    auto empty = [&](size_t i) { return lines[i].text.find_first_not_of(" \t") == std::string::npos; };
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view t = Trim(lines[i].text);
        if (t.empty() || t.size() > kLongestHeading)
            continue;
        if (pattern) {
            if (RE2::FullMatch(re2::StringPiece(t.data(), t.size()), *pattern))
                kinds[i] = TPlainHeading::Chapter;
        } else {
            bool bare = false;
            TPlainHeading k = DefaultHeading(t, bare);
            bool apart = i == 0 || empty(i - 1) || kinds[i - 1] != TPlainHeading::None || i + 1 == lines.size() ||
                         empty(i + 1);
            if (k != TPlainHeading::None && (bare || apart))
                kinds[i] = k;
        }
    }
    // A contents list: three or more headings with nothing but empty lines
    // between them. Its entries stay as text; the last heading of the run
    // (the first chapter, after the list) is kept.
    for (size_t i = 0; i < lines.size();) {
        if (kinds[i] == TPlainHeading::None || kinds[i] == TPlainHeading::Separator) {
            ++i;
            continue;
        }
        std::vector<size_t> run{i};
        size_t j = i + 1;
        for (; j < lines.size(); ++j) {
            if (empty(j))
                continue;
            if (kinds[j] == TPlainHeading::None || kinds[j] == TPlainHeading::Separator)
                break;
            run.push_back(j);
        }
        if (run.size() >= 3)
            for (size_t k = 0; k + 1 < run.size(); ++k)
                kinds[run[k]] = TPlainHeading::None;
        i = j;
    }
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i].fixed = kinds[i] != TPlainHeading::None;
    if (!options.keepLines) {
        // Rewrap changes nothing unless it finds the text wrapped.
        std::vector<TPlainHeading> headingKinds;
        for (TPlainHeading k : kinds)
            if (k != TPlainHeading::None)
                headingKinds.push_back(k);
        TRewrapResult r = Rewrap(lines);
        if (r.wrapped) {
            // Headings stay as they were, in their order: their kinds go with them.
            size_t next = 0;
            kinds.assign(lines.size(), TPlainHeading::None);
            for (size_t i = 0; i < lines.size(); ++i)
                if (lines[i].fixed)
                    kinds[i] = headingKinds[next++];
            book.notes.push_back(fileName + ": hard-wrapped at " + std::to_string(r.width) + " columns; " +
                                 std::to_string(r.joined) + " line breaks removed (--keep-lines keeps them)");
        }
    }

    // The title: one to three short lines before the first heading.
    size_t first = 0;
    while (first < lines.size() && kinds[first] == TPlainHeading::None)
        ++first;
    size_t titleLines = 0;
    bool allShort = true;
    for (size_t i = 0; i < first; ++i)
        if (!empty(i)) {
            ++titleLines;
            allShort &= lines[i].text.size() <= kTitleLine;
        }
    bool titleBlock = first < lines.size() && titleLines >= 1 && titleLines <= 3 && allShort;
    std::string bookTitle;
    for (size_t i = 0; i < first; ++i)
        if (!empty(i)) {
            if (lines[i].text.size() <= kTitleLine && (titleBlock || i + 1 >= lines.size() || empty(i + 1)))
                bookTitle = CollapseBlanks(lines[i].text);
            break;
        }

    TBookBuilder b;
    b.Limit(fileName, bytes.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& text = lines[i].text;
        switch (kinds[i]) {
        case TPlainHeading::Separator:
            // A scene break stays in the text as its own line.
            b.Line(std::string(Trim(text)));
            break;
        case TPlainHeading::Part:
        case TPlainHeading::Chapter: {
            std::string name = CollapseBlanks(text);
            b.Chapter(name, kinds[i] == TPlainHeading::Part ? 1 : 2);
            b.Title(std::string(Trim(text)));
            break;
        }
        case TPlainHeading::None:
            if (i < first && titleBlock)
                b.Title(text);
            else
                b.Line(text);
            break;
        }
    }
    book.title = bookTitle;
    book.chapters = b.Finish(bookTitle, BookFileStem(fileName));
    return book;
}

} // namespace volm
