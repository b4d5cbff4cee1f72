// The main of the unit tests (in place of gtest_main): the same, and in CI a
// case that skips without being declared to fails.
#include "Testutil.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    volm::test::failUndeclaredSkipsInCi();
    return RUN_ALL_TESTS();
}
