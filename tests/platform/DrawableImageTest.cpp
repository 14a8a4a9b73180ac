#include <gtest/gtest.h>

#include <limits>

#include "platform/DrawableImage.h"

namespace {

QImage Clear(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

// (The single-precision frame sizes are the scaling test's.)
TEST(DrawableImage, PointSizesRoundUpToPaintablePixels) {
    EXPECT_EQ(DrawableImage::PixelSizeFor({0.2, 1.0001}), QSize(1, 2));
    EXPECT_EQ(DrawableImage::WithSize({633.6, 356.4}).bitmap(), Clear({634, 357}));
    QImage grey(30, 20, QImage::Format_Grayscale8);
    grey.fill(128);
    const DrawableImage opaque(grey);
    EXPECT_EQ(opaque.size(), QSizeF(30, 20));
    EXPECT_EQ(opaque.bitmap().pixel(3, 3), qRgb(128, 128, 128));
    EXPECT_EQ(opaque.bitmap().format(), QImage::Format_RGB32);
    EXPECT_EQ(DrawableImage(QImage(8, 8, QImage::Format_ARGB32), QSizeF(4, 4)).bitmap().format(),
              QImage::Format_ARGB32_Premultiplied);
}

TEST(DrawableImage, UnusableSizesGiveNullImagesAndInactivePainters) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (QSizeF size : {QSizeF(0, 10), QSizeF(10, -1), QSizeF(nan, 10), QSizeF(10, inf),
                        QSizeF(1e6, 1e6), QSizeF()})
        EXPECT_TRUE(DrawableImage::WithSize(size).isNull()) << size.width() << "x" << size.height();
    DrawableImage null(QImage{});
    EXPECT_TRUE(null.isNull());
    PointPainter painter(null);
    EXPECT_FALSE(painter.painter().isActive());
}

// A bottom-up rectangle in points fills exactly its pixels, whatever the pixels per point.
TEST(DrawableImage, BottomUpRectanglesLandOnTheirPixels) {
    const std::tuple<DrawableImage, QRectF, QRect> cases[] = {
        {DrawableImage::WithSize({100, 50}), {10, 5, 20, 10}, {10, 35, 20, 10}},
        {DrawableImage(Clear({200, 100}), {100, 50}), {0, 0, 50, 25}, {0, 50, 100, 50}},
    };
    for (const auto& [original, points, pixels] : cases) {
        DrawableImage image = original;
        PointPainter painter(image);
        const QRectF r = painter.ToTopDown(points.x(), points.y(), points.width(), points.height());
        painter.painter().fillRect(r, Qt::red);
        painter.painter().end();
        QImage expected = Clear(image.bitmap().size());
        QPainter(&expected).fillRect(pixels, Qt::red);
        EXPECT_EQ(image.bitmap(), expected) << pixels.width() << "x" << pixels.height();
    }
}
