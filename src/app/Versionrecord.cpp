// The version record of the `volm` executable, kept in a section of its own
// so that neither the compiler nor the linker drops it.
#include "app/Versionrecord.h"

namespace volm {

#ifndef VOLM_VERSION_MAJOR
#error "the build passes the four version numbers"
#endif

__attribute__((used, retain, section(".volm_version")))
extern const TVersionRecord kProgramVersion = {
    {'V', 'O', 'L', 'M', '_', 'F', 'I', 'X', 'E', 'D', '_', 'I', 'N', 'F', 'O', '\0'},
    {
        kVersionSignature,
        0x00010000,
        (uint32_t(VOLM_VERSION_MAJOR) << 16) | uint32_t(VOLM_VERSION_MINOR),
        (uint32_t(VOLM_VERSION_PATCH) << 16) | uint32_t(VOLM_VERSION_TWEAK),
        (uint32_t(VOLM_VERSION_MAJOR) << 16) | uint32_t(VOLM_VERSION_MINOR),
        (uint32_t(VOLM_VERSION_PATCH) << 16) | uint32_t(VOLM_VERSION_TWEAK),
        0x3F, // every flag is meaningful
        0,    // a release build
        0x4,  // 32-bit windows API (the record's own numbering)
        0x1,  // an application
        0,
        0,
        0,
    },
};

} // namespace volm
