#include "platform/ImageGenerator.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>

#include "platform/FrameReader.h"
#include "platform/MediaAsset.h"
#include "platform/SaturatingMath.h"

namespace {

// Seeks further and further back before decoding from the very start instead.
constexpr int kSeekAttempts = 6;

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

long long ImageGenerator::decodedFrameCount() const {
    return m_pImpl->decodedFrameCount();
}
