#include "archive/Deflate.h"

#include "common/Codepage.h"
#include "common/Crc32.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>

namespace volm {

const std::vector<std::string>& DefaultStoredExtensions()
{
    static const std::vector<std::string> extensions{
        ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
        ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
    return extensions;
}

std::string FileExtension(std::string_view name)
{
    const size_t slash = name.find_last_of("/\\");
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const size_t dot = last.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(last.substr(dot));
}

TDeflateType MemberDeflateType(std::string_view name, TCompressMethod method, TDeflateType type,
                               const std::vector<std::string>& storedExtensions)
{
    if (method == cmStore)
        return dtDeflateS;
    const std::string ext = FileExtension(name);
    if (!ext.empty())
        for (const std::string& s : storedExtensions)
            if (sameText(s, ext))
                return dtDeflateS;
    return type;
}

std::string TJarSettings::StoredName(const std::string& name) const
{
    return TranslateOemChar ? ansiToOem(name) : name;
}

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

TPackedMember PackBytes(std::string name, std::string_view bytes, TDeflateType type, TDeflater& deflater, int level)
{
    TPackedMember m;
    m.name = std::move(name);
    m.size = bytes.size();
    m.crc = bytes.empty() ? 0 : crc32(bytes.data(), bytes.size());
    TDeflateSetting s = DeflateSetting(type);
    if (s.level > 0 && level > 0)
        s.level = std::min(level, 12);
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
