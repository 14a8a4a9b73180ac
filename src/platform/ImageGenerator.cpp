#include "platform/ImageGenerator.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "platform/ColourTags.h"
#include "platform/DiagnosticLog.h"
#include "platform/FFmpegHandles.h"
#include "platform/MediaAsset.h"
#include "platform/SaturatingMath.h"
#include "platform/SdrMapping.h"
#include "platform/YuvToRgb.h"

namespace {

// Decode failures in a row after which the stream counts as undecodable here.
constexpr int kMaxConsecutiveErrors = 64;
// Read failures in a row after which the rest of the file counts as unreadable.
constexpr int kMaxReadFailures = 16;
// Seeks further and further back before decoding from the very start instead.
constexpr int kSeekAttempts = 6;
// Without an index entry beyond the target, a jump further ahead than this seeks rather
// than decoding everything in between.
constexpr int64_t kBlindForwardLimitMicroseconds = 10 * int64_t{AV_TIME_BASE};
// A keyframe this few pictures ahead is decoded up to rather than seeked to: a seek throws
// away the pictures in flight in the decoder's threads.
constexpr int64_t kNearKeyframePictures = 4;
// Exact conversion: no scaling happens, so only rounding and chroma interpolation matter.
constexpr int kConversionFlags =
    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

bool IsUsable(CMTime time) {
    const uint32_t special =
        kCMTimeFlags_PositiveInfinity | kCMTimeFlags_NegativeInfinity | kCMTimeFlags_Indefinite;
    return time.IsValid() && (time.flags & special) == 0;
}

AVRational RationalOf(CMTime time) {
    return AVRational{1, time.timescale};
}

QString SecondsText(CMTime time) {
    return QString::number(CMTimeGetSeconds(time), 'f', 3) + " s";
}

// Format_RGB32 requires an alpha byte of 0xff; a video's own alpha is dropped.
void MakeOpaque(QImage& image) {
    for (int row = 0; row < image.height(); ++row) {
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int column = 0; column < image.width(); ++column) pixels[column] |= 0xff000000u;
    }
}

bool HasAlpha(const AVFrame& frame) {
    const AVPixFmtDescriptor* description =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return description != nullptr && (description->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

std::optional<yuv::PackedLayout> PackedLayoutOf(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_RGB24:
            return yuv::PackedLayout::Rgb24;
        case AV_PIX_FMT_BGR24:
            return yuv::PackedLayout::Bgr24;
        case AV_PIX_FMT_BGRA:
            return yuv::PackedLayout::Bgra32;
        default:
            return std::nullopt;
    }
}

yuv::ColourMatrix ColourMatrixOf(const AVFrame& frame) {
    yuv::ColourMatrix matrix;
    std::memcpy(matrix.table, sws_getCoefficients(colour::SwsMatrixOf(frame)),
                sizeof(matrix.table));
    matrix.fullRange = colour::IsFullRange(frame);
    return matrix;
}

// Whether the fast conversion gave libswscale's bytes for a configuration, decided on its
// first picture. Any thread.
class FastConversionRecord {
  public:
    using Key = std::tuple<int, int, int, int, int, int, bool, int>;
    static Key KeyOf(const yuv::Yuv420ToRgb& converter) {
        const yuv::ColourMatrix& matrix = converter.matrix();
        const int* t = matrix.table;
        return {converter.width(),
                converter.height(),
                t[0],
                t[1],
                t[2],
                t[3],
                matrix.fullRange,
                static_cast<int>(converter.layout())};
    }
    std::optional<bool> Find(const Key& key) {
        const std::lock_guard lock(m_Mutex);
        const auto found = m_Agreed.find(key);
        return found == m_Agreed.end() ? std::nullopt : std::optional<bool>(found->second);
    }
    void Remember(const Key& key, bool agreed) {
        const std::lock_guard lock(m_Mutex);
        m_Agreed[key] = agreed;
    }

  private:
    std::mutex m_Mutex;
    std::map<Key, bool> m_Agreed;
};

FastConversionRecord& FastConversions() {
    static FastConversionRecord record;
    return record;
}

bool SameRows(const uint8_t* first, int firstStride, const uint8_t* second, int secondStride,
              int rowBytes, int rows) {
    for (int row = 0; row < rows; ++row)
        if (std::memcmp(first + static_cast<ptrdiff_t>(row) * firstStride,
                        second + static_cast<ptrdiff_t>(row) * secondStride, rowBytes) != 0)
            return false;
    return true;
}

// Turns decoded pictures into packed RGB with their own colour matrix and range. Every RGB
// layout goes through the same arithmetic, so all of them carry the same values: 8-bit
// 4:2:0 pictures through our own vectorised copy of libswscale's exact path (checked
// against libswscale on the first picture of each size and matrix), the rest through
// libswscale itself.
class RgbConverter {
  public:
    explicit RgbConverter(AVPixelFormat target) : m_eTarget(target) {}
    void Convert(const AVFrame& frame, uint8_t* firstRow, int stride);

  private:
    yuv::Yuv420ToRgb* FastConverterFor(const AVFrame& frame);
    bool AgreesWithScaler(yuv::Yuv420ToRgb& fast, const AVFrame& frame, const uint8_t* firstRow,
                          int stride);
    void ConvertFast(yuv::Yuv420ToRgb& fast, const AVFrame& frame, uint8_t* firstRow, int stride);
    void ConvertWithScaler(const AVFrame& frame, uint8_t* firstRow, int stride);
    void UseColoursOf(const AVFrame& frame);
    AVPixelFormat m_eTarget;
    av::SwsPtr m_pContext;  // kept across frames; rebuilt only when the picture format changes
    std::optional<yuv::Yuv420ToRgb> m_oFast;
};

void RgbConverter::Convert(const AVFrame& frame, uint8_t* firstRow, int stride) {
    yuv::Yuv420ToRgb* fast = FastConverterFor(frame);
    if (fast == nullptr) return ConvertWithScaler(frame, firstRow, stride);
    const auto key = FastConversionRecord::KeyOf(*fast);
    const std::optional<bool> agreed = FastConversions().Find(key);
    if (agreed.value_or(false)) return ConvertFast(*fast, frame, firstRow, stride);
    ConvertWithScaler(frame, firstRow, stride);
    if (!agreed.has_value())
        FastConversions().Remember(key, AgreesWithScaler(*fast, frame, firstRow, stride));
}

yuv::Yuv420ToRgb* RgbConverter::FastConverterFor(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const std::optional<yuv::PackedLayout> layout = PackedLayoutOf(m_eTarget);
    if ((format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P) || !layout ||
        frame.data[0] == nullptr || frame.data[1] == nullptr || frame.data[2] == nullptr)
        return nullptr;
    const yuv::ColourMatrix matrix = ColourMatrixOf(frame);
    if (m_oFast && m_oFast->width() == frame.width && m_oFast->height() == frame.height &&
        m_oFast->Matches(matrix))
        return &*m_oFast;
    m_oFast.reset();
    if (!yuv::Yuv420ToRgb::Supports(frame.width, frame.height)) return nullptr;
    m_oFast.emplace(frame.width, frame.height, matrix, *layout);
    return &*m_oFast;
}

void RgbConverter::ConvertFast(yuv::Yuv420ToRgb& fast, const AVFrame& frame, uint8_t* firstRow,
                               int stride) {
    const uint8_t* const planes[3] = {frame.data[0], frame.data[1], frame.data[2]};
    const int strides[3] = {frame.linesize[0], frame.linesize[1], frame.linesize[2]};
    fast.Convert(planes, strides, firstRow, stride);
}

bool RgbConverter::AgreesWithScaler(yuv::Yuv420ToRgb& fast, const AVFrame& frame,
                                    const uint8_t* firstRow, int stride) {
    const int pixelBytes = fast.layout() == yuv::PackedLayout::Bgra32 ? 4 : 3;
    const int rowBytes = frame.width * pixelBytes;
    std::vector<uint8_t> check(static_cast<size_t>(rowBytes) * frame.height);
    ConvertFast(fast, frame, check.data(), rowBytes);
    const bool same = SameRows(firstRow, stride, check.data(), rowBytes, rowBytes, frame.height);
    if (!same)
        LogLine(QString("This libswscale converts %1x%2 pictures differently from the fast "
                        "conversion; it is used for them instead")
                    .arg(frame.width)
                    .arg(frame.height));
    return same;
}

void RgbConverter::ConvertWithScaler(const AVFrame& frame, uint8_t* firstRow, int stride) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    m_pContext.reset(sws_getCachedContext(m_pContext.release(), frame.width, frame.height, format,
                                          frame.width, frame.height, m_eTarget, kConversionFlags,
                                          nullptr, nullptr, nullptr));
    if (!m_pContext)
        throw std::runtime_error(std::string("Pictures in the format ") +
                                 (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?") +
                                 " cannot be converted to RGB");
    UseColoursOf(frame);
    uint8_t* const planes[4] = {firstRow, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (sws_scale(m_pContext.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) <=
        0)
        throw std::runtime_error("The picture could not be converted to RGB");
}

void RgbConverter::UseColoursOf(const AVFrame& frame) {
    const AVPixFmtDescriptor* description =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (description == nullptr || (description->flags & AV_PIX_FMT_FLAG_RGB) != 0) return;
    const int brightness = 0, contrast = 1 << 16, saturation = 1 << 16;
    const int status = sws_setColorspaceDetails(
        m_pContext.get(), sws_getCoefficients(colour::SwsMatrixOf(frame)),
        colour::IsFullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, brightness,
        contrast, saturation);
    if (status < 0) throw std::runtime_error("The picture's colour space is not supported");
}

// One converter per thread and layout: pictures may be converted on any thread.
RgbConverter& ConverterFor(AVPixelFormat target) {
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native byte order, the layout of QImage::Format_RGB32.
    thread_local RgbConverter rgb32(AV_PIX_FMT_RGB32);
    thread_local RgbConverter rgb24(AV_PIX_FMT_RGB24);
    thread_local RgbConverter bgr24(AV_PIX_FMT_BGR24);
    switch (target) {
        case AV_PIX_FMT_RGB24:
            return rgb24;
        case AV_PIX_FMT_BGR24:
            return bgr24;
        default:
            return rgb32;
    }
}

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
    FrameReader(const QString& path, int streamIndex);

    AVRational timeBase() const { return Stream()->time_base; }
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
    AVStream* Stream() const { return m_pFormat->streams[m_iStream]; }
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
    int64_t m_iFirstPicturePts = AV_NOPTS_VALUE;
    int64_t m_iLastPts = AV_NOPTS_VALUE;
    int64_t m_iLastGap = 0;
    int64_t m_iTarget = AV_NOPTS_VALUE;
    PicturePresentation m_oPresentation;
    std::array<int64_t, 32> m_aReadPts{};  // of the packets read last, a ring
    size_t m_uReadCount = 0;
    long long m_llDecoded = 0;
    int m_iConsecutiveErrors = 0;
    std::string m_strLastError;
};

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

}  // namespace

// Answers requests from the picture on show and the one after it, decoding forward or
// seeking back only when the requested time lies outside them.
class ImageGenerator::Impl {
  public:
    Impl(QString path, int streamIndex, DisplayTransform transform, double peakNits)
        : m_strPath(std::move(path)), m_iStream(streamIndex), m_oTransform(transform) {
        m_oPresentation.streamPeakNits = peakNits;
    }

    std::shared_ptr<const VideoPicture> PictureAt(CMTime time, QString* reason);
    QImage ImageAt(CMTime time, QString* reason);
    // Drops the decoding position after a failure; the next request seeks afresh.
    void Forget() {
        m_oShown = {};
        m_oAhead = {};
    }
    long long decodedFrameCount() const {
        return m_llDecodedByEarlierReaders + (m_pReader ? m_pReader->decodedCount() : 0);
    }
    // Pictures decoded from now on are shown so; ones already decoded are decoded again.
    void ApplyTransform(bool applies) {
        m_bAppliesTransform = applies;
        m_oPresentation.transform = applies ? m_oTransform : DisplayTransform{};
        if (m_pReader) m_pReader->setPresentation(m_oPresentation);
        Forget();
    }
    bool AppliesTransform() const { return m_bAppliesTransform; }

  private:
    bool Open(QString* reason);
    void StartReading();
    int CompareWithTime(int64_t pts, CMTime time) const;
    int64_t StreamTimestamp(CMTime time) const;
    int64_t EndOf(const DecodedFrame& frame) const;
    bool Shows(CMTime time) const;
    bool CanDecodeForwardTo(CMTime time) const;
    void DecodeForwardTo(CMTime time);
    void SeekTo(CMTime time);
    bool LandAtOrBefore(CMTime time, int64_t seekPoint);
    void DecodeFromStartTo(CMTime time);
    QString MissingFrameReason(CMTime time) const;

    QString m_strPath;
    int m_iStream;
    DisplayTransform m_oTransform;  // the track's own
    bool m_bAppliesTransform = false;
    PicturePresentation m_oPresentation;
    std::unique_ptr<FrameReader> m_pReader;
    QString m_strOpenError;
    int64_t m_iOrigin = 0;  // pts of the first picture: media time 0
    DecodedFrame m_oShown;  // the last picture at or before the latest request
    DecodedFrame m_oAhead;  // the picture after it, when decoded
    long long m_llDecodedByEarlierReaders = 0;
    long long m_llImageSerial = -1;  // the picture m_Image was converted from
    QImage m_Image;
};

std::shared_ptr<const VideoPicture> ImageGenerator::Impl::PictureAt(CMTime time, QString* reason) {
    if (!IsUsable(time)) {
        *reason = "The requested time is not a valid time";
        return {};
    }
    if (!Open(reason)) return {};
    if (time.value < 0) {
        *reason = "No frame at " + SecondsText(time) + ": the video starts at 0 s";
        return {};
    }
    m_pReader->setTarget(StreamTimestamp(time));
    if (!Shows(time)) {
        if (CanDecodeForwardTo(time))
            DecodeForwardTo(time);
        else
            SeekTo(time);
    }
    if (!Shows(time)) {
        *reason = MissingFrameReason(time);
        return {};
    }
    return m_oShown.picture;
}

bool ImageGenerator::Impl::Open(QString* reason) {
    if (m_pReader) return true;
    if (m_strOpenError.isEmpty()) {
        try {
            StartReading();
            return true;
        } catch (const std::exception& failure) {
            m_pReader.reset();
            m_strOpenError = QString::fromUtf8(failure.what());
        }
    }
    *reason = m_strOpenError;
    return false;
}

// Decodes the first picture, whose time is media time 0.
void ImageGenerator::Impl::StartReading() {
    m_pReader = std::make_unique<FrameReader>(m_strPath, m_iStream);
    m_pReader->setPresentation(m_oPresentation);
    m_oShown = m_pReader->Next();
    if (m_oShown.empty())
        throw std::runtime_error(
            "The video has no picture that can be decoded" +
            (m_pReader->lastError().empty() ? std::string() : " (" + m_pReader->lastError() + ")"));
    m_iOrigin = m_oShown.pts;
    m_pReader->setFirstPicturePts(m_iOrigin);
}

int ImageGenerator::Impl::CompareWithTime(int64_t pts, CMTime time) const {
    return av_compare_ts(SaturatingSubtract(pts, m_iOrigin), m_pReader->timeBase(), time.value,
                         RationalOf(time));
}

// The last stream tick at or before `time`.
int64_t ImageGenerator::Impl::StreamTimestamp(CMTime time) const {
    return SaturatingAdd(m_iOrigin, av_rescale_q_rnd(time.value, RationalOf(time),
                                                     m_pReader->timeBase(), AV_ROUND_DOWN));
}

int64_t ImageGenerator::Impl::EndOf(const DecodedFrame& frame) const {
    return SaturatingAdd(frame.pts,
                         frame.duration > 0 ? frame.duration : m_pReader->FallbackDuration());
}

bool ImageGenerator::Impl::Shows(CMTime time) const {
    if (m_oShown.empty() || CompareWithTime(m_oShown.pts, time) > 0) return false;
    if (!m_oAhead.empty()) return CompareWithTime(m_oAhead.pts, time) > 0;
    return m_pReader->atEnd() && CompareWithTime(EndOf(m_oShown), time) > 0;
}

bool ImageGenerator::Impl::CanDecodeForwardTo(CMTime time) const {
    if (m_oShown.empty() || CompareWithTime(m_oShown.pts, time) > 0) return false;
    if (m_oAhead.empty() && m_pReader->atEnd()) return true;  // nothing left to decode
    const int64_t reached = m_oAhead.empty() ? m_oShown.pts : m_oAhead.pts;
    return !m_pReader->ShouldSeekAhead(reached, StreamTimestamp(time));
}

void ImageGenerator::Impl::DecodeForwardTo(CMTime time) {
    for (;;) {
        if (m_oAhead.empty()) m_oAhead = m_pReader->Next();
        if (m_oAhead.empty() || CompareWithTime(m_oAhead.pts, time) > 0) return;
        m_oShown = std::move(m_oAhead);
        m_oAhead = {};
    }
}

void ImageGenerator::Impl::SeekTo(CMTime time) {
    Forget();
    const int64_t halfSecond =
        av_rescale_q(AV_TIME_BASE / 2, AV_TIME_BASE_Q, m_pReader->timeBase());
    int64_t seekPoint = StreamTimestamp(time);
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
        if (LandAtOrBefore(time, seekPoint)) {
            DecodeForwardTo(time);
            return;
        }
        if (seekPoint <= m_iOrigin) break;
        // The keyframe found is shown after `time` (demuxers that seek by decoding time find
        // the keyframe after the target's leading pictures): look further back.
        seekPoint = std::max(m_iOrigin, seekPoint - (std::max<int64_t>(1, halfSecond) << attempt));
    }
    DecodeFromStartTo(time);
}

// Seeks to the keyframe at or before `seekPoint` and keeps its first picture when that is
// shown at or before `time`.
bool ImageGenerator::Impl::LandAtOrBefore(CMTime time, int64_t seekPoint) {
    if (!m_pReader->SeekBackTo(seekPoint)) return false;
    DecodedFrame first = m_pReader->Next();
    if (first.empty() || CompareWithTime(first.pts, time) > 0) return false;
    m_oShown = std::move(first);
    return true;
}

// The last resort when seeking fails: a fresh reader decodes from the file's start.
void ImageGenerator::Impl::DecodeFromStartTo(CMTime time) {
    auto reader = std::make_unique<FrameReader>(m_strPath, m_iStream);
    reader->setPresentation(m_oPresentation);
    reader->setFirstPicturePts(m_iOrigin);
    reader->setTarget(StreamTimestamp(time));
    m_llDecodedByEarlierReaders += m_pReader->decodedCount();
    m_pReader = std::move(reader);
    m_oShown = m_pReader->Next();
    if (!m_oShown.empty() && CompareWithTime(m_oShown.pts, time) <= 0)
        DecodeForwardTo(time);
    else
        Forget();
}

QString ImageGenerator::Impl::MissingFrameReason(CMTime time) const {
    const QString prefix = "No frame at " + SecondsText(time);
    if (!m_oShown.empty() && m_oAhead.empty() && m_pReader->atEnd()) {
        const int64_t end = EndOf(m_oShown) - m_iOrigin;
        const double seconds = static_cast<double>(end) * av_q2d(m_pReader->timeBase());
        return prefix + ": the video ends at " + QString::number(seconds, 'f', 3) + " s";
    }
    if (!m_pReader->lastError().empty())
        return prefix + ": " + QString::fromStdString(m_pReader->lastError());
    return prefix + ": the video has no decodable picture there";
}

// A picture repeated for several requests is converted once.
QImage ImageGenerator::Impl::ImageAt(CMTime time, QString* reason) {
    const std::shared_ptr<const VideoPicture> picture = PictureAt(time, reason);
    if (!picture) return {};
    if (picture->serial() != m_llImageSerial) {
        m_Image = picture->ToImage();
        m_llImageSerial = picture->serial();
    }
    return m_Image;
}

ImageGenerator::ImageGenerator(const MediaAsset& asset)
    : m_pImpl(std::make_unique<Impl>(asset.path(), asset.videoStreamIndex(),
                                     asset.preferredTransform(), asset.contentPeakNits())) {}

void ImageGenerator::setAppliesPreferredTrackTransform(bool applies) {
    m_pImpl->ApplyTransform(applies);
}

bool ImageGenerator::appliesPreferredTrackTransform() const {
    return m_pImpl->AppliesTransform();
}

ImageGenerator::~ImageGenerator() = default;

namespace {

// Runs one request. A failure is answered as nothing with its reason, and `forget` makes
// the next request seek afresh.
template <typename Answer, typename Request>
Answer Answering(Request request, const std::function<void()>& forget, QString* error) {
    QString reason;
    Answer answer;
    try {
        answer = request(&reason);
    } catch (const std::exception& failure) {
        reason = QString::fromUtf8(failure.what());
        forget();
    }
    const bool answered = static_cast<bool>(answer);
    if (error != nullptr) *error = answered ? QString() : reason;
    return answer;
}

}  // namespace

QImage ImageGenerator::copyCGImageAtTime(CMTime time, QString* error) {
    std::optional<QImage> image = Answering<std::optional<QImage>>(
        [&](QString* reason) -> std::optional<QImage> {
            QImage frame = m_pImpl->ImageAt(time, reason);
            if (frame.isNull()) return std::nullopt;
            return frame;
        },
        [&] { m_pImpl->Forget(); }, error);
    return image ? *image : QImage();
}

std::shared_ptr<const VideoPicture> ImageGenerator::pictureAtTime(CMTime time, QString* error) {
    return Answering<std::shared_ptr<const VideoPicture>>(
        [&](QString* reason) { return m_pImpl->PictureAt(time, reason); },
        [&] { m_pImpl->Forget(); }, error);
}

VideoPicture::VideoPicture(const AVFrame& frame, const PicturePresentation& presentation)
    : m_pFrame(av_frame_clone(&frame)),
      m_oPresentation(presentation),
      m_oSize(presentation.transform.DisplaySize(QSize(frame.width, frame.height))) {
    static std::atomic<long long> pictures{0};
    if (m_pFrame == nullptr) throw av::Error("av_frame_clone: out of memory", AVERROR(ENOMEM));
    m_llSerial = ++pictures;
}

VideoPicture::~VideoPicture() {
    av_frame_free(&m_pFrame);
}

QImage VideoPicture::CodedImage() const {
    QImage image(m_pFrame->width, m_pFrame->height, QImage::Format_RGB32);
    if (image.isNull()) throw std::runtime_error("Not enough memory for the picture");
    if (sdr::NeedsMapping(*m_pFrame)) {
        sdr::MapToSdr(*m_pFrame, image.bits(), image.bytesPerLine(), yuv::PackedLayout::Bgra32,
                      m_oPresentation.streamPeakNits);
        return image;
    }
    ConverterFor(AV_PIX_FMT_RGB32)
        .Convert(*m_pFrame, image.bits(), static_cast<int>(image.bytesPerLine()));
    if (HasAlpha(*m_pFrame)) MakeOpaque(image);
    return image;
}

QImage VideoPicture::ToImage() const {
    QImage image = m_oPresentation.transform.Apply(CodedImage());
    if (image.isNull()) throw std::runtime_error("Not enough memory for the picture");
    return image;
}

void VideoPicture::ToCodedRgb(unsigned char* firstRow, long long stride,
                              PackedRgbOrder order) const {
    if (sdr::NeedsMapping(*m_pFrame)) {
        const auto layout =
            order == PackedRgbOrder::Rgb ? yuv::PackedLayout::Rgb24 : yuv::PackedLayout::Bgr24;
        return sdr::MapToSdr(*m_pFrame, firstRow, stride, layout, m_oPresentation.streamPeakNits);
    }
    const AVPixelFormat target = order == PackedRgbOrder::Rgb ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_BGR24;
    ConverterFor(target).Convert(*m_pFrame, firstRow, static_cast<int>(stride));
}

// A transformed picture goes through its image: turning and stretching need all of it.
void VideoPicture::ToPackedRgb(unsigned char* firstRow, long long stride,
                               PackedRgbOrder order) const {
    if (m_oPresentation.transform.isIdentity()) return ToCodedRgb(firstRow, stride, order);
    const QImage image = ToImage().convertToFormat(
        order == PackedRgbOrder::Rgb ? QImage::Format_RGB888 : QImage::Format_BGR888);
    for (int row = 0; row < image.height(); ++row)
        std::memcpy(firstRow + row * stride, image.constScanLine(row),
                    static_cast<size_t>(image.width()) * 3);
}

long long ImageGenerator::decodedFrameCount() const {
    return m_pImpl->decodedFrameCount();
}
