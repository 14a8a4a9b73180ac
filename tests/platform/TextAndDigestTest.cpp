#include <gtest/gtest.h>

#include "platform/CMTime.h"
#include "platform/DurationText.h"
#include "platform/SaturatingMath.h"

// Fractions name the second they lie in.
TEST(DurationText, AbbreviatedUnitsWithZerosDropped) {
    const std::pair<double, const char*> cases[] = {
        {3605, "1h 5s"}, {90061, "1d 1h 1m 1s"}, {59.7, "59s"}, {std::nan(""), "0s"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(CMTime, SecondsAndTicks) {
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(CMTime{})));
    // Accumulated step sums land on the tick they stand for.
    EXPECT_EQ(CMTimeMakeWithSeconds(0.7999999999999999, 15360).value, 12288);
    EXPECT_EQ(CMTimeMakeWithSeconds(0.30000000000000004, 90000).value, 27000);
    EXPECT_FALSE(CMTimeMakeWithSeconds(std::nan(""), 600).IsValid());
    EXPECT_FALSE(CMTimeMakeWithSeconds(1.0, 0).IsValid());
}

// Time stamps from damaged files can be anywhere in the 64-bit range.
TEST(SaturatingMath, ClampsInsteadOfOverflowing) {
    constexpr int64_t max = INT64_MAX, min = INT64_MIN;
    EXPECT_EQ(SaturatingAdd(max - 1, 5), max);
    EXPECT_EQ(SaturatingAdd(min + 1, -5), min);
    EXPECT_EQ(SaturatingSubtract(0, min), max);
    EXPECT_EQ(SaturatingSubtract(3, 10), -7);
}
