#pragma once
// Reads the frames of a GIF file as a viewer shows them: each frame composited onto the
// canvas with the previous frame's disposal and the transparency applied (FFmpeg's gif
// decoder does the compositing). Only the GIF reader is used, whatever the file's name.
//
// Files whose canvas or frame count would make us write unreasonable amounts of pixels are
// refused before any frame is decoded. Any thread; no shared state.

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

namespace GifLimits {
// 25 megapixels: 100 MB per composited frame; the decoder keeps three of them.
inline constexpr long long kMaxCanvasPixels = 25'000'000;
inline constexpr long long kMaxFrames = 10'000;
// Frames x canvas pixels: a small file of many tiny frames on a large canvas would otherwise
// fill the disk with full-canvas images.
inline constexpr long long kMaxTotalPixels = 4'000'000'000;
}  // namespace GifLimits

struct GifSummary {
    QSize canvas;
    long long frameCount = 0;
};

// The canvas size and the number of frames, found without decoding any picture. nullopt when
// the file is not a readable GIF. Counting stops just past GifLimits::kMaxFrames.
std::optional<GifSummary> ReadGifSummary(const QString& path);

// Empty when the GIF may be decoded; otherwise why not, as a sentence for the user.
QString GifRefusalReason(const GifSummary& summary);

// Decodes every frame in order and hands it to `onFrame` with its 0-based index as an
// ARGB32 image of the canvas size (transparent where no frame has painted). A frame whose
// data is broken beyond use is skipped; its index is not reused. Reading stops where a
// second GIF joined to the end of the first starts. Answers the number of frames
// handed over; throws av::Error when the file cannot be opened or its decoder set up.
using GifFrameHandler = std::function<void(long long index, const QImage& frame)>;
long long DecodeGifFrames(const QString& path, const GifFrameHandler& onFrame);
