// The image loader of walls, movies and the watermark: any bytes decode to an image or to
// nothing, within the allocation limits.
#include "FuzzSupport.h"
#include "platform/ImageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PrepareFuzzTarget();
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage image = DecodeImage(bytes);
    if (!image.isNull() && (image.width() <= 0 || image.height() <= 0)) __builtin_trap();
    return 0;
}
