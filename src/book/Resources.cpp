#include "book/Resources.h"

#include "common/Errors.h"
#include "common/Fileio.h"

namespace volm {

// Filled in by the generated resource table (Resourcedata.cpp).
struct TResourceEntry {
    const char* type;
    int id;
    const uint8_t* data;
    size_t size;
};
extern const TResourceEntry kResourceTable[];
extern const size_t kResourceCount;

std::span<const uint8_t> FindResourceOrEmpty(std::string_view type, int id)
{
    for (size_t i = 0; i < kResourceCount; ++i) {
        const TResourceEntry& e = kResourceTable[i];
        if (e.id == id && type == e.type)
            return {e.data, e.size};
    }
    return {};
}

std::span<const uint8_t> FindResource(std::string_view type, int id)
{
    std::span<const uint8_t> r = FindResourceOrEmpty(type, id);
    if (r.empty())
        throw Error("The program's resource " + std::string(type) + " " + std::to_string(id) +
                    " is missing (the program was built without it)");
    return r;
}

void CopyResourceToFile(std::string_view type, int id, const std::string& path, const TSafeWriteOptions& options)
{
    std::span<const uint8_t> bytes = FindResource(type, id);
    WriteFileSafely(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options);
}

} // namespace volm
