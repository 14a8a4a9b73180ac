#pragma once
// The image file formats by their stored code (0 to 5): extension and label. Any thread.

#include <QString>

// "tiff", "bmp", "gif", "jpg", "png", "jpeg"; empty for a code without a pattern.
QString ImageFileExtension(long long formatCode);
// The name with the code's extension appended; the name unchanged for an unknown code.
QString GetFileNameWithExtension(const QString& nameWithoutExtension, long long formatCode);
// "TIFF (*.tiff)", ... "JPEG (*.jpeg)"; empty for an unknown code.
QString ImageFormatLabel(long long formatCode);
