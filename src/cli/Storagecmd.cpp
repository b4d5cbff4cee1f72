// volm-cli storage: a window into any compound file. Lists the root's
// elements and writes a root-level stream to standard output. Names are shown
// and taken in UTF-8, converted directly to and from the container's UTF-16;
// a name that does not survive the trip (an embedded zero, a lone surrogate)
// is found by the form the listing shows. The file is opened for reading only
// and never written.

#include "cli/Cli.h"
#include "common/Codepage.h"
#include "storage/Cfbfile.h"

#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <vector>

namespace volm::cli {
namespace {

std::shared_ptr<cfb::CompoundFile> openForReading(const std::string& path)
{
    return cfb::CompoundFile::open(path, cfb::CompoundFile::Access::ReadOnly);
}

// A name as the listing shows it: UTF-8, up to an embedded zero.
std::string shownName(const std::u16string& name)
{
    return utf16ToUtf8(std::u16string_view(name).substr(0, name.find(u'\0')));
}

// The stream the listing shows as `name`.
std::shared_ptr<cfb::StreamEntry> openListed(cfb::CompoundFile& file, const std::string& name)
{
    try {
        return file.openStream(utf8ToUtf16(name));
    } catch (const EStorageError& e) {
        if (e.status() != STG_E_FILENOTFOUND)
            throw;
        for (const cfb::ElementInfo& info : file.list())
            if (info.type == cfb::kTypeStream && shownName(info.name) == name)
                return file.openStream(info.name);
        throw;
    }
}

int storageLs(const Args& a)
{
    auto file = openForReading(a["FILE"]);
    for (const cfb::ElementInfo& e : file->list()) {
        std::printf("%-7s %12" PRIu64 "  %s\n", e.type == cfb::kTypeStream ? "stream" : "storage", e.size,
                    shownName(e.name).c_str());
    }
    if (std::fflush(stdout) != 0)
        throw Error("standard output: write failed");
    return 0;
}

int storageCat(const Args& a)
{
    auto file = openForReading(a["FILE"]);
    auto stream = openListed(*file, a["NAME"]);
    std::vector<char> buf(1 << 16);
    uint64_t pos = 0;
    for (;;) {
        size_t n = stream->read(pos, buf.data(), buf.size());
        if (n == 0)
            break;
        if (std::fwrite(buf.data(), 1, n, stdout) != n)
            throw Error("standard output: write failed");
        pos += n;
    }
    if (std::fflush(stdout) != 0)
        throw Error("standard output: write failed");
    return 0;
}

const Registrar registrar{
    {"storage ls", {"FILE"}, {}, "list a compound file's root elements: type, size, name", storageLs},
    {"storage cat", {"FILE", "NAME"}, {}, "write one root-level stream of a compound file to standard output",
     storageCat},
};

} // namespace
} // namespace volm::cli
