#include "platform/MediaAsset.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/SaturatingMath.h"

namespace {

// Media times need at least this resolution so that step times such as 0.1 s land on their
// own tick; coarser stream time bases (1/25 in AVI) are multiplied up to it.
constexpr int32_t kMinimumTimeScale = 600;
// Enough to find the streams of every common container without reading far into a big file.
constexpr const char* kProbeSizeBytes = "20000000";
constexpr const char* kAnalyzeDurationMicroseconds = "15000000";
// Packets read to estimate a data rate the container does not declare.
constexpr int kRateEstimatePackets = 2000;

bool IsCoverArt(const AVStream* stream) {
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// A decompression bomb: a small file whose pictures would take gigabytes each.
void RefuseHugePictures(const AVFormatContext& format) {
    for (unsigned index = 0; index < format.nb_streams; ++index) {
        const AVCodecParameters& picture = *format.streams[index]->codecpar;
        if (picture.codec_type != AVMEDIA_TYPE_VIDEO || IsCoverArt(format.streams[index])) continue;
        if (static_cast<long long>(picture.width) * picture.height <= MediaAsset::kMaxFramePixels)
            continue;
        throw MediaAsset::Refusal(
            "The video's pictures are " + std::to_string(picture.width) + " x " +
                std::to_string(picture.height) + " pixels, more than the " +
                std::to_string(MediaAsset::kMaxFramePixels) + " pixels a frame may have.",
            AVERROR(EINVAL));
    }
}

// What kind of thing other than a regular file `mode` describes, for the refusal.
const char* KindOfSpecialFile(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

av::Dictionary ProbingOptions() {
    return av::Dictionary{
        {"probesize", kProbeSizeBytes},
        {"analyzeduration", kAnalyzeDurationMicroseconds},
        // A playlist must not make us fetch anything from the network.
        {"protocol_whitelist", "file,crypto,data"},
    };
}

// A read ended by the interrupt callback is told as such; other failures as FFmpeg tells them.
void CheckRead(int code, const char* call, const QString& path) {
    if (code == AVERROR_EXIT)
        throw MediaAsset::Refusal(MediaAsset::StalledReadProblem(path).toStdString(), code);
    av::Check(code, call);
}

// Every thread keeps one watch: the callback is asked on the thread that reads.
int InterruptStalledRead(void* opaque) {
    thread_local ReadStallWatch watch{std::chrono::seconds(MediaAsset::kStalledReadSeconds)};
    const auto* format = static_cast<const AVFormatContext*>(opaque);
    const long long position = format->pb != nullptr ? format->pb->pos : -1;
    return watch.Stalled(format, position, ReadStallWatch::Clock::now()) ? 1 : 0;
}

}  // namespace

QString MediaAsset::NotRegularFileProblem(const QString& path) {
    struct stat status {};
    // stat follows links, so a link to a regular file is one.
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    return QString("%1 is not a regular file (it is %2).")
        .arg(path, KindOfSpecialFile(status.st_mode));
}

QString MediaAsset::StalledReadProblem(const QString& path) {
    return QString("Reading %1 made no progress for %2 seconds, so it was given up.")
        .arg(path)
        .arg(kStalledReadSeconds);
}

void MediaAsset::EndStalledReads(AVFormatContext& format) {
    // The context itself is the callback's argument: it lives exactly as long as its reads.
    format.interrupt_callback.callback = &InterruptStalledRead;
    format.interrupt_callback.opaque = &format;
}

av::InputFormatPtr MediaAsset::OpenDemuxer(const QString& path) {
    EnsureFFmpegReady();
    if (const QString problem = NotRegularFileProblem(path); !problem.isEmpty())
        throw Refusal(problem.toStdString(), AVERROR(EINVAL));
    av::Dictionary options = ProbingOptions();
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) throw av::Error("avformat_alloc_context", AVERROR(ENOMEM));
    EndStalledReads(*raw);
    // The "file:" prefix keeps a colon in a file name from being read as a protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    const int opened = avformat_open_input(&raw, url.constData(), nullptr, options.address());
    CheckRead(opened, "avformat_open_input", path);  // a failed opening freed `raw`
    av::InputFormatPtr format(raw);
    CheckRead(avformat_find_stream_info(format.get(), nullptr), "avformat_find_stream_info", path);
    RefuseHugePictures(*format);
    return format;
}

bool ReadStallWatch::Stalled(const void* source, long long position, Clock::time_point now) {
    const bool waitedOn = m_oLastCall && now - *m_oLastCall <= kLongestWaitBetweenCalls &&
                          source == m_pSource && position == m_iPosition;
    if (!waitedOn) {
        m_pSource = source;
        m_iPosition = position;
        m_oSince = now;
    }
    m_oLastCall = now;
    return now - m_oSince >= m_oLimit;
}

namespace {

int FirstVideoStream(const AVFormatContext* format) {
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsCoverArt(stream))
            return static_cast<int>(index);
    }
    return -1;
}

QString MediaTypeName(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO:
            return "video";
        case AVMEDIA_TYPE_AUDIO:
            return "audio";
        case AVMEDIA_TYPE_SUBTITLE:
            return "subtitle";
        default:
            return "data";
    }
}

// Frame times of a stream are multiples of its time base, so its denominator (raised to a
// multiple of at least kMinimumTimeScale) represents every one of them exactly.
int32_t TimeScaleFor(const AVStream* video) {
    if (video == nullptr) return AV_TIME_BASE;
    const AVRational base = video->time_base;
    if (base.num <= 0 || base.den <= 0) return kMinimumTimeScale;
    if (base.den >= kMinimumTimeScale) return base.den;
    return base.den * ((kMinimumTimeScale + base.den - 1) / base.den);
}

// From the earliest stream start to the latest stream end, in microseconds: a container's
// own figure can include a leading empty edit (MP4 written with a time offset), which no
// frame fills. The container's figure when no stream knows its extent; 0 when unknown.
int64_t DurationMicroseconds(const AVFormatContext* format) {
    int64_t start = std::numeric_limits<int64_t>::max();
    int64_t end = std::numeric_limits<int64_t>::min();
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        if (IsCoverArt(stream) || stream->start_time == AV_NOPTS_VALUE ||
            stream->duration == AV_NOPTS_VALUE || stream->duration <= 0)
            continue;
        start =
            std::min(start, av_rescale_q(stream->start_time, stream->time_base, AV_TIME_BASE_Q));
        end = std::max(end, av_rescale_q(SaturatingAdd(stream->start_time, stream->duration),
                                         stream->time_base, AV_TIME_BASE_Q));
    }
    if (end > start) return SaturatingSubtract(end, start);
    if (format->duration != AV_NOPTS_VALUE && format->duration >= 0) return format->duration;
    return 0;
}

float NominalFrameRate(const AVStream* video) {
    AVRational rate = video->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = video->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) return 0;
    return static_cast<float>(av_q2d(rate));
}

// Bits per second from the sizes and times of the stream's first packets.
double DataRateFromPackets(AVFormatContext* format, const AVStream* video) {
    av::PacketPtr packet = av::MakePacket();
    int64_t bytes = 0, first = AV_NOPTS_VALUE, end = AV_NOPTS_VALUE;
    for (int read = 0; read < kRateEstimatePackets && av_read_frame(format, packet.get()) >= 0;
         ++read) {
        if (packet->stream_index == video->index && packet->pts != AV_NOPTS_VALUE) {
            bytes += packet->size;
            if (first == AV_NOPTS_VALUE || packet->pts < first) first = packet->pts;
            const int64_t packetEnd = SaturatingAdd(packet->pts, packet->duration);
            if (end == AV_NOPTS_VALUE || packetEnd > end) end = packetEnd;
        }
        av_packet_unref(packet.get());
    }
    if (first == AV_NOPTS_VALUE || end <= first) return 0;
    return bytes * 8.0 /
           (av_q2d(video->time_base) * static_cast<double>(SaturatingSubtract(end, first)));
}

double EstimatedDataRate(AVFormatContext* format, const AVStream* video) {
    if (video->codecpar->bit_rate > 0) return static_cast<double>(video->codecpar->bit_rate);
    const double estimate = DataRateFromPackets(format, video);
    if (estimate > 0) return estimate;
    // Only a lone stream owns the whole file's rate.
    return format->nb_streams == 1 ? static_cast<double>(format->bit_rate) : 0.0;
}

DisplayTransform TransformOf(AVFormatContext* format, AVStream* video) {
    size_t size = 0;
    const uint8_t* matrix = av::StreamSideData(*video, AV_PKT_DATA_DISPLAYMATRIX, &size);
    const bool hasMatrix = matrix != nullptr && size >= 9 * sizeof(int32_t);
    const AVRational aspect = av_guess_sample_aspect_ratio(format, video, nullptr);
    DisplayTransform transform = DisplayTransform::From(
        hasMatrix ? reinterpret_cast<const int32_t*>(matrix) : nullptr, aspect.num, aspect.den);
    // A damaged stream's aspect must not stretch its pictures past what may be decoded.
    const QSize shown =
        transform.DisplaySize(QSize(video->codecpar->width, video->codecpar->height));
    if (static_cast<long long>(shown.width()) * shown.height() > MediaAsset::kMaxFramePixels)
        transform.pixelAspectNumerator = transform.pixelAspectDenominator = 1;
    return transform;
}

}  // namespace

std::unique_ptr<MediaAsset> MediaAsset::Open(const QString& path) {
    std::unique_ptr<MediaAsset> asset(new MediaAsset(path));
    try {
        av::InputFormatPtr format = OpenDemuxer(path);
        asset->ReadFrom(format.get());
    } catch (const Refusal& refusal) {
        *asset = MediaAsset(path);
        asset->m_strProblem = QString::fromStdString(refusal.what());
    } catch (const std::exception&) {
        // Not a readable media file: answers an invalid duration and no tracks.
        *asset = MediaAsset(path);
    }
    return asset;
}

void MediaAsset::ReadFrom(AVFormatContext* format) {
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        if (IsCoverArt(stream)) continue;
        m_Tracks.push_back({static_cast<int>(index), MediaTypeName(stream->codecpar->codec_type),
                            QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id))});
    }
    m_iVideoStream = FirstVideoStream(format);
    AVStream* video = m_iVideoStream >= 0 ? format->streams[m_iVideoStream] : nullptr;
    const int32_t timeScale = TimeScaleFor(video);
    m_oDuration = CMTimeMake(av_rescale_q_rnd(DurationMicroseconds(format), AV_TIME_BASE_Q,
                                              AVRational{1, timeScale}, AV_ROUND_NEAR_INF),
                             timeScale);
    m_bReadable = true;
    if (video == nullptr) return;
    m_oNaturalSize = QSizeF(video->codecpar->width, video->codecpar->height);
    m_oTransform = TransformOf(format, video);
    m_eTransfer = sdr::TransferOf(video->codecpar->color_trc);
    m_dblContentPeakNits = sdr::MetadataPeakNits(*video);
    m_fltNominalFrameRate = NominalFrameRate(video);
    m_dblEstimatedDataRate = EstimatedDataRate(format, video);
}

QSizeF MediaAsset::presentationSize() const {
    return QSizeF(m_oTransform.DisplaySize(m_oNaturalSize.toSize()));
}
