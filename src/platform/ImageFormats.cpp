#include "platform/ImageFormats.h"

QString ImageFileExtension(long long formatCode) {
    const ImageFormatRow* row = FindImageFormat(formatCode);
    return row ? QString::fromLatin1(row->extension) : QString();
}

QString GetFileNameWithExtension(const QString& nameWithoutExtension, long long formatCode) {
    if (!IsKnownImageFileType(formatCode)) return nameWithoutExtension;
    return nameWithoutExtension + '.' + ImageFileExtension(formatCode);
}

QString ImageFormatLabel(long long formatCode) {
    const ImageFormatRow* row = FindImageFormat(formatCode);
    return row ? QString::fromLatin1(row->label) : QString();
}

QStringList ImageFormatCliNames() {
    QStringList names;
    for (const ImageFormatRow& row : kImageFormats) names << QString::fromLatin1(row.cliName);
    return names;
}

std::array<const ImageFormatRow*, kImageFormats.size()> ImageFormatsInPopupOrder() {
    std::array<const ImageFormatRow*, kImageFormats.size()> rows{};
    for (const ImageFormatRow& row : kImageFormats) rows[row.popupPlace] = &row;
    return rows;
}
