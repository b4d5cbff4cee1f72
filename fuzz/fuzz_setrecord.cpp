// The record of a build's set of outputs, as a killed build, a user or
// another program may have left it in the book folder: any bytes must be
// read without a crash, and whatever is taken names only the book's own
// outputs, in the book folder itself, each once.
#include "book/Bookfolder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* stem : {"Tales", "Vojna_i_mir"}) {
        std::vector<std::string> names;
        const bool taken = volm::ParseSetRecord(text, stem, names);
        if (taken == names.empty())
            std::abort();
        for (const std::string& n : names) {
            if (n.empty() || n.find('/') != std::string::npos || n.find('\0') != std::string::npos || n[0] == '.')
                std::abort();
            if (n != "manifest.mf" && n.rfind(std::string(stem), 0) != 0)
                std::abort();
            if (std::count(names.begin(), names.end(), n) != 1)
                std::abort();
        }
    }
    return 0;
}
