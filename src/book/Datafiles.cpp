#include "book/Datafiles.h"

#include <algorithm>

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

std::string LayoutText(TReaderLayout layout, const std::vector<uint64_t>& textSizes)
{
    std::string out = TextModeLine(LayoutName(layout));
    for (uint64_t n : textSizes)
        out += TextModeLine(std::to_string(n));
    return out;
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

std::string ReaderText(std::string_view text)
{
    std::string out(text);
    std::erase(out, '\r');
    return out;
}

} // namespace volm
