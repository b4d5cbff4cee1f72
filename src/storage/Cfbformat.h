#pragma once
// Layout constants of the Compound File Binary format and the small helpers
// the engine's units share: the order of names (little-endian access is
// common/Endian.h).

#include "common/Endian.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace volm::cfb {

// Special sector numbers in the allocation tables.
inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
// "No entry" in the directory's sibling and child links.
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint32_t kMaxRegSid = 0xFFFFFFFA;

inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr size_t kHeaderDifat = 109;   // FAT sector numbers kept in the header
inline constexpr uint32_t kMiniCutoff = 4096; // streams below this size live in the mini stream
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kEntrySize = 128;
inline constexpr size_t kMaxNameUnits = 31;   // UTF-16 units, without the terminator

// Header fields (byte offsets).
enum HeaderOffset : size_t {
    hSignature = 0x00,
    hMinorVersion = 0x18,
    hMajorVersion = 0x1A,
    hByteOrder = 0x1C,
    hSectorShift = 0x1E,
    hMiniSectorShift = 0x20,
    hDirSectors = 0x28,
    hFatSectors = 0x2C,
    hFirstDirSector = 0x30,
    hTransaction = 0x34,
    hMiniCutoff = 0x38,
    hFirstMiniFat = 0x3C,
    hMiniFatSectors = 0x40,
    hFirstDifat = 0x44,
    hDifatSectors = 0x48,
    hDifat = 0x4C,
};

// Directory entry fields (byte offsets within the 128-byte entry).
enum EntryOffset : size_t {
    eName = 0,
    eNameLength = 64,
    eType = 66,
    eColor = 67,
    eLeft = 68,
    eRight = 72,
    eChild = 76,
    eClsid = 80,
    eStateBits = 96,
    eCreated = 100,
    eModified = 108,
    eStart = 116,
    eSize = 120,
};

// Entry types.
enum : uint8_t { kTypeEmpty = 0, kTypeStorage = 1, kTypeStream = 2, kTypeRoot = 5 };

// The upper case of one UTF-16 unit as the format's name order uses it
// (simple one-to-one mappings of the Latin, Greek and Cyrillic letters).
char16_t upperUnit(char16_t c);

// The format's order of names within one storage: shorter names first,
// names of equal length by their upper-cased UTF-16 units. Returns <0, 0, >0.
int compareNames(std::u16string_view a, std::u16string_view b);

} // namespace volm::cfb
