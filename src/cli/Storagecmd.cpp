// volm-cli storage: a window into any compound file. Lists the root's
// elements and writes a root-level stream to standard output. Names are shown
// and taken in UTF-8, converted directly to and from the container's UTF-16.
// The file is opened for reading only and never written.

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

int storageLs(const Args& a)
{
    auto file = openForReading(a["FILE"]);
    for (const cfb::ElementInfo& e : file->list()) {
        std::printf("%-7s %12" PRIu64 "  %s\n", e.type == cfb::kTypeStream ? "stream" : "storage", e.size,
                    utf16ToUtf8(e.name).c_str());
    }
    if (std::fflush(stdout) != 0)
        throw Error("standard output: write failed");
    return 0;
}

int storageCat(const Args& a)
{
    auto file = openForReading(a["FILE"]);
    auto stream = file->openStream(utf8ToUtf16(a["NAME"]));
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
