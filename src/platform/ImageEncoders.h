#pragma once
// Direct writers for the uncompressed and lossless still formats: TIFF (uncompressed RGB),
// BMP (24-bit) and PNG (8-bit RGB or RGBA). They write the same pixels as Qt's writers at
// a fraction of the cost, and let a caller convert a picture straight into the file's own
// pixel area, so a frame is neither copied nor converted twice.
//
// Plain functions without shared state; any thread, several at once. Every file states
// 72 dpi, so its size in points is its size in pixels.

#include <QByteArray>
#include <QImage>
#include <functional>

// Writes `height` rows of packed 8-bit triplets, `stride` bytes apart from `firstRow`.
using PackedRowFiller = std::function<void(unsigned char* firstRow, long long stride)>;

// An uncompressed RGB TIFF; `fill` writes RGB triplets into the file's pixel strip.
QByteArray EncodeTiffRgb(int width, int height, const PackedRowFiller& fill);
// A 24-bit BMP; `fill` writes BGR triplets top row first (rows run upwards in the file).
QByteArray EncodeBmpBgr(int width, int height, const PackedRowFiller& fill);
// A PNG of 8-bit RGB; `fill` writes RGB triplets into working memory of the calling thread.
QByteArray EncodePngRgb(int width, int height, const PackedRowFiller& fill);

// The same writers for a picture already in memory: opaque images as RGB, PNG keeps alpha.
// Answers a null QByteArray when the image's layout is not one they take (the caller then
// uses a general writer).
QByteArray EncodeTiffImage(const QImage& opaqueRgb32);
QByteArray EncodeBmpImage(const QImage& opaqueRgb32);
QByteArray EncodePngImage(const QImage& rgb32OrArgb32);
