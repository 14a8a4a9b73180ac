#include "platform/FrameReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <stdexcept>

#include "platform/MediaAsset.h"
#include "platform/SaturatingMath.h"

static_assert(kNoTimestamp == AV_NOPTS_VALUE);

namespace {

// Decode failures in a row after which the stream counts as undecodable here.
constexpr int kMaxConsecutiveErrors = 64;
// Read failures in a row after which the rest of the file counts as unreadable.
constexpr int kMaxReadFailures = 16;
// Without an index entry beyond the target, a jump further ahead than this seeks rather
// than decoding everything in between.
constexpr int64_t kBlindForwardLimitMicroseconds = 10 * int64_t{AV_TIME_BASE};
// A keyframe this few pictures ahead is decoded up to rather than seeked to: a seek throws
// away the pictures in flight in the decoder's threads.
constexpr int64_t kNearKeyframePictures = 4;

}  // namespace

FrameReader::FrameReader(const QString& path, int streamIndex)
    : m_pFormat(MediaAsset::OpenDemuxer(path)), m_iStream(streamIndex) {
    if (m_iStream < 0 || m_iStream >= static_cast<int>(m_pFormat->nb_streams) ||
        Stream()->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        throw std::runtime_error("The file has no video track");
    for (unsigned index = 0; index < m_pFormat->nb_streams; ++index)
        if (static_cast<int>(index) != m_iStream)
            m_pFormat->streams[index]->discard = AVDISCARD_ALL;
    OpenDecoder();
}

AVRational FrameReader::timeBase() const {
    return Stream()->time_base;
}

AVStream* FrameReader::Stream() const {
    return m_pFormat->streams[m_iStream];
}

void FrameReader::OpenDecoder() {
    const AVCodecParameters* parameters = Stream()->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr)
        throw std::runtime_error(std::string("No decoder for ") +
                                 avcodec_get_name(parameters->codec_id) + " video");
    m_pDecoder.reset(avcodec_alloc_context3(codec));
    if (!m_pDecoder) throw av::Error("avcodec_alloc_context3: out of memory", AVERROR(ENOMEM));
    av::Check(avcodec_parameters_to_context(m_pDecoder.get(), parameters),
              "avcodec_parameters_to_context");
    m_pDecoder->pkt_timebase = Stream()->time_base;
    m_pDecoder->thread_count = 0;  // one per core
    m_pDecoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    m_pDecoder->max_pixels = MediaAsset::kMaxFramePixels;  // refuse to allocate larger pictures
    av::Check(avcodec_open2(m_pDecoder.get(), codec, nullptr), "avcodec_open2");
}

DecodedFrame FrameReader::Next() {
    while (!m_bDrained) {
        const int received = avcodec_receive_frame(m_pDecoder.get(), m_pFrame.get());
        if (received == 0) {
            ++m_llDecoded;
            m_iConsecutiveErrors = 0;
            if (DecodedFrame frame = Accept(); !frame.empty()) return frame;
        } else if (received == AVERROR(EAGAIN)) {
            Feed();
        } else if (received == AVERROR_EOF) {
            m_bDrained = true;
        } else {
            NoteError(received, "avcodec_receive_frame");
        }
    }
    return {};
}

void FrameReader::Feed() {
    if (m_bEndOfFileSent) {
        m_bDrained = true;  // the decoder wants more input, but there is none
        return;
    }
    if (!ReadPacket()) {
        // Drains the pictures the decoder still holds, the file's last ones among them.
        m_bEndOfFileSent = true;
        const int flushed = avcodec_send_packet(m_pDecoder.get(), nullptr);
        if (flushed < 0 && flushed != AVERROR_EOF) NoteError(flushed, "avcodec_send_packet");
        return;
    }
    const int64_t pts = m_pPacket->pts;
    m_pDecoder->skip_frame = MaySkip(pts) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    Remember(pts);
    const int sent = avcodec_send_packet(m_pDecoder.get(), m_pPacket.get());
    av_packet_unref(m_pPacket.get());
    // A damaged packet is skipped; the decoder recovers at a later one.
    if (sent < 0 && sent != AVERROR(EAGAIN)) NoteError(sent, "avcodec_send_packet");
}

bool FrameReader::ReadPacket() {
    for (int failures = 0;;) {
        const int read = av_read_frame(m_pFormat.get(), m_pPacket.get());
        if (read >= 0) {
            if (m_pPacket->stream_index == m_iStream) return true;
            av_packet_unref(m_pPacket.get());
            continue;
        }
        if (read == AVERROR_EOF) return false;
        m_strLastError = "av_read_frame: " + av::ErrorText(read);
        const bool fileEnded = m_pFormat->pb != nullptr && avio_feof(m_pFormat->pb);
        if (fileEnded || ++failures >= kMaxReadFailures) return false;
    }
}

DecodedFrame FrameReader::Accept() {
    AVFrame* frame = m_pFrame.get();
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = m_iLastPts == AV_NOPTS_VALUE
                  ? 0
                  : SaturatingAdd(m_iLastPts, std::max<int64_t>(1, m_iLastGap));
    if (m_bSkipToKeyframe) {
        // Pictures before the first keyframe after a seek may refer to pictures never
        // decoded (open GOPs): they would come out grey or broken.
        if (!av::IsKeyFrame(*frame) && pts != m_iFirstPicturePts) {
            av_frame_unref(frame);
            return {};
        }
        m_bSkipToKeyframe = false;
    }
    if (m_iLastPts != AV_NOPTS_VALUE && pts > m_iLastPts)
        m_iLastGap = SaturatingSubtract(pts, m_iLastPts);
    m_iLastPts = pts;
    DecodedFrame decoded{std::make_shared<VideoPicture>(*frame, m_oPresentation), pts,
                         av::FrameDuration(*frame)};
    av_frame_unref(frame);
    return decoded;
}

void FrameReader::NoteError(int code, const char* call) {
    m_strLastError = std::string(call) + ": " + av::ErrorText(code);
    if (++m_iConsecutiveErrors >= kMaxConsecutiveErrors) {
        m_iConsecutiveErrors = 0;
        throw av::Error("The video cannot be decoded here (" + m_strLastError + ")", code);
    }
}

// A picture shown before the target is not the one asked for when a picture read before it
// (in decoding order, e.g. the reference that follows it on screen) is shown after it and
// still at or before the target. Only pictures nothing refers to are then skipped.
bool FrameReader::MaySkip(int64_t pts) const {
    if (pts == AV_NOPTS_VALUE || m_iTarget == AV_NOPTS_VALUE || pts >= m_iTarget) return false;
    const size_t known = std::min(m_uReadCount, m_aReadPts.size());
    for (size_t i = 0; i < known; ++i)
        if (m_aReadPts[i] > pts && m_aReadPts[i] <= m_iTarget) return true;
    return false;
}

void FrameReader::Remember(int64_t pts) {
    if (pts == AV_NOPTS_VALUE) return;
    m_aReadPts[m_uReadCount++ % m_aReadPts.size()] = pts;
}

bool FrameReader::SeekBackTo(int64_t timestamp) {
    if (av_seek_frame(m_pFormat.get(), m_iStream, timestamp, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(m_pDecoder.get());
    m_uReadCount = 0;
    m_bEndOfFileSent = m_bDrained = false;
    m_bSkipToKeyframe = true;
    m_iLastPts = AV_NOPTS_VALUE;
    return true;
}

bool FrameReader::ShouldSeekAhead(int64_t reached, int64_t target) const {
    AVStream* stream = Stream();
    const AVIndexEntry* keyframe =
        avformat_index_get_entry_from_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
    const int64_t picture = FallbackDuration();
    const int64_t nearSpan =
        picture < INT64_MAX / kNearKeyframePictures ? kNearKeyframePictures * picture : INT64_MAX;
    if (keyframe != nullptr && SaturatingSubtract(keyframe->timestamp, reached) > nearSpan)
        return true;
    const int entries = avformat_index_get_entries_count(stream);
    const AVIndexEntry* last =
        entries > 0 ? avformat_index_get_entry(stream, entries - 1) : nullptr;
    if (last != nullptr && last->timestamp >= target) return false;
    const int64_t limit =
        av_rescale_q(kBlindForwardLimitMicroseconds, AV_TIME_BASE_Q, stream->time_base);
    return SaturatingSubtract(target, reached) > limit;
}

int64_t FrameReader::FallbackDuration() const {
    if (m_iLastGap > 0) return m_iLastGap;
    const AVRational rate = Stream()->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        return std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), Stream()->time_base));
    return 1;
}
