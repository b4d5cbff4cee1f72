#include "common/Crc32.h"

#include <gtest/gtest.h>

#include <string>

using volm::TCrc32;

TEST(Crc32, KnownValuesAndChunking)
{
    EXPECT_EQ(volm::crc32("", 0), 0u);
    EXPECT_EQ(volm::crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(volm::crc32("IEND", 4), 0xAE426082u); // the CRC every PNG ends with

    // Feeding a buffer in pieces gives the same checksum as feeding it whole.
    std::string data;
    for (int i = 0; i < 100000; ++i)
        data.push_back(static_cast<char>(i * 7 + (i >> 8)));
    TCrc32 c;
    for (size_t off = 0; off < data.size(); off += 4093)
        c.update(data.data() + off, std::min<size_t>(4093, data.size() - off));
    EXPECT_EQ(c.value(), volm::crc32(data.data(), data.size()));
    EXPECT_EQ(c.raw(), ~c.value());
    c.reset();
    EXPECT_EQ(c.value(), 0u);
}
