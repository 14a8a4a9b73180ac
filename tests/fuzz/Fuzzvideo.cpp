// Opening a video and taking frames from it, as an extraction does: at the start, the middle
// and past the end.
#include "FuzzSupport.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PrepareFuzzTarget();
    const std::unique_ptr<MediaAsset> asset = MediaAsset::Open(InputAsFile(data, size, ".mp4"));
    if (!asset->hasVideoTrack()) return 0;
    try {
        ImageGenerator generator(*asset);
        const CMTime duration = asset->duration();
        const int64_t pastEnd = duration.value < INT64_MAX ? duration.value + 1 : duration.value;
        for (const int64_t value : {int64_t{0}, duration.value / 2, pastEnd}) {
            const QImage frame = generator.copyCGImageAtTime(CMTimeMake(value, duration.timescale));
            if (!frame.isNull() && frame.format() != QImage::Format_RGB32) __builtin_trap();
        }
    } catch (const std::exception&) {
        // a video whose decoder cannot be set up is refused
    }
    return 0;
}
