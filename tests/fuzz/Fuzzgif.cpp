// The GIF frame extractor's reader: the summary, the refusal and every composited frame.
#include "FuzzSupport.h"
#include "gif/GifFrameDecoder.h"
#include "platform/FFmpegHandles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PrepareFuzzTarget();
    const QString path = InputAsFile(data, size, ".gif");
    const std::optional<GifSummary> summary = ReadGifSummary(path);
    if (!summary || !GifRefusalReason(*summary).isEmpty()) return 0;
    try {
        DecodeGifFrames(path, [&](long long, const QImage& frame) {
            if (frame.size() != summary->canvas) __builtin_trap();
        });
    } catch (const av::Error&) {
        // a file that cannot be decoded is refused, as the extractor does
    }
    return 0;
}
