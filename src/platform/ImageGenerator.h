#pragma once
// Decodes the exact frame shown at a given time of a video's first video track.
//
// The frame "at time t" is the last frame whose presentation time is at or before t, where
// time 0 is the first frame; there is none when t lies before the first frame or at or after
// the end of the last. One generator serves a whole run: it keeps its demuxer and decoder
// open, decodes forward for requests ahead of the last decoded frame when no keyframe lies
// between, and otherwise seeks back to the keyframe at or before the target.
//
// Owned by its caller; not thread-safe (one thread at a time). The decoder itself uses
// all cores.

#include <QImage>
#include <QString>
#include <memory>

#include "platform/CMTime.h"
#include "platform/VideoPicture.h"

class MediaAsset;

class ImageGenerator {
  public:
    // Opens its own reader on the asset's file; the asset need not outlive the generator.
    explicit ImageGenerator(const MediaAsset& asset);
    ~ImageGenerator();
    ImageGenerator(const ImageGenerator&) = delete;
    ImageGenerator& operator=(const ImageGenerator&) = delete;

    // Whether pictures are shown as players show them: turned and mirrored as the track's
    // display matrix says and stretched to square pixels. Off by default: the coded pictures.
    void setAppliesPreferredTrackTransform(bool applies);
    bool appliesPreferredTrackTransform() const;

    // Kept for callers that state them; every request is answered with the exact frame,
    // which meets any tolerance.
    void setRequestedTimeToleranceBefore(CMTime tolerance) { m_oToleranceBefore = tolerance; }
    void setRequestedTimeToleranceAfter(CMTime tolerance) { m_oToleranceAfter = tolerance; }

    // The frame at `time` as an opaque 8-bit SDR RGB image (QImage::Format_RGB32), as
    // VideoPicture::ToImage() gives it. A null image when there is
    // no frame at that time or the file cannot be decoded; `error` (when given) then says why.
    QImage copyCGImageAtTime(CMTime time, QString* error = nullptr);
    // The same frame, still decoded, for converting elsewhere (e.g. on worker threads);
    // null when copyCGImageAtTime would answer a null image.
    std::shared_ptr<const VideoPicture> pictureAtTime(CMTime time, QString* error = nullptr);

    // Pictures the decoder has produced so far (including ones decoded only to reach a
    // requested frame); tests and benchmarks use it to check that no work is repeated.
    long long decodedFrameCount() const;

  private:
    class Impl;
    std::unique_ptr<Impl> m_pImpl;
    CMTime m_oToleranceBefore;
    CMTime m_oToleranceAfter;
};
