#include "archive/Zipwriter.h"

#include "common/Errors.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace volm {

namespace {

constexpr size_t kChunk = 131070;        // the archive is written in chunks of this size
constexpr uint64_t kMax32 = 0xFFFFFFFFu;

} // namespace

TZipWriter::TZipWriter(int fd, std::string archive) : fd_(fd), archive_(std::move(archive))
{
    buf_.reserve(kChunk);
}

void TZipWriter::fail(int err)
{
    const bool full = err == ENOSPC || err == EFBIG || err == EDQUOT;
    const int code = full ? zeDiskFull : zeWrite;
    throw EArchiveError(code, archive_ + ": " + zipErrorMessage(code) + " (" + systemMessage(err) + ")");
}

void TZipWriter::tooLarge(const std::string& why)
{
    throw EArchiveError(zeWrite, archive_ + ": " + zipErrorMessage(zeWrite) + " (" + why + ")");
}

void TZipWriter::flush()
{
    if (buf_.empty())
        return;
    if (!WriteAll(fd_, buf_.data(), buf_.size()))
        fail(errno);
    written_ += buf_.size();
    buf_.clear();
}

void TZipWriter::put(const void* data, size_t n)
{
    auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        size_t take = std::min(n, kChunk - buf_.size());
        buf_.insert(buf_.end(), p, p + take);
        p += take;
        n -= take;
        if (buf_.size() == kChunk)
            flush();
    }
}

void TZipWriter::header(const TPackedMember& m, uint64_t dataSize, uint32_t dosDateTime)
{
    if (m.name.empty() || m.name.size() > 0xFFFF)
        tooLarge("the name " + m.name + " cannot be stored");
    if (central_.size() >= 0xFFFF)
        tooLarge("too many files for one archive");
    if (Size() + EntryCost(m.name.size(), dataSize) > kMax32 || m.size > kMax32)
        tooLarge("the archive would exceed 4 GiB");
    zip::TCentralHeader h;
    h.versionMadeBy = 20;
    h.versionNeeded = 20;
    h.flags = m.flags;
    h.method = m.method;
    h.dosDateTime = dosDateTime;
    h.crc = m.crc;
    h.compressedSize = dataSize;
    h.uncompressedSize = m.size;
    h.nameLength = static_cast<uint16_t>(m.name.size());
    h.internalAttr = 1;
    h.externalAttr = m.externalAttr;
    h.localOffset = Size();
    uint8_t local[zip::kLocalSize];
    h.writeLocal(local);
    put(local, sizeof local);
    put(m.name.data(), m.name.size());
    central_.push_back({h, m.name});
}

void TZipWriter::Add(const TPackedMember& m, uint32_t dosDateTime)
{
    header(m, m.data.size(), dosDateTime);
    put(m.data.data(), m.data.size());
}

void TZipWriter::AddFrom(const TPackedMember& m, uint64_t dataSize, int source, uint64_t offset,
                         const std::string& sourceName, uint32_t dosDateTime)
{
    header(m, dataSize, dosDateTime);
    // Straight into the buffer, a chunk at a time.
    while (dataSize > 0) {
        const size_t room = kChunk - buf_.size();
        const size_t take = static_cast<size_t>(std::min<uint64_t>(dataSize, room));
        const size_t at = buf_.size();
        buf_.resize(at + take);
        size_t got = 0;
        while (got < take) {
            const ssize_t n = ::pread(source, buf_.data() + at + got, take - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int err = n < 0 ? errno : EIO;
                buf_.resize(at);
                throw EArchiveError(zeWrite, archive_ + ": " + zipErrorMessage(zeWrite) + " (" + sourceName + ": " +
                                                 systemMessage(err) + ")");
            }
            got += static_cast<size_t>(n);
        }
        offset += take;
        dataSize -= take;
        if (buf_.size() == kChunk)
            flush();
    }
}

void TZipWriter::Finish()
{
    const uint64_t start = Size();
    uint8_t rec[zip::kCentralSize];
    for (const TEntry& e : central_) {
        e.header.write(rec);
        put(rec, sizeof rec);
        put(e.name.data(), e.name.size());
    }
    const uint64_t size = Size() - start;
    if (Size() + kEndCost > kMax32)
        tooLarge("the archive would exceed 4 GiB");
    uint8_t end[zip::kEndSize];
    zip::writeEnd(end, static_cast<uint16_t>(central_.size()), static_cast<uint32_t>(size),
                  static_cast<uint32_t>(start));
    put(end, sizeof end);
    flush();
}

} // namespace volm
