#include "text/Booktext.h"

#include "common/Codepage.h"
#include "text/Detect.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace volm {
namespace {

enum class TEncodingKind { Unknown, Ascii, Utf8, Utf16, Page };

struct TEncoding {
    TEncodingKind kind = TEncodingKind::Unknown;
    CodePage page = CodePage::Cp1251;
    const char* name = "";
};

// An encoding's name as documents write it ("windows-1251", "KOI8-R",
// "utf-8", "x-mac-cyrillic"), looked up without case, dashes or underscores.
TEncoding EncodingOf(std::string_view declared)
{
    std::string key;
    for (char c : declared)
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            key.push_back(asciiLower(c));
    struct TName {
        const char* key;
        TEncoding enc;
    };
    using K = TEncodingKind;
    static const TName names[] = {
        {"utf8", {K::Utf8, CodePage::Cp1251, "UTF-8"}},
        {"utf16", {K::Utf16, CodePage::Cp1251, "UTF-16"}},
        {"utf16le", {K::Utf16, CodePage::Cp1251, "UTF-16LE"}},
        {"utf16be", {K::Utf16, CodePage::Cp1251, "UTF-16BE"}},
        {"ucs2", {K::Utf16, CodePage::Cp1251, "UTF-16"}},
        {"usascii", {K::Ascii, CodePage::Cp1251, "ASCII"}},
        {"ascii", {K::Ascii, CodePage::Cp1251, "ASCII"}},
        {"windows1251", {K::Page, CodePage::Cp1251, "Windows-1251"}},
        {"cp1251", {K::Page, CodePage::Cp1251, "Windows-1251"}},
        {"xcp1251", {K::Page, CodePage::Cp1251, "Windows-1251"}},
        {"koi8r", {K::Page, CodePage::Koi8R, "KOI8-R"}},
        {"cskoi8r", {K::Page, CodePage::Koi8R, "KOI8-R"}},
        {"koi8", {K::Page, CodePage::Koi8R, "KOI8-R"}},
        {"cp866", {K::Page, CodePage::Cp866, "CP866"}},
        {"ibm866", {K::Page, CodePage::Cp866, "CP866"}},
        {"866", {K::Page, CodePage::Cp866, "CP866"}},
        {"csibm866", {K::Page, CodePage::Cp866, "CP866"}},
        {"iso88595", {K::Page, CodePage::Iso8859_5, "ISO-8859-5"}},
        {"iso885951988", {K::Page, CodePage::Iso8859_5, "ISO-8859-5"}},
        {"cyrillic", {K::Page, CodePage::Iso8859_5, "ISO-8859-5"}},
        {"isoir144", {K::Page, CodePage::Iso8859_5, "ISO-8859-5"}},
        {"csisolatincyrillic", {K::Page, CodePage::Iso8859_5, "ISO-8859-5"}},
        {"maccyrillic", {K::Page, CodePage::MacCyrillic, "Mac Cyrillic"}},
        {"xmaccyrillic", {K::Page, CodePage::MacCyrillic, "Mac Cyrillic"}},
        // Documents that say Latin-1 are read as Windows-1252, its superset,
        // as browsers read them.
        {"windows1252", {K::Page, CodePage::Cp1252, "Windows-1252"}},
        {"cp1252", {K::Page, CodePage::Cp1252, "Windows-1252"}},
        {"iso88591", {K::Page, CodePage::Cp1252, "Windows-1252"}},
        {"latin1", {K::Page, CodePage::Cp1252, "Windows-1252"}},
        {"l1", {K::Page, CodePage::Cp1252, "Windows-1252"}},
        {"windows1250", {K::Page, CodePage::Cp1250, "Windows-1250"}},
        {"cp1250", {K::Page, CodePage::Cp1250, "Windows-1250"}},
        {"windows1253", {K::Page, CodePage::Cp1253, "Windows-1253"}},
        {"windows1254", {K::Page, CodePage::Cp1254, "Windows-1254"}},
        {"windows1255", {K::Page, CodePage::Cp1255, "Windows-1255"}},
        {"windows1256", {K::Page, CodePage::Cp1256, "Windows-1256"}},
        {"windows1257", {K::Page, CodePage::Cp1257, "Windows-1257"}},
        {"windows1258", {K::Page, CodePage::Cp1258, "Windows-1258"}},
        {"windows874", {K::Page, CodePage::Cp874, "Windows-874"}},
        {"macintosh", {K::Page, CodePage::MacRoman, "Mac Roman"}},
        {"macroman", {K::Page, CodePage::MacRoman, "Mac Roman"}},
        {"xmacroman", {K::Page, CodePage::MacRoman, "Mac Roman"}},
    };
    for (const TName& n : names)
        if (key == n.key)
            return n.enc;
    return {};
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The value of `attr` ("encoding", "charset") after `from` in `text`:
// quoted or up to a blank, quote, ";" or ">".
std::string ValueAfter(std::string_view text, size_t from)
{
    size_t i = from;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i >= text.size() || text[i] != '=')
        return {};
    ++i;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    char quote = 0;
    if (i < text.size() && (text[i] == '"' || text[i] == '\''))
        quote = text[i++];
    size_t start = i;
    while (i < text.size() && text[i] != quote && !(quote == 0 && (IsBlank(text[i]) || text[i] == ';' ||
                                                                    text[i] == '>' || text[i] == '"' ||
                                                                    text[i] == '\'' || text[i] == '/')))
        ++i;
    return std::string(text.substr(start, i - start));
}

// UTF-16 units, either order, as UTF-8; lone surrogates and a half unit at
// the end count as invalid.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian, size_t& invalid)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
    }
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            ++i;
        else if (u >= 0xD800 && u <= 0xDFFF)
            ++invalid;
    }
    std::string out = utf16ToUtf8(units);
    if (bytes.size() % 2 != 0) {
        out += "\xEF\xBF\xBD";
        ++invalid;
    }
    return out;
}

// UTF-8 bytes into `t`: borrowed when `valid` (checked by the caller with
// isValidUtf8), else converted with U+FFFD for what is no character.
void Utf8Checked(TSourceText& t, std::string_view bytes, bool valid)
{
    if (valid)
        t.borrowed = bytes.data() ? bytes : std::string_view("", 0);
    else
        t.utf8 = utf16ToUtf8(utf8ToUtf16(bytes, &t.invalid));
}

std::string PageToUtf8(CodePage page, std::string_view bytes, size_t& invalid)
{
    std::u16string u = decode(page, bytes);
    for (char16_t c : u)
        invalid += c == 0xFFFD;
    return utf16ToUtf8(u);
}

bool AllAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Valid UTF-8 whose letters beyond ASCII are mostly Cyrillic: what a
// Russian text in UTF-8 is, and what a text in a single-byte code page
// never is (its letters side by side are no UTF-8).
bool CyrillicUtf8(std::string_view bytes)
{
    if (!isValidUtf8(bytes))
        return false;
    size_t cyrillic = 0, other = 0;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        long c = decodeUtf8(bytes, i);
        if (c >= 0x400 && c <= 0x4FF)
            ++cyrillic;
        else
            ++other;
    }
    return cyrillic >= 2 && cyrillic > other;
}

// What detection makes of a document that names no encoding.
TSourceText Detected(std::string_view bytes, bool detect)
{
    TSourceText t;
    if (!detect) {
        t.encoding = "Windows-1251";
        t.utf8 = PageToUtf8(CodePage::Cp1251, bytes, t.invalid);
        return t;
    }
    bool bigEndian = false;
    if (LooksLikeUtf16(bytes, bigEndian)) {
        t.encoding = bigEndian ? "UTF-16BE" : "UTF-16LE";
        t.utf8 = Utf16ToUtf8(bytes, bigEndian, t.invalid);
    } else if (AllAscii(bytes)) {
        t.encoding = "ASCII";
        Utf8Checked(t, bytes, true);
    } else if (bool valid = isValidUtf8(bytes); valid || LooksLikeUtf8(bytes)) {
        t.encoding = "UTF-8";
        Utf8Checked(t, bytes, valid);
    } else {
        int c = ChooseCodePage(bytes);
        t.encoding = CandidateName(c);
        t.utf8 = PageToUtf8(CandidateCodePage(c), bytes, t.invalid);
    }
    return t;
}

} // namespace

std::string DeclaredEncoding(std::string_view bytes, bool html)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return "UTF-8";
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return "UTF-16LE";
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return "UTF-16BE";
    // UTF-16 without a mark still shows "<?" as "<\0?\0" or "\0<\0?".
    if (bytes.substr(0, 4) == std::string_view("<\0?\0", 4))
        return "UTF-16LE";
    if (bytes.substr(0, 4) == std::string_view("\0<\0?", 4))
        return "UTF-16BE";
    std::string head = asciiLower(bytes.substr(0, 8192));
    if (head.compare(0, 5, "<?xml") == 0) {
        size_t end = head.find("?>");
        size_t at = head.find("encoding");
        if (at != std::string::npos && (end == std::string::npos || at < end)) {
            std::string v = ValueAfter(head, at + 8);
            if (!v.empty())
                return v;
        }
    }
    if (!html)
        return {};
    // <meta charset="..."> or <meta http-equiv="Content-Type" content="...; charset=...">
    for (size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        size_t end = head.find('>', at);
        std::string_view tag = std::string_view(head).substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t cs = tag.find("charset");
        if (cs != std::string_view::npos) {
            std::string v = ValueAfter(tag, cs + 7);
            if (!v.empty())
                return v;
        }
    }
    return {};
}

TSourceText DecodeSource(std::string_view bytes, bool html, bool detect)
{
    std::string declared = DeclaredEncoding(bytes, html);
    TSourceText t;
    if (declared.empty())
        return Detected(bytes, detect);
    TEncoding enc = EncodingOf(declared);
    t.declared = true;
    switch (enc.kind) {
    case TEncodingKind::Utf8: {
        std::string_view body = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? bytes.substr(3) : bytes;
        // A document that says UTF-8 and is something else (an old page
        // saved in its own code page) is read as detection finds it.
        const bool valid = isValidUtf8(body);
        if (!valid && !LooksLikeUtf8(body) && detect) {
            t = Detected(body, detect);
            t.note = "it says UTF-8 but is not; read as " + t.encoding;
            return t;
        }
        t.encoding = "UTF-8";
        Utf8Checked(t, body, valid);
        return t;
    }
    case TEncodingKind::Utf16: {
        bool big = declared == "UTF-16BE" || asciiLower(declared) == "utf-16be";
        std::string_view body = bytes;
        if (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF") {
            big = body[0] == '\xFE';
            body.remove_prefix(2);
        } else if (body.size() >= 2 && body[0] == '\0' && body[1] != '\0') {
            big = true;
        }
        t.encoding = big ? "UTF-16BE" : "UTF-16LE";
        t.utf8 = Utf16ToUtf8(body, big, t.invalid);
        return t;
    }
    case TEncodingKind::Page:
        // A UTF-8 document that names a single-byte code page (saved again
        // without its declaration changed) would read as mojibake.
        if (!AllAscii(bytes) && CyrillicUtf8(bytes)) {
            t.encoding = "UTF-8";
            Utf8Checked(t, bytes, true);
            t.note = "it says " + declared + " but is UTF-8; read as UTF-8";
            return t;
        }
        t.encoding = enc.name;
        t.utf8 = PageToUtf8(enc.page, bytes, t.invalid);
        return t;
    case TEncodingKind::Ascii:
        if (AllAscii(bytes)) {
            t.encoding = "ASCII";
            Utf8Checked(t, bytes, true);
            return t;
        }
        t = Detected(bytes, detect);
        t.note = "it says ASCII but is not; read as " + t.encoding;
        return t;
    case TEncodingKind::Unknown:
        break;
    }
    t = Detected(bytes, detect);
    t.note = "its encoding \"" + declared + "\" is not one this program reads; read as " + t.encoding;
    return t;
}

TSourceText DecodeBookSource(TBook& book, std::string_view bytes, bool html, const std::string& fileName,
                             const TBookOptions& options)
{
    TSourceText src = DecodeSource(bytes, html, options.detect);
    book.encoding = src.encoding;
    if (!src.note.empty())
        book.notes.push_back(fileName + ": " + src.note);
    return src;
}

namespace {

bool InAnsi(long c)
{
    return c >= 0 && c < 0x80 ? true : c >= 0 && c <= 0xFFFF && fromUnicode(CodePage::Cp1251, static_cast<char16_t>(c));
}

// Compatibility forms (fullwidth and circled letters, ligatures, superscript
// digits) that Windows-1251 lacks, as their plain letters (NFKC, one
// character at a time, so that what Windows-1251 holds stays as it is: "№"
// and "…" are its own). A character whose plain form is still lacking is
// left for the writer to count. Nothing is copied when nothing lacks.
std::string PlainForms(std::string_view utf8)
{
    size_t i = 0;
    for (; i < utf8.size(); ) {
        size_t at = i;
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            ++i;
            continue;
        }
        if (!InAnsi(decodeUtf8(utf8, i))) {
            i = at;
            break;
        }
    }
    if (i >= utf8.size())
        return {};
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status) || !nfkc)
        return {};
    std::string out(utf8.substr(0, i));
    while (i < utf8.size()) {
        size_t at = i;
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out.push_back(utf8[i++]);
            continue;
        }
        long c = decodeUtf8(utf8, i);
        if (c < 0 || InAnsi(c)) {
            out.append(utf8.substr(at, i - at));
            continue;
        }
        icu::UnicodeString plain = nfkc->normalize(icu::UnicodeString(static_cast<UChar32>(c)), status);
        bool whole = U_SUCCESS(status) && plain.length() > 0;
        for (int32_t k = 0; whole && k < plain.length(); ++k)
            whole = InAnsi(plain.charAt(k));
        status = U_ZERO_ERROR;
        if (!whole) {
            out.append(utf8.substr(at, i - at));
            continue;
        }
        std::string bytes;
        plain.toUTF8String(bytes);
        out += bytes;
    }
    return out;
}

} // namespace

std::string TBookTextWriter::operator()(std::string_view utf8)
{
    std::string plain = PlainForms(utf8);
    std::string out = writer_(plain.empty() ? utf8 : std::string_view(plain));
    // The phone breaks rows at spaces and shows every byte it is given.
    size_t kept = 0;
    for (char ch : out) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0xAD || (b < 0x20 && b != '\t' && b != '\n' && b != '\r'))
            continue;
        out[kept++] = b == 0xA0 ? ' ' : ch;
    }
    out.resize(kept);
    return out;
}

std::string CollapseBlanks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (char c : text) {
        if (IsBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}

std::string CutText(std::string_view text, size_t bytes)
{
    std::string out(text.substr(0, bytes));
    while (!out.empty() && IsBlank(out.back()))
        out.pop_back();
    return out;
}

} // namespace volm
