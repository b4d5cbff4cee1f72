#include "book/Manifest.h"

#include "common/Codepage.h"
#include "common/Errors.h"

#include <algorithm>
#include <memory>

#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <cstdio>

namespace volm {
namespace {

std::string trimBlanks(std::string_view s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

// The book name as Latin letters: ICU's transliteration of the name (UTF-8,
// or Windows-1251 when it is not valid UTF-8). Nothing when ICU can't.
std::string latinLetters(std::string_view name)
{
    const std::string utf8 = isValidUtf8(name) ? std::string(name) : cp1251ToUtf8(name);
    UErrorCode status = U_ZERO_ERROR;
    static const std::unique_ptr<icu::Transliterator> latin(icu::Transliterator::createInstance(
        "Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    if (!latin)
        return {};
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    latin->transliterate(text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace

std::string ProjectFolder(std::string_view projectPath)
{
    size_t slash = projectPath.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(projectPath.substr(0, slash + 1));
}

std::string BookName(std::string_view projectPath)
{
    std::string_view name = projectPath.substr(ProjectFolder(projectPath).size());
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    if (name.empty())
        throw Error("The project file name " + std::string(projectPath) +
                    " leaves no name for the book (it needs a name before its extension)");
    return std::string(name);
}

std::string BookFolder(std::string_view projectPath, std::string_view outFolder)
{
    if (outFolder.empty())
        return ProjectFolder(projectPath) + BookName(projectPath) + "/";
    std::string folder(outFolder);
    if (folder.back() != '/')
        folder += '/';
    return folder + BookName(projectPath) + "/";
}

std::optional<char> ControlCharacter(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return c;
    return std::nullopt;
}

void CheckOneLine(std::string_view text, const std::string& field)
{
    const std::optional<char> c = ControlCharacter(text);
    if (!c)
        return;
    if (*c == '\r' || *c == '\n')
        throw Error(field + " holds a line end: every value of the jad and the manifest is one line");
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(*c));
    throw Error(field + " holds a control character (" + code +
                "): the jad and the manifest take none in their values");
}

void CheckInfoUrl(std::string_view url, const std::string& field)
{
    CheckOneLine(url, field);
    const std::string u = trimBlanks(url);
    if (u.empty())
        return; // none: the attribute stays empty
    const std::string lower = asciiLower(u);
    size_t host = 0;
    if (lower.compare(0, 7, "http://") == 0)
        host = 7;
    else if (lower.compare(0, 8, "https://") == 0)
        host = 8;
    const bool blank = u.find(' ') != std::string::npos;
    if (host == 0 || host == u.size() || u[host] == '/' || u[host] == '?' || u[host] == '#' || blank)
        throw Error(field + " \"" + u + "\" is not an absolute http or https URL (such as http://example.org/book)");
}

std::string CutAtCharacter(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    size_t end = maxBytes;
    if (isValidUtf8(text))
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
    return std::string(text.substr(0, end));
}

std::string MidletVersion(uint64_t build)
{
    constexpr uint64_t kLast = 98 * 10000 + 99 * 100 + 99; // 99.99.99
    const uint64_t n = std::min(build, kLast);
    return std::to_string(1 + n / 10000) + "." + std::to_string(n / 100 % 100) + "." + std::to_string(n % 100);
}

std::vector<std::string> ManifestLines(const TManifestFields& f)
{
    const std::string name = CutAtCharacter(f.name, kMidletNameMax);
    const std::string description = CutAtCharacter(f.description, kDescriptionMax);
    CheckOneLine(name, "MIDlet-Name (the book name)");
    CheckOneLine(f.url, "MIDlet-Info-URL (the URL)");
    CheckOneLine(f.vendor, "MIDlet-Vendor (the vendor)");
    CheckOneLine(description, "MIDlet-Description (the description)");
    CheckOneLine(f.version, "MIDlet-Version");
    std::string listed = name;
    std::replace(listed.begin(), listed.end(), ',', ' ');
    std::vector<std::string> lines{
        "Manifest-Version: 1.0",
        "MIDlet-1: " + listed + ", /images/orvane.png, LumeriaMain",
    };
    if (!description.empty())
        lines.push_back("MIDlet-Description: " + description);
    for (std::string line : {"MIDlet-Info-URL: " + f.url, "MIDlet-Name: " + name, "MIDlet-Vendor: " + f.vendor,
                             "MIDlet-Version: " + f.version, std::string("MicroEdition-Configuration: CLDC-1.0"),
                             std::string("MicroEdition-Profile: MIDP-1.0")})
        lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> ManifestLines(std::string_view bookName, std::string_view url, std::string_view vendor)
{
    TManifestFields f;
    f.name = bookName;
    f.url = url;
    f.vendor = vendor;
    return ManifestLines(f);
}

std::string JarFileStem(std::string_view bookName)
{
    std::string stem;
    for (char c : latinLetters(bookName)) {
        if (stem.size() == kFileStemMax)
            break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            stem += c;
        else if (c == ' ')
            stem += '_';
    }
    return stem.empty() ? std::string("book") : stem;
}

std::string PercentEncoded(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::vector<std::string> DescriptorLines(const std::vector<std::string>& manifest, std::string_view jarFile,
                                         uint64_t jarSize)
{
    std::vector<std::string> lines = manifest;
    lines.push_back("MIDlet-Jar-URL: " + PercentEncoded(jarFile));
    lines.push_back("MIDlet-Jar-Size: " + std::to_string(jarSize));
    return lines;
}

std::string LinesText(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void SaveLines(const std::string& path, const std::vector<std::string>& lines, const TSafeWriteOptions& options)
{
    WriteFileSafely(path, LinesText(lines), options);
}

} // namespace volm
