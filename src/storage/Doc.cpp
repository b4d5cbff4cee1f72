#include "storage/Doc.h"

#include "common/Errors.h"
#include "storage/Componounddoc.h"

#include <algorithm>
#include <cstring>

namespace volm {
namespace {

uint32_t getU32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putU32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::string topicLabel(const std::string& key)
{
    return key.empty() ? std::string("the topic") : "topic " + key;
}

} // namespace

void TItemHeader::decode(const unsigned char* b)
{
    Version = getU32(b);
    std::memcpy(Name, b + 4, sizeof Name);
    TextOffset = getU32(b + 56);
    TextLength = getU32(b + 60);
    TailOffset = getU32(b + 64);
}

void TItemHeader::encode(unsigned char* b) const
{
    putU32(b, Version);
    std::memcpy(b + 4, Name, sizeof Name);
    putU32(b + 56, TextOffset);
    putU32(b + 60, TextLength);
    putU32(b + 64, TailOffset);
}

TJSDataItem::TJSDataItem(std::unique_ptr<TDocStream> holder)
    : holder_(std::move(holder))
{
    stream_ = holder_ ? holder_->Stream() : nullptr;
    if (!stream_)
        throw Error("The topic's stream is not open");
    init();
}

TJSDataItem::TJSDataItem(std::unique_ptr<TStream> stream)
    : ownStream_(std::move(stream)), stream_(ownStream_.get())
{
    if (!stream_)
        throw Error("The topic's stream is not open");
    init();
}

TJSDataItem::~TJSDataItem() = default; // the holder commits and closes the stream

void TJSDataItem::init()
{
    if (stream_->Size() >= kItemHeaderSize) {
        if (readHeader().Version > 1)
            throw Error("Not supported version!");
        return;
    }
    // A new (or too short to be a topic) stream is a new, nameless topic.
    // Its content is written with the first change: taking a topic writes
    // nothing (opening a project never changes its file).
    unwritten_ = true;
}

void TJSDataItem::writeNewTopic()
{
    if (!unwritten_)
        return;
    const std::string content = NewTopicContent({});
    stream_->SetSize(0);
    stream_->SetPosition(0);
    stream_->WriteBuffer(content.data(), content.size());
    unwritten_ = false;
}

std::string TJSDataItem::NewTopicContent(const std::string& name)
{
    TItemHeader h;
    std::memcpy(h.Name, name.data(), std::min(name.size(), kItemNameSize));
    std::string content(kItemNewSize, '\0');
    h.encode(reinterpret_cast<unsigned char*>(content.data()));
    return content;
}

std::string TJSDataItem::TopicContent(const std::string& name, const std::string& text)
{
    auto stream = std::make_unique<TMemoryStream>(NewTopicContent(name));
    TMemoryStream& bytes = *stream;
    TJSDataItem item(std::move(stream));
    item.SetText(text);
    return bytes.Data();
}

TItemHeader TJSDataItem::readHeader() const
{
    if (unwritten_)
        return TItemHeader();
    unsigned char bytes[kItemHeaderSize];
    stream_->SetPosition(0);
    stream_->ReadBuffer(bytes, sizeof bytes);
    TItemHeader h;
    h.decode(bytes);
    return h;
}

std::string TJSDataItem::GetName() const
{
    try {
        TItemHeader h = readHeader();
        return std::string(h.Name, strnlen(h.Name, kItemNameSize));
    } catch (...) {
        return "Error loading";
    }
}

void TJSDataItem::SetName(const std::string& name)
{
    writeNewTopic();
    TItemHeader h = readHeader();
    char field[kItemNameSize + 1];
    std::memcpy(field, h.Name, kItemNameSize + 1);
    // The name with its terminating zero when it fits; the rest of the field
    // keeps its earlier bytes, and byte 54 always ends the name.
    std::memcpy(field, name.c_str(), std::min(name.size() + 1, kItemNameSize));
    field[kItemNameSize] = 0;
    try {
        stream_->SetPosition(4);
        stream_->WriteBuffer(field, sizeof field);
    } catch (const std::exception& e) {
        try { // put the old name back where the write got partly through
            stream_->SetPosition(4);
            stream_->WriteBuffer(h.Name, kItemNameSize + 1);
        } catch (...) {
        }
        throw Error("Can't store the name of " + topicLabel(Key) + ": " + e.what());
    }
}

uint32_t TJSDataItem::GetTextLength() const
{
    TItemHeader h = readHeader();
    return h.TextLength == 0 ? 0 : h.TextLength - 1;
}

std::string TJSDataItem::GetText() const
{
    TItemHeader h = readHeader();
    if (h.TextLength == 0)
        return {};
    try {
        if (uint64_t(h.TextOffset) + h.TextLength > stream_->Size())
            return {}; // a length that lies past the stream: nothing readable
        std::string text(h.TextLength, '\0');
        stream_->SetPosition(h.TextOffset);
        stream_->ReadBuffer(text.data(), text.size());
        text.resize(strnlen(text.data(), text.size()));
        return text;
    } catch (...) {
        return {};
    }
}

// The stream is written in direct mode: every write lands in the file at
// once. So the new text never overwrites the old one while the header still
// points at it:
//   1. the new text and the reserved block go to fresh space after the
//      stream's end (past where the compact layout will end);
//   2. the header is switched to that copy: from here the new text is stored;
//   3. the copy is written again at offset 68 (the old text's place, no
//      longer referenced), the header switched back to the compact layout,
//      and the stream cut to 68 + text + reserved block.
// A failure in 1 or 2 leaves the old text; a failure in 3 leaves the new one
// (at the copy, if the stream could not be tidied up).
// Steps 2 and 3 only overwrite bytes that already exist (nothing to allocate).
void TJSDataItem::SetText(const std::string& text)
{
    writeNewTopic();
    const TItemHeader old = readHeader();
    const uint64_t size = stream_->Size();
    const uint64_t tailStart = std::max<uint64_t>(old.TailOffset, kItemHeaderSize);

    std::string body;
    const uint64_t tailSize = tailStart < size ? size - tailStart : 0;
    const uint64_t compactSize = kItemHeaderSize + text.size() + 1 + tailSize;
    const uint64_t copyAt = std::max(size, compactSize);
    if (copyAt + text.size() + 1 + tailSize > UINT32_MAX)
        throw Error("Can't store the text of " + topicLabel(Key) + ": the text is too long");
    body.reserve(text.size() + 1 + tailSize);
    body.append(text);
    body.push_back('\0');
    body.resize(body.size() + tailSize);
    if (tailSize) {
        stream_->SetPosition(tailStart);
        stream_->ReadBuffer(body.data() + text.size() + 1, tailSize);
    }

    TItemHeader h = old;
    h.TextLength = static_cast<uint32_t>(text.size() + 1);
    auto writeHeader = [&](uint32_t textOffset) {
        unsigned char bytes[kItemHeaderSize];
        h.TextOffset = textOffset;
        h.TailOffset = textOffset + h.TextLength;
        h.encode(bytes);
        stream_->SetPosition(0);
        stream_->WriteBuffer(bytes, sizeof bytes);
    };

    // 1 and 2: the old text stays referenced until the switch.
    try {
        stream_->SetPosition(copyAt);
        stream_->WriteBuffer(body.data(), body.size());
        writeHeader(static_cast<uint32_t>(copyAt));
    } catch (const std::exception& e) {
        try {
            unsigned char bytes[kItemHeaderSize];
            old.encode(bytes);
            stream_->SetPosition(0);
            stream_->WriteBuffer(bytes, sizeof bytes);
            stream_->SetSize(size);
        } catch (...) {
        }
        throw Error("Can't store the text of " + topicLabel(Key) + " (the old text is kept): " +
                    e.what());
    }

    // 3: compact again.
    try {
        stream_->SetPosition(kItemHeaderSize);
        stream_->WriteBuffer(body.data(), body.size());
        writeHeader(kItemHeaderSize);
        stream_->SetSize(compactSize);
    } catch (const std::exception& e) {
        // Point the header at the copy again, which is still whole: the
        // reserved block then stays exactly what it was.
        try {
            writeHeader(static_cast<uint32_t>(copyAt));
        } catch (...) {
        }
        throw Error("The new text of " + topicLabel(Key) +
                    " is stored, but its stream could not be tidied up: " + e.what());
    }
}

} // namespace volm
