#pragma once
// Image file encoding and decoding. Any thread; no shared state.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

// The six image file types, by the code stored under "FileFormat".
enum class ImageFileType : int {
    Tiff = 0,      // uncompressed TIFF
    Bmp = 1,
    Gif = 2,       // 256 colours, palette chosen for the picture
    Jpeg = 3,      // quality = compression factor x 100
    Png = 4,
    Jpeg2000 = 5,  // JP2 file; factor 1.0 is lossless
};

bool IsKnownImageFileType(long long code);

// Encodes `image` in the given type. `compressionFactor` is 0..1 (1 = best quality).
// Throws std::runtime_error with a readable reason when the image cannot be encoded.
QByteArray EncodeImage(const QImage& image, ImageFileType type, float compressionFactor);

// Writes `data` to `path`, replacing any existing file. On failure returns false and puts
// the reason (e.g. "No space left on device") in `error`.
bool WriteFileData(const QString& path, const QByteArray& data, QString* error);

// Decodes an image file by its content, whatever its extension (a .jpeg holding JPEG 2000
// loads). A null image when the file is missing or not a readable image.
QImage LoadImageFile(const QString& path);

// An image file's pixels with its size in points (pixels x 72 / its resolution, when the
// file states one; pixels otherwise). nullopt when unreadable.
struct ImageWithPointSize {
    QImage image;
    QSizeF pointSize;
};
std::optional<ImageWithPointSize> LoadImageFileWithPointSize(const QString& path);
