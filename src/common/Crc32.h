#pragma once
// The one CRC-32 of the program (ZIP members and PNG chunks): the standard
// reflected CRC-32, polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
// complement. The table is built at compile time.

#include <cstddef>
#include <cstdint>

namespace volm {

class TCrc32 {
public:
    void update(const void* data, size_t size);
    // The finished checksum (complemented register).
    uint32_t value() const { return ~reg_; }
    // The register without the final complement.
    uint32_t raw() const { return reg_; }
    void reset() { reg_ = 0xFFFFFFFFu; }

private:
    uint32_t reg_ = 0xFFFFFFFFu;
};

// Checksum of one buffer.
uint32_t crc32(const void* data, size_t size);

} // namespace volm
