#include "image/Pngread.h"

#include "common/Errors.h"

#include <zlib.h>

#include <array>

namespace volm {
namespace {

uint32_t be32(std::string_view b, size_t at)
{
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k)
        v = v << 8 | static_cast<uint8_t>(b[at + k]);
    return v;
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

} // namespace

TPngPixels ReadPng(std::string_view bytes, const std::string& what)
{
    auto fail = [&](const std::string& cause) { return Error(what + ": " + cause); };
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 8 || bytes.substr(0, 8) != std::string_view(kSignature, 8))
        throw fail("not a PNG image");
    TPngPixels out;
    int depth = 0, type = -1;
    std::string data;
    std::vector<uint8_t> alpha;
    bool ended = false;
    for (size_t at = 8; !ended;) {
        if (at + 12 > bytes.size())
            throw fail("the image ends early");
        const uint32_t n = be32(bytes, at);
        if (n > bytes.size() - at - 12)
            throw fail("a chunk runs past the end of the file");
        const std::string_view kind = bytes.substr(at + 4, 4);
        const std::string_view body = bytes.substr(at + 8, n);
        if (kind == "IHDR") {
            if (n != 13)
                throw fail("a damaged header");
            const uint32_t w = be32(body, 0), h = be32(body, 4);
            depth = static_cast<uint8_t>(body[8]);
            type = static_cast<uint8_t>(body[9]);
            if (w == 0 || h == 0 || uint64_t(w) * h > kMaxPngPixels)
                throw fail("an image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
            if (body[10] != 0 || body[11] != 0)
                throw fail("an unknown compression or filter method");
            if (body[12] != 0)
                throw fail("an interlaced image");
            const bool ok = (type == 0 && (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)) ||
                            (type == 3 && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) ||
                            ((type == 2 || type == 4 || type == 6) && (depth == 8 || depth == 16));
            if (!ok)
                throw fail("colour type " + std::to_string(type) + " at " + std::to_string(depth) + " bits");
            out.width = static_cast<int>(w);
            out.height = static_cast<int>(h);
        } else if (type < 0) {
            throw fail("no header first");
        } else if (kind == "PLTE") {
            if (n % 3 != 0 || n == 0 || n > 768)
                throw fail("a damaged palette");
            for (uint32_t k = 0; k < n; k += 3)
                out.palette.push_back(0xFF000000u | uint32_t(uint8_t(body[k])) << 16 |
                                      uint32_t(uint8_t(body[k + 1])) << 8 | uint8_t(body[k + 2]));
        } else if (kind == "tRNS") {
            alpha.assign(body.begin(), body.end());
        } else if (kind == "IDAT") {
            data.append(body);
        } else if (kind == "IEND") {
            ended = true;
        }
        at += 12 + n;
    }
    if (type < 0)
        throw fail("no header");
    if (type == 3 && out.palette.empty())
        throw fail("a palette image without its palette");
    if (type != 3)
        out.palette.clear();
    for (size_t k = 0; k < alpha.size() && k < out.palette.size(); ++k)
        out.palette[k] = (out.palette[k] & 0xFFFFFFu) | uint32_t(alpha[k]) << 24;

    static const std::array<int, 7> kChannels{1, 0, 3, 1, 2, 0, 4};
    const size_t bits = size_t(kChannels[static_cast<size_t>(type)]) * static_cast<size_t>(depth);
    const size_t stride = (bits * static_cast<size_t>(out.width) + 7) / 8;
    const size_t pixelBytes = bits < 8 ? 1 : bits / 8;
    const size_t rows = static_cast<size_t>(out.height);
    std::vector<uint8_t> raw((stride + 1) * rows);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw fail("no memory to inflate the image");
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = raw.data();
    z.avail_out = static_cast<uInt>(raw.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool whole = z.avail_out == 0;
    inflateEnd(&z);
    if (!whole || (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR))
        throw fail("damaged image data");

    // Undo the row filters.
    std::vector<uint8_t> prior(stride, 0), row(stride);
    const size_t n = static_cast<size_t>(out.width) * rows;
    if (type == 3)
        out.index.resize(n);
    else
        out.argb.resize(n);
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t* in = raw.data() + y * (stride + 1);
        const uint8_t filter = in[0];
        if (filter > 4)
            throw fail("an unknown row filter");
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int b = prior[i];
            const int c = i >= pixelBytes ? prior[i - pixelBytes] : 0;
            const int pred = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2
                                                                                   : paeth(a, b, c);
            row[i] = static_cast<uint8_t>(in[i + 1] + pred);
        }
        for (size_t x = 0; x < static_cast<size_t>(out.width); ++x) {
            const size_t i = y * static_cast<size_t>(out.width) + x;
            auto sample = [&](size_t channel) -> uint8_t {
                if (depth < 8) {
                    const size_t bit = x * static_cast<size_t>(depth);
                    const int v = row[bit / 8] >> (8 - depth - static_cast<int>(bit % 8)) & ((1 << depth) - 1);
                    return type == 3 ? static_cast<uint8_t>(v) : static_cast<uint8_t>(v * 255 / ((1 << depth) - 1));
                }
                const size_t step = static_cast<size_t>(depth) / 8;
                return row[(x * bits / 8) + channel * step];
            };
            switch (type) {
            case 3: out.index[i] = sample(0); break;
            case 0: { const uint32_t g = sample(0); out.argb[i] = 0xFF000000u | g << 16 | g << 8 | g; break; }
            case 4: { const uint32_t g = sample(0); out.argb[i] = uint32_t(sample(1)) << 24 | g << 16 | g << 8 | g; break; }
            case 2: out.argb[i] = 0xFF000000u | uint32_t(sample(0)) << 16 | uint32_t(sample(1)) << 8 | sample(2); break;
            default:
                out.argb[i] = uint32_t(sample(3)) << 24 | uint32_t(sample(0)) << 16 | uint32_t(sample(1)) << 8 | sample(2);
            }
        }
        prior.swap(row);
    }
    return out;
}

} // namespace volm
