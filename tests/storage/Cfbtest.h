#pragma once
// Shared by the compound-file engine's tests: a small file to start from, a
// stream's whole contents, and the red-black rules and name order of a
// storage's tree.

#include "storage/Cfbfile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace volm::test {

// A new file at `path` with the streams "a", "b" and "c", each holding its
// own name.
inline std::shared_ptr<cfb::CompoundFile> abcFile(const std::string& path)
{
    auto f = cfb::CompoundFile::create(path, false);
    for (const char* n : {"a", "b", "c"})
        f->createStream(std::u16string(n, n + 1), false)->write(0, n, 1);
    return f;
}

inline std::string readAll(cfb::StreamEntry& s)
{
    std::string out(static_cast<size_t>(s.size()), '\0');
    EXPECT_EQ(s.read(0, out.data(), out.size()), out.size());
    return out;
}

// Checks the red-black rules and the name order of the tree below `e`, whose
// names lie between those of `lo` and `hi` (either may be null); returns its
// black height.
inline int checkTree(const cfb::Entry* e, const cfb::Entry* lo, const cfb::Entry* hi)
{
    if (!e)
        return 1;
    if (lo) {
        EXPECT_LT(cfb::compareNames(lo->name, e->name), 0);
    }
    if (hi) {
        EXPECT_LT(cfb::compareNames(e->name, hi->name), 0);
    }
    if (e->red) {
        EXPECT_FALSE(e->left && e->left->red);
        EXPECT_FALSE(e->right && e->right->red);
    }
    int l = checkTree(e->left, lo, e);
    int r = checkTree(e->right, e, hi);
    EXPECT_EQ(l, r);
    return l + (e->red ? 0 : 1);
}

} // namespace volm::test
