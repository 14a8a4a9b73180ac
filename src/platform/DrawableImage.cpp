#include "platform/DrawableImage.h"

#include <cmath>

namespace {

// Larger bitmaps are refused rather than attempted (4 bytes a pixel, 1 GB).
constexpr double kMaxPixels = 256.0 * 1024 * 1024;

// Painting needs one of the two 32-bit formats; other formats are converted once here.
QImage Paintable(QImage bitmap) {
    if (bitmap.isNull()) return bitmap;
    const QImage::Format format =
        bitmap.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (bitmap.format() == format) return bitmap;
    return bitmap.convertToFormat(format);
}

}  // namespace

DrawableImage::DrawableImage(QImage bitmap)
    : m_Bitmap(Paintable(std::move(bitmap))), m_oSize(m_Bitmap.size()) {}

DrawableImage::DrawableImage(QImage bitmap, QSizeF size)
    : m_Bitmap(Paintable(std::move(bitmap))), m_oSize(m_Bitmap.isNull() ? QSizeF(0, 0) : size) {}

QSize DrawableImage::PixelSizeFor(QSizeF size) {
    return QSize(static_cast<int>(std::ceil(size.width())),
                 static_cast<int>(std::ceil(size.height())));
}

DrawableImage DrawableImage::WithSize(QSizeF size) {
    const double width = size.width();
    const double height = size.height();
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) return {};
    if (std::ceil(width) * std::ceil(height) > kMaxPixels) return {};
    QImage bitmap(PixelSizeFor(size), QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull()) return {};
    bitmap.fill(Qt::transparent);
    return DrawableImage(std::move(bitmap), size);
}

PointPainter::PointPainter(DrawableImage& image) : m_dblHeight(image.size().height()) {
    if (image.isNull() || !m_Painter.begin(&image.bitmap())) return;
    m_Painter.setRenderHint(QPainter::Antialiasing);
    m_Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF points = image.size();
    const QSize pixels = image.bitmap().size();
    if (points.width() > 0 && points.height() > 0 && points != QSizeF(pixels)) {
        m_Painter.scale(pixels.width() / points.width(), pixels.height() / points.height());
    }
}

QRectF PointPainter::ToTopDown(double x, double y, double width, double height) const {
    return QRectF(x, m_dblHeight - y - height, width, height);
}
