// Compound files from outside: open from bytes (read-only, then for writing
// when the file allows it), enumerate every storage, read every stream. Any
// failure must be the storage error; nothing may crash, hang or allocate out
// of proportion to the input. Every stream the listing holds is found by its
// name (it may still be refused as damaged).

#include "storage/Cfbfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace volm;
using namespace volm::cfb;

namespace {

void readAll(CompoundFile& f, Entry* storage, int depth)
{
    if (depth > 64)
        return;
    std::vector<uint8_t> buf(4096);
    for (Entry* e : tree::elements(storage)) {
        if (e->type == kTypeStorage) {
            readAll(f, e, depth + 1);
            continue;
        }
        if (e->type != kTypeStream)
            continue;
        try {
            auto s = f.openStream(e->name, storage);
            for (uint64_t pos = 0; pos < s->size();) {
                size_t n = s->read(pos, buf.data(), buf.size());
                if (n == 0)
                    break;
                pos += n;
            }
        } catch (const EStorageError& err) {
            if (err.status() == STG_E_FILENOTFOUND)
                __builtin_trap(); // listed, yet not found by its name
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        auto f = CompoundFile::open(std::make_unique<MemoryFile>(bytes), "fuzz", CompoundFile::Access::ReadOnly);
        f->list();
        readAll(*f, f->root(), 0);
    } catch (const EStorageError&) {
    }
    // A file that opens for writing takes a change and still reads back.
    try {
        auto f = CompoundFile::open(std::make_unique<MemoryFile>(bytes), "fuzz", CompoundFile::Access::ReadWrite);
        auto s = f->createStream(u"fuzz", true);
        std::string text(5000, 'x');
        s->write(0, text.data(), text.size());
        s->resize(10);
        s.reset();
        auto list = f->list();
        if (!list.empty())
            f->destroy(list.front().name);
        readAll(*f, f->root(), 0);
    } catch (const EStorageError&) {
    }
    return 0;
}
