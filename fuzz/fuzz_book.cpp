// Book files as the importers take them: FB2 through libxml2's reader (and its
// recovery mode), HTML through its HTML parser, Markdown through cmark, plain
// texts through detection, headings and repair, EPUB from its members, and
// the ZIP container path through the archive reader. Whatever the input, the
// import either refuses it with a volm::Error or gives topics that keep the
// rules: names of at most 50 bytes, texts of CR LF lines, none over the split
// size.
//
// The first byte picks the path: 0 FB2, 1 HTML, 2 Markdown, 3 plain text,
// 4 recognised by content, 5 EPUB from members (the rest of the input is
// members, each "name\n" then its data, apart by "\0\1"), 6 a file read
// through its container (a ZIP archive). The second byte picks the options
// and the split size.
#include "book/Bookfile.h"
#include "text/Bookimport.h"
#include "text/Epub.h"
#include "text/Fb2.h"
#include "text/Htmltext.h"
#include "text/Plainbook.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

namespace {

class TMemoryContainer : public volm::TBookContainer {
public:
    explicit TMemoryContainer(std::string_view data)
    {
        while (!data.empty()) {
            size_t end = data.find(std::string_view("\0\1", 2));
            std::string_view member = data.substr(0, end);
            size_t nl = member.find('\n');
            std::string name(member.substr(0, nl));
            members_.emplace(name, nl == std::string_view::npos ? std::string() : std::string(member.substr(nl + 1)));
            names_.push_back(name);
            data.remove_prefix(end == std::string_view::npos ? data.size() : end + 2);
        }
    }
    std::vector<std::string> Names() override { return names_; }
    std::string Read(const std::string& name) override
    {
        auto it = members_.find(name);
        if (it == members_.end())
            throw volm::Error("no member " + name);
        return it->second;
    }

private:
    std::vector<std::string> names_;
    std::map<std::string, std::string> members_;
};

const std::string& scratchFile()
{
    static const std::string path = [] {
        std::string tmpl = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/fuzzbookXXXXXX");
        int fd = mkstemp(tmpl.data());
        if (fd < 0)
            std::abort();
        close(fd);
        return tmpl;
    }();
    return path;
}

void check(const volm::TBook& book, size_t splitAt)
{
    for (const volm::TBookTopic& t : volm::BookTopics(book, splitAt)) {
        if (t.name.size() > volm::kTopicNameBytes || t.text.empty())
            std::abort();
        if (splitAt && t.text.size() > splitAt)
            std::abort();
        if (t.text.size() < 2 || t.text.compare(t.text.size() - 2, 2, "\r\n") != 0)
            std::abort();
        if (t.text.find('\0') != std::string::npos)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int mode = data[0] % 7;
    const uint8_t opts = data[1];
    std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    volm::TBookOptions options;
    options.detect = !(opts & 1);
    options.keepLines = opts & 2;
    if (opts & 4)
        options.chapters = "(\xc3\xeb\xe0\xe2\xe0|Part) [0-9IVX]+.*"; // "Глава N" in Windows-1251
    const size_t splitAt = (opts & 8) ? volm::kMinSplitSize + (opts >> 4) * 61 : 0;
    try {
        volm::TBook book;
        switch (mode) {
        case 0: book = volm::ImportFb2(bytes, "f.fb2", options); break;
        case 1: book = volm::ImportHtml(bytes, "f.html", options); break;
        case 2: book = volm::ImportMarkdown(bytes, "f.md", options); break;
        case 3: book = volm::ImportPlainText(bytes, "f.txt", options); break;
        case 4: book = volm::ImportBook(bytes, "f", options); break;
        case 5: {
            TMemoryContainer c(bytes);
            book = volm::ImportEpub(c, "f.epub", options);
            break;
        }
        case 6: {
            FILE* f = std::fopen(scratchFile().c_str(), "wb");
            if (!f)
                std::abort();
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            book = volm::ReadBookFile(scratchFile(), options);
            break;
        }
        }
        check(book, splitAt);
    } catch (const volm::Error&) {
        // A refusal is an answer.
    }
    return 0;
}
