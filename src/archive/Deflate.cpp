#include "archive/Deflate.h"

#include "common/Crc32.h"

#include <libdeflate.h>

#include <new>

namespace volm {

TDeflateSetting DeflateSetting(TDeflateType type)
{
    switch (type) {
    case dtDeflateS: return {0, 0};
    case dtDeflateF: return {1, 0x0004};
    case dtDeflateN: return {6, 0};
    case dtDeflateX: return {12, 0x0002};
    }
    return {0, 0};
}

TDeflater::~TDeflater()
{
    if (compressor_)
        libdeflate_free_compressor(compressor_);
}

std::string TDeflater::Deflate(std::string_view data, int level)
{
    if (!compressor_ || level_ != level) {
        if (compressor_)
            libdeflate_free_compressor(compressor_);
        compressor_ = libdeflate_alloc_compressor(level);
        level_ = level;
        if (!compressor_)
            throw std::bad_alloc();
    }
    std::string out(libdeflate_deflate_compress_bound(compressor_, data.size()), '\0');
    size_t n = libdeflate_deflate_compress(compressor_, data.data(), data.size(), out.data(), out.size());
    out.resize(n); // the bound always holds the result
    return out;
}

TPackedMember PackBytes(std::string name, std::string_view bytes, TDeflateType type, TDeflater& deflater)
{
    TPackedMember m;
    m.name = std::move(name);
    m.size = bytes.size();
    m.crc = bytes.empty() ? 0 : crc32(bytes.data(), bytes.size());
    const TDeflateSetting s = DeflateSetting(type);
    if (s.level > 0 && !bytes.empty()) {
        std::string packed = deflater.Deflate(bytes, s.level);
        if (bytes.size() > kSmallMember || packed.size() <= bytes.size()) {
            m.method = 8;
            m.flags = s.flags;
            m.data = std::move(packed);
            return m;
        }
    }
    m.data.assign(bytes);
    return m;
}

} // namespace volm
