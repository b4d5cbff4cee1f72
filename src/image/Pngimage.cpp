#include "image/Pngimage.h"

#include "common/Crc32.h"
#include "common/Errors.h"
#include "common/Fileio.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace volm {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

void put32be(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void writeChunk(TStream& stream, const std::string& type, const uint8_t* data, size_t size)
{
    uint8_t head[8];
    put32be(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type.data(), 4);
    TCrc32 crc;
    crc.update(head + 4, 4);
    if (size)
        crc.update(data, size);
    uint8_t tail[4];
    put32be(tail, crc.value());
    stream.WriteBuffer(head, 8);
    if (size)
        stream.WriteBuffer(data, size);
    stream.WriteBuffer(tail, 4);
}

uint8_t paeth(int a, int b, int c)
{
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

} // namespace

// ---- chunks -------------------------------------------------------------

void TChunk::SaveToStream(TStream& stream) const
{
    writeChunk(stream, type_, data_.data(), data_.size());
}

void TChunkIHDR::SaveToStream(TStream& stream) const
{
    uint8_t d[13];
    put32be(d, Width);
    put32be(d + 4, Height);
    d[8] = BitDepth == 2 ? 4 : BitDepth;
    d[9] = ColorType;
    d[10] = CompressionMethod;
    d[11] = FilterMethod;
    d[12] = InterlaceMethod;
    writeChunk(stream, type_, d, sizeof d);
}

void TChunkPLTE::SaveToStream(TStream& stream) const
{
    const TPNGObject& png = *owner_;
    std::vector<uint8_t> d;
    d.reserve(png.Palette().size() * 3);
    for (const TRGBQuad& q : png.Palette()) {
        d.push_back(png.InverseTable[q.red]);
        d.push_back(png.InverseTable[q.green]);
        d.push_back(png.InverseTable[q.blue]);
    }
    writeChunk(stream, type_, d.data(), d.size());
}

void TChunkIDAT::SaveToStream(TStream& stream) const
{
    const TPNGObject& png = *owner_;
    const TChunkIHDR* ihdr = png.Header();
    if (!ihdr)
        throw Error("The image has no header");
    const uint32_t width = ihdr->Width, height = ihdr->Height;
    const bool rgb = ihdr->ColorType == 2;
    const unsigned depth = ihdr->BitDepth == 2 ? 4 : ihdr->BitDepth;
    const size_t rowBytes = rgb ? size_t(width) * 3 : (size_t(width) * depth + 7) / 8;
    const size_t dist = rgb ? 3 : 1;
    const size_t stored = static_cast<size_t>(png.StoredRowSize());
    const std::vector<uint8_t>& pixels = png.PixelData();

    z_stream zs{};
    if (deflateInit(&zs, png.CompressionLevel) != Z_OK)
        throw Error("Cannot compress the image data");
    struct End {
        z_stream* z;
        ~End() { deflateEnd(z); }
    } end{&zs};

    std::vector<uint8_t> out(png.MaxIdatSize());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    auto feed = [&](const uint8_t* p, size_t n, int flush) {
        zs.next_in = const_cast<uint8_t*>(p);
        zs.avail_in = static_cast<uInt>(n);
        for (;;) {
            int ret = deflate(&zs, flush);
            if (zs.avail_out == 0) {
                // A full buffer is one full chunk.
                writeChunk(stream, "IDAT", out.data(), out.size());
                zs.next_out = out.data();
                zs.avail_out = static_cast<uInt>(out.size());
                continue;
            }
            if (flush == Z_FINISH ? ret == Z_STREAM_END : zs.avail_in == 0)
                break;
        }
    };

    // Row y of the picture (0 = top; the storage is bottom-up) in PNG order:
    // red, green, blue through the inverse gamma table, or palette indices.
    std::vector<uint8_t> full(rowBytes);
    auto pictureRow = [&](uint32_t y) {
        const uint8_t* src = pixels.data() + size_t(height - 1 - y) * stored;
        if (rgb) {
            for (uint32_t x = 0; x < width; ++x) {
                full[x * 3] = png.InverseTable[src[x * 3 + 2]];
                full[x * 3 + 1] = png.InverseTable[src[x * 3 + 1]];
                full[x * 3 + 2] = png.InverseTable[src[x * 3]];
            }
        } else {
            std::memcpy(full.data(), src, rowBytes);
        }
    };

    // Filters `cur` against `prev` (the row above in the same pass), feeds
    // the filter byte and the filtered row, and makes `cur` the row above.
    std::vector<uint8_t> prev, cur;
    std::vector<uint8_t> rows[5];
    auto emitRow = [&] {
        const size_t n = cur.size();
        for (auto& r : rows)
            r.resize(n);
        rows[pfNone] = cur;
        for (size_t i = 0; i < n; ++i) {
            int left = i >= dist ? cur[i - dist] : 0;
            int up = prev[i];
            int upLeft = i >= dist ? prev[i - dist] : 0;
            if (png.Filters.count(pfSub))
                rows[pfSub][i] = static_cast<uint8_t>(cur[i] - left);
            if (png.Filters.count(pfUp))
                rows[pfUp][i] = static_cast<uint8_t>(cur[i] - up);
            if (png.Filters.count(pfAverage))
                rows[pfAverage][i] = static_cast<uint8_t>(cur[i] - (left + up) / 2);
            if (png.Filters.count(pfPaeth))
                rows[pfPaeth][i] = static_cast<uint8_t>(cur[i] - paeth(left, up, upLeft));
        }
        prev.swap(cur);
        int f = TPNGObject::ChooseFilter(png.Filters, rows);
        uint8_t type = static_cast<uint8_t>(f);
        feed(&type, 1, Z_NO_FLUSH);
        feed(rows[f].data(), n, Z_NO_FLUSH);
    };

    if (ihdr->InterlaceMethod == 0) {
        prev.assign(rowBytes, 0);
        for (uint32_t y = 0; y < height; ++y) {
            pictureRow(y);
            cur = full;
            emitRow();
        }
    } else {
        // Adam7: seven reduced images, each row filtered against the row
        // above it in the same pass.
        static constexpr uint32_t sx[7] = {0, 4, 0, 2, 0, 1, 0}, sy[7] = {0, 0, 4, 0, 2, 0, 1},
                                  dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
        for (int pass = 0; pass < 7; ++pass) {
            if (width <= sx[pass] || height <= sy[pass])
                continue;
            const uint32_t pw = (width - sx[pass] + dx[pass] - 1) / dx[pass];
            const size_t n = rgb ? size_t(pw) * 3 : (size_t(pw) * depth + 7) / 8;
            prev.assign(n, 0);
            for (uint32_t y = sy[pass]; y < height; y += dy[pass]) {
                pictureRow(y);
                cur.assign(n, 0);
                for (uint32_t px = 0; px < pw; ++px) {
                    uint32_t x = sx[pass] + px * dx[pass];
                    if (rgb) {
                        std::memcpy(&cur[px * 3], &full[x * 3], 3);
                    } else {
                        size_t bit = size_t(x) * depth;
                        unsigned v = (full[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
                        size_t obit = size_t(px) * depth;
                        cur[obit / 8] |= static_cast<uint8_t>(v << (8 - depth - obit % 8));
                    }
                }
                emitRow();
            }
        }
    }
    feed(nullptr, 0, Z_FINISH);
    size_t rest = out.size() - zs.avail_out;
    if (rest)
        writeChunk(stream, "IDAT", out.data(), rest);
}

// ---- the image ----------------------------------------------------------

TPNGObject::TPNGObject()
{
    clearChunks();
}

TPNGObject::TPNGObject(const TPNGObject& other)
{
    *this = other;
}

TPNGObject& TPNGObject::operator=(const TPNGObject& other)
{
    if (this == &other)
        return *this;
    CompressionLevel = other.CompressionLevel;
    Filters = other.Filters;
    InterlaceMethod = other.InterlaceMethod;
    GammaTable = other.GammaTable;
    InverseTable = other.InverseTable;
    pixels_ = other.pixels_;
    palette_ = other.palette_;
    maxIdatSize_ = other.maxIdatSize_;
    chunks_.clear();
    for (const auto& c : other.chunks_)
        chunks_.push_back(c->Clone(*this));
    return *this;
}

void TPNGObject::clearChunks()
{
    chunks_.clear();
    for (int i = 0; i < 256; ++i)
        GammaTable[i] = InverseTable[i] = static_cast<uint8_t>(i);
}

TChunkIHDR* TPNGObject::Header() const
{
    for (const auto& c : chunks_)
        if (auto* h = dynamic_cast<TChunkIHDR*>(c.get()))
            return h;
    return nullptr;
}

int TPNGObject::StoredRowSize() const
{
    const TChunkIHDR* h = Header();
    if (!h)
        return 0;
    int bpp = h->ColorType == 2 ? 24 : (h->BitDepth == 2 ? 4 : h->BitDepth);
    return TBitmap::rowSize(static_cast<int>(h->Width), bpp);
}

void TPNGObject::Assign(const TBitmap& bitmap)
{
    const int bpp = bitmap.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        throw Error("Unsupported bitmap depth: " + std::to_string(bpp) + " bits per pixel");
    const int width = bitmap.width, height = std::abs(bitmap.height);
    if (width <= 0 || height <= 0)
        throw Error("The bitmap has no pixels");
    const size_t srcRow = static_cast<size_t>(TBitmap::rowSize(width, bpp));
    if (bitmap.bits.size() < srcRow * size_t(height))
        throw Error("The bitmap holds fewer pixels than its size needs");

    clearChunks();
    const bool palette = bpp < 16;
    auto ihdr = std::make_unique<TChunkIHDR>(*this);
    ihdr->Width = static_cast<uint32_t>(width);
    ihdr->Height = static_cast<uint32_t>(height);
    ihdr->ColorType = palette ? 3 : 2;
    ihdr->BitDepth = static_cast<uint8_t>(palette ? bpp : 8);
    ihdr->InterlaceMethod = InterlaceMethod == imAdam7 ? 1 : 0;
    chunks_.push_back(std::move(ihdr));
    if (palette)
        chunks_.push_back(std::make_unique<TChunkPLTE>(*this));
    std::unique_ptr<TChunktRNS> trns;
    if (bitmap.transparent)
        trns = std::make_unique<TChunktRNS>(*this);

    // The pixel storage: 24 bits for colour images, the bitmap's depth for
    // palette images, bottom-up rows padded to 4 bytes.
    const size_t row = static_cast<size_t>(StoredRowSize());
    pixels_.assign(row * size_t(height), 0);
    if (palette) {
        for (int y = 0; y < height; ++y)
            std::memcpy(&pixels_[size_t(y) * row], &bitmap.bits[size_t(y) * srcRow], row);
        palette_.assign(size_t(1) << bpp, TRGBQuad{});
        for (size_t i = 0; i < palette_.size() && i < bitmap.colors.size(); ++i)
            palette_[i] = bitmap.colors[i];
    } else {
        palette_.clear();
        const int step = bpp / 8;
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = &bitmap.bits[size_t(y) * srcRow];
            uint8_t* d = &pixels_[size_t(y) * row];
            for (int x = 0; x < width; ++x) {
                d[x * 3] = s[x * step];
                d[x * 3 + 1] = s[x * step + 1];
                d[x * 3 + 2] = s[x * step + 2];
            }
        }
    }

    if (trns) {
        const uint8_t r = bitmap.transparentColor & 0xFF, g = (bitmap.transparentColor >> 8) & 0xFF,
                      b = (bitmap.transparentColor >> 16) & 0xFF;
        std::vector<uint8_t>& d = trns->Data();
        if (!palette) {
            d = {0, r, 0, g, 0, b};
        } else {
            // One alpha byte per entry up to the first entry of the
            // transparent colour, which gets 0; without such an entry every
            // entry stays opaque.
            for (const TRGBQuad& q : palette_) {
                bool hit = q.red == r && q.green == g && q.blue == b;
                d.push_back(hit ? 0 : 255);
                if (hit)
                    break;
            }
        }
        chunks_.push_back(std::move(trns));
    }
    chunks_.push_back(std::make_unique<TChunkIDAT>(*this));
    chunks_.push_back(std::make_unique<TChunkIEND>(*this));
}

int TPNGObject::ChooseFilter(const TFilters& filters, const std::vector<uint8_t> (&rows)[5])
{
    if (filters.empty() || (filters.size() == 1 && filters.count(pfNone)))
        return pfNone;
    if (filters.size() == 1)
        return *filters.begin();
    int best = pfNone;
    size_t bestCount = 0;
    for (int f = pfNone; f <= pfPaeth; ++f) {
        if (!filters.count(static_cast<TFilter>(f)))
            continue;
        const std::vector<uint8_t>& r = rows[f];
        size_t count = 0;
        for (size_t i = 2; i < r.size(); ++i)
            if (r[i] == r[i - 1] || r[i] == r[i - 2])
                ++count;
        if (count > bestCount) {
            best = f;
            bestCount = count;
        }
    }
    return best;
}

void TPNGObject::SaveToStream(TStream& stream) const
{
    stream.WriteBuffer(kSignature, sizeof kSignature);
    for (const auto& c : chunks_)
        c->SaveToStream(stream);
}

void TPNGObject::SaveToFile(const std::string& path) const
{
    std::unique_ptr<TSafeFile> file;
    try {
        file = std::make_unique<TSafeFile>(path);
    } catch (const Error&) {
        throw Error("Cannot create file " + path);
    }
    SaveToStream(*file);
    file->Commit();
}

} // namespace volm
