#include <gtest/gtest.h>

#include <QRegularExpression>

#include "../extract/ExtractTestSupport.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageFiles.h"
#include "wall/WallLayout.h"

namespace {

class VideoWallTest : public ::testing::Test {
  protected:
    QString folder = MakeTempDir("walls");
};

TEST_F(VideoWallTest, FiveTilesAreTheExactFramesTopRowFirst) {
    const QString video = MovingPictureVideo();  // 160 x 120, 30 fps, 10 s
    const auto processor = OpenWith(video, {.interval = 2, .format = 4});
    ASSERT_TRUE(processor->ExportVideoWall(folder + "/wall"));
    EXPECT_EQ(Recorded().openedURLs, QStringList{folder + "/wall"});
    const QImage wall = LoadImageFile(folder + "/wall").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(wall.size(), QSize(320, 360));
    const ReferenceFrames reference = DecodeWithReference(video, 160, 120);
    for (int tile = 0; tile < 5; ++tile) {
        const QImage image = wall.copy((tile % 2) * 160, (tile / 2) * 120, 160, 120);
        EXPECT_EQ(ClosestFrame(reference, image), tile * 60) << "tile " << tile;
        EXPECT_LT(CompareImages(reference.images[tile * 60], image).meanDifference, 1.5);
    }
}

TEST_F(VideoWallTest, RefusedWallsWriteAndOpenNothing) {
    // The size limits are WallLayoutTest's; an empty range and an oversized wall the CLI test's.
    const std::tuple<QString, RunOptions, QString, QString> cases[] = {
        {SoundOnly(), {.to = 1, .format = 4}, "/w.png", kNoImagesInWallText},
        {MovingPictureVideo(),
         {.interval = 2, .format = 4},
         "/missing/w.png",
         "could not be saved"},
    };
    for (const auto& [video, options, target, reason] : cases) {
        QString error;
        EXPECT_FALSE(OpenWith(video, options)->ExportVideoWall(folder + target, &error));
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
    }
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(VideoWallTest, OneDecoderPassServesAllTilesOfALongVideo) {
    const QString video = MakeVideo("long-64x48-25fps.mp4",
                                    "-f lavfi -i testsrc2=size=64x48:rate=25:duration=60 -c:v "
                                    "libx264 -preset veryfast -g 250 -keyint_min 250 "
                                    "-sc_threshold 0");
    QString log;
    SetLogObserver([&log](const QString& line) { log += line + '\n'; });
    EXPECT_TRUE(
        OpenWith(video, {.to = 60, .format = 4, .rows = 6})->ExportVideoWall(folder + "/long.png"));
    SetLogObserver({});
    const auto match =
        QRegularExpression("Video Wall : 60 Tiles, (\\d+) Frames Decoded").match(log);
    ASSERT_TRUE(match.hasMatch()) << log.toStdString();
    // 1500 frames in all; decoding from the keyframe before every tile would take ~7500.
    EXPECT_LE(match.captured(1).toLongLong(), 1500 + 10);
}

}  // namespace
