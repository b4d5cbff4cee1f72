#pragma once
// The program's ordinary byte stream: what a topic's stream, a file or a
// memory buffer is presented as. Every failure raises an exception; a read at
// the end returns fewer bytes than asked for.

#include <cstddef>
#include <cstdint>
#include <string>

namespace volm {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to `count` bytes at the position; returns how many were read.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes `count` bytes at the position, extending the stream as needed.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position; returns the new position from the beginning.
    virtual uint64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual uint64_t Size();
    // Truncates or extends (with zero bytes) the stream.
    virtual void SetSize(uint64_t newSize) = 0;

    uint64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(uint64_t pos) { Seek(static_cast<int64_t>(pos), soBeginning); }

    // Read or write exactly `count` bytes, or raise volm::Error.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);

    // Copies `count` bytes from `source`'s position; a count of 0 copies the
    // whole source from its beginning. Moves through a buffer of at most
    // 61440 bytes. Returns the number of bytes copied.
    uint64_t CopyFrom(TStream& source, uint64_t count);
};

// A stream over a byte string held in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    uint64_t Seek(int64_t offset, TSeekOrigin origin) override;
    uint64_t Size() override { return data_.size(); }
    void SetSize(uint64_t newSize) override;
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    uint64_t pos_ = 0;
};

} // namespace volm
