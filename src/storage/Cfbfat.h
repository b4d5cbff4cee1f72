#pragma once
// An allocation table of the compound file (the FAT, or the mini FAT) held in
// memory: one entry per sector, the next sector of a chain or a special value.
// It remembers which of its pages (one sector's worth of entries) changed
// since they were last written.

#include "storage/Cfbformat.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace volm::cfb {

class AllocTable {
public:
    void reset(size_t entriesPerPage, std::vector<uint32_t> entries);

    size_t size() const { return entries_.size(); }
    size_t pages() const { return entries_.size() / perPage_; }
    size_t perPage() const { return perPage_; }
    uint32_t get(size_t i) const { return entries_[i]; }
    void set(size_t i, uint32_t value);
    // Sets without marking the page as changed (used where the value only
    // corrects what memory believes, not what the disk must hold).
    void setQuiet(size_t i, uint32_t value)
    {
        entries_[i] = value;
        if (value == kFreeSect && i < freeHint_)
            freeHint_ = i;
    }
    // Appends one page of free entries.
    void addPage();

    // The lowest free entry below `limit`, or `limit` when there is none.
    size_t findFree(size_t limit);
    // Frees entry i (marks its page changed).
    void release(size_t i);

    // Follows the chain from `start` for exactly `count` entries, each below
    // `bound`. Returns false when the chain breaks off, leaves the range or
    // comes back on itself.
    bool follow(uint32_t start, size_t count, size_t bound, std::vector<uint32_t>& out) const;

    const std::set<size_t>& dirtyPages() const { return dirty_; }
    void clearDirty() { dirty_.clear(); }
    const uint32_t* page(size_t p) const { return entries_.data() + p * perPage_; }

private:
    std::vector<uint32_t> entries_;
    size_t perPage_ = 128;
    size_t freeHint_ = 0;
    std::set<size_t> dirty_;
};

} // namespace volm::cfb
