#include "text/Textlines.h"

#include <cstring>

namespace volm {
namespace {

// Calls take(line) for every line of `bytes`; returns true when the text ended
// with a line break (so an editor shows an empty line after it).
template <class Take>
bool ForEachLine(std::string_view bytes, Take take)
{
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        take(bytes.substr(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size()) {
        take(bytes.substr(start));
        return false;
    }
    return !bytes.empty();
}

std::string_view CutAtNul(std::string_view bytes)
{
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    return nul ? bytes.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - bytes.data())) : bytes;
}

} // namespace

size_t FirstNul(std::string_view bytes)
{
    return bytes.find('\0');
}

std::string NulCutNote(size_t at)
{
    return "cut at byte " + std::to_string(at) + ": the file holds NUL bytes (a binary file?)";
}

std::vector<std::string> SplitLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    ForEachLine(CutAtNul(bytes), [&](std::string_view l) { lines.emplace_back(l); });
    return lines;
}

std::vector<std::string> SplitParagraphs(std::string_view bytes)
{
    std::vector<std::string> lines;
    if (ForEachLine(bytes, [&](std::string_view l) { lines.emplace_back(l); }) || bytes.empty())
        lines.emplace_back();
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    size_t n = lines.size();
    if (n > 0 && lines.back().empty())
        --n;
    size_t total = 0;
    for (size_t i = 0; i < n; ++i)
        total += lines[i].size() + 2;
    std::string out;
    out.reserve(total);
    for (size_t i = 0; i < n; ++i) {
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

std::string NormalizeLineEnds(std::string_view bytes)
{
    std::string_view text = CutAtNul(bytes);
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    ForEachLine(text, [&](std::string_view l) {
        out += l;
        out += "\r\n";
    });
    return out;
}

} // namespace volm
