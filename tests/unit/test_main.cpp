#include <gtest/gtest.h>

// The Windows targets link with -municode, so the entry point is wmain.
int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
