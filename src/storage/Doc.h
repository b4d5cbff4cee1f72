#pragma once
// One topic of an open project: TJSDataItem owns the topic's open stream and
// reads and writes the topic stream's layout.
//
// Topic stream (little-endian):
//   0   4   Version     1 when written; 0 and 1 are read
//   4   50  Name        8-bit, zero-terminated when shorter than 50
//   54  1   0           ends a name of exactly 50 characters
//   55  1   0           padding
//   56  4   TextOffset  where the text starts (68 when compact)
//   60  4   TextLength  text bytes including the closing zero; 0 = never stored
//   64  4   TailOffset  TextOffset + TextLength
// then the text and its zero byte, then the reserved block: everything from
// TailOffset to the end of the stream, carried along unchanged. A new topic
// is the header followed by 804 zero bytes (872 bytes).

#include "common/Stream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace volm {

class TDocStream;

inline constexpr uint32_t kItemHeaderSize = 68;
inline constexpr uint32_t kItemReservedSize = 804;
inline constexpr uint32_t kItemNewSize = kItemHeaderSize + kItemReservedSize; // 872
inline constexpr size_t kItemNameSize = 50;

struct TItemHeader {
    uint32_t Version = 1;
    char Name[kItemNameSize + 2] = {}; // the name, its terminator and the padding byte
    uint32_t TextOffset = kItemHeaderSize;
    uint32_t TextLength = 0;
    uint32_t TailOffset = kItemHeaderSize;

    void decode(const unsigned char* bytes);
    void encode(unsigned char* bytes) const;
};

class TJSDataItem {
public:
    // Takes ownership of an attached stream holder and checks its stream:
    // a stream of 68 bytes or more must carry version 0 or 1 ("Not supported
    // version!" otherwise); a shorter one is a new topic (no name, no text),
    // whose 872 bytes are written with its first SetName or SetText. The
    // constructor writes nothing. Stream errors propagate.
    explicit TJSDataItem(std::unique_ptr<TDocStream> holder);
    // The same over a stream of any kind that the item owns (memory streams).
    explicit TJSDataItem(std::unique_ptr<TStream> stream);
    ~TJSDataItem(); // closes (commits) the stream
    TJSDataItem(const TJSDataItem&) = delete;
    TJSDataItem& operator=(const TJSDataItem&) = delete;

    // The stored name; "Error loading" when the header can't be read. Never raises.
    std::string GetName() const;
    // Stores the first 50 bytes of the name. Raises when the header can't be
    // read or written; the old name then stays.
    void SetName(const std::string& name);

    // The stored text up to its first zero byte ("" when none was ever stored
    // or when the stored text can't be read). Raises only when the header
    // can't be read.
    std::string GetText() const;
    // The stored text's length from the header alone (no text is read).
    uint32_t GetTextLength() const;
    // Replaces the text, keeping the reserved block. Raises on failure; the
    // stream then still holds the old text, or the new one when the failure
    // came after it was completely stored (the message says which).
    void SetText(const std::string& text);

    TStream& Stream() const { return *stream_; }

    // The 872 bytes of a new topic stream named `name` (its first 50 bytes),
    // as a new stream holds them after the constructor and SetName: for
    // writing a topic in one step.
    static std::string NewTopicContent(const std::string& name);
    // The bytes of a topic stream named `name` holding `text`, as a new
    // stream holds them after SetName and SetText.
    static std::string TopicContent(const std::string& name, const std::string& text);

    std::string Key; // storage name: the topic stream's element name

private:
    TItemHeader readHeader() const;
    void init();
    void writeNewTopic(); // the new topic's content, when it is not written yet

    std::unique_ptr<TDocStream> holder_;
    std::unique_ptr<TStream> ownStream_;
    TStream* stream_ = nullptr;
    bool unwritten_ = false; // a new topic whose content is not in its stream yet
};

} // namespace volm
