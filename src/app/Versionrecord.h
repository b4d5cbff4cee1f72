#pragma once
// The program's version record: the fixed file-information record (signature
// 0xFEEF04BD, file and product version as two 32-bit halves of four 16-bit
// numbers), preceded by a 16-byte tag so that it can be found by scanning the
// program file. The build puts one into the `volm` executable (Versionrecord.cpp,
// numbers from the CMake project version); the about box reads it back from the
// file. All fields are little-endian.

#include <cstdint>

namespace volm {

inline constexpr char kVersionTag[16] = {'V', 'O', 'L', 'M', '_', 'F', 'I', 'X', 'E',
                                         'D', '_', 'I', 'N', 'F', 'O', '\0'};
inline constexpr uint32_t kVersionSignature = 0xFEEF04BD;

struct TFixedFileInfo {
    uint32_t dwSignature;
    uint32_t dwStrucVersion;
    uint32_t dwFileVersionMS;    // major << 16 | minor
    uint32_t dwFileVersionLS;    // release << 16 | build
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
    uint32_t dwFileFlagsMask;
    uint32_t dwFileFlags;
    uint32_t dwFileOS;
    uint32_t dwFileType;
    uint32_t dwFileSubtype;
    uint32_t dwFileDateMS;
    uint32_t dwFileDateLS;
};

struct TVersionRecord {
    char tag[16];
    TFixedFileInfo info;
};
static_assert(sizeof(TVersionRecord) == 16 + 13 * 4);

} // namespace volm
