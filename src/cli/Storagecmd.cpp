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

int storageLs(const std::string& path)
{
    auto file = openForReading(path);
    for (const cfb::ElementInfo& e : file->list()) {
        std::printf("%-7s %12" PRIu64 "  %s\n", e.type == cfb::kTypeStream ? "stream" : "storage", e.size,
                    shownName(e.name).c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int storageCat(const std::string& path, const std::string& name)
{
    auto file = openForReading(path);
    auto stream = openListed(*file, name);
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

int storageCommand(const Args& args)
{
    if (args.size() == 2 && args[0] == "ls")
        return storageLs(args[1]);
    if (args.size() == 3 && args[0] == "cat")
        return storageCat(args[1], args[2]);
    throw UsageError("storage: expected \"ls FILE\" or \"cat FILE NAME\"");
}

const Registrar registrar{{
    "storage",
    "storage ls FILE | storage cat FILE NAME",
    "list a compound file's root elements (type, size, name), or write one root-level stream to standard output",
    storageCommand,
}};

} // namespace
} // namespace volm::cli
