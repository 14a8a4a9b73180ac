#include <gtest/gtest.h>

#include <QFile>
#include <functional>

#include "extract/ExtractTestSupport.h"
#include "extract/GreyScaleConverter.h"
#include "extract/WatermarkPlacement.h"
#include "platform/ImageFiles.h"

namespace {

// A processor with a cached watermark, as opening a video with the option on leaves it.
struct StampingProcessor : VideoFileProcessor {
    StampingProcessor(const QImage& watermark, QSizeF points, long long alignment,
                      long long transparency = 100) {
        m_pWatermarkImageUserSelected = DrawableImage(watermark);
        m_iUserSelectedWaterMarkImageWidth = static_cast<long long>(points.width());
        m_iUserSelectedWaterMarkImageHeight = static_cast<long long>(points.height());
        m_iWatermarkAlignment = alignment;
        m_iTransparency = transparency;
    }
};

QRect Area(const QImage& image, const std::function<bool(QRgb)>& ink) {
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image.pixel(x, y))) area |= QRect(x, y, 1, 1);
    return area;
}

QRect RedArea(const QImage& image) {
    return Area(image, [](QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60; });
}

QRect DarkArea(const QImage& image) {
    return Area(image, [](QRgb pixel) { return qRed(pixel) < 128; });
}

QRect Stamped(QSize pixels, QSizeF points, long long alignment, QSize canvas = {100, 50}) {
    StampingProcessor processor(Filled(pixels, Qt::red), points, alignment);
    DrawableImage image(Filled(canvas, Qt::white));
    processor.AddWatermarkToImage(image);
    return RedArea(image.bitmap());
}

TEST(FrameProcessing, WatermarkPlacementsInBottomUpCoordinates) {
    const std::pair<long long, QRect> cases[] = {
        {0, QRect(0, 0, 10, 6)},   {1, QRect(90, 0, 10, 6)},  {2, QRect(0, 44, 10, 6)},
        {3, QRect(90, 44, 10, 6)}, {4, QRect(45, 22, 10, 6)}, {7, QRect(0, 44, 10, 6)},
    };
    for (const auto& [alignment, expected] : cases)
        EXPECT_EQ(Stamped({10, 6}, {10, 6}, alignment), expected) << "alignment " << alignment;
    // A 20 x 12 pixel image at 144 dpi is 10 x 6 points, and is drawn at that size.
    EXPECT_EQ(Stamped({20, 12}, {10, 6}, 0), QRect(0, 0, 10, 6));
    // x = -20: the left part falls outside.
    EXPECT_EQ(Stamped({60, 10}, {60, 10}, 3, {40, 40}), QRect(0, 30, 40, 10));
}

TEST(FrameProcessing, CentreOpacityAndNoWatermark) {
    EXPECT_EQ(WatermarkOrigin(4, QSizeF(101, 51), 11, 5), QPointF(45.5, 23.5));  // half points

    StampingProcessor faint(Filled({10, 10}, Qt::black), QSizeF(10, 10), 2, 1);
    DrawableImage image(Filled({40, 40}, Qt::white));
    faint.AddWatermarkToImage(image);
    const int faded = qRed(image.bitmap().pixel(2, 35));  // 1 % of black over white
    EXPECT_GE(faded, 250);
    EXPECT_LT(faded, 255);

    DrawableImage untouched(Filled({20, 20}, Qt::white));
    VideoFileProcessor().AddWatermarkToImage(untouched);  // no image, no width
    EXPECT_EQ(untouched.bitmap(), Filled({20, 20}, Qt::white));
}

TEST(FrameProcessing, GreyKeepsAlphaAndTheWatermarkStaysColoured) {
    const QRgb colours[] = {qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 255), qRgba(0, 0, 255, 128),
                            qRgba(10, 200, 30, 0)};
    QImage picture(4, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 4; ++x) picture.setPixel(x, 0, colours[x]);
    const QImage grey = GreyScaleConverter()
                            .imageToGreyImage(DrawableImage(picture))
                            .bitmap()
                            .convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < 4; ++x) {  // grey, with the alpha kept
        const int level = qRed(grey.pixel(x, 0));
        EXPECT_EQ(grey.pixel(x, 0), qRgba(level, level, level, qAlpha(colours[x]))) << x;
    }
    EXPECT_EQ(qRed(grey.pixel(0, 0)), 77);
    EXPECT_EQ(qRed(grey.pixel(1, 0)), 149);
}

TEST(FrameProcessing, ScalingKeepsSinglePrecisionSizes) {
    VideoFileProcessor processor;
    const DrawableImage frame(Filled({1920, 1080}, Qt::blue));
    const QSizeF target(static_cast<float>(1920 * 33.0 / 100),
                        static_cast<float>(1080 * 33.0 / 100));
    const DrawableImage scaled = processor.resizeImage(frame, target);
    EXPECT_EQ(scaled.size().width(), 633.5999755859375);
    EXPECT_EQ(scaled.size().height(), 356.3999938964844);
    EXPECT_EQ(scaled.bitmap().size(), QSize(634, 357));
    EXPECT_FALSE(scaled.bitmap().hasAlphaChannel());
    EXPECT_EQ(scaled.bitmap().pixel(633, 356), qRgb(0, 0, 255));  // covered to the edge
}

TEST(FrameProcessing, TimeStampTouchesTheTopRightCornerIsClippedAndTakesTheStoredColour) {
    VideoFileProcessor processor;
    DrawableImage image(Filled({320, 240}, Qt::white));
    processor.DrawImageTime(0, image);
    const QRect ink = DarkArea(image.bitmap());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 300);   // "0s" in 12-pixel type is about 13 pixels wide
    EXPECT_GE(ink.right(), 316);  // ends at the right edge, less the glyph's side bearing
    EXPECT_LE(ink.top(), 4);
    EXPECT_LE(ink.bottom(), 12);
    EXPECT_GE(ink.height(), 7);  // cap height of a 12-pixel face

    DrawableImage narrow(Filled({20, 20}, Qt::white));
    processor.DrawImageTime(3725, narrow);  // "1h 2m 5s" is wider than the image
    EXPECT_GT(DarkArea(narrow.bitmap().copy(0, 6, 20, 1)).width(), 0);

    AppSettings().SetTimeColor(QColor(Qt::red));  // taken when a video is opened
    processor.OpenVideoFile(QString());
    DrawableImage red(Filled({60, 20}, Qt::white));
    processor.DrawImageTime(0, red);
    EXPECT_GE(RedArea(red.bitmap()).left(), 40);
    EXPECT_GT(RedArea(red.bitmap()).width(), 5);
}

TEST(FrameProcessing, RunAppliesGreyScaleAndStampsAfterScaling) {
    const QString video =
        ColourSequenceVideo("red-white-320.mkv", {"red", "white"}, QSize(320, 240));
    const QString watermark = MakeTempDir("mark") + "/mark.png";
    Filled({8, 8}, Qt::green).save(watermark);
    const RunOptions options{.to = 1, .sizePercentage = 50, .format = 4, .timeStamp = 1};
    const ExtractionResult result = Extract(video, options, [&watermark](AppSettings& settings) {
        settings.SetOutputImageAsGreyScale(1);
        settings.SetAddWatermark(1);
        settings.SetWatermarkFilePath(watermark);
        settings.SetAlignment(2);
        settings.SetTransparency(100);
    });
    ASSERT_EQ(result.files->size(), 1);
    const QImage image = LoadImageFile(result.files->at(0));
    ASSERT_EQ(image.size(), QSize(160, 120));
    EXPECT_EQ(image.pixel(80, 60), qRgb(77, 77, 77));  // red turned grey
    EXPECT_EQ(image.pixel(2, 117), qRgb(0, 255, 0));   // watermark keeps its colour
    EXPECT_LT(qRed(image.pixel(155, 6)), 60);          // time text at the top right
}

}  // namespace
