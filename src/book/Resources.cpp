#include "book/Resources.h"

#include "common/Errors.h"

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

} // namespace volm
