#include "book/Datafiles.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace volm {

std::string TextModeLine(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    out += "\r\n";
    return out;
}

std::string TopicsText(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += TextModeLine(TitleLine(n));
    return out;
}

std::string FilesText(size_t count)
{
    std::string out;
    for (size_t i = 1; i <= count; ++i)
        out += TextModeLine("/texts/itm" + std::to_string(i));
    return out;
}

std::string AppNameText(std::string_view bookName)
{
    return TextModeLine(bookName);
}

std::string LayoutText(const TLayoutData& data, const std::vector<uint64_t>& textSizes,
                       const std::vector<std::string>& ids)
{
    std::string out = TextModeLine(LayoutName(data.layout));
    out += TextModeLine(ParagraphsName(data.paragraphs));
    out += TextModeLine(TitleLine(data.emptyNote));
    for (size_t i = 0; i < textSizes.size(); ++i)
        out += TextModeLine(std::to_string(textSizes[i]) + " " + ids.at(i));
    return out;
}

std::vector<std::string> TopicIds(const std::vector<std::string>& names)
{
    std::vector<std::string> ids;
    ids.reserve(names.size());
    std::unordered_map<std::string, unsigned> seen;
    for (const std::string& name : names) {
        uint32_t h = 0;
        for (char c : name)
            h = h * 31u + static_cast<unsigned char>(c);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(h));
        std::string id = hex;
        if (const unsigned k = seen[name]++) {
            id.push_back('.');
            id.append(std::to_string(k));
        }
        ids.push_back(std::move(id));
    }
    return ids;
}

std::string EmptyNote(const std::vector<std::string>& names)
{
    uint64_t cyrillic = 0, latin = 0;
    for (const std::string& name : names)
        for (char ch : name) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
                ++latin;
            else if (c >= 0xC0 || c == 0xA8 || c == 0xB8) // А..я, Ё, ё
                ++cyrillic;
        }
    return cyrillic > latin ? "\xCF\xF3\xF1\xF2\xEE" : "Empty"; // "Пусто"
}

uint64_t TextPieces(TReaderLayout layout, uint64_t size)
{
    if (layout != TReaderLayout::Words || size <= kTextPiece)
        return 1;
    return (size + kTextPiece - 1) / kTextPiece;
}

std::string TextPieceName(size_t number, uint64_t piece)
{
    std::string name = TextEntryName(number);
    return piece == 0 ? name : name + "_" + std::to_string(piece);
}

std::string TextEntryName(size_t number)
{
    return "texts/itm" + std::to_string(number);
}

std::string TitleLine(std::string_view name)
{
    std::string line(name);
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    if (line.empty())
        line.push_back(' ');
    return line;
}

std::string ReaderText(std::string_view text, bool dropMarks)
{
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    for (char c : text) {
        if (c == '\r') {
            lineStart = true;
            continue;
        }
        if (!(dropMarks && lineStart && c == kHeadingMark))
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

} // namespace volm
