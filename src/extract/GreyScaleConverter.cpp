#include "extract/GreyScaleConverter.h"

namespace {

// 8-bit luma with BT.601 weights in 16-bit fixed point: (77 R + 150 G + 29 B + 128) / 256.
inline int Luma(QRgb pixel) {
    return (77 * qRed(pixel) + 150 * qGreen(pixel) + 29 * qBlue(pixel) + 128) >> 8;
}

void GreyScanLine(QRgb* pixels, int width) {
    for (int column = 0; column < width; ++column) {
        const int grey = Luma(pixels[column]);
        pixels[column] = qRgba(grey, grey, grey, qAlpha(pixels[column]));
    }
}

}  // namespace

DrawableImage GreyScaleConverter::imageToGreyImage(const DrawableImage& image) const {
    if (image.isNull()) return image;
    // Unpremultiplied, so that the grey of a half-transparent pixel is that of its colour.
    const bool opaque = !image.bitmap().hasAlphaChannel();
    QImage bitmap =
        image.bitmap().convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    for (int row = 0; row < bitmap.height(); ++row)
        GreyScanLine(reinterpret_cast<QRgb*>(bitmap.scanLine(row)), bitmap.width());
    return DrawableImage(std::move(bitmap));
}
