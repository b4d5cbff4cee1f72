#include "Testutil.h"
#include "common/Crc32.h"
#include "common/Errors.h"
#include "image/Pngimage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <sys/stat.h>

using namespace volm;
using namespace volm::test;

namespace {

struct TPngChunk {
    std::string type;
    std::string data;
};

uint32_t be32(const std::string& s, size_t p)
{
    return (uint32_t(uint8_t(s[p])) << 24) | (uint32_t(uint8_t(s[p + 1])) << 16) |
           (uint32_t(uint8_t(s[p + 2])) << 8) | uint32_t(uint8_t(s[p + 3]));
}

// Splits a PNG file into its chunks, checking signature and every CRC.
std::vector<TPngChunk> chunksOf(const std::string& png)
{
    std::vector<TPngChunk> out;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    size_t p = 8;
    while (p + 12 <= png.size()) {
        uint32_t len = be32(png, p);
        TPngChunk c{png.substr(p + 4, 4), png.substr(p + 8, len)};
        EXPECT_EQ(be32(png, p + 8 + len), crc32(png.data() + p + 4, 4 + len)) << c.type;
        out.push_back(c);
        p += 12 + len;
    }
    EXPECT_EQ(p, png.size());
    return out;
}

std::string inflateAll(const std::string& z)
{
    std::string out;
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
    zs.avail_in = static_cast<uInt>(z.size());
    char buf[65536];
    int ret;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        ret = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    } while (ret == Z_OK);
    EXPECT_EQ(ret, Z_STREAM_END);
    inflateEnd(&zs);
    return out;
}

TBitmap randomBitmap(int w, int h, int bpp, unsigned seed)
{
    TBitmap b(w, h, bpp);
    std::mt19937 rng(seed);
    for (auto& v : b.bits)
        v = static_cast<uint8_t>(rng());
    for (auto& c : b.colors)
        c = TRGBQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return b;
}

// The picture as RGB bytes from the top row down, as a reader shows it.
std::string expectedRgb(const TBitmap& b)
{
    std::string out;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* row = b.scanLine(y);
        for (int x = 0; x < b.width; ++x) {
            if (b.bitsPerPixel >= 24) {
                int s = b.bitsPerPixel / 8;
                out += char(row[x * s + 2]);
                out += char(row[x * s + 1]);
                out += char(row[x * s]);
            } else {
                int bpp = b.bitsPerPixel;
                int bit = x * bpp;
                int idx = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
                const TRGBQuad& q = b.colors[idx];
                out += char(q.red);
                out += char(q.green);
                out += char(q.blue);
            }
        }
    }
    return out;
}

std::string pillowRgb(const fs::path& file)
{
    std::string py = pythonWith({"PIL"});
    if (py.empty())
        return "<no Pillow>";
    auto r = run({py, "-c",
                  "import sys\nfrom PIL import Image\n"
                  "im = Image.open(sys.argv[1]); im.load()\n"
                  "sys.stdout.buffer.write(im.convert('RGB').tobytes())\n",
                  file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

} // namespace

TEST(TPNGObject, PaletteAndColourImagesPassTheToolsWithSeveralIdatChunks)
{
    struct Case {
        int w, h, bpp;
    } cases[] = {{2200, 500, 1}, {1000, 300, 4}, {600, 300, 8}, {350, 250, 24}, {300, 250, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        TempDir tmp;
        TBitmap bmp = randomBitmap(c.w, c.h, c.bpp, unsigned(c.bpp));
        TPNGObject png;
        png.Assign(bmp);
        fs::path file = tmp / "Font.png";
        png.SaveToFile(file.string());
        std::string bytes = readFile(file);

        auto chunks = chunksOf(bytes);
        bool palette = c.bpp < 16;
        std::vector<std::string> types;
        std::string idat;
        size_t idats = 0;
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (chunks[i].type == "IDAT") {
                ++idats;
                idat += chunks[i].data;
                bool last = i + 1 == chunks.size() || chunks[i + 1].type != "IDAT";
                if (!last)
                    EXPECT_EQ(chunks[i].data.size(), 65535u);
                else
                    EXPECT_LE(chunks[i].data.size(), 65535u);
                if (types.back() == "IDAT")
                    continue;
            }
            types.push_back(chunks[i].type);
        }
        EXPECT_GE(idats, 3u);
        EXPECT_EQ(types, palette ? (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"})
                                 : (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        const std::string& ihdr = chunks[0].data;
        ASSERT_EQ(ihdr.size(), 13u);
        EXPECT_EQ(be32(ihdr, 0), uint32_t(c.w));
        EXPECT_EQ(be32(ihdr, 4), uint32_t(c.h));
        EXPECT_EQ(uint8_t(ihdr[8]), palette ? c.bpp : 8);
        EXPECT_EQ(uint8_t(ihdr[9]), palette ? 3 : 2);
        EXPECT_EQ(ihdr.substr(10), std::string(3, '\0'));
        if (palette) {
            EXPECT_EQ(chunks[1].data.size(), 3u << c.bpp);
        }
        EXPECT_EQ(chunks.back().data.size(), 0u);

        // Rows of 1 + row bytes, every one filtered with Sub.
        std::string raw = inflateAll(idat);
        size_t rowBytes = palette ? (size_t(c.w) * c.bpp + 7) / 8 : size_t(c.w) * 3;
        ASSERT_EQ(raw.size(), size_t(c.h) * (rowBytes + 1));
        for (int y = 0; y < c.h; ++y)
            ASSERT_EQ(raw[size_t(y) * (rowBytes + 1)], 1) << y;

        auto check = run({"pngcheck", "-v", file.string()});
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_TRUE(pillowRgb(file) == expectedRgb(bmp)) << "Pillow reads other pixels";
    }
}

TEST(TPNGObject, EveryFilterSetDecodesToTheSamePixels)
{
    TBitmap bmp = randomBitmap(97, 61, 24, 5);
    for (int y = 0; y < 30; ++y)   // some smooth rows, where filters differ
        for (int x = 0; x < 97 * 3; ++x)
            bmp.bits[size_t(y) * bmp.rowSize() + x] = uint8_t(x / 3 + y);
    const TFilters sets[] = {{}, {pfNone}, {pfUp}, {pfAverage}, {pfPaeth},
                             {pfNone, pfSub, pfUp, pfAverage, pfPaeth}, {pfSub, pfPaeth}};
    for (const TFilters& f : sets) {
        TempDir tmp;
        TPNGObject png;
        png.Filters = f;
        png.Assign(bmp);
        png.SaveToFile((tmp / "a.png").string());
        auto chunks = chunksOf(readFile(tmp / "a.png"));
        std::string raw = inflateAll(chunks[1].data);
        std::set<int> used;
        for (int y = 0; y < 61; ++y)
            used.insert(raw[size_t(y) * (97 * 3 + 1)]);
        if (f.size() <= 1) {
            EXPECT_EQ(used, std::set<int>{f.empty() ? 0 : int(*f.begin())});
        }
        for (int t : used)
            EXPECT_TRUE(t == 0 || f.count(TFilter(t)));
        EXPECT_EQ(run({"pngcheck", "-q", (tmp / "a.png").string()}).status, 0);
        EXPECT_TRUE(pillowRgb(tmp / "a.png") == expectedRgb(bmp));
    }
}

TEST(TPNGObject, FilterChoiceCountsRepeatsAndKeepsTheEarlierOnTies)
{
    std::vector<uint8_t> rows[5];
    auto set = [&](int f, std::vector<uint8_t> r) { rows[f] = std::move(r); };
    set(pfNone, {1, 2, 3, 4, 5, 6});
    set(pfSub, {1, 1, 1, 1, 1, 1});   // 4 repeats from the third byte on
    set(pfUp, {9, 9, 9, 9, 9, 9});    // 4 as well: the tie keeps Sub
    set(pfAverage, {0, 0, 0, 0, 0, 1});
    set(pfPaeth, {5, 4, 5, 4, 5, 4}); // equal to the byte two places back: 4
    EXPECT_EQ(TPNGObject::ChooseFilter({pfSub, pfUp, pfPaeth}, rows), pfSub);
    EXPECT_EQ(TPNGObject::ChooseFilter({pfUp, pfPaeth}, rows), pfUp);
    EXPECT_EQ(TPNGObject::ChooseFilter({pfNone, pfAverage}, rows), pfAverage);
    EXPECT_EQ(TPNGObject::ChooseFilter({pfPaeth}, rows), pfPaeth);
    EXPECT_EQ(TPNGObject::ChooseFilter({}, rows), pfNone);
    // No count above 0: filter type 0, even when None is not allowed.
    set(pfUp, {1, 2, 3, 4, 5, 6});
    set(pfPaeth, {6, 5, 4, 3, 2, 1});
    EXPECT_EQ(TPNGObject::ChooseFilter({pfUp, pfPaeth}, rows), pfNone);
}

TEST(TPNGObject, TransparencyChunks)
{
    TBitmap rgb = randomBitmap(10, 10, 24, 9);
    rgb.transparent = true;
    rgb.transparentColor = 0x00302010;   // red 0x10, green 0x20, blue 0x30
    TPNGObject png;
    png.Assign(rgb);
    TMemoryStream s;
    png.SaveToStream(s);
    auto chunks = chunksOf(s.Data());
    ASSERT_EQ(chunks[1].type, "tRNS");
    EXPECT_EQ(chunks[1].data, std::string("\0\x10\0\x20\0\x30", 6));

    TBitmap pal = randomBitmap(10, 10, 4, 9);
    pal.colors[3] = TRGBQuad{0x10, 0x20, 0x30, 0};   // blue, green, red
    pal.colors[9] = TRGBQuad{0x10, 0x20, 0x30, 0};
    pal.transparent = true;
    pal.transparentColor = 0x00102030;   // red 0x30, green 0x20, blue 0x10
    png.Assign(pal);
    TMemoryStream s2;
    png.SaveToStream(s2);
    chunks = chunksOf(s2.Data());
    ASSERT_EQ(chunks[2].type, "tRNS");
    EXPECT_EQ(chunks[2].data, std::string("\xFF\xFF\xFF\0", 4));
    TempDir tmp;
    writeFile(tmp / "t.png", s2.Data());
    EXPECT_EQ(run({"pngcheck", "-q", (tmp / "t.png").string()}).status, 0);
}

TEST(TPNGObject, IdatSizeSettingAndCopies)
{
    TBitmap bmp = randomBitmap(300, 300, 24, 11);
    TPNGObject png;
    png.SetMaxIdatSize(1000);
    EXPECT_EQ(png.MaxIdatSize(), 65535u);
    png.SetMaxIdatSize(100000);
    png.Assign(bmp);
    TPNGObject copy;
    copy.Assign(png);
    TMemoryStream a, b;
    png.SaveToStream(a);
    copy.SaveToStream(b);
    EXPECT_TRUE(a.Data() == b.Data());
    auto chunks = chunksOf(a.Data());
    EXPECT_EQ(chunks[1].data.size(), 100000u);

    // A small image: one IDAT, top row first.
    TBitmap tiny(1, 2, 24);
    tiny.scanLine(0)[2] = 0xFF;   // top pixel red
    png.Assign(tiny);
    TMemoryStream t;
    png.SaveToStream(t);
    chunks = chunksOf(t.Data());
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(inflateAll(chunks[1].data), std::string("\x01\xFF\0\0\x01\0\0\0", 8));
}

TEST(TPNGObject, FileErrorsLeaveNothingBehind)
{
    TempDir tmp;
    TPNGObject png;
    png.Assign(randomBitmap(600, 600, 24, 3));
    std::string missing = (tmp / "no" / "Font.png").string();
    try {
        png.SaveToFile(missing);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
    }
    // Saving over an existing file replaces it; a read-only one is refused.
    writeFile(tmp / "old.png", "old");
    png.SaveToFile((tmp / "old.png").string());
    EXPECT_GT(fs::file_size(tmp / "old.png"), 1000u);
    writeFile(tmp / "ro.png", "ro");
    chmod((tmp / "ro.png").c_str(), 0444);
    EXPECT_THROW(png.SaveToFile((tmp / "ro.png").string()), Error);
    EXPECT_EQ(readFile(tmp / "ro.png"), "ro");

    EXPECT_THROW(png.Assign(TBitmap(4, 4, 16)), Error);

    // A full disk part-way: an error, and neither a truncated file nor a
    // temporary one stays.
    fs::create_directories(tmp / "full");
    int status = runInChild(
        [&] {
            try {
                png.SaveToFile((tmp / "full" / "Font.png").string());
            } catch (const Error& e) {
                return std::string(e.what()).find("Font.png") != std::string::npos ? 0 : 2;
            }
            return 1;
        },
        100000);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::is_empty(tmp / "full"));
}

TEST(TPNGObject, InterlacedImagesDecodeToTheSamePixels)
{
    for (int bpp : {1, 4, 8, 24}) {
        SCOPED_TRACE(bpp);
        TempDir tmp;
        TBitmap bmp = randomBitmap(37, 23, bpp, unsigned(bpp) + 20);
        TPNGObject png;
        png.InterlaceMethod = imAdam7;
        png.Filters = {pfNone, pfSub, pfUp, pfAverage, pfPaeth};
        png.Assign(bmp);
        png.SaveToFile((tmp / "i.png").string());
        auto chunks = chunksOf(readFile(tmp / "i.png"));
        EXPECT_EQ(chunks[0].data[12], 1);
        auto check = run({"pngcheck", "-q", (tmp / "i.png").string()});
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_TRUE(pillowRgb(tmp / "i.png") == expectedRgb(bmp));
    }
}
