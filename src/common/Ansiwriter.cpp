#include "common/Ansiwriter.h"

#include "common/Codepage.h"
#include "common/Errors.h"

#include <array>
#include <memory>

namespace volm {
namespace {

constexpr char16_t kUndefinedBase = 0xF700; // private use: the bytes Windows-1251 leaves undefined

bool HighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Windows-1251's byte for every character of the basic plane, -1 for none;
// the private-use characters of the undefined bytes give those bytes.
const std::array<int16_t, 0x10000>& AnsiTable()
{
    static const auto table = [] {
        auto t = std::make_unique<std::array<int16_t, 0x10000>>();
        t->fill(-1);
        for (int b = 0; b < 256; ++b) {
            const char16_t c = toUnicode(CodePage::Cp1251, static_cast<uint8_t>(b));
            (*t)[c == kNoChar ? kUndefinedBase + b : c] = static_cast<int16_t>(b);
        }
        return t;
    }();
    return *table;
}

std::string Counted(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + (n == 1 ? one : many);
}

std::string Utf8Of(char32_t c)
{
    std::u16string units;
    if (c >= 0x10000) {
        units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        units.push_back(static_cast<char16_t>(c));
    }
    return utf16ToUtf8(units);
}

} // namespace

TAnsiCount& TAnsiCount::operator+=(const TAnsiCount& other)
{
    missing += other.missing;
    question += other.question;
    invalid += other.invalid;
    return *this;
}

std::string ReplacementNote(const TAnsiCount& c)
{
    if (!c.Any())
        return {};
    std::string s;
    if (c.missing > 0) {
        s = Counted(c.missing, " character", " characters") + " Windows-1251 lacks";
        if (c.question == c.missing) {
            if (c.invalid > 0)
                s += " and " + Counted(c.invalid, " invalid byte", " invalid bytes");
            return s + " stored as \"?\"";
        }
        s += " stored as the nearest text";
        if (c.question > 0)
            s += " (" + std::to_string(c.question) + " of them as \"?\")";
        if (c.invalid == 0)
            return s;
        s += "; ";
    }
    return s + Counted(c.invalid, " invalid byte", " invalid bytes") + " stored as \"?\"";
}

void TAnsiWriter::Lacking(char32_t c)
{
    if (fallback_ == TAnsiFallback::Refuse && named_.insert(c).second)
        lacking.push_back(Utf8Of(c));
}

void TAnsiWriter::Put(std::string& out, char32_t c)
{
    if (c == 0xFFFD) {
        ++count.invalid;
        Lacking(c);
        out.push_back(question_);
        return;
    }
    ++count.missing;
    Lacking(c);
    if (fallback_ == TAnsiFallback::Nearest)
        if (const auto near = NearestAnsi(c)) {
            out += *near;
            return;
        }
    ++count.question;
    out.push_back(question_);
}

std::string TAnsiWriter::operator()(std::u16string_view text)
{
    const auto& table = AnsiTable();
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (const int16_t b = table[u]; b >= 0)
            out.push_back(static_cast<char>(b));
        else if (HighSurrogate(u) && i + 1 < text.size() && LowSurrogate(text[i + 1]))
            Put(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[++i] - 0xDC00));
        else
            Put(out, HighSurrogate(u) || LowSurrogate(u) ? 0xFFFD : u); // a lone surrogate: no character
    }
    return out;
}

std::string TAnsiWriter::operator()(std::string_view utf8)
{
    const auto& table = AnsiTable();
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out.push_back(utf8[i++]);
            continue;
        }
        const long c = decodeUtf8(utf8, i);
        if (c < 0)
            Put(out, 0xFFFD);
        else if (c < 0x10000 && table[static_cast<size_t>(c)] >= 0)
            out.push_back(static_cast<char>(table[static_cast<size_t>(c)]));
        else
            Put(out, static_cast<char32_t>(c));
    }
    return out;
}

std::optional<std::string> ExactAnsi(std::u16string_view text, std::vector<std::string>* lacking)
{
    TAnsiWriter w(TAnsiFallback::Refuse);
    std::string out = w(text);
    if (lacking)
        *lacking = w.lacking;
    if (w.Refused())
        return std::nullopt;
    return out;
}

std::optional<std::string> ExactAnsi(std::string_view utf8, std::vector<std::string>* lacking)
{
    return ExactAnsi(utf8ToUtf16(utf8), lacking);
}

std::vector<std::string> LackingCharacters(std::u16string_view text)
{
    TAnsiWriter w(TAnsiFallback::Refuse);
    w(text);
    return std::move(w.lacking);
}

std::string LackingMessage(const std::vector<std::string>& characters)
{
    std::string s = characters.size() == 1 ? "the character " : "the characters ";
    for (size_t i = 0; i < characters.size(); ++i)
        s += (i ? ", \"" : "\"") + characters[i] + '"';
    return s + (characters.size() == 1 ? " has" : " have") + " no Windows-1251 code";
}

std::string utf8ToCp1251(std::string_view utf8)
{
    std::vector<std::string> lacking;
    if (std::optional<std::string> out = ExactAnsi(utf8, &lacking))
        return std::move(*out);
    throw Error(LackingMessage(lacking));
}

std::u16string AnsiToUnicode(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        const char16_t c = toUnicode(CodePage::Cp1251, b);
        out.push_back(c == kNoChar ? static_cast<char16_t>(kUndefinedBase + b) : c);
    }
    return out;
}

std::optional<std::string_view> NearestAnsi(char32_t c)
{
    using namespace std::string_view_literals;
    // Latin letters with accents, as their plain letters ("*": see the switches).
    static constexpr std::string_view latin1 = "AAAAAA*CEEEEIIIIDNOOOOOxOUUUUY**aaaaaa*ceeeeiiiidnooooo/ouuuuy*y";
    static constexpr std::string_view extA = "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNn"
                                             "nNnOoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
    if (c >= 0xC0 && c <= 0xFF) {
        switch (c) {
        case 0xC6: return "AE"sv;
        case 0xE6: return "ae"sv;
        case 0xDE: return "Th"sv;
        case 0xFE: return "th"sv;
        case 0xDF: return "ss"sv;
        default: return latin1.substr(c - 0xC0, 1);
        }
    }
    if (c >= 0x100 && c <= 0x17F) {
        switch (c) {
        case 0x132: return "IJ"sv;
        case 0x133: return "ij"sv;
        case 0x152: return "OE"sv;
        case 0x153: return "oe"sv;
        default: return extA.substr(c - 0x100, 1);
        }
    }
    // Combining marks (Russian stress marks among them) and invisible characters.
    if ((c >= 0x300 && c <= 0x36F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x2060 && c <= 0x2064) ||
        c == 0xFEFF || c == 0xAD || c == 0x34F)
        return ""sv;
    if ((c >= 0x2000 && c <= 0x200A) || c == 0xA0 || c == 0x202F || c == 0x205F || c == 0x3000)
        return " "sv;
    // Box drawing: lines as "-" and "|", corners, crossings and the rest as "+".
    if (c >= 0x2500 && c <= 0x257F) {
        switch (c) {
        case 0x2500: case 0x2501: case 0x2504: case 0x2505: case 0x2508: case 0x2509:
        case 0x254C: case 0x254D: case 0x2550: case 0x2574: case 0x2576: case 0x2578:
        case 0x257A: case 0x257C: case 0x257E:
            return "-"sv;
        case 0x2502: case 0x2503: case 0x2506: case 0x2507: case 0x250A: case 0x250B:
        case 0x254E: case 0x254F: case 0x2551: case 0x2575: case 0x2577: case 0x2579:
        case 0x257B: case 0x257D: case 0x257F:
            return "|"sv;
        default:
            return "+"sv;
        }
    }
    switch (c) {
    case 0x2010: case 0x2011: case 0x2043: case 0x2212: case 0x2027: return "-"sv;
    case 0x2012: return "\x96"sv;              // figure dash: en dash
    case 0x2015: case 0x2E3A: return "\x97"sv; // horizontal bar, two-em dash: em dash
    case 0x2E3B: return "\x97\x97"sv;
    case 0x201B: case 0x2032: case 0x2035: case 0xB4: case 0x2BC: case 0x2B9: return "'"sv;
    case 0x201F: case 0x2033: case 0x2036: case 0x2BA: case 0x301D: case 0x301E: return "\""sv;
    case 0x22EF: return "\x85"sv;
    case 0x2024: return "."sv;
    case 0x2025: return ".."sv;
    case 0x2044: case 0x2215: return "/"sv;
    case 0x2190: return "<-"sv;
    case 0x2192: return "->"sv;
    case 0x2194: return "<->"sv;
    case 0x2264: return "<="sv;
    case 0x2265: return ">="sv;
    case 0x2248: return "~"sv;
    case 0x2219: return "\xB7"sv; // bullet operator: middle dot
    case 0xD7: case 0x2715: return "x"sv;
    case 0xF7: return "/"sv;
    case 0xBC: return "1/4"sv;
    case 0xBD: return "1/2"sv;
    case 0xBE: return "3/4"sv;
    case 0xB9: return "1"sv;
    case 0xB2: return "2"sv;
    case 0xB3: return "3"sv;
    case 0xAA: return "a"sv;
    case 0xBA: return "o"sv;
    case 0xBF: return "?"sv;
    case 0xA1: return "!"sv;
    case 0x2047: return "??"sv;
    case 0x2048: return "?!"sv;
    case 0x2049: return "!?"sv;
    case 0x203C: return "!!"sv;
    default: return std::nullopt;
    }
}

} // namespace volm
