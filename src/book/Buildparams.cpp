#include "book/Buildparams.h"

#include "common/Codepage.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace volm {

namespace {

std::string sectionKey()
{
    return std::string(kBuildKey) + "\\" + kBuildSection;
}

std::optional<int> parseInt(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}

std::string fourNumbers(int a, int b, int c, int d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", a, b, c, d);
    return buf;
}

} // namespace

std::string trimBuildText(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return std::string(s.substr(b, e - b));
}

std::optional<int> placementNumber(std::string_view text, int n)
{
    int index = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos) {
            if (index == n)
                return parseInt(text.substr(pos, end - pos));
            ++index;
        }
        pos = end + 1;
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseJarBudget(std::string_view text)
{
    const std::string t = asciiLower(text);
    if (t == "none")
        return 0;
    size_t digitsEnd = 0;
    while (digitsEnd < t.size() && t[digitsEnd] >= '0' && t[digitsEnd] <= '9')
        ++digitsEnd;
    if (digitsEnd == 0 || digitsEnd > 15)
        return std::nullopt;
    uint64_t n = std::stoull(t.substr(0, digitsEnd));
    const std::string unit = t.substr(digitsEnd);
    if (unit == "k" || unit == "kb" || unit == "kib")
        n *= 1024;
    else if (unit == "m" || unit == "mb" || unit == "mib")
        n *= 1024 * 1024;
    else if (!unit.empty() && unit != "b")
        return std::nullopt;
    if (n > 0xFFFFFFFFull)
        return std::nullopt; // no jar can be larger
    return n;
}

std::string JarBudgetText(uint64_t bytes)
{
    if (bytes == 0)
        return "No limit";
    if (bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

TBuildTexts storedBuildTexts(const std::filesystem::path& registry)
{
    TBuildTexts t;
    TRegistry reg(RegRoot::CurrentUser, registry);
    if (!reg.OpenKeyReadOnly(sectionKey()))
        return t;
    std::string* fields[3] = {&t.vendor, &t.url, &t.description};
    for (int i = 0; i < 3; ++i)
        *fields[i] = trimBuildText(reg.ReadValue(kBuildTextValues[i]).value_or(*fields[i]));
    t.maxJar = ParseJarBudget(reg.ReadString(kJarBudgetValue)).value_or(0);
    t.phone = trimBuildText(reg.ReadValue(kPhoneValue).value_or(""));
    return t;
}

TBuildParamsStore::TBuildParamsStore(std::filesystem::path registry)
    : registry_(std::move(registry))
{
}

TRestoredPlacement TBuildParamsStore::restorePlacement(const TWindowPlacement& current,
                                                       int pixelsPerInch)
{
    TRegistry reg(RegRoot::CurrentUser, registry_);
    reg.OpenKey(kBuildKey, true);
    TRestoredPlacement r;
    r.placement = current;
    // A missing section has no values: everything falls back below.
    reg.OpenKeyReadOnly(sectionKey());
    // The storage version is 0 and nothing was ever stored below it, so the
    // rest always runs; the value is read for completeness only.
    (void)reg.ReadValue("FormVersion");

    auto number = [&](const char* name) { return parseInt(reg.ReadString(name)); };
    if (auto f = number("Flags"))
        r.placement.flags = *f;
    const int storedPpi = number("PixelsPerInch").value_or(pixelsPerInch);
    const auto minMax = reg.ReadValue("MinMaxPos");
    const auto norm = reg.ReadValue("NormPos");
    if (minMax) {
        r.placement.minX = placementNumber(*minMax, 0).value_or(0);
        r.placement.minY = placementNumber(*minMax, 1).value_or(0);
        r.placement.maxX = placementNumber(*minMax, 2).value_or(0);
        r.placement.maxY = placementNumber(*minMax, 3).value_or(0);
    }
    if (minMax || norm) {
        const std::string n = norm.value_or(std::string());
        const int w = current.right - current.left, h = current.bottom - current.top;
        const int left = placementNumber(n, 0).value_or(current.left);
        const int top = placementNumber(n, 1).value_or(current.top);
        const int right = placementNumber(n, 2).value_or(current.left + w);
        // The dialog's border is fixed: it keeps its own size and takes only
        // the stored position.
        r.placement.left = left;
        r.placement.top = top;
        r.placement.right = left + w;
        r.placement.bottom = top + h;
        r.apply = storedPpi == pixelsPerInch && left < right;
    }

    switch (number("ShowCmd").value_or(0)) {
    case 2: case 6: case 7: r.state = TShowState::Minimized; break;
    case 3: r.state = TShowState::Maximized; break;
    default: r.state = TShowState::Normal; break;
    }
    return r;
}

void TBuildParamsStore::restoreTexts(std::array<std::string, 3>& texts)
{
    try {
        TRegistry reg(RegRoot::CurrentUser, registry_);
        const bool open = reg.OpenKeyReadOnly(sectionKey());
        for (size_t i = 0; i < texts.size(); ++i) {
            std::optional<std::string> v;
            if (open)
                v = reg.ReadValue(kBuildTextValues[i]);
            texts[i] = trimBuildText(v.value_or(texts[i]));
        }
    } catch (const std::exception&) {
        // The controls keep what they had.
    }
}

uint64_t TBuildParamsStore::restoreBudget()
{
    try {
        TRegistry reg(RegRoot::CurrentUser, registry_);
        if (!reg.OpenKeyReadOnly(sectionKey()))
            return 0;
        return ParseJarBudget(reg.ReadString(kJarBudgetValue)).value_or(0);
    } catch (const std::exception&) {
        return 0;
    }
}

std::string TBuildParamsStore::restorePhone()
{
    try {
        TRegistry reg(RegRoot::CurrentUser, registry_);
        if (!reg.OpenKeyReadOnly(sectionKey()))
            return {};
        return trimBuildText(reg.ReadValue(kPhoneValue).value_or(""));
    } catch (const std::exception&) {
        return {};
    }
}

void TBuildParamsStore::save(const TWindowPlacement& p, int pixelsPerInch, bool visible,
                             const std::array<std::string, 3>& texts, uint64_t maxJar, const std::string& phone)
{
    TRegistry reg(RegRoot::CurrentUser, registry_);
    reg.OpenKey(kBuildKey, true);
    reg.OpenKey(sectionKey(), true);
    reg.WriteString("FormVersion", "0");
    reg.WriteString("Flags", std::to_string(p.flags));
    reg.WriteString("ShowCmd", std::to_string(p.showCmd));
    reg.WriteString("PixelsPerInch", std::to_string(pixelsPerInch));
    reg.WriteString("MinMaxPos", fourNumbers(p.minX, p.minY, p.maxX, p.maxY));
    reg.WriteString("NormPos", fourNumbers(p.left, p.top, p.right, p.bottom));
    reg.WriteString("Visible", visible ? "1" : "0");
    for (size_t i = 0; i < texts.size(); ++i)
        reg.WriteString(kBuildTextValues[i], trimBuildText(texts[i]));
    reg.WriteString(kJarBudgetValue, std::to_string(maxJar));
    reg.WriteString(kPhoneValue, phone);
}

} // namespace volm
