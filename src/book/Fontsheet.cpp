#include "book/Fontsheet.h"

#include <algorithm>

namespace volm {

TFontChoice DefaultSheetFont()
{
    TFontChoice f;
    f.name = "DejaVu Sans";
    f.height = -kDefaultSheetSizes.front();
    f.pitch = fpVariable;
    return f;
}

TUsedBytes ReaderBytes()
{
    TUsedBytes used{};
    for (int b = 0x20; b <= 0x7E; ++b)
        used[b] = true;
    used[0x85] = true; // "…"
    used[0xBB] = true; // "»"
    return used;
}

void AddUsedBytes(TUsedBytes& used, std::string_view bytes)
{
    for (char c : bytes)
        used[static_cast<uint8_t>(c)] = true;
}

bool IsSheetControl(uint8_t b)
{
    return b < 0x20 || b == 0x7F || b == 0xAD;
}

std::string FontMapBytes(int lineHeight, const TGlyphRects& glyphs)
{
    std::string out;
    out.reserve(kFontMapSize);
    out += static_cast<char>(lineHeight);
    for (const TGlyphRect& g : glyphs) {
        out += static_cast<char>(g.x >> 8);
        out += static_cast<char>(g.x & 0xFF);
        out += static_cast<char>(g.row);
        out += static_cast<char>(g.advance);
    }
    return out;
}

std::optional<std::pair<int, TGlyphRects>> ParseFontMap(std::string_view bytes)
{
    if (bytes.size() != kFontMapSize)
        return std::nullopt;
    std::pair<int, TGlyphRects> out;
    out.first = static_cast<uint8_t>(bytes[0]);
    for (size_t b = 0; b < 256; ++b) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + 1 + 4 * b);
        out.second[b] = TGlyphRect{static_cast<uint16_t>(p[0] << 8 | p[1]), p[2], p[3]};
    }
    return out;
}

std::optional<std::vector<int>> ParseSheetSizes(std::string_view text)
{
    std::vector<int> sizes;
    size_t i = 0;
    while (true) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        int n = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            n = n * 10 + (text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || n < kMinSheetSize || n > kMaxSheetSize)
            return std::nullopt;
        sizes.push_back(n);
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i == text.size())
            break;
        if (text[i++] != ',')
            return std::nullopt;
    }
    std::sort(sizes.begin(), sizes.end());
    if (sizes.size() > kMaxSheetSizes || std::adjacent_find(sizes.begin(), sizes.end()) != sizes.end())
        return std::nullopt;
    return sizes;
}

std::string SheetSizesText(const std::vector<int>& sizes)
{
    std::string s;
    for (int n : sizes)
    {
        if (!s.empty())
            s += ',';
        s += std::to_string(n);
    }
    return s;
}

} // namespace volm
