#include "book/Phones.h"

#include "archive/Unzip.h"
#include "book/Resources.h"
#include "common/Errors.h"

#include <algorithm>
#include <charconv>

namespace volm {
namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

std::vector<std::string_view> split(std::string_view s, char sep)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(sep, start);
        out.push_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

bool parseNumber(std::string_view s, uint64_t& n)
{
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    return ec == std::errc() && p == s.data() + s.size();
}

uint32_t bigEndian32(std::string_view s, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}

std::string kb(uint64_t bytes)
{
    return std::to_string(bytes) + " bytes (" + std::to_string((bytes + 512) / 1024) + " KB)";
}

} // namespace

std::vector<TPhoneProfile> ParsePhoneTable(std::string_view text, const std::string& origin)
{
    std::vector<TPhoneProfile> out;
    size_t lineNo = 0;
    for (std::string_view line : split(text, '\n')) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#' || startsWith(line, "id\t"))
            continue;
        const std::string where = origin + ", line " + std::to_string(lineNo);
        const std::vector<std::string_view> f = split(line, '\t');
        if (f.size() != 7)
            throw Error(where + ": " + std::to_string(f.size()) +
                        " fields, not the 7 of id, name, jar, heap, store, canvases, source");
        TPhoneProfile p;
        p.id = f[0];
        p.name = f[1];
        if (p.id.empty() || p.name.empty())
            throw Error(where + ": the id and the name are needed");
        auto size = [&](std::string_view s, const char* what, bool optional) {
            uint64_t n = 0;
            if (optional && s.empty())
                return n;
            if (!parseNumber(s, n) || n == 0)
                throw Error(where + ": the " + what + " \"" + std::string(s) + "\" is not a number of bytes");
            return n;
        };
        p.jar = size(f[2], "jar limit", false);
        p.heap = size(f[3], "heap", true);
        p.store = size(f[4], "store", true);
        for (std::string_view c : split(f[5], ',')) {
            const size_t x = c.find('x');
            uint64_t w = 0, h = 0;
            if (x == std::string_view::npos || !parseNumber(c.substr(0, x), w) || !parseNumber(c.substr(x + 1), h) ||
                w == 0 || h == 0 || w > 4096 || h > 4096)
                throw Error(where + ": the canvas \"" + std::string(c) + "\" is not WIDTHxHEIGHT");
            p.canvases.push_back({static_cast<int>(w), static_cast<int>(h)});
        }
        p.source = f[6];
        if (p.source.empty())
            throw Error(where + ": the source of the figures is missing");
        for (const TPhoneProfile& q : out)
            if (lower(q.id) == lower(p.id))
                throw Error(where + ": the id " + p.id + " is there twice");
        out.push_back(std::move(p));
    }
    return out;
}

const std::vector<TPhoneProfile>& PhoneProfiles()
{
    static const std::vector<TPhoneProfile> table = [] {
        std::span<const uint8_t> bytes = FindResource(kPhonesResourceType, kPhonesResourceId);
        return ParsePhoneTable(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                               "the program's phone table (resources/phones.tsv)");
    }();
    return table;
}

const TPhoneProfile* PhoneById(std::string_view id)
{
    for (const TPhoneProfile& p : PhoneProfiles())
        if (p.id == id)
            return &p;
    return nullptr;
}

const TPhoneProfile& FindPhone(std::string_view query)
{
    const std::string q = lower(query);
    const auto& table = PhoneProfiles();
    std::vector<const TPhoneProfile*> found;
    for (const TPhoneProfile& p : table)
        if (lower(p.id) == q || lower(p.name) == q)
            return p;
    // The start of the id, or of the name from any of its words on
    // ("Series 40 1st", "T610", "E700" in "Samsung X100/E700").
    auto matches = [&q](const TPhoneProfile& p) {
        if (startsWith(lower(p.id), q))
            return true;
        const std::string name = lower(p.name);
        for (size_t i = 0; i < name.size(); ++i)
            if ((i == 0 || name[i - 1] == ' ' || name[i - 1] == '/' || name[i - 1] == '(') &&
                startsWith(std::string_view(name).substr(i), q))
                return true;
        return false;
    };
    if (!q.empty())
        for (const TPhoneProfile& p : table)
            if (matches(p))
                found.push_back(&p);
    if (found.size() == 1)
        return *found.front();
    std::string msg;
    if (found.empty()) {
        msg = "No phone family is \"";
        msg += query;
        msg += "\"; the families (volm-cli phones):";
        for (const TPhoneProfile& p : table)
            found.push_back(&p);
    } else {
        msg = "\"";
        msg += query;
        msg += "\" names several phone families:";
    }
    for (size_t i = 0; i < found.size(); ++i)
        msg += std::string(i ? "," : "") + " " + found[i]->id + " (" + found[i]->name + ")";
    throw Error(msg);
}

uint64_t HeapLimit(const TPhoneProfile& phone)
{
    return phone.heap - phone.heap * kHeapMarginPercent / 100;
}

uint64_t StoreNeeded(size_t topics)
{
    return 20 * std::min<uint64_t>(topics, 20) + 5 * 30 + 50;
}

TCanvasSize PngSize(std::string_view png)
{
    static constexpr std::string_view signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || png.substr(0, 8) != signature || png.substr(12, 4) != "IHDR")
        return {};
    const uint32_t w = bigEndian32(png, 16), h = bigEndian32(png, 20);
    if (w > 1u << 16 || h > 1u << 16)
        return {};
    return {static_cast<int>(w), static_cast<int>(h)};
}

std::vector<int> SheetSizesForPhone(const TPhoneProfile& phone)
{
    struct TSuited {
        int below, small, large;
    };
    static constexpr TSuited kSuited[] = {{110, 9, 11}, {150, 11, 14}, {200, 12, 16}, {280, 14, 18}};
    auto suited = [](int width) {
        for (const TSuited& s : kSuited)
            if (width < s.below)
                return std::pair{s.small, s.large};
        return std::pair{16, 20};
    };
    if (phone.canvases.empty())
        return {11, 14};
    int narrowest = phone.canvases.front().width, widest = narrowest;
    for (const TCanvasSize& c : phone.canvases) {
        narrowest = std::min(narrowest, c.width);
        widest = std::max(widest, c.width);
    }
    return {suited(narrowest).first, suited(widest).second};
}

TJarNeeds MeasureJar(const std::string& jarPath, size_t topics, const TPhoneProfile& phone)
{
    TJarNeeds n;
    int sheetHeight = 0;
    TUnZip unzip;
    unzip.SetArchiveFile(jarPath);
    if (unzip.ArchiveFile().empty())
        throw Error("Cannot measure " + jarPath + ": the jar is not there");
    for (const std::string& name : unzip.StoredNames()) {
        if (startsWith(name, "images/") && name.size() > 11 && lower(name.substr(name.size() - 4)) == ".png" &&
            name.find('/', 7) == std::string::npos) {
            const TCanvasSize s = PngSize(unzip.ReadMember(name));
            n.imagesHeap += 2ull * static_cast<uint64_t>(s.width) * static_cast<uint64_t>(s.height);
            if (name == "images/Font.png")
                n.cell = s.width / 16;
        } else if (startsWith(name, "images/Font") && name.size() > 15 && name.substr(name.size() - 4) == ".map") {
            // A words-layout font: its line height is the map's first byte.
            const std::string map = unzip.ReadMember(name);
            const int height = map.empty() ? 0 : static_cast<uint8_t>(map[0]);
            if (height > 0 && (sheetHeight == 0 || height < sheetHeight))
                sheetHeight = height;
        } else if (name == "topics.txt" || name == "layout.txt") {
            n.menuHeap += unzip.ReadMember(name).size();
        }
    }
    // The largest canvas: the most text cells, so the largest buffers. A
    // words-layout font (no grid image) counts its smallest line height as
    // the row and half of it as the column.
    int cellHeight = std::max(n.cell, 1), cellWidth = cellHeight;
    if (n.cell == 0 && sheetHeight > 0) {
        n.cell = sheetHeight;
        cellHeight = sheetHeight;
        cellWidth = std::max(sheetHeight / 2, 1);
    }
    for (const TCanvasSize& c : phone.canvases) {
        const uint64_t rows = static_cast<uint64_t>(c.height / cellHeight);
        const uint64_t cols = static_cast<uint64_t>(c.width / cellWidth);
        n.buffersHeap = std::max<uint64_t>(n.buffersHeap, 4096 + 4 * (rows + 2) * (cols + 1));
    }
    n.heap = n.imagesHeap + n.buffersHeap + n.menuHeap + kReaderClassesHeap;
    n.store = StoreNeeded(topics);
    return n;
}

std::vector<std::string> PhoneReport(const std::string& jarPath, uint64_t jarSize, const TJarNeeds& needs,
                                     const TPhoneProfile& phone, uint64_t jarLimit)
{
    std::vector<std::string> lines;
    const std::string file = jarPath.substr(jarPath.rfind('/') + 1);
    std::string jar = phone.name + ", " + file + ": jar " + std::to_string(jarSize) + " of " +
                      (jarLimit ? std::to_string(jarLimit) + " bytes" : std::string("no limit"));
    if (jarLimit != phone.jar)
        jar += " (the budget given; the family's jar limit is " + std::to_string(phone.jar) + " bytes)";
    lines.push_back(jar);
    std::string heap = "  heap (estimate) " + kb(needs.heap) + ": images " + std::to_string(needs.imagesHeap) +
                       ", text buffers " + std::to_string(needs.buffersHeap) + ", menu " +
                       std::to_string(needs.menuHeap) + ", classes and VM " + std::to_string(kReaderClassesHeap);
    if (phone.heap)
        heap += "; limit " + kb(HeapLimit(phone)) + " (the heap of " + std::to_string(phone.heap) + " less " +
                std::to_string(kHeapMarginPercent) + "%)";
    else
        heap += "; no heap figure for this family";
    lines.push_back(heap);
    std::string store = "  store (estimate) " + std::to_string(needs.store) + " bytes";
    store += phone.store ? "; limit " + std::to_string(phone.store) + " bytes" : "; no store figure for this family";
    lines.push_back(store);
    if (jarSize > phone.jar)
        lines.push_back("warning: " + file + " is over the jar limit of " + phone.name + ": " +
                        std::to_string(jarSize) + " of " + std::to_string(phone.jar) + " bytes");
    if (phone.heap && needs.heap > HeapLimit(phone))
        lines.push_back("warning: " + file + " may not run on " + phone.name + ": the reader needs about " +
                        std::to_string(needs.heap) + " bytes of heap, over the " + std::to_string(HeapLimit(phone)) +
                        " the phone leaves (a smaller font cell needs less)");
    if (phone.store && needs.store > phone.store)
        lines.push_back("warning: " + file + " may not keep its places on " + phone.name + ": about " +
                        std::to_string(needs.store) + " bytes of store, over the phone's " +
                        std::to_string(phone.store));
    return lines;
}

std::vector<std::string> PhoneTableLines()
{
    std::vector<std::string> lines;
    auto opt = [](uint64_t n) { return n ? std::to_string(n) : std::string("-"); };
    for (const TPhoneProfile& p : PhoneProfiles()) {
        std::string canvases;
        for (const TCanvasSize& c : p.canvases)
        {
            if (!canvases.empty())
                canvases += ',';
            canvases += std::to_string(c.width);
            canvases += 'x';
            canvases += std::to_string(c.height);
        }
        lines.push_back(p.id + "\t" + p.name + "\tjar " + std::to_string(p.jar) + "\theap " + opt(p.heap) +
                        "\tstore " + opt(p.store) + "\t" + canvases + "\t" + p.source);
    }
    return lines;
}

} // namespace volm
