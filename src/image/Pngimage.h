#pragma once
// The PNG image object: takes over a bitmap (palette images of 1, 4 or 8
// bits per pixel become colour type 3, colour images of 24 or 32 bits colour
// type 2 at depth 8) and writes it as a PNG file: "IHDR", "PLTE" for palette
// images, "tRNS" for a transparent bitmap, the image data in "IDAT" chunks
// of MaxIdatSize bytes (the last one shorter), "IEND".

#include "common/Stream.h"
#include "image/Bitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace volm {

enum TFilter { pfNone, pfSub, pfUp, pfAverage, pfPaeth };
using TFilters = std::set<TFilter>;
enum TInterlaceMethod { imNone, imAdam7 };

class TPNGObject;

// One chunk of the image: its four-letter type and its data.
class TChunk {
public:
    TChunk(TPNGObject& owner, std::string type) : owner_(&owner), type_(std::move(type)) {}
    virtual ~TChunk() = default;
    virtual std::unique_ptr<TChunk> Clone(TPNGObject& owner) const = 0;

    const std::string& Type() const { return type_; }
    std::vector<uint8_t>& Data() { return data_; }
    const std::vector<uint8_t>& Data() const { return data_; }

    // Writes length, type, data and CRC.
    virtual void SaveToStream(TStream& stream) const;

protected:
    TPNGObject* owner_;
    std::string type_;
    std::vector<uint8_t> data_;
};

// A chunk of the kind `T`, copied whole (its data included) when its image is.
template <class T>
class TChunkOf : public TChunk {
public:
    using TChunk::TChunk;
    std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override
    {
        auto c = std::make_unique<T>(static_cast<const T&>(*this));
        c->owner_ = &owner;
        return c;
    }
};

class TChunkIHDR : public TChunkOf<TChunkIHDR> {
public:
    explicit TChunkIHDR(TPNGObject& o) : TChunkOf(o, "IHDR") {}
    uint32_t Width = 0, Height = 0;
    uint8_t BitDepth = 8, ColorType = 2, CompressionMethod = 0, FilterMethod = 0,
            InterlaceMethod = 0;
    void SaveToStream(TStream& stream) const override;
};

class TChunkPLTE : public TChunkOf<TChunkPLTE> {
public:
    explicit TChunkPLTE(TPNGObject& o) : TChunkOf(o, "PLTE") {}
    void SaveToStream(TStream& stream) const override;
};

class TChunktRNS : public TChunkOf<TChunktRNS> {
public:
    explicit TChunktRNS(TPNGObject& o) : TChunkOf(o, "tRNS") {}
};

class TChunkIDAT : public TChunkOf<TChunkIDAT> {
public:
    explicit TChunkIDAT(TPNGObject& o) : TChunkOf(o, "IDAT") {}
    // Compresses the owner's pixels into one or more "IDAT" chunks.
    void SaveToStream(TStream& stream) const override;
};

class TChunkIEND : public TChunkOf<TChunkIEND> {
public:
    explicit TChunkIEND(TPNGObject& o) : TChunkOf(o, "IEND") {}
};

class TPNGObject {
public:
    TPNGObject();
    TPNGObject(const TPNGObject& other);
    TPNGObject& operator=(const TPNGObject& other);

    int CompressionLevel = 7;               // zlib level of the image data, 0..9
    TFilters Filters{pfSub};                // row filters the encoder may use
    TInterlaceMethod InterlaceMethod = imNone;

    // Size of every full "IDAT" chunk; smaller values are raised to 65535.
    void SetMaxIdatSize(uint32_t size) { maxIdatSize_ = size < 65535 ? 65535 : size; }
    uint32_t MaxIdatSize() const { return maxIdatSize_; }

    void Assign(const TPNGObject& source) { *this = source; }
    // Takes over a bitmap of 1, 4, 8, 24 or 32 bits per pixel; other depths
    // raise volm::Error.
    void Assign(const TBitmap& bitmap);

    // Writes the image to a file, replacing any existing one, through the
    // safe-write path (TSafeFile), so a failure leaves no truncated image.
    // A file that can't be created (a missing folder, a read-only file)
    // raises volm::Error "Cannot create file <path>"; a failed write raises
    // EFileError naming the file and the cause.
    void SaveToFile(const std::string& path) const;
    void SaveToStream(TStream& stream) const;

    TChunkIHDR* Header() const;

    // The pixels as the image keeps them: bottom-up rows padded to 4 bytes,
    // 24 bits per pixel (blue, green, red) for colour type 2, the bit depth
    // for colour type 3, with its colour table.
    const std::vector<uint8_t>& PixelData() const { return pixels_; }
    const std::vector<TRGBQuad>& Palette() const { return palette_; }
    int StoredRowSize() const;

    std::array<uint8_t, 256> GammaTable{}, InverseTable{};

    // The filter type (0..4) chosen for a row, given the filtered forms; also
    // what the encoder uses. `rows[f]` is the row filtered with filter f.
    static int ChooseFilter(const TFilters& filters, const std::vector<uint8_t> (&rows)[5]);

private:
    void clearChunks();

    std::vector<std::unique_ptr<TChunk>> chunks_;
    std::vector<uint8_t> pixels_;
    std::vector<TRGBQuad> palette_;
    uint32_t maxIdatSize_ = 65535;
};

} // namespace volm
