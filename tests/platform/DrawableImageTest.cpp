#include <gtest/gtest.h>

#include <limits>

#include "platform/DrawableImage.h"

namespace {

// The pixels (as a bounding box) where the bitmap is not fully transparent.
QRect PaintedArea(const QImage& bitmap) {
    QRect area;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            if (qAlpha(bitmap.pixel(x, y)) != 0) area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

}  // namespace

TEST(DrawableImageSize, PixelsArePointsRoundedUp) {
    EXPECT_EQ(DrawableImage::PixelSizeFor({633.6, 356.4}), QSize(634, 357));
    EXPECT_EQ(DrawableImage::PixelSizeFor({633.5999755859375, 356.3999938964844}), QSize(634, 357));
    EXPECT_EQ(DrawableImage::PixelSizeFor({1920, 1080}), QSize(1920, 1080));
    EXPECT_EQ(DrawableImage::PixelSizeFor({0.2, 1.0001}), QSize(1, 2));
}

TEST(DrawableImageSize, WithSizeIsBlankAndKeepsItsPointSize) {
    const DrawableImage image = DrawableImage::WithSize({633.6, 356.4});
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSizeF(633.6, 356.4));
    EXPECT_EQ(image.bitmap().size(), QSize(634, 357));
    EXPECT_EQ(image.bitmap().format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(PaintedArea(image.bitmap()).isEmpty());
}

TEST(DrawableImageSize, UnusableSizesGiveNullImages) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (QSizeF size : {QSizeF(0, 10), QSizeF(10, -1), QSizeF(nan, 10), QSizeF(10, inf),
                        QSizeF(1e6, 1e6), QSizeF()}) {
        EXPECT_TRUE(DrawableImage::WithSize(size).isNull()) << size.width() << "x" << size.height();
    }
    EXPECT_TRUE(DrawableImage(QImage()).isNull());
    EXPECT_EQ(DrawableImage(QImage()).size(), QSizeF(0, 0));
    EXPECT_EQ(DrawableImage().size(), QSizeF(0, 0));
}

TEST(DrawableImageSize, BitmapsBecomePaintable) {
    QImage grey(30, 20, QImage::Format_Grayscale8);
    grey.fill(128);
    const DrawableImage opaque(grey);
    EXPECT_EQ(opaque.size(), QSizeF(30, 20));
    EXPECT_EQ(opaque.bitmap().format(), QImage::Format_RGB32);
    EXPECT_EQ(opaque.bitmap().pixel(3, 3), qRgb(128, 128, 128));
    const DrawableImage clear(QImage(8, 8, QImage::Format_ARGB32), QSizeF(4, 4));
    EXPECT_EQ(clear.bitmap().format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(clear.size(), QSizeF(4, 4));
}

TEST(DrawableImagePainter, BottomUpRectanglesLandOnTheirPixels) {
    DrawableImage image = DrawableImage::WithSize({100, 50});
    PointPainter painter(image);
    EXPECT_EQ(painter.ToTopDown(10, 5, 20, 10), QRectF(10, 35, 20, 10));
    painter.painter().fillRect(painter.ToTopDown(10, 5, 20, 10), Qt::red);
    painter.painter().end();
    EXPECT_EQ(PaintedArea(image.bitmap()), QRect(10, 35, 20, 10));
    EXPECT_EQ(image.bitmap().pixel(10, 44), qRgb(255, 0, 0));
}

TEST(DrawableImagePainter, PointsScaleToThePixels) {
    // Twice as many pixels as points: the bottom-left quarter in points is the bottom-left
    // quarter of the bitmap.
    QImage bitmap(200, 100, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    DrawableImage image(bitmap, QSizeF(100, 50));
    PointPainter painter(image);
    painter.painter().fillRect(painter.ToTopDown(0, 0, 50, 25), Qt::blue);
    painter.painter().end();
    EXPECT_EQ(PaintedArea(image.bitmap()), QRect(0, 50, 100, 50));

    // A fractional point size fills its rounded-up bitmap exactly.
    DrawableImage fractional = DrawableImage::WithSize({633.6, 356.4});
    PointPainter fill(fractional);
    fill.painter().fillRect(QRectF(QPointF(0, 0), fractional.size()), Qt::green);
    fill.painter().end();
    EXPECT_EQ(fractional.bitmap().pixel(633, 356), qRgb(0, 255, 0));
    EXPECT_EQ(fractional.bitmap().pixel(0, 0), qRgb(0, 255, 0));
}

TEST(DrawableImagePainter, NullImageGivesAnInactivePainter) {
    DrawableImage image;
    PointPainter painter(image);
    EXPECT_FALSE(painter.painter().isActive());
}
