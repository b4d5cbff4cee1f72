#include "book/Datafiles.h"
#include "common/Errors.h"
#include "common/Fileio.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

using namespace volm;
using namespace volm::test;

namespace {

std::string Folder(const TempDir& dir) { return dir.path().string() + "/"; }

// Checks that each topic is read once, in book order, name before text.
class TOrderedTopics : public ITopicSequence {
public:
    explicit TOrderedTopics(size_t n) : n_(n) {}
    size_t Count() const override { return n_; }
    std::string Name(size_t i) override
    {
        EXPECT_EQ(i, next_);
        std::string name = "T";
        name += std::to_string(i);
        return name;
    }
    std::string Text(size_t i) override
    {
        EXPECT_EQ(i, next_++);
        return std::string(1000, 'a' + static_cast<char>(i % 26)) + "\r\n";
    }

private:
    size_t n_, next_ = 0;
};

} // namespace

TEST(Datafiles, ThreeTopicsByteForByte)
{
    TempDir dir;
    TTopicList topics({{"One", "ab\r\ncd\r\n"}, {"Two", "a\rb"}, {"Three", "\r\r\r"}});
    WriteDataFiles(Folder(dir), "Tales", topics);
    EXPECT_EQ(readFile(dir / "topics.txt"), "One\r\nTwo\r\nThree\r\n");
    EXPECT_EQ(readFile(dir / "topics.txt").size(), 17u);
    EXPECT_EQ(readFile(dir / "files.txt"), "/texts/itm1\r\n/texts/itm2\r\n/texts/itm3\r\n");
    EXPECT_EQ(readFile(dir / "files.txt").size(), 39u);
    EXPECT_EQ(readFile(dir / "texts/itm1"), "ab\ncd\n");
    EXPECT_EQ(readFile(dir / "texts/itm2"), "ab");
    EXPECT_EQ(readFile(dir / "texts/itm3"), "");
    EXPECT_EQ(readFile(dir / "appname.txt"), "Tales\r\n");
    EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"appname.txt", "files.txt", "texts", "topics.txt"}));
}

// With a layout, layout.txt names it and lists the size of each text as the
// jar holds it (CR bytes removed); without one there is no layout.txt.
TEST(Datafiles, LayoutFileHoldsTheLayoutAndTheTextSizes)
{
    TempDir words;
    TTopicList topics({{"One", "ab\r\ncd\r\n"}, {"Two", "a\rb"}, {"Three", "\r\r\r"}});
    WriteDataFiles(Folder(words), "Tales", topics, {}, TReaderLayout::Words);
    EXPECT_EQ(readFile(words / "layout.txt"), "words\r\n6\r\n2\r\n0\r\n");
    EXPECT_EQ(fileNames(words.path()),
              (std::vector<std::string>{"appname.txt", "files.txt", "layout.txt", "texts", "topics.txt"}));

    TempDir grid;
    TTopicList none;
    WriteDataFiles(Folder(grid), "Tales", none, {}, TReaderLayout::Grid);
    EXPECT_EQ(readFile(grid / "layout.txt"), "grid\r\n");
}

TEST(Datafiles, NoTopicsAndOneTopic)
{
    TempDir dir;
    TTopicList none;
    WriteDataFiles(dir.path().string(), "Tales", none); // no trailing "/": one is added
    EXPECT_EQ(readFile(dir / "topics.txt"), "");
    EXPECT_EQ(readFile(dir / "files.txt"), "");
    EXPECT_TRUE(fs::is_directory(dir / "texts"));
    EXPECT_TRUE(fs::is_empty(dir / "texts"));
    EXPECT_EQ(readFile(dir / "appname.txt"), "Tales\r\n");

    // A second run over the same folder replaces the files; the folder "texts" is kept.
    TTopicList one({{"\xCF\xF0\xE8\xE2\xE5\xF2", "\x80\xFF\t\n\x98"}});
    WriteDataFiles(Folder(dir), "Tales", one);
    EXPECT_EQ(readFile(dir / "topics.txt"), "\xCF\xF0\xE8\xE2\xE5\xF2\r\n");
    EXPECT_EQ(readFile(dir / "files.txt"), "/texts/itm1\r\n");
    EXPECT_EQ(readFile(dir / "texts/itm1"), "\x80\xFF\t\n\x98");
}

TEST(Datafiles, TwelveTopicsAreListedInTopicOrder)
{
    TempDir dir;
    TTopicList topics;
    for (int i = 1; i <= 12; ++i)
        topics.Add("Topic " + std::to_string(i), i == 5 ? "" : "text " + std::to_string(i));
    WriteDataFiles(Folder(dir), "Book", topics);
    std::string want;
    for (int i = 1; i <= 12; ++i)
        want += "/texts/itm" + std::to_string(i) + "\r\n";
    EXPECT_EQ(readFile(dir / "files.txt"), want);
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(readFile(dir / ("texts/itm" + std::to_string(i))), i == 5 ? "" : "text " + std::to_string(i));
    EXPECT_EQ(fileNames(dir / "texts").size(), 12u);
}

TEST(Datafiles, EveryTitleStaysPairedWithItsText)
{
    // An empty name, a name of line breaks and a name holding one: the reader
    // counts only non-empty lines, so each must still give exactly one entry.
    TempDir dir;
    TTopicList topics({{"A", "1"}, {"", "2"}, {"\r\n", "3"}, {"x\ny", "4"}, {"  ", "5"}});
    WriteDataFiles(Folder(dir), "B", topics);
    EXPECT_EQ(readFile(dir / "topics.txt"), "A\r\n \r\n  \r\nx y\r\n  \r\n");
    EXPECT_EQ(TitleLine(""), " ");
    EXPECT_EQ(TitleLine("a\rb"), "a b");
}

TEST(Datafiles, TopicsAreReadOneAtATimeInOrder)
{
    TempDir dir;
    TOrderedTopics topics(30);
    size_t calls = 0;
    WriteDataFiles(Folder(dir), "B", topics, [&](size_t done, size_t total) {
        EXPECT_EQ(done, ++calls);
        EXPECT_EQ(total, 30u);
    });
    EXPECT_EQ(calls, 30u);
    EXPECT_EQ(readFile(dir / "texts/itm30"), std::string(1000, 'a' + 29 % 26) + "\n");
}

TEST(Datafiles, FailuresNameTheFileAndTheCause)
{
    TempDir dir;
    TTopicList topics({{"A", "text"}});
    auto message = [&](const std::string& folder) {
        try {
            WriteDataFiles(folder, "B", topics);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    // A book folder that does not exist.
    std::string missing = Folder(dir) + "missing/";
    EXPECT_EQ(message(missing), "Can't create file " + missing + "files.txt: No such file or directory");

    // "texts" taken by a plain file.
    fs::create_directory(dir / "book");
    writeFile(dir / "book/texts", "x");
    EXPECT_EQ(message(Folder(dir) + "book/"),
              "Can't create folder " + Folder(dir) + "book/texts/: File exists");

    // The disk fills up while the first text is written: the message names
    // it, and no half-written text stays.
    fs::create_directories(dir / "full/texts");
    safewrite::WriteHook = [](int fd, const void* p, size_t n) -> long {
        std::string link(4096, '\0');
        ssize_t k = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link.data(), link.size());
        if (k > 0 && link.substr(0, static_cast<size_t>(k)).find("/.itm1.volm-") != std::string::npos) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, p, n);
    };
    EXPECT_EQ(message(Folder(dir) + "full/"),
              "Can't write file " + Folder(dir) + "full/texts/itm1: No space left on device");
    safewrite::WriteHook = nullptr;
    EXPECT_TRUE(fs::is_empty(dir / "full/texts"));

    // Paths longer than the system takes are refused before anything is written.
    std::string deep = Folder(dir);
    while (deep.size() + 5 <= MaxPathLength()) // so that texts/itm1 no longer fits
        deep += "abcdefghij/";
    std::string msg = message(deep);
    EXPECT_NE(msg.find("is too deep"), std::string::npos) << msg;
    EXPECT_NE(msg.find("at most " + std::to_string(MaxPathLength())), std::string::npos) << msg;
}
