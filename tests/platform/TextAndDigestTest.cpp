#include <gtest/gtest.h>

#include <QFile>

#include "platform/CMTime.h"
#include "platform/DurationText.h"
#include "platform/Md5.h"
#include "platform/SaturatingMath.h"
#include "support/Fixtures.h"

// Fractions name the second they lie in.
TEST(DurationText, AbbreviatedUnitsWithZerosDropped) {
    const std::pair<double, const char*> cases[] = {
        {3725, "1h 2m 5s"},     {60, "1m"},      {0, "0s"},
        {3600, "1h"},           {3605, "1h 5s"}, {65, "1m 5s"},
        {90061, "1d 1h 1m 1s"}, {59.7, "59s"},   {0.9999999999999999, "0s"},
        {std::nan(""), "0s"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(Md5, DigestsAreLowerCaseHex) {
    EXPECT_EQ(MD5OfData(QByteArray()), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5OfData("abc"), "900150983cd24fb0d6963f7d28e17f72");
    const QString path = MakeTempDir("md5") + "/big.bin";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray block(3 << 20, 'x');  // spans several read chunks
    file.write(block);
    file.close();
    EXPECT_EQ(MD5OfFile(path), MD5OfData(block));
    EXPECT_FALSE(MD5OfFile(path + ".missing").has_value());
}

TEST(CMTime, SecondsAndTicks) {
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(CMTime{})));
    EXPECT_DOUBLE_EQ(CMTimeGetSeconds(CMTimeMake(3003, 30000)), 0.1001);
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
    EXPECT_EQ(SaturatingAdd(-7, 3), -4);
    EXPECT_EQ(SaturatingSubtract(max, -1), max);
    EXPECT_EQ(SaturatingSubtract(min, 1), min);
    EXPECT_EQ(SaturatingSubtract(0, min), max);
    EXPECT_EQ(SaturatingSubtract(3, 10), -7);
}
