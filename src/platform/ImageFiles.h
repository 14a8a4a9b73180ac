#pragma once
// Image files: encoding (ImageFileEncoding.cpp), writing (ImageFileWriting.cpp) and decoding
// (ImageFileDecoding.cpp, with the resolution a file states read by ImageResolution.h). Any
// thread; no shared state.
//
// TIFF, BMP and PNG are written by our own writers (platform/ImageEncoders.h) wherever they
// take the picture's layout, and by Qt's writers otherwise; JPEG goes through Qt's writer, GIF
// and JPEG 2000 through FFmpeg. Files are read by Qt's readers first, then by FFmpeg's image
// decoders. Files written state 72 dpi (PNG, JPEG, BMP, TIFF) or no resolution (GIF,
// JPEG 2000), so their size in points equals their size in pixels when read back.

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <optional>

#include "platform/ImageFormats.h"

// Encodes `image` (any format) in the given type. `compressionFactor` is 0..1 (1 = best
// quality). PNG and TIFF keep an alpha channel; the other types get the picture flattened
// onto white. Throws std::runtime_error with a readable reason when the image cannot be
// encoded (a null image, a missing encoder).
QByteArray EncodeImage(const QImage& image, ImageFileType type, float compressionFactor);

// Writes `data` to `path` under a temporary name in the same folder and renames it over the
// path when all of it is written (see platform/OutputFile.h); a device or pipe at the path is
// written into instead. On failure returns false and puts the reason (e.g. "No space left on
// device") in `error`; no partial file stays behind and a file that was at the path is kept.
bool WriteFileData(const QString& path, const QByteArray& data, QString* error);

// Decodes image file bytes by their content: Qt's readers first, then FFmpeg's image
// decoders (JPEG 2000 and whatever else FFmpeg reads as a still image). A null image when
// the bytes are not a readable image or would decode to more than kMaxImagePixels (512 MB).
// A picture whose header declares more is refused before anything is allocated, and then
// `refusal` (when given) says so with its size; it is left alone for other null images.
inline constexpr long long kMaxImagePixels = 512LL * 1024 * 1024 / 4;
QImage DecodeImage(const QByteArray& data, QString* refusal = nullptr);

// Decodes an image file by its content, whatever its extension (a .jpeg holding JPEG 2000
// loads). A null image when the file is missing or not a readable image; `refusal` as above.
QImage LoadImageFile(const QString& path, QString* refusal = nullptr);

// An image file's pixels with its size in points (pixels x 72 / its resolution, when the
// file states one; pixels otherwise). nullopt when unreadable. The resolution is read from
// a PNG's pHYs chunk or a JPEG's JFIF header; other files count as 72 dpi.
struct ImageWithPointSize {
    QImage image;
    QSizeF pointSize;
};
std::optional<ImageWithPointSize> LoadImageFileWithPointSize(const QString& path,
                                                             QString* refusal = nullptr);
