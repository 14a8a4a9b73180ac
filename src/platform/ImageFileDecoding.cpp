#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/ImageFiles.h"
#include "platform/ImageResolution.h"
#include "platform/OutputFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Decoded pictures may take at most this much memory (Qt's allocation limit is in MB).
constexpr int kAllocationLimitMB = 512;
constexpr qint64 kMaxDecodedPixels = kMaxImagePixels;
static_assert(kMaxImagePixels * 4 == qint64(kAllocationLimitMB) * 1024 * 1024);
// Larger files are not read at all.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    // Opening a named pipe waits for a writer, perhaps for ever: only regular files are read.
    if (IsSpecialFile(path)) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // A device such as /dev/zero has no size and never ends: no image file is one.
    if (file.isSequential() || file.size() > kMaxFileBytes) return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return data;
}

bool IsTooLarge(qint64 width, qint64 height) {
    return width * height > kMaxDecodedPixels;
}

void Refuse(qint64 width, qint64 height, QString* refusal) {
    if (refusal == nullptr) return;
    *refusal = QString("The picture is %1 x %2 pixels, more than the %3 pixels an image may have.")
                   .arg(QString::number(width), QString::number(height),
                        QString::number(kMaxDecodedPixels));
}

// Qt's verdict on the bytes: nullopt when no Qt reader knows the format. A picture declaring
// more pixels than allowed is refused from its header, before anything is allocated (Qt's own
// allocation limit stays as a second guard).
std::optional<QImage> DecodeWithQt(const QByteArray& data, QString* refusal) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kAllocationLimitMB);
    if (!reader.canRead()) return std::nullopt;
    const QSize declared = reader.size();
    if (IsTooLarge(declared.width(), declared.height())) {
        Refuse(declared.width(), declared.height(), refusal);
        return QImage();
    }
    return reader.read();
}

// The bytes as an AVIOContext for a demuxer.
class MemoryInput {
  public:
    explicit MemoryInput(const QByteArray& data) : m_Data(data) {
        constexpr int kChunk = 64 * 1024;
        auto* chunk = static_cast<unsigned char*>(av_malloc(kChunk));
        if (chunk == nullptr) throw av::Error("av_malloc: out of memory", AVERROR(ENOMEM));
        m_pContext = avio_alloc_context(chunk, kChunk, 0, this, &Read, nullptr, &Seek);
        if (m_pContext == nullptr) {
            av_free(chunk);
            throw av::Error("avio_alloc_context: out of memory", AVERROR(ENOMEM));
        }
    }
    ~MemoryInput() {
        av_freep(&m_pContext->buffer);
        avio_context_free(&m_pContext);
    }
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;
    AVIOContext* context() const { return m_pContext; }

  private:
    static int Read(void* opaque, uint8_t* buffer, int size) {
        auto* self = static_cast<MemoryInput*>(opaque);
        const qint64 left = self->m_Data.size() - self->m_iPosition;
        if (left <= 0) return AVERROR_EOF;
        const int count = static_cast<int>(std::min<qint64>(left, size));
        std::memcpy(buffer, self->m_Data.constData() + self->m_iPosition, count);
        self->m_iPosition += count;
        return count;
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<MemoryInput*>(opaque);
        const qint64 size = self->m_Data.size();
        if (whence & AVSEEK_SIZE) return size;
        const int origin = whence & ~AVSEEK_FORCE;
        const qint64 base = origin == SEEK_CUR ? self->m_iPosition : origin == SEEK_END ? size : 0;
        if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return AVERROR(EINVAL);
        if (base + offset < 0 || base + offset > size) return AVERROR(EINVAL);
        self->m_iPosition = base + offset;
        return self->m_iPosition;
    }

    const QByteArray& m_Data;
    qint64 m_iPosition = 0;
    AVIOContext* m_pContext = nullptr;
};

// FFmpeg's still-image demuxer for the bytes (the "..._pipe" family), judged by content only.
const AVInputFormat* ProbeImageDemuxer(const QByteArray& data) {
    // Image formats are told apart by their first bytes; a megabyte is ample.
    constexpr qsizetype kProbeBytes = 1 << 20;
    QByteArray padded = data.left(kProbeBytes);
    const int probeSize = static_cast<int>(padded.size());
    padded.append(QByteArray(AVPROBE_PADDING_SIZE, '\0'));
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = reinterpret_cast<unsigned char*>(padded.data());
    probe.buf_size = probeSize;
    const AVInputFormat* format = av_probe_input_format(&probe, 1);
    if (format == nullptr) return nullptr;
    return std::string_view(format->name).ends_with("_pipe") ? format : nullptr;
}

QImage ImageFromFrame(const AVFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) return {};
    if (IsTooLarge(frame.width, frame.height)) return {};
    const auto source = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(source);
    if (layout == nullptr) return {};
    const bool alpha = (layout->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    QImage image(frame.width, frame.height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) return {};
    av::SwsPtr converter(sws_getContext(
        frame.width, frame.height, source, frame.width, frame.height, AV_PIX_FMT_RGB32,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!converter) return {};
    uint8_t* const target[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int targetStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(converter.get(), frame.data, frame.linesize, 0, frame.height, target,
                               targetStride);
    return rows == frame.height ? image : QImage();
}

av::CodecContextPtr OpenDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) return {};
    av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder) return {};
    av::Check(avcodec_parameters_to_context(decoder.get(), stream.codecpar),
              "avcodec_parameters_to_context");
    // The decoder refuses larger pictures before allocating them.
    decoder->max_pixels = kMaxDecodedPixels;
    av::Check(avcodec_open2(decoder.get(), codec, nullptr), "avcodec_open2");
    return decoder;
}

// The first picture of the demuxer's first video stream.
QImage DecodeFirstPicture(AVFormatContext* demuxer, QString* refusal) {
    const int index = av_find_best_stream(demuxer, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return {};
    const AVCodecParameters& declared = *demuxer->streams[index]->codecpar;
    if (IsTooLarge(declared.width, declared.height)) {
        Refuse(declared.width, declared.height, refusal);
        return {};
    }
    av::CodecContextPtr decoder = OpenDecoder(*demuxer->streams[index]);
    if (!decoder) return {};
    av::PacketPtr packet = av::MakePacket();
    av::FramePtr frame = av::MakeFrame();
    for (bool ended = false; !ended;) {
        const int read = av_read_frame(demuxer, packet.get());
        ended = read < 0;
        if (!ended && packet->stream_index != index) {
            av_packet_unref(packet.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder.get(), ended ? nullptr : packet.get());
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) return {};
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received >= 0) return ImageFromFrame(*frame);
        if (received != AVERROR(EAGAIN)) return {};
    }
    return {};
}

QImage DecodeWithFFmpeg(const QByteArray& data, QString* refusal) {
    EnsureFFmpegReady();
    const AVInputFormat* format = ProbeImageDemuxer(data);
    if (format == nullptr) return {};
    MemoryInput input(data);
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) return {};
    raw->pb = input.context();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, "", format, nullptr) < 0) return {};  // frees `raw`
    av::InputFormatPtr demuxer(raw);
    return DecodeFirstPicture(demuxer.get(), refusal);
}

}  // namespace

QImage DecodeImage(const QByteArray& data, QString* refusal) {
    if (data.isEmpty()) return {};
    if (std::optional<QImage> image = DecodeWithQt(data, refusal)) return *image;
    try {
        return DecodeWithFFmpeg(data, refusal);
    } catch (const std::exception&) {
        return {};  // damaged or unsupported data: not a readable image
    }
}

QImage LoadImageFile(const QString& path, QString* refusal) {
    const std::optional<QByteArray> data = ReadWholeFile(path);
    return data ? DecodeImage(*data, refusal) : QImage();
}

std::optional<ImageWithPointSize> LoadImageFileWithPointSize(const QString& path,
                                                             QString* refusal) {
    const std::optional<QByteArray> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    QImage image = DecodeImage(*data, refusal);
    if (image.isNull()) return std::nullopt;
    QSizeF points(image.size());
    if (const std::optional<Resolution> resolution = StatedResolution(*data)) {
        points =
            QSizeF(image.width() * 72.0 / resolution->x, image.height() * 72.0 / resolution->y);
    }
    return ImageWithPointSize{std::move(image), points};
}
