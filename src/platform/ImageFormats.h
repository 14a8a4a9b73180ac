#pragma once
// The image file formats, one row each: everything the program knows of a format is in its
// row (stored code, extension, pop-up label and place, command-line name, the limits of its
// encoder). Adding a format is adding a row and its encoder in ImageFileEncoding.cpp. Any thread;
// the table is constant.

#include <QString>
#include <QStringList>
#include <array>
#include <limits>

// The image file types, by the code stored under "FileFormat" (the row's place in the table).
enum class ImageFileType : int {
    Tiff = 0,  // uncompressed TIFF
    Bmp = 1,
    Gif = 2,   // 256 colours, palette chosen for the picture
    Jpeg = 3,  // quality = compression factor x 100
    Png = 4,
    Jpeg2000 = 5,  // JP2 file; factor 1.0 is lossless
    Count          // not a type: how many there are
};

// A wall is one 32-bit bitmap; larger ones are refused before anything is allocated (the
// drawable image refuses them as well): 2^28 pixels, 1 GB of bitmap.
inline constexpr double kMaxWallPixels = 268435456.0;
inline constexpr double kNoSideLimit = std::numeric_limits<int>::max();

struct ImageFormatRow {
    ImageFileType type;
    const char* extension;  // of the files written: "tiff", ... (no dot)
    const char* label;      // the save panel's filter and the pop-up's item
    int popupPlace;         // place in the window's format pop-up, from the top
    const char* cliName;    // the headless commands' name for it
    const char* limitName;  // how messages about its limits name the format
    double maxSide;         // pixels on either side the encoder takes
    double maxPixels;       // pixels in all the encoder takes
    bool ffmpegEncoded;     // written by FFmpeg, which has its own picture size limit
};

// The encoders' own limits: libjpeg's JPEG_MAX_DIMENSION, the 16-bit sides of GIF, libpng's
// default user limit (readers refuse wider files), and the memory of FFmpeg's JPEG 2000
// encoder, which keeps several 32-bit planes of the whole picture.
inline constexpr auto kImageFormats = std::to_array<ImageFormatRow>({
    {ImageFileType::Tiff, "tiff", "TIFF (*.tiff)", 0, "tiff", "TIFF", kNoSideLimit, kMaxWallPixels,
     false},
    {ImageFileType::Bmp, "bmp", "BMP (*.bmp)", 4, "bmp", "BMP", kNoSideLimit, kMaxWallPixels,
     false},
    {ImageFileType::Gif, "gif", "GIF (*.gif)", 2, "gif", "GIF", 65535, kMaxWallPixels, true},
    {ImageFileType::Jpeg, "jpg", "JPEG (*.jpg)", 3, "jpg", "JPEG", 65500, kMaxWallPixels, false},
    {ImageFileType::Png, "png", "PNG (*.png)", 1, "png", "PNG", 1000000, kMaxWallPixels, false},
    {ImageFileType::Jpeg2000, "jpeg", "JPEG (*.jpeg)", 5, "jpeg2000", "JPEG 2000", kNoSideLimit,
     67108864.0, true},
});

namespace image_formats_detail {
constexpr bool RowsInCodeOrder() {
    for (std::size_t code = 0; code < kImageFormats.size(); ++code)
        if (static_cast<std::size_t>(kImageFormats[code].type) != code) return false;
    return true;
}
constexpr bool PopupPlacesArePermutation() {
    for (std::size_t place = 0; place < kImageFormats.size(); ++place) {
        int rows = 0;
        for (const ImageFormatRow& row : kImageFormats)
            rows += row.popupPlace == static_cast<int>(place) ? 1 : 0;
        if (rows != 1) return false;
    }
    return true;
}
}  // namespace image_formats_detail
static_assert(kImageFormats.size() == static_cast<std::size_t>(ImageFileType::Count),
              "one row for every image file type");
static_assert(image_formats_detail::RowsInCodeOrder(), "a row's place is its stored code");
static_assert(image_formats_detail::PopupPlacesArePermutation(), "one row for each pop-up place");

constexpr bool IsKnownImageFileType(long long code) {
    return code >= 0 && code < static_cast<long long>(kImageFormats.size());
}
// The row of a known code; nullptr for any other.
constexpr const ImageFormatRow* FindImageFormat(long long code) {
    return IsKnownImageFileType(code) ? &kImageFormats[static_cast<std::size_t>(code)] : nullptr;
}

// "tiff", "bmp", "gif", "jpg", "png", "jpeg"; empty for an unknown code.
QString ImageFileExtension(long long formatCode);
// The name with the code's extension appended; the name unchanged for an unknown code.
QString GetFileNameWithExtension(const QString& nameWithoutExtension, long long formatCode);
// "TIFF (*.tiff)", ... "JPEG (*.jpeg)"; empty for an unknown code.
QString ImageFormatLabel(long long formatCode);
// The command-line names in code order: "tiff", "bmp", "gif", "jpg", "png", "jpeg2000".
QStringList ImageFormatCliNames();
// The rows in the pop-up's order.
std::array<const ImageFormatRow*, kImageFormats.size()> ImageFormatsInPopupOrder();
