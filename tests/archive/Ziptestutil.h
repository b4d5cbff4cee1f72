#pragma once
// Reading back the archives the tests make: a plain walk of the central
// directory from the end record, independent of the reader under test, and
// the outside tools' check.

#include "Testutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace volm::test {

// One report of an archive component's error notification.
struct TReport {
    std::string name;
    int code;
};

// n bytes of noise (they do not shrink when deflated), the same for a seed.
inline std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

struct TZipEntry {
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0, time = 0, date = 0;
    uint32_t crc = 0, compSize = 0, size = 0;
    uint16_t extraLen = 0, commentLen = 0, disk = 0, internalAttr = 0;
    uint32_t externalAttr = 0, offset = 0;
    std::string name;
    size_t cdPos = 0; // where its central-directory header starts
};

struct TZipListing {
    std::vector<TZipEntry> entries;
    uint32_t cdOffset = 0, cdSize = 0;
    uint16_t count = 0, commentLen = 0;
    size_t endPos = 0;
};

inline uint16_t le16(const std::string& s, size_t p)
{
    return static_cast<uint16_t>(uint8_t(s[p]) | (uint8_t(s[p + 1]) << 8));
}
inline uint32_t le32(const std::string& s, size_t p)
{
    return le16(s, p) | (static_cast<uint32_t>(le16(s, p + 2)) << 16);
}
inline void setLe16(std::string& s, size_t p, uint16_t v)
{
    s[p] = char(v & 0xFF);
    s[p + 1] = char(v >> 8);
}
inline void setLe32(std::string& s, size_t p, uint32_t v)
{
    setLe16(s, p, uint16_t(v & 0xFFFF));
    setLe16(s, p + 2, uint16_t(v >> 16));
}

// Reads little-endian fields one after the other, each as wide as the
// variable it is read into.
struct TLeReader {
    const std::string& bytes;
    size_t pos;
    template <class T> TLeReader& operator>>(T& v)
    {
        v = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            v = static_cast<T>(v | static_cast<T>(static_cast<T>(uint8_t(bytes[pos + i])) << (8 * i)));
        pos += sizeof(T);
        return *this;
    }
};

// Parses an archive whose end record has an empty comment.
inline TZipListing listZip(const std::string& bytes)
{
    TZipListing z;
    size_t e = bytes.rfind(std::string("PK\x05\x06", 4));
    if (e == std::string::npos || e + 22 > bytes.size())
        return z;
    z.endPos = e;
    TLeReader{bytes, e + 10} >> z.count >> z.cdSize >> z.cdOffset >> z.commentLen;
    size_t p = z.cdOffset;
    for (int i = 0; i < z.count && p + 46 <= bytes.size(); ++i) {
        TZipEntry t;
        t.cdPos = p;
        uint16_t n = 0;
        TLeReader{bytes, p + 4} >> t.madeBy >> t.needed >> t.flags >> t.method >> t.time >> t.date >> t.crc >>
            t.compSize >> t.size >> n >> t.extraLen >> t.commentLen >> t.disk >> t.internalAttr >> t.externalAttr >>
            t.offset;
        t.name = bytes.substr(p + 46, n);
        z.entries.push_back(t);
        p += 46 + n + t.extraLen + t.commentLen;
    }
    return z;
}

// unzip -t and Python's zipfile (every member read and checked) accept the
// archive; `more` is Python run after that on the open archive `z`. Returns
// what Python printed, or nothing when no Python with zipfile is installed.
inline std::optional<std::string> expectZipToolsAccept(const fs::path& zip, const std::string& more = {})
{
    RunResult t = run({"unzip", "-t", zip.string()});
    EXPECT_EQ(t.status, 0) << zip << "\n" << t.out << t.err;
    std::string py = pythonWith({"zipfile"});
    if (py.empty())
        return std::nullopt;
    RunResult p = run({py, "-c",
                       "import sys, zipfile\n"
                       "z = zipfile.ZipFile(sys.argv[1])\n"
                       "assert z.testzip() is None\n" +
                           more,
                       zip.string()});
    EXPECT_EQ(p.status, 0) << zip << "\n" << p.err;
    return p.out;
}

} // namespace volm::test
