// What an opened file reports about itself, for real videos and for files that are not.
#include <gtest/gtest.h>

#include <QFile>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/DiagnosticLog.h"
#include "platform/FFmpegSetup.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

QStringList Video(double seconds, const QString& rate, const QString& args) {
    const QString source = "-f lavfi -i testsrc2=size=320x240:rate=%1:duration=%2 %3";
    return source.arg(rate, QString::number(seconds), args).split(' ');
}

TEST(MediaAsset, ReportsItsTracksTimeScaleRateAndSize) {
    const struct {
        QString path;
        int32_t timescale;  // 0: not checked
        double seconds, tolerance;
        float rate;
        const char* codec;
    } cases[] = {
        // ffmpeg's mp4 muxer gives a 25 fps track the time base 1/12800.
        {MakeVideo("asset-h264.mp4", Video(3, "25", "-c:v libx264")), 12800, 3.0, 0, 25, "h264"},
        {MakeVideo("asset-2997.mkv", Video(2, "30000/1001", "-c:v libx264")), 1000, 2.0, 0.04,
         29.97f, "h264"},
        // AVI counts in frames (1/25 s); that scale is raised so 0.1 s steps stay exact.
        {MakeVideo("asset-mpeg4.avi", Video(2, "25", "-c:v mpeg4")), 0, 2.0, 0, 25, "mpeg4"},
        // The container states no data rate; it is estimated from the size.
        {MakeVideo("asset-vp9.webm",
                   Video(2, "25", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8")),
         0, 2.0, 0.04, 25, "vp9"},
        {RotatedVideo(90), 0, 1.0, 0.04, 25, "h264"},  // the natural size ignores rotation
        {MakeVideo("asset-sine.m4a", "-f lavfi -i sine=duration=1.5 -c:a aac"), 0, 1.5, 0.05, 0,
         "aac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto asset = MediaAsset::Open(c.path);
        EXPECT_TRUE(asset->isReadable());
        EXPECT_EQ(c.timescale ? asset->duration().timescale : 0, c.timescale);
        EXPECT_NEAR(CMTimeGetSeconds(asset->duration()), c.seconds, c.tolerance);
        EXPECT_NEAR(asset->nominalFrameRate(), c.rate, 0.001f);
        EXPECT_EQ(asset->hasVideoTrack(), c.rate > 0);
        EXPECT_EQ(asset->naturalSize(), c.rate > 0 ? QSizeF(320, 240) : QSizeF(0, 0));
        ASSERT_EQ(asset->tracks().size(), 1u);
        EXPECT_EQ(asset->tracks()[0].mediaType, c.rate > 0 ? "video" : "audio");
        EXPECT_EQ(asset->tracks()[0].codecName, c.codec);
        if (c.rate == 0) continue;
        const double fileRate = ReadTestFile(c.path).size() * 8.0 / c.seconds;
        EXPECT_GT(asset->estimatedDataRate(), fileRate * 0.5);
        EXPECT_LT(asset->estimatedDataRate(), fileRate * 1.5);
        if (c.path.endsWith(".avi")) {
            EXPECT_EQ(asset->duration().timescale % 25, 0);
            EXPECT_GE(asset->duration().timescale, 600);
        }
    }
}

// A video declaring 16000 x 16000 pictures (a few bytes of YUV4MPEG2; FFmpeg's own limit lets
// it through) is refused on opening, with the size in the reason, so that no decoder ever
// allocates a frame for it.
TEST(MediaAsset, FilesThatAreNotVideosOpenWithoutATrack) {
    const QString folder = MakeTempDir("assets");
    // ffmpeg writes the mp4 index (moov) at the end, so the first half holds media data only.
    const QByteArray mp4 =
        ReadTestFile(MakeVideo("asset-h264.mp4", Video(3, "25", "-c:v libx264")));
    const QString bomb = WriteTestFile(
        folder + "/bomb.y4m",
        "YUV4MPEG2 W16000 H16000 F25:1 Ip A1:1 C420jpeg\nFRAME\n" + QByteArray(64, 'x'));
    for (const QString& path :
         {TestHome() + "/no-such-file.mp4", WriteTestFile(folder + "/empty.mp4", {}),
          WriteTestFile(folder + "/text.mp4", "This is a text file, not a movie.\n"),
          MakeTempDir("folder.mp4"), WriteTestFile(folder + "/cut.mp4", mp4.left(mp4.size() / 2)),
          bomb}) {
        SCOPED_TRACE(path.toStdString());
        const auto asset = MediaAsset::Open(path);
        ASSERT_TRUE(asset);
        EXPECT_FALSE(asset->isReadable());
        EXPECT_FALSE(asset->duration().IsValid());
        EXPECT_FALSE(asset->hasVideoTrack());
        EXPECT_TRUE(asset->tracks().empty());
    }
    EXPECT_EQ(MediaAsset::Open(bomb)->problem(),
              "The video's pictures are 16000 x 16000 pixels, more than the 67108864 pixels a "
              "frame may have.");
    EXPECT_THROW(MediaAsset::OpenDemuxer(bomb), av::Error);
}

// Polls the watch every 250 ms from `from` to `to` (milliseconds) as FFmpeg does while it
// waits on a read; answers when it first said the read had stalled, or -1.
int FirstStall(ReadStallWatch& watch, int source, long long position, int from, int to) {
    for (int ms = from; ms <= to; ms += 250) {
        const auto now = ReadStallWatch::Clock::time_point(std::chrono::milliseconds(ms));
        if (watch.Stalled(reinterpret_cast<const void*>(static_cast<intptr_t>(source)), position,
                          now))
            return ms;
    }
    return -1;
}

// FFmpeg's complaints reach the diagnostic log as whole lines, however many calls make them;
// its chatter does not.
TEST(FFmpegSetup, ErrorsReachTheDiagnosticLogAsWholeLines) {
    QStringList log;
    SetLogObserver([&log](const QString& line) { log << line; });
    EnsureFFmpegReady();
    av_log(nullptr, AV_LOG_ERROR, "broken %s ", "packet");
    av_log(nullptr, AV_LOG_INFO, "chatter\n");
    av_log(nullptr, AV_LOG_ERROR, "%d\n", 7);
    SetLogObserver({});
    EXPECT_EQ(log, QStringList{"FFmpeg: broken packet 7"});
}

// After 20 s of waiting on a read of source 1, another wait: on which source, at which
// position, from when, and when it first stalls.
TEST(ReadStallWatch, OnlyAReadWaitingWithoutProgressForTheLimitIsEnded) {
    const std::tuple<const char*, int, long long, int, int> cases[] = {
        {"standing still", 1, 0, 20250, 30000},
        {"progress starts the count again", 1, 9, 20250, 50250},
        // A reader that paused between reads (a slow consumer) was not waiting on the file.
        {"a pause between reads", 1, 0, 22000, 52000},
        {"another demuxer's reads", 2, 0, 20250, 50250},
    };
    for (const auto& [what, source, position, from, stall] : cases) {
        SCOPED_TRACE(what);
        ReadStallWatch watch(std::chrono::seconds(30));
        EXPECT_EQ(FirstStall(watch, 1, 0, 0, 20000), -1);
        EXPECT_EQ(FirstStall(watch, source, position, from, 60000), stall);
    }
}

}  // namespace
