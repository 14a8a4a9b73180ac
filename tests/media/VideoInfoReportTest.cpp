// The video information report: its lines, texts and line ends, read from real videos.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <cmath>

#include "media/VideoFileProcessor.h"
#include "media/VideoInfoReport.h"
#include "support/Fixtures.h"

namespace {

// 12.5 s of 1920 x 1080 in 25 frames, with no tags at all.
QString PlainHdVideo() {
    return MakeVideo("info-hd.mp4",
                     "-f lavfi -i color=c=blue:size=1920x1080:rate=2 -t 12.5 -c:v libx264 -preset "
                     "ultrafast -pix_fmt yuv420p -map_metadata -1 -fflags +bitexact -flags:v "
                     "+bitexact");
}

QString TaggedVideo() {
    QStringList args = QString(
                           "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 -c:v libx264 "
                           "-preset ultrafast -fflags +bitexact -flags:v +bitexact")
                           .split(' ');
    for (const char* tag : {"title=Café au lait ☕", "lyrics=la la la",
                            "creation_time=2020-01-02T03:04:05Z", "comment="})
        args << "-metadata" << tag;
    return MakeVideo("info-tagged.mp4", args);
}

QString ReportOf(const QString& video) {
    VideoFileProcessor processor;
    processor.OpenVideoFile(video);
    return processor.GetVideoInfo();
}

TEST(ByteCountTextTest, DecimalUnitsWithThePlatformsDigits) {
    const std::pair<long long, QString> cases[] = {
        {0, "Zero KB"},      {1, "1 byte"},           {999, "999 bytes"},
        {1500, "2 KB"},      {999500, "1 MB"},        {1250000, "1.3 MB"},
        {999950000, "1 GB"}, {1234567890, "1.23 GB"}, {-1234567, "-1.2 MB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(ByteCountText(bytes), text) << bytes;
}

TEST(ClockTextTest, UtcClockOfTheDayWithoutTheFraction) {
    const std::pair<double, QString> cases[] = {
        {59.999, "00:00:59"}, {3723, "01:02:03"}, {25 * 3600.0, "01:00:00"},
        {-1, "23:59:59"},     {NAN, "00:00:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(ClockTextOfSeconds(seconds), text) << seconds;
}

TEST(VideoInfoReportTest, HdVideoReportHasEveryLineInOrderWithCrLfEnds) {
    const QString video = PlainHdVideo();
    QByteArray md5sum;
    ASSERT_EQ(RunProgram("md5sum", {video}, &md5sum), 0);
    const qint64 size = QFileInfo(video).size();
    const QString report = ReportOf(video);
    const QStringList lines = report.split("\r\n");
    ASSERT_EQ(lines.size(), 13) << report.toStdString();
    const QStringList expected{
        "Video Information",
        "Path\t" + QFileInfo(video).absoluteFilePath(),
        "Duration\t12.50 Seconds, 00:00:12",
        "Dimensions\t1920 X 1080",
        "Timescale\t16384",  // the track's: 2 fps doubled up to at least 10000
        "MD5\t" + QString::fromLatin1(md5sum.left(32)),
        "File Size :\t" + ByteCountText(size),
        QString("File Size (in Bytes) :\t%1").arg(size),
        "Playable :\tYes",
        "Has Protected Content :\tNo",
        "Track Count:\t1",
        "Frame Rate:\t2.000000",
    };
    EXPECT_EQ(lines.mid(0, 12), expected);
    // Ends with the data rate line: no lyrics, date or tags.
    EXPECT_TRUE(lines.last().startsWith("Estimated Data Rate :\t")) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().endsWith(" per second."));
    EXPECT_EQ(report.count('\n'), report.count("\r\n"));
}

TEST(VideoInfoReportTest, TagsGiveTheCreatedLyricsAndValueLines) {
    const QStringList lines = ReportOf(TaggedVideo()).split("\r\n");
    const qsizetype playable = lines.indexOf("Playable :\tYes");
    ASSERT_GT(playable, 0);
    EXPECT_EQ(lines[playable - 1], "Created :\t2020-01-02T03:04:05.000000Z");
    const qsizetype lyrics = lines.indexOf("Lyrics:\tla la la");
    ASSERT_GT(lyrics, playable);
    EXPECT_TRUE(lines[lyrics - 1].startsWith("Estimated Data Rate :\t"));
    // The value lines: the title, unlabelled; the empty comment is skipped.
    EXPECT_EQ(lines.mid(lyrics + 1), QStringList{"Café au lait ☕"});
}

TEST(VideoInfoReportTest, UnreadableFileLeavesOutTheDigestAndShowsZeroBytes) {
    const QString report = ReportOf(TestHome() + "/no such video.mp4");
    EXPECT_FALSE(report.contains("MD5"));
    EXPECT_FALSE(report.contains("File Size :"));
    EXPECT_TRUE(report.contains("\r\nFile Size (in Bytes) :\t0\r\n"));
    EXPECT_TRUE(report.endsWith("\r\nTrack Count:\t0"));
    EXPECT_TRUE(report.contains("\r\nPlayable :\tNo\r\n"));
}

}  // namespace
