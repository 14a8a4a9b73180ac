#include "platform/DrawableImage.h"

#include <cmath>

DrawableImage::DrawableImage(QImage bitmap) : m_Bitmap(std::move(bitmap)), m_oSize(m_Bitmap.size()) {}

QSize DrawableImage::PixelSizeFor(QSizeF size) {
    return QSize(static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height())));
}

DrawableImage DrawableImage::WithSize(QSizeF) { return {}; }

PointPainter::PointPainter(DrawableImage& image) : m_Painter(&image.bitmap()), m_dblHeight(image.size().height()) {}

QRectF PointPainter::ToTopDown(double x, double y, double width, double height) const {
    return QRectF(x, m_dblHeight - y - height, width, height);
}
