#include "common/Stream.h"

#include "common/Errors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace volm {

uint64_t TStream::Size()
{
    uint64_t pos = Position();
    uint64_t size = Seek(0, soEnd);
    SetPosition(pos);
    return size;
}

void TStream::ReadBuffer(void* buffer, size_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw Error("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw Error("Stream write error");
}

uint64_t TStream::CopyFrom(TStream& source, uint64_t count)
{
    constexpr size_t kMaxBuffer = 61440;
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(count, kMaxBuffer)));
    uint64_t left = count;
    while (left > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

size_t TMemoryStream::Read(void* buffer, size_t count)
{
    if (pos_ >= data_.size())
        return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, data_.size() - pos_));
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count)
{
    if (pos_ + count > data_.size())
        data_.resize(static_cast<size_t>(pos_ + count));
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

uint64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? static_cast<int64_t>(pos_) : static_cast<int64_t>(data_.size());
    if (base + offset < 0)
        throw Error("Stream seek error");
    pos_ = static_cast<uint64_t>(base + offset);
    return pos_;
}

void TMemoryStream::SetSize(uint64_t newSize)
{
    data_.resize(static_cast<size_t>(newSize));
    pos_ = std::min<uint64_t>(pos_, newSize);
}

} // namespace volm
