#include "common/Codepage.h"

#include <array>
#include <algorithm>
#include <cstring>

namespace volm {
namespace {

#include "common/Codepagetables.inc"

const char16_t* tableOf(CodePage cp)
{
    switch (cp) {
    case CodePage::Cp1251: return kCp1251;
    case CodePage::Cp866: return kCp866;
    case CodePage::Koi8R: return kKoi8R;
    case CodePage::Iso8859_5: return kIso8859_5;
    case CodePage::MacCyrillic: return kMacCyrillic;
    case CodePage::Cp1252: return kCp1252;
    case CodePage::Cp1250: return kCp1250;
    case CodePage::Cp1253: return kCp1253;
    case CodePage::Cp1254: return kCp1254;
    case CodePage::Cp1255: return kCp1255;
    case CodePage::Cp1256: return kCp1256;
    case CodePage::Cp1257: return kCp1257;
    case CodePage::Cp1258: return kCp1258;
    case CodePage::Cp874: return kCp874;
    case CodePage::MacRoman: return kMacRoman;
    }
    return kCp1251;
}

constexpr size_t kPages = static_cast<size_t>(CodePage::MacRoman) + 1;

// Reverse lookup: characters sorted with their bytes, built once per code page.
struct Reverse {
    std::array<std::pair<char16_t, uint8_t>, 256> entries{};
    size_t count = 0;
};

const Reverse& reverseOf(CodePage cp)
{
    static std::array<Reverse, kPages> all = [] {
        std::array<Reverse, kPages> r{};
        for (size_t p = 0; p < kPages; ++p) {
            const char16_t* t = tableOf(static_cast<CodePage>(p));
            Reverse& rev = r[p];
            for (int b = 0; b < 256; ++b)
                if (t[b] != kNoChar)
                    rev.entries[rev.count++] = {t[b], static_cast<uint8_t>(b)};
            std::sort(rev.entries.begin(), rev.entries.begin() + rev.count);
        }
        return r;
    }();
    return all[static_cast<size_t>(cp)];
}

} // namespace

char16_t toUnicode(CodePage cp, uint8_t b) { return tableOf(cp)[b]; }

std::optional<uint8_t> fromUnicode(CodePage cp, char16_t c)
{
    if (c == kNoChar)
        return std::nullopt;
    const Reverse& rev = reverseOf(cp);
    auto end = rev.entries.begin() + rev.count;
    auto it = std::lower_bound(rev.entries.begin(), end, std::make_pair(c, uint8_t{0}));
    if (it != end && it->first == c)
        return it->second;
    return std::nullopt;
}

std::u16string decode(CodePage cp, std::string_view bytes)
{
    const char16_t* t = tableOf(cp);
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes)
        out.push_back(t[b] == kNoChar ? u'\uFFFD' : t[b]);
    return out;
}

std::string encode(CodePage cp, std::u16string_view text, char replacement, size_t* missing)
{
    std::string out;
    out.reserve(text.size());
    size_t miss = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i; // a character outside the basic plane: no single-byte page has it
        else if (auto b = fromUnicode(cp, c)) {
            out.push_back(static_cast<char>(*b));
            continue;
        }
        out.push_back(replacement);
        ++miss;
    }
    if (missing)
        *missing = miss;
    return out;
}

std::optional<std::string> encodeExact(CodePage cp, std::u16string_view text)
{
    size_t missing = 0;
    std::string s = encode(cp, text, '?', &missing);
    if (missing)
        return std::nullopt;
    return s;
}

std::string recode(CodePage from, CodePage to, std::string_view bytes)
{
    std::array<uint8_t, 256> map{};
    const char16_t* t = tableOf(from);
    for (int b = 0; b < 256; ++b) {
        map[b] = static_cast<uint8_t>(b);
        if (t[b] != kNoChar)
            if (auto o = fromUnicode(to, t[b]))
                map[b] = *o;
    }
    std::string out(bytes);
    for (char& c : out)
        c = static_cast<char>(map[static_cast<unsigned char>(c)]);
    return out;
}

std::string ansiToOem(std::string_view s) { return recode(CodePage::Cp1251, CodePage::Cp866, s); }
std::string oemToAnsi(std::string_view s) { return recode(CodePage::Cp866, CodePage::Cp1251, s); }

long decodeUtf8(std::string_view s, size_t& i)
{
    unsigned char c = s[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len;
    long cp;
    long min;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    else { ++i; return -1; }
    if (i + len > s.size()) { ++i; return -1; }
    for (int k = 1; k < len; ++k) {
        unsigned char cc = s[i + k];
        if ((cc & 0xC0) != 0x80) { ++i; return -1; }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return -1; }
    i += len;
    return cp;
}

bool isValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();)
        if (decodeUtf8(s, i) < 0)
            return false;
    return true;
}

Utf8Census utf8Census(std::string_view s)
{
    Utf8Census c;
    for (size_t i = 0; i < s.size();) {
        size_t at = i;
        if (decodeUtf8(s, i) < 0)
            ++c.invalid;
        else if (i - at > 1)
            ++c.multiByte;
    }
    return c;
}

std::u16string utf8ToUtf16(std::string_view s, size_t* invalid)
{
    std::u16string out;
    out.reserve(s.size());
    size_t bad = 0;
    for (size_t i = 0; i < s.size();) {
        long cp = decodeUtf8(s, i);
        if (cp < 0) {
            out.push_back(u'\uFFFD');
            ++bad;
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
    }
    if (invalid)
        *invalid = bad;
    return out;
}

std::string utf16ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size() * 2);
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned long cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD; // a lone surrogate
        }
        if (cp < 0x80)
            out.push_back(static_cast<char>(cp));
        else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

std::string cp1251ToUtf8(std::string_view s) { return utf16ToUtf8(decode(CodePage::Cp1251, s)); }

std::string EscapeControls(std::string_view bytes, const TEscapeRules& rules)
{
    const char* hex = rules.upperHex ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (rules.quotes && (ch == '\\' || ch == '"')) {
            out += '\\';
            out += ch;
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b == 0x7F || (b >= 0x80 && rules.highBytes)) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace volm
