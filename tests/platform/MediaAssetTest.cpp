// What an opened file reports about itself, for real videos and for files that are not.
#include <gtest/gtest.h>

#include <QFile>
#include <cmath>

#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

QStringList TestSource(const QString& rate, double seconds) {
    return {"-f", "lavfi", "-i",
            QString("testsrc2=size=320x240:rate=%1:duration=%2").arg(rate).arg(seconds)};
}

QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = MakeTempDir("assets") + "/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void ExpectUnreadable(const QString& path) {
    const auto asset = MediaAsset::Open(path);
    ASSERT_TRUE(asset);
    EXPECT_FALSE(asset->isReadable());
    EXPECT_FALSE(asset->duration().IsValid());
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(asset->duration())));
    EXPECT_FALSE(asset->hasVideoTrack());
    EXPECT_EQ(asset->nominalFrameRate(), 0.0f);
    EXPECT_EQ(asset->naturalSize(), QSizeF(0, 0));
    EXPECT_TRUE(asset->tracks().empty());
}

TEST(MediaAsset, Mp4ReportsDurationOverItsVideoTimeScale) {
    const auto asset = MediaAsset::Open(
        MakeVideo("asset-h264.mp4", TestSource("25", 3) + QStringList{"-c:v", "libx264"}));
    EXPECT_TRUE(asset->isReadable());
    ASSERT_TRUE(asset->hasVideoTrack());
    // ffmpeg's mp4 muxer gives a 25 fps track the time base 1/12800.
    EXPECT_EQ(asset->duration().timescale, 12800);
    EXPECT_EQ(asset->duration().value, 3 * 12800);
    EXPECT_EQ(asset->naturalSize(), QSizeF(320, 240));
    EXPECT_FLOAT_EQ(asset->nominalFrameRate(), 25.0f);
    EXPECT_GT(asset->estimatedDataRate(), 0);
    ASSERT_EQ(asset->tracks().size(), 1u);
    EXPECT_EQ(asset->tracks()[0].mediaType, "video");
    EXPECT_EQ(asset->tracks()[0].codecName, "h264");
}

TEST(MediaAsset, NtscRateAndCoarseTimeBases) {
    const auto ntsc = MediaAsset::Open(
        MakeVideo("asset-2997.mkv", TestSource("30000/1001", 2) + QStringList{"-c:v", "libx264"}));
    EXPECT_NEAR(ntsc->nominalFrameRate(), 29.97f, 0.001f);
    EXPECT_EQ(ntsc->duration().timescale, 1000);  // Matroska's millisecond ticks
    EXPECT_NEAR(CMTimeGetSeconds(ntsc->duration()), 2.0, 0.04);

    // AVI counts in frames (1/25 s); that scale is raised so 0.1 s steps stay exact.
    const auto avi = MediaAsset::Open(
        MakeVideo("asset-mpeg4.avi", TestSource("25", 2) + QStringList{"-c:v", "mpeg4"}));
    EXPECT_EQ(avi->duration().timescale % 25, 0);
    EXPECT_GE(avi->duration().timescale, 600);
    EXPECT_DOUBLE_EQ(CMTimeGetSeconds(avi->duration()), 2.0);
}

TEST(MediaAsset, DataRateIsEstimatedWhenTheContainerDoesNotDeclareIt) {
    const QString path = MakeVideo(
        "asset-vp9.webm", TestSource("25", 2) + QStringList{"-c:v", "libvpx-vp9", "-deadline",
                                                            "realtime", "-cpu-used", "8"});
    const auto asset = MediaAsset::Open(path);
    const double fileRate = ReadFile(path).size() * 8.0 / 2.0;
    EXPECT_GT(asset->estimatedDataRate(), fileRate * 0.5);
    EXPECT_LT(asset->estimatedDataRate(), fileRate * 1.5);
}

TEST(MediaAsset, NaturalSizeIgnoresRotation) {
    const auto asset = MediaAsset::Open(MakeVideo(
        "asset-rotated.mp4",
        TestSource("25", 1) + QStringList{"-c:v", "libx264", "-metadata:s:v:0", "rotate=90"}));
    EXPECT_EQ(asset->naturalSize(), QSizeF(320, 240));
}

TEST(MediaAsset, AudioOnlyFileHasNoVideoTrack) {
    const auto asset = MediaAsset::Open(MakeVideo(
        "asset-sine.m4a", {"-f", "lavfi", "-i", "sine=frequency=440:duration=1.5", "-c:a", "aac"}));
    EXPECT_TRUE(asset->isReadable());
    EXPECT_FALSE(asset->hasVideoTrack());
    EXPECT_EQ(asset->nominalFrameRate(), 0.0f);
    EXPECT_EQ(asset->naturalSize(), QSizeF(0, 0));
    EXPECT_NEAR(CMTimeGetSeconds(asset->duration()), 1.5, 0.05);
    ASSERT_EQ(asset->tracks().size(), 1u);
    EXPECT_EQ(asset->tracks()[0].mediaType, "audio");
}

TEST(MediaAsset, FilesThatAreNotVideosOpenWithoutATrack) {
    ExpectUnreadable(TestHome() + "/no-such-file.mp4");
    ExpectUnreadable(WriteFile("empty.mp4", {}));
    ExpectUnreadable(WriteFile("text.mp4", "This is a text file, not a movie.\n"));
    ExpectUnreadable(MakeTempDir("folder.mp4"));
}

TEST(MediaAsset, TruncatedMp4WithoutItsIndexIsUnreadable) {
    // ffmpeg writes the index (moov) at the end, so the first half holds media data only.
    const QByteArray whole =
        ReadFile(MakeVideo("asset-h264.mp4", TestSource("25", 3) + QStringList{"-c:v", "libx264"}));
    ExpectUnreadable(WriteFile("truncated.mp4", whole.left(whole.size() / 2)));
}

}  // namespace
