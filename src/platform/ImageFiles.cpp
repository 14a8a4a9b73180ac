#include "platform/ImageFiles.h"

#include <stdexcept>

bool IsKnownImageFileType(long long code) { return code >= 0 && code <= 5; }
QByteArray EncodeImage(const QImage&, ImageFileType, float) { throw std::runtime_error("todo"); }
bool WriteFileData(const QString&, const QByteArray&, QString*) { return false; }
QImage LoadImageFile(const QString&) { return {}; }
std::optional<ImageWithPointSize> LoadImageFileWithPointSize(const QString&) { return {}; }
