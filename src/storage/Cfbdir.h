#pragma once
// The directory of a compound file: its entries in memory, the red-black tree
// that orders the elements of each storage, and the plan for writing a change
// of that tree so that the file holds either the old tree or the new one at
// every moment.

#include "storage/Cfbformat.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace volm::cfb {

// One directory entry (the root, a storage or a stream). Owned by the
// CompoundFile; the tree links are plain pointers between entries.
struct Entry {
    std::u16string name;
    uint8_t type = kTypeEmpty;
    bool red = false;
    Entry* left = nullptr;
    Entry* right = nullptr;
    Entry* parent = nullptr; // null at the top of a storage's tree
    Entry* child = nullptr;  // a storage's tree of elements
    Entry* owner = nullptr;  // the storage that holds this entry (null for the root)
    uint32_t slot = kNoStream; // the entry's place in the directory stream

    std::array<uint8_t, 16> clsid{};
    uint32_t stateBits = 0;
    uint64_t created = 0;
    uint64_t modified = 0;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;

    // What the entry's slot holds on disk (tree links and colour).
    bool onDisk = false;
    uint32_t diskLeft = kNoStream;
    uint32_t diskRight = kNoStream;
    uint32_t diskChild = kNoStream;
    bool diskRed = false;

    // For a storage: its tree keeps the red-black rules (checked when the
    // file is read; every change of ours keeps them). A change to a tree that
    // breaks them (a long sibling chain, as some writers leave) rebuilds it.
    bool sound = true;

    bool live = true;  // false once destroyed
    int opens = 0;     // open streams on this entry (at most one)
    size_t index = 0;  // position in the CompoundFile's list of entries

    bool isStorage() const { return type == kTypeStorage || type == kTypeRoot; }
};

inline uint32_t slotOf(const Entry* e) { return e ? e->slot : kNoStream; }

// Serialises `e` (with its current links) into 128 bytes.
void encodeEntry(const Entry& e, uint8_t* out);
// An unused entry.
void encodeEmptyEntry(uint8_t* out);

// The elements of one storage, kept as a red-black tree in the format's name
// order. Changing operations collect every entry whose links or colour they
// changed into `touched` (possibly with repeats).
namespace tree {

// Looks the name up by walking the tree, at most `limit` steps (the number
// of entries: a walk can visit each once). `accept`, when given, says which
// entries count (a stream, say, and not a storage of the same name). With
// `scan` (a tree not in the format's order, or with a name twice, as some
// writers leave it) a walk that fails is followed by a scan of the elements
// in the order `elements` lists them, the name exactly as given first. Null
// when absent.
Entry* find(Entry* storage, std::u16string_view name, size_t limit, bool scan,
            bool (*accept)(const Entry*) = nullptr);
// True when the tree's names are in strictly ascending order.
bool ordered(const Entry* storage);
// True when the tree keeps the red-black rules: a black top, no red entry
// under a red one, the same number of black entries on every path.
bool redBlack(const Entry* storage);
// A change to a tree that is not `sound` ends with `rebuild`.
void insert(Entry* storage, Entry* e, std::vector<Entry*>& touched);
void erase(Entry* storage, Entry* e, std::vector<Entry*>& touched);
// Rebuilds the tree, its elements sorted by name, as a balanced red-black
// tree, and marks it sound.
void rebuild(Entry* storage, std::vector<Entry*>& touched);

// The elements in tree order (the order of names in a well-formed tree).
std::vector<Entry*> elements(const Entry* storage);

} // namespace tree

// How to put a tree change on disk: first the entries of `relocate`, each to
// a fresh slot that nothing on disk refers to yet; then the entries of
// `recolor` in place (colours are never relied on when reading); last
// `commit`, in place, the one write that switches from the old tree to the new.
struct TreePlan {
    std::vector<Entry*> relocate;
    Entry* commit = nullptr;
    std::vector<Entry*> recolor;
};
TreePlan planTreeChange(const std::vector<Entry*>& touched);

} // namespace volm::cfb
