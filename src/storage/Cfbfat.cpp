#include "storage/Cfbfat.h"

#include <algorithm>

namespace volm::cfb {

void AllocTable::reset(size_t entriesPerPage, std::vector<uint32_t> entries)
{
    perPage_ = entriesPerPage;
    entries_ = std::move(entries);
    entries_.resize((entries_.size() + perPage_ - 1) / perPage_ * perPage_, kFreeSect);
    freeHint_ = 0;
    dirty_.clear();
}

void AllocTable::set(size_t i, uint32_t value)
{
    entries_[i] = value;
    dirty_.insert(i / perPage_);
    if (value == kFreeSect && i < freeHint_)
        freeHint_ = i;
}

void AllocTable::addPage()
{
    entries_.resize(entries_.size() + perPage_, kFreeSect);
}

size_t AllocTable::findFree(size_t limit)
{
    size_t end = std::min(limit, entries_.size());
    for (size_t i = freeHint_; i < end; ++i) {
        if (entries_[i] == kFreeSect) {
            freeHint_ = i;
            return i;
        }
    }
    freeHint_ = std::max(freeHint_, end);
    return limit;
}

void AllocTable::release(size_t i)
{
    set(i, kFreeSect);
}

bool AllocTable::follow(uint32_t start, size_t count, size_t bound, std::vector<uint32_t>& out) const
{
    out.clear();
    if (count == 0)
        return true;
    bound = std::min(bound, entries_.size());
    if (count > bound)
        return false;
    out.reserve(count);
    uint32_t s = start;
    for (size_t i = 0; i < count; ++i) {
        if (s >= bound)
            return false;
        out.push_back(s);
        s = entries_[s];
    }
    // A chain that visits a sector twice is a loop, not a stream.
    std::vector<uint32_t> sorted(out);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

} // namespace volm::cfb
