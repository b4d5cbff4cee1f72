#pragma once
// Writes packed members (TPackedMember) as a ZIP archive to an open file: for
// each member its local header, its name and its data, with every field final
// at once (no data descriptor, nothing written twice); then the central
// directory in the same order and the end record. The headers are those of
// the jar writer: version 20 needed and made by, internal attributes 1, no
// extra field, no comment.
//
// EntryCost() and kEndCost give the size an archive will have before it is
// written, byte for byte.

#include "archive/Deflate.h"
#include "archive/Zipcommon.h"

#include <cstdint>
#include <string>
#include <vector>

namespace volm {

class TZipWriter {
public:
    // Writes to `fd` from its current position on; `archive` names the
    // archive in messages.
    TZipWriter(int fd, std::string archive);

    // Appends a member dated `dosDateTime`. Raises EArchiveError (25136 or,
    // for a full disk, 25160) naming the archive and the system's cause when
    // the file can't be written, and when the archive would reach 4 GiB or
    // 65,535 members.
    void Add(const TPackedMember& member, uint32_t dosDateTime);
    // Appends a member whose `dataSize` packed bytes lie in the open file
    // `source` from `offset` on (the member's own data is not looked at):
    // they are copied through a buffer of fixed size. A short or failed
    // read of the source raises EArchiveError 25136 naming `sourceName`.
    void AddFrom(const TPackedMember& member, uint64_t dataSize, int source, uint64_t offset,
                 const std::string& sourceName, uint32_t dosDateTime);
    // Writes the central directory and the end record and flushes what is
    // buffered. Raises EArchiveError as Add does.
    void Finish();

    uint64_t Size() const { return written_ + buf_.size(); }
    size_t Count() const { return central_.size(); }

    // The bytes a member adds to an archive: local header, central header,
    // its name twice and its data.
    static uint64_t EntryCost(size_t nameLength, uint64_t dataSize)
    {
        return zip::kLocalSize + zip::kCentralSize + 2 * static_cast<uint64_t>(nameLength) + dataSize;
    }
    static uint64_t EntryCost(const TPackedMember& m) { return EntryCost(m.name.size(), m.data.size()); }
    static constexpr uint64_t kEndCost = zip::kEndSize;

private:
    void header(const TPackedMember& member, uint64_t dataSize, uint32_t dosDateTime);
    void put(const void* data, size_t n);
    void flush();
    [[noreturn]] void fail(int err);
    [[noreturn]] void tooLarge(const std::string& why);

    int fd_;
    std::string archive_;
    std::vector<uint8_t> buf_;
    uint64_t written_ = 0;
    struct TEntry {
        zip::TCentralHeader header;
        std::string name;
    };
    std::vector<TEntry> central_;
};

} // namespace volm
