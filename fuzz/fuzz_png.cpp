// PNG files as a book or a user's folder may hold them: any bytes must be
// read or refused with volm::Error, and every pixel of an image read must be
// there to take.
#include "common/Errors.h"
#include "image/Pngread.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const volm::TPngPixels p = volm::ReadPng(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
        const size_t n = static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
        if ((p.HasPalette() ? p.index.size() : p.argb.size()) != n)
            std::abort();
        uint32_t sum = 0;
        for (int y = 0; y < p.height; y += 7)
            for (int x = 0; x < p.width; x += 7)
                sum += p.At(x, y, p.palette);
        (void)sum;
    } catch (const volm::Error&) {
    }
    return 0;
}
