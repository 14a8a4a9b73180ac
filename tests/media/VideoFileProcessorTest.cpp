#include <gtest/gtest.h>

#include <QFile>
#include <cmath>

#include "media/VideoFileProcessor.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

class VideoFileProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_F(VideoFileProcessorTest, AnswersDurationRateAndSize) {
    const QString video =
        MakeVideo("nine-and-a-half.mp4",
                  {"-f", "lavfi", "-i", "testsrc2=size=176x144:rate=30000/1001:duration=9.5",
                   "-c:v", "libx264", "-preset", "ultrafast"});
    VideoFileProcessor processor;
    processor.OpenVideoFile(video);
    EXPECT_EQ(processor.mFilePath, video);
    EXPECT_NEAR(processor.GetVideoDurationInSeconds(), 9.5, 0.05);
    EXPECT_TRUE(processor.GetVideoDuration().IsValid());
    EXPECT_NEAR(processor.GetFrameRate(), 29.97, 0.01);
    EXPECT_EQ(processor.GetVideoDimensions(), QSizeF(176, 144));
}

TEST_F(VideoFileProcessorTest, SoundOnlyAndUnreadableFilesHaveNoFrameRate) {
    const QString sound =
        MakeVideo("sound-only.m4a", {"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "aac"});
    const QString text = WriteTestFile(MakeTempDir("processor") + "/text.mp4", "not a video");
    for (const QString& path : {sound, text, text + ".missing", QString()}) {
        VideoFileProcessor processor;
        processor.OpenVideoFile(path);
        EXPECT_EQ(processor.GetFrameRate(), 0.0f) << path.toStdString();
        EXPECT_EQ(processor.GetVideoDimensions(), QSizeF(0, 0));
    }
    VideoFileProcessor unreadable;
    unreadable.OpenVideoFile(text);
    const double duration = unreadable.GetVideoDurationInSeconds();
    EXPECT_TRUE(std::isnan(duration) || duration == 0);
    VideoFileProcessor unopened;
    EXPECT_TRUE(std::isnan(unopened.GetVideoDurationInSeconds()));
}

TEST_F(VideoFileProcessorTest, OpeningCachesTheSettingsOfThatMoment) {
    const QString mark = MakeTempDir("processor-mark") + "/mark.png";
    QImage image(400, 200, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.setDotsPerMeterX(5669);  // 144 dots per inch: 200 x 100 points
    image.setDotsPerMeterY(5669);
    ASSERT_TRUE(image.save(mark));
    AppSettings settings;
    settings.SetAddWatermark(1);
    settings.SetWatermarkFilePath(mark);
    settings.SetTransparency(35);
    settings.SetAlignment(3);
    settings.SetCompressionFactor(80);
    VideoFileProcessor processor;
    processor.OpenVideoFile(mark);  // any path: the watermark does not depend on the video
    settings.SetTransparency(90);
    EXPECT_EQ(processor.m_iTransparency, 35);
    EXPECT_EQ(processor.m_iWatermarkAlignment, 3);
    EXPECT_EQ(processor.m_iCompressionFactor, 80);
    EXPECT_EQ(processor.m_iUserSelectedWaterMarkImageWidth, 200);
    EXPECT_EQ(processor.m_iUserSelectedWaterMarkImageHeight, 100);
}

TEST_F(VideoFileProcessorTest, DurationTextAndFrameImage) {
    EXPECT_EQ(VideoFileProcessor::GetTimeFromSeconds(3725.0), "1h 2m 5s");
    QImage frame(7, 3, QImage::Format_RGB32);
    frame.fill(Qt::cyan);
    const DrawableImage image = VideoFileProcessor().imageFromCGImageRef(frame);
    EXPECT_EQ(image.size(), QSizeF(7, 3));
    EXPECT_EQ(image.bitmap(), frame);
}

}  // namespace
