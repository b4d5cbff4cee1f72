#include "common/Crc32.h"

#include <array>

namespace volm {
namespace {

constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

} // namespace

void TCrc32::update(const void* data, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t c = reg_;
    for (size_t i = 0; i < size; ++i)
        c = kTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    reg_ = c;
}

uint32_t crc32(const void* data, size_t size)
{
    TCrc32 c;
    c.update(data, size);
    return c.value();
}

} // namespace volm
