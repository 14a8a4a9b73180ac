#include "extract/ImageFormatTable.h"

namespace {
struct ImageFormatRow {
    const char* extension;
    const char* label;
};
constexpr ImageFormatRow kFormats[] = {
    {"tiff", "TIFF (*.tiff)"}, {"bmp", "BMP (*.bmp)"}, {"gif", "GIF (*.gif)"},
    {"jpg", "JPEG (*.jpg)"},   {"png", "PNG (*.png)"}, {"jpeg", "JPEG (*.jpeg)"},
};
bool IsKnown(long long code) {
    return code >= 0 && code < 6;
}
}  // namespace

QString ImageFileExtension(long long formatCode) {
    return IsKnown(formatCode) ? QString::fromLatin1(kFormats[formatCode].extension) : QString();
}

QString GetFileNameWithExtension(const QString& nameWithoutExtension, long long formatCode) {
    if (!IsKnown(formatCode)) return nameWithoutExtension;
    return nameWithoutExtension + '.' + ImageFileExtension(formatCode);
}

QString ImageFormatLabel(long long formatCode) {
    return IsKnown(formatCode) ? QString::fromLatin1(kFormats[formatCode].label) : QString();
}
