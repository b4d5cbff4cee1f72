#pragma once
// Raw deflate for archive members, made with libdeflate one whole member at a
// time, and the store-or-deflate rule of the jar writer: the settings a jar's
// members are packed with (TJarSettings), which both the book's jars and the
// folder packer (TJar) follow.
//
// The deflate types keep their names and flag bits; their levels are mapped
// onto libdeflate's: dtDeflateF -> 1 (flag bits 0x0004), dtDeflateN -> 6 (none),
// dtDeflateX -> 12, the strongest (0x0002); dtDeflateS stores. libdeflate writes
// plain deflate (RFC 1951), which every inflater reads, phones' included.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace volm {

enum TDeflateType { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };
enum TCompressMethod { cmStore, cmDeflate };

// The extensions of files that are stored, not deflated (archives, packed
// already), in the jar writer's order: ".ACE", ".ARC", ... ".ZOO".
const std::vector<std::string>& DefaultStoredExtensions();

// The extension of a file or member name, "." included: the text from the
// last "." of its last name component ("/" or "\" separated) on; "" when
// there is none.
std::string FileExtension(std::string_view name);

// How a member named `name` is packed: stored (dtDeflateS) with cmStore or
// when its extension is one of `storedExtensions` (letter case aside), else
// with `type`.
TDeflateType MemberDeflateType(std::string_view name, TCompressMethod method, TDeflateType type,
                               const std::vector<std::string>& storedExtensions);

// The settings the members of a book's jar are packed with: the jar writer's
// settings that packing reads, at the values of a book (the strongest
// deflate, archives stored, names in the OEM code page).
struct TJarSettings {
    TCompressMethod CompressMethod = cmDeflate;
    TDeflateType DeflateType = dtDeflateX;
    std::vector<std::string> StoreFilesOfType = DefaultStoredExtensions();
    bool TranslateOemChar = true;
    // libdeflate's level for the deflated members (1 to 12); 0 for the
    // deflate type's. The flag bits stay the type's.
    int Level = 0;

    TDeflateType MemberDeflateType(std::string_view name) const
    {
        return volm::MemberDeflateType(name, CompressMethod, DeflateType, StoreFilesOfType);
    }
    // The name a member is stored under: in the OEM code page when
    // TranslateOemChar is on.
    std::string StoredName(const std::string& name) const;
};

struct TDeflateSetting {
    int level = 0;        // libdeflate's level; 0 stores
    uint16_t flags = 0;   // general purpose flag bits of a deflated entry
};
TDeflateSetting DeflateSetting(TDeflateType type);

// One compressor, kept for its level between calls. Not shared between
// threads: each thread has its own.
class TDeflater {
public:
    TDeflater() = default;
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // The raw deflate form of `data` at `level` (1 to 12). Raises
    // std::bad_alloc when no compressor can be made.
    std::string Deflate(std::string_view data, int level);

private:
    libdeflate_compressor* compressor_ = nullptr;
    int level_ = 0;
};

// A member as it goes into an archive: every field of its headers but the
// date and the offset, and the bytes that follow its local header.
struct TPackedMember {
    std::string name;            // the stored name
    uint16_t method = 0;         // 0 stored, 8 deflated
    uint16_t flags = 0;
    uint32_t crc = 0;            // 0 for an empty member
    uint64_t size = 0;           // uncompressed
    std::string data;            // stored or deflated bytes
    uint32_t externalAttr = 0x20;
};

// Up to this many bytes a member is stored when its deflated form would be
// longer; a larger one is always deflated.
inline constexpr uint64_t kSmallMember = 256;

// Packs `bytes` under `name`: stored when `type` is dtDeflateS or the content
// is empty, otherwise deflated at the type's level with its flag bits, except
// that a member of up to kSmallMember bytes whose deflated form is longer is
// stored (method 0, no flag bits).
// With `level` (1 to 12) a deflated member is packed at that level instead.
TPackedMember PackBytes(std::string name, std::string_view bytes, TDeflateType type, TDeflater& deflater,
                        int level = 0);

} // namespace volm
