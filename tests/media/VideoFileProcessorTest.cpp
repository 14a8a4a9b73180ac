#include <gtest/gtest.h>

#include "media/VideoFileProcessor.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

// The watermark is cached at its size in points (a 144 dpi image: half its pixels), only
// when the option is on and the file exists; later changes of the store do not apply.
TEST(VideoFileProcessorTest, OpeningCachesTheSettingsOfThatMoment) {
    const QString mark = MakeTempDir("processor-mark") + "/mark.png";
    QImage image(400, 200, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.setDotsPerMeterX(5669);
    image.setDotsPerMeterY(5669);
    ASSERT_TRUE(image.save(mark));
    for (auto [enabled, path] : {std::pair{0LL, mark}, {1LL, mark + ".gone"}, {1LL, mark}}) {
        AppSettings settings;
        settings.SetAddWatermark(enabled);
        settings.SetWatermarkFilePath(path);
        settings.SetTransparency(35);
        settings.SetAlignment(3);
        settings.SetCompressionFactor(80);
        VideoFileProcessor processor;
        processor.OpenVideoFile(mark);  // any path: the watermark does not depend on the video
        settings.SetTransparency(90);
        EXPECT_EQ(processor.m_iTransparency, 35);
        EXPECT_EQ(processor.m_iWatermarkAlignment, 3);
        EXPECT_EQ(processor.m_iCompressionFactor, 80);
        const bool loaded = enabled == 1 && path == mark;
        EXPECT_EQ(processor.m_iUserSelectedWaterMarkImageWidth, loaded ? 200 : 0);
        EXPECT_EQ(processor.m_iUserSelectedWaterMarkImageHeight, loaded ? 100 : 0);
        EXPECT_EQ(processor.m_pWatermarkImageUserSelected.isNull(), !loaded);
    }
}

}  // namespace
