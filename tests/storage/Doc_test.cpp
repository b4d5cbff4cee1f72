#include "storage/Doc.h"

#include "common/Errors.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace volm;

namespace {

uint32_t u32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

// A memory stream that runs out of space: writes and size changes that would
// take the stream past `limit` bytes fail (what fits is written first, as a
// file system does), and one chosen write or size change fails outright (a
// passing I/O error).
class TFailingStream : public TStream {
public:
    explicit TFailingStream(std::string bytes = {}) : mem_(std::move(bytes)) {}
    uint64_t limit = UINT64_MAX;
    // The k-th write or size change from now on fails.
    void failIn(int k) { failAt_ = ops_ + k; }

    size_t Read(void* b, size_t n) override { return mem_.Read(b, n); }
    size_t Write(const void* b, size_t n) override
    {
        step();
        uint64_t pos = mem_.Position();
        if (pos + n > limit) {
            size_t fits = pos < limit ? static_cast<size_t>(limit - pos) : 0;
            mem_.Write(b, fits);
            throw Error("There is not enough space on the disk");
        }
        return mem_.Write(b, n);
    }
    uint64_t Seek(int64_t o, TSeekOrigin w) override { return mem_.Seek(o, w); }
    void SetSize(uint64_t n) override
    {
        step();
        if (n > limit)
            throw Error("There is not enough space on the disk");
        mem_.SetSize(n);
    }
    const std::string& Data() const { return mem_.Data(); }

private:
    void step()
    {
        if (ops_++ == failAt_)
            throw Error("I/O error");
    }
    int ops_ = 0;
    int failAt_ = -1;
    TMemoryStream mem_;
};

struct Item {
    TFailingStream* s;
    std::unique_ptr<TJSDataItem> item;
    explicit Item(std::string bytes = {})
    {
        auto st = std::make_unique<TFailingStream>(std::move(bytes));
        s = st.get();
        item = std::make_unique<TJSDataItem>(std::move(st));
    }
    const std::string& data() const { return s->Data(); }
};

std::string header(uint32_t version, const std::string& name, uint32_t off, uint32_t len, uint32_t tail)
{
    std::string h(68, '\0');
    std::memcpy(h.data(), &version, 4);
    std::memcpy(h.data() + 4, name.data(), std::min<size_t>(name.size(), 50));
    std::memcpy(h.data() + 56, &off, 4);
    std::memcpy(h.data() + 60, &len, 4);
    std::memcpy(h.data() + 64, &tail, 4);
    return h;
}

} // namespace

// A new topic is 872 bytes, version 1, written whole with its name in one
// step (NewTopicContent) or with the first change of an empty stream; taking
// a stream writes nothing.
TEST(Doc, NewTopicIs872BytesWithVersion1)
{
    EXPECT_EQ(TJSDataItem::NewTopicContent(""), header(1, "", 68, 0, 68) + std::string(804, '\0'));
    EXPECT_EQ(TJSDataItem::NewTopicContent(std::string(60, 'n')),
              header(1, std::string(50, 'n'), 68, 0, 68) + std::string(804, '\0'));

    Item t;
    EXPECT_EQ(t.data(), "");
    EXPECT_EQ(t.item->GetName(), "");
    EXPECT_EQ(t.item->GetText(), "");
    EXPECT_EQ(t.item->GetTextLength(), 0u);
    t.item->SetName("");
    EXPECT_EQ(t.data(), TJSDataItem::NewTopicContent(""));

    Item shortOne("abc"); // too short to be a topic: a new one, left as it is until changed
    EXPECT_EQ(shortOne.data(), "abc");
    EXPECT_EQ(shortOne.item->GetName(), "");
    shortOne.item->SetText("t");
    EXPECT_EQ(shortOne.data().size(), 872u + 2);
    EXPECT_EQ(shortOne.item->GetText(), "t");
}

TEST(Doc, VersionCheck)
{
    std::string v2 = header(2, "later", 68, 0, 68) + std::string(804, '\0');
    EXPECT_THROW(
        {
            try {
                Item t(v2);
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Not supported version!");
                throw;
            }
        },
        Error);
    Item v0(header(0, "old", 68, 0, 68)); // version 0 is read, nothing is written
    EXPECT_EQ(v0.data().size(), 68u);
    EXPECT_EQ(v0.item->GetName(), "old");
}

TEST(Doc, NamesAreCutTo50Bytes)
{
    Item t;
    t.item->SetName(std::string(60, 'x'));
    EXPECT_EQ(t.item->GetName(), std::string(50, 'x'));
    EXPECT_EQ(t.data()[54], '\0');
    t.item->SetName("short");
    EXPECT_EQ(t.item->GetName(), "short");
    // The rest of the field keeps its earlier bytes.
    EXPECT_EQ(t.data().substr(4, 12), std::string("short\0", 6) + std::string(6, 'x'));
    t.item->SetName("");
    EXPECT_EQ(t.item->GetName(), "");
    EXPECT_EQ(t.data().size(), 872u);
}

TEST(Doc, SetTextKeepsTheReservedBlockAndShrinksWithTheText)
{
    std::string reserved(804, '\0');
    for (size_t i = 0; i < reserved.size(); ++i)
        reserved[i] = static_cast<char>(i * 7 + 1);
    Item t(header(1, "n", 68, 0, 68) + reserved);
    t.item->SetText("abc");
    EXPECT_EQ(u32(t.data(), 56), 68u);
    EXPECT_EQ(u32(t.data(), 60), 4u);
    EXPECT_EQ(u32(t.data(), 64), 72u);
    ASSERT_EQ(t.data().size(), 876u);
    EXPECT_EQ(t.data().substr(68, 4), std::string("abc\0", 4));
    EXPECT_EQ(t.data().substr(72), reserved);
    EXPECT_EQ(t.item->GetText(), "abc");
    EXPECT_EQ(t.item->GetName(), "n");

    t.item->SetText(std::string(5000, 'q'));
    EXPECT_EQ(t.data().size(), 68u + 5001 + 804);
    t.item->SetText(std::string(10, 'w'));
    EXPECT_EQ(t.data().size(), 883u);
    EXPECT_EQ(t.data().substr(79), reserved);
    EXPECT_EQ(t.item->GetText(), std::string(10, 'w'));
    EXPECT_EQ(t.item->GetTextLength(), 10u);

    t.item->SetText("");
    EXPECT_EQ(u32(t.data(), 60), 1u);
    EXPECT_EQ(t.data().size(), 68u + 1 + 804);
    EXPECT_EQ(t.item->GetText(), "");
}

TEST(Doc, ReservedBlockOfAnyLengthIsCarried)
{
    for (size_t len : {size_t(0), size_t(3), size_t(5000)}) {
        std::string tail(len, 'T');
        Item t(header(1, "n", 68, 6, 74) + std::string("hello\0", 6) + tail);
        EXPECT_EQ(t.item->GetText(), "hello");
        t.item->SetText("a longer text than before");
        EXPECT_EQ(t.data().size(), 68u + 26 + len);
        EXPECT_EQ(t.data().substr(68 + 26), tail);
        EXPECT_EQ(t.item->GetText(), "a longer text than before");
    }
}

TEST(Doc, DamagedStreamsDoNotThrowWhereTheyShouldNot)
{
    // Text length past the end of the stream: no text, no error; a text with
    // an embedded zero ends there.
    Item past(header(1, "n", 68, 100000, 100068) + std::string(10, 'a'));
    EXPECT_EQ(past.item->GetText(), "");
    Item zero(header(1, "n", 68, 6, 74) + std::string("ab\0cd\0", 6));
    EXPECT_EQ(zero.item->GetText(), "ab");
    // A text stored elsewhere than right after the header is found.
    Item moved(header(1, "n", 100, 3, 103) + std::string(32, '.') + std::string("hi\0", 3));
    EXPECT_EQ(moved.item->GetText(), "hi");
    moved.item->SetText("x");
    EXPECT_EQ(u32(moved.data(), 56), 68u);
    EXPECT_EQ(moved.item->GetText(), "x");

    // A stream cut below the header: the name reads "Error loading", the text raises.
    Item cut;
    cut.item->SetName("n");
    cut.s->SetSize(20);
    EXPECT_EQ(cut.item->GetName(), "Error loading");
    EXPECT_THROW(cut.item->GetText(), Error);
    EXPECT_THROW(cut.item->SetName("x"), Error);
    EXPECT_THROW(cut.item->SetText("x"), Error);
}

// Running out of space at every possible point of a commit: the failure is
// raised, the old text (and name, and reserved block) stay readable.
TEST(Doc, FullDiskNeverLosesTheOldText)
{
    const std::string oldText(300, 'o');
    for (const std::string& newText : {std::string(10, 'n'), std::string(3000, 'N')}) {
        Item ref;
        ref.item->SetName("topic");
        ref.item->SetText(oldText);
        const std::string before = ref.data();
        for (uint64_t limit = before.size(); limit < before.size() + 2 * (newText.size() + 900); limit += 97) {
            Item t(before);
            t.s->limit = limit;
            try {
                t.item->SetText(newText);
                EXPECT_EQ(t.item->GetText(), newText);
                EXPECT_EQ(t.data().size(), 68 + newText.size() + 1 + 804);
            } catch (const Error& e) {
                EXPECT_EQ(t.item->GetText(), oldText) << limit << ": " << e.what();
                EXPECT_EQ(t.data(), before) << limit; // everything put back
            }
            EXPECT_EQ(t.item->GetName(), "topic");
        }
    }
}

// An I/O error at the k-th write: the text read back is the old or the new one
// (never a mix, never nothing), and the error says which.
TEST(Doc, FailedWriteLeavesOldOrNewTextAndSaysWhich)
{
    const std::string oldText = "old text";
    const std::string newText(2000, 'n');
    bool sawOld = false, sawNew = false;
    for (int k = 0; k < 10; ++k) {
        Item t;
        t.item->SetName("topic");
        t.item->SetText(oldText);
        t.s->failIn(k);
        try {
            t.item->SetText(newText);
            EXPECT_EQ(t.item->GetText(), newText);
            continue;
        } catch (const Error& e) {
            std::string text = t.item->GetText();
            if (std::string(e.what()).find("old text is kept") != std::string::npos) {
                EXPECT_EQ(text, oldText) << k;
                sawOld = true;
            } else {
                EXPECT_EQ(text, newText) << k << ": " << e.what();
                sawNew = true;
            }
            // The reserved block is intact either way.
            uint32_t tail = u32(t.data(), 64);
            EXPECT_EQ(t.data().substr(tail, 804), std::string(804, '\0')) << k;
        }
        EXPECT_EQ(t.item->GetName(), "topic");
        // And the next commit works normally.
        t.item->SetText("after");
        EXPECT_EQ(t.item->GetText(), "after");
        EXPECT_EQ(t.data().size(), 68u + 6 + 804);
    }
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);

    Item n;
    n.item->SetName("kept");
    n.s->failIn(0);
    EXPECT_THROW(n.item->SetName("other"), Error);
    EXPECT_EQ(n.item->GetName(), "kept");
}
