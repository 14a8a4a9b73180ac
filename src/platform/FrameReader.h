#pragma once
// Reading and decoding of one video stream for the exact-frame generator (ImageGenerator.cpp):
// the stream's packets are demuxed and decoded picture by picture in presentation order,
// and damaged packets are skipped up to a limit.
//
// Owned by the generator's implementation; one thread at a time. The decoder itself uses
// all cores.

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/FFmpegHandles.h"
#include "platform/VideoPicture.h"

struct AVRational;
struct AVStream;

// A stream time that is no time (FFmpeg's AV_NOPTS_VALUE).
inline constexpr int64_t kNoTimestamp = INT64_MIN;

// A decoded picture and its presentation time in stream ticks.
struct DecodedFrame {
    std::shared_ptr<const VideoPicture> picture;
    int64_t pts = 0;
    int64_t duration = 0;  // ticks; 0 when the container does not say

    bool empty() const { return !picture; }
};

// Demuxes the video stream and decodes it, picture by picture in presentation order.
class FrameReader {
  public:
    // Throws std::exception with a readable reason when the stream cannot be read.
    FrameReader(const QString& path, int streamIndex);

    AVRational timeBase() const;
    bool atEnd() const { return m_bDrained; }
    long long decodedCount() const { return m_llDecoded; }
    const std::string& lastError() const { return m_strLastError; }
    // After a seek, pictures are passed on from the first keyframe, or from this one: the
    // file's first picture, which decodes correctly from the start whatever its flags say.
    void setFirstPicturePts(int64_t pts) { m_iFirstPicturePts = pts; }

    // The next picture; an empty one once the stream is drained.
    DecodedFrame Next();
    // Moves to the keyframe at or before `timestamp` (stream ticks); false when the
    // demuxer cannot seek there.
    bool SeekBackTo(int64_t timestamp);
    // Whether reaching `target` from the picture at `reached` should seek: the index has a
    // keyframe after `reached` (more than a few pictures on), or knows nothing up to a far
    // target.
    bool ShouldSeekAhead(int64_t reached, int64_t target) const;
    // Ticks the picture is shown for when its container does not say.
    int64_t FallbackDuration() const;
    // The time (stream ticks) being decoded towards: pictures that no reference needs and
    // that are followed by another picture at or before it are not decoded at all.
    void setTarget(int64_t target) { m_iTarget = target; }
    void setPresentation(const PicturePresentation& presentation) {
        m_oPresentation = presentation;
    }

  private:
    AVStream* Stream() const;
    void OpenDecoder();
    void Feed();
    bool ReadPacket();
    DecodedFrame Accept();
    void NoteError(int code, const char* call);
    bool MaySkip(int64_t pts) const;
    void Remember(int64_t pts);

    av::InputFormatPtr m_pFormat;
    av::CodecContextPtr m_pDecoder;
    av::PacketPtr m_pPacket = av::MakePacket();
    av::FramePtr m_pFrame = av::MakeFrame();
    int m_iStream = -1;
    bool m_bEndOfFileSent = false;
    bool m_bDrained = false;
    bool m_bSkipToKeyframe = false;
    int64_t m_iFirstPicturePts = kNoTimestamp;
    int64_t m_iLastPts = kNoTimestamp;
    int64_t m_iLastGap = 0;
    int64_t m_iTarget = kNoTimestamp;
    PicturePresentation m_oPresentation;
    std::array<int64_t, 32> m_aReadPts{};  // of the packets read last, a ring
    size_t m_uReadCount = 0;
    long long m_llDecoded = 0;
    int m_iConsecutiveErrors = 0;
    std::string m_strLastError;
};
