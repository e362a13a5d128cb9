#include "foundation/ScratchText.h"

#include <gtest/gtest.h>

TEST(ScratchTextTest, SlicesFollowEachOtherUntilTheAreaIsFull) {
    char* start = scratchText(scratchTextSize);
    EXPECT_EQ(start, scratchText(128));
    for (int i = 1; i < 15; i++) EXPECT_EQ(start + 128 * i, scratchText(128));
    // 1920 + 128 is not below 2048: restart.
    EXPECT_EQ(start, scratchText(128));
    EXPECT_EQ(start + 128, scratchText(100));
    EXPECT_EQ(start + 228, scratchText(1819));  // 228 + 1819 = 2047 still fits
    EXPECT_EQ(start, scratchText(1));
    // Every slice is writable to its end (checked under the sanitizer build).
    for (int i = 0; i < 40; i++) {
        char* slice = scratchText(128);
        for (int k = 0; k < 128; k++) slice[k] = (char)k;
    }
}

TEST(ScratchTextTest, RequestsLargerThanTheAreaAreFatal) {
    EXPECT_EXIT(scratchText(scratchTextSize + 1), testing::ExitedWithCode(1),
                "Bad scratch text request: 2049 bytes");
    EXPECT_EXIT(scratchText(0), testing::ExitedWithCode(1), "Bad scratch text request");
}
