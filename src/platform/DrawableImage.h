#pragma once
// A picture with a size in points over a bitmap. The bitmap's pixel size is the point size
// rounded up, so a 633.6 x 356.4 point image has 634 x 357 pixels. Drawing happens in points
// with the origin at the bottom-left corner and y growing upward.
// Plain value; any thread, one at a time.

#include <QImage>
#include <QPainter>
#include <QSizeF>

class DrawableImage {
  public:
    DrawableImage() = default;
    // An image whose size in points is the bitmap's pixel size.
    explicit DrawableImage(QImage bitmap);
    // An image of `size` points over `bitmap` (e.g. a file stating a resolution other than
    // 72 dpi). The bitmap keeps its own pixel size; drawing scales points to its pixels.
    DrawableImage(QImage bitmap, QSizeF size);
    // A blank (fully transparent) image of `size` points; null when the size is empty, not
    // finite, beyond 1 GB of pixels, or the bitmap cannot be allocated.
    static DrawableImage WithSize(QSizeF size);

    bool isNull() const { return m_Bitmap.isNull(); }
    QSizeF size() const { return m_oSize; }
    const QImage& bitmap() const { return m_Bitmap; }
    QImage& bitmap() { return m_Bitmap; }

    // Pixel extent of a point size: each side rounded up.
    static QSize PixelSizeFor(QSizeF size);

  private:
    QImage m_Bitmap;       // Format_ARGB32_Premultiplied or Format_RGB32
    QSizeF m_oSize{0, 0};  // (0, 0) when null
};

// A QPainter on a DrawableImage whose coordinates are the image's points with the origin at
// the top-left (Qt's convention). ToTopDown turns a bottom-up rectangle into them.
// Antialiasing and smooth image scaling are on. The image must outlive the painter, and
// nothing else may touch its bitmap while the painter lives. On a null image the painter is
// inactive and draws nothing.
class PointPainter {
  public:
    explicit PointPainter(DrawableImage& image);
    QPainter& painter() { return m_Painter; }
    // The rectangle whose bottom-left corner is (x, y) in bottom-up coordinates.
    QRectF ToTopDown(double x, double y, double width, double height) const;

  private:
    QPainter m_Painter;
    double m_dblHeight;
};
