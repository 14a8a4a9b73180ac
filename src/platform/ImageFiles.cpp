#include "platform/ImageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/ImageEncoders.h"
#include "platform/OutputFile.h"
#include "platform/WriteFaults.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
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

// 72 dpi in pixels per metre: files state this so their size in points is their size in
// pixels (the program sizes every picture in points, one point per pixel).
constexpr int kDotsPerMeterAt72Dpi = 2835;

// PNG effort when Qt writes the file (layouts our own writer does not take), through Qt's
// quality scale (zlib level = (100 - quality) x 9 / 91): 45 gives zlib level 5.
constexpr int kPngQuality = 45;

// palettegen hashes every pixel; above this many pixels it looks at an evenly thinned copy
// (nearest-neighbour, so only real colours are counted), which chooses as good a palette in
// a fraction of the time.
constexpr double kMaxPaletteSamples = 640.0 * 360.0;

[[noreturn]] void Fail(const std::string& reason) {
    throw std::runtime_error(reason);
}

// ---- Preparing the picture ------------------------------------------------------------

QImage StatingSeventyTwoDpi(QImage image) {
    image.setDotsPerMeterX(kDotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(kDotsPerMeterAt72Dpi);
    return image;
}

// The picture as 32-bit RGB, transparent parts laid over white (formats without alpha).
QImage Flattened(const QImage& image) {
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage opaque(image.size(), QImage::Format_RGB32);
    if (opaque.isNull()) Fail("Not enough memory to flatten the image");
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
    return opaque;
}

// The picture as 32-bit RGB, with straight (not premultiplied) alpha when it has any.
QImage WithAlphaKept(const QImage& image) {
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

// ---- Qt's writers -----------------------------------------------------------------------

QByteArray EncodeWithQt(const QImage& image, const char* format, int quality, int compression) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) writer.setQuality(quality);
    if (compression >= 0) writer.setCompression(compression);
    if (!writer.write(StatingSeventyTwoDpi(image))) {
        Fail(std::string("Cannot write the ") + format +
             " image: " + writer.errorString().toStdString());
    }
    return bytes;
}

// Our own writer where it takes the picture's layout (straight alpha in TIFF files is left
// to Qt, which stores it premultiplied).
QByteArray EncodeDirectlyOrWithQt(const QImage& image, QByteArray (*direct)(const QImage&),
                                  const char* format, int quality, int compression) {
    QByteArray bytes = direct(image);
    return bytes.isNull() ? EncodeWithQt(image, format, quality, compression) : bytes;
}

// ---- FFmpeg helpers ---------------------------------------------------------------------

// A frame holding a copy of `image`, whose pixel layout must already be `format`'s.
av::FramePtr FrameFromImage(const QImage& image, AVPixelFormat format) {
    av::FramePtr frame = av::MakeFrame();
    frame->width = image.width();
    frame->height = image.height();
    frame->format = format;
    frame->pts = 0;
    av::Check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");
    av_image_copy_plane(frame->data[0], frame->linesize[0], image.constBits(),
                        static_cast<int>(image.bytesPerLine()), image.width() * image.depth() / 8,
                        image.height());
    return frame;
}

av::CodecContextPtr MakeEncoder(const char* name, const QImage& image, AVPixelFormat format) {
    EnsureFFmpegReady();
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) Fail(std::string("The FFmpeg encoder \"") + name + "\" is missing");
    av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) throw av::Error("avcodec_alloc_context3: out of memory", AVERROR(ENOMEM));
    encoder->width = image.width();
    encoder->height = image.height();
    encoder->pix_fmt = format;
    encoder->time_base = AVRational{1, 100};
    return encoder;
}

// Encodes the one picture of a still image and drains the encoder.
std::vector<av::PacketPtr> EncodePicture(AVCodecContext* encoder, const AVFrame* frame) {
    av::Check(avcodec_send_frame(encoder, frame), "avcodec_send_frame");
    av::Check(avcodec_send_frame(encoder, nullptr), "avcodec_send_frame(flush)");
    std::vector<av::PacketPtr> packets;
    for (;;) {
        av::PacketPtr packet = av::MakePacket();
        const int received = avcodec_receive_packet(encoder, packet.get());
        if (received == AVERROR_EOF) break;
        av::Check(received, "avcodec_receive_packet");
        packets.push_back(std::move(packet));
    }
    if (packets.empty()) Fail("The encoder produced no picture");
    return packets;
}

// ---- GIF --------------------------------------------------------------------------------

struct InOutDeleter {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

// buffer -> (the description) -> buffersink; "in" and "out" name the ends.
struct FilterChain {
    av::FilterGraphPtr graph;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
};

AVFilterContext* AddFilter(AVFilterGraph* graph, const char* filter, const char* name,
                           const std::string& args) {
    const AVFilter* definition = avfilter_get_by_name(filter);
    if (definition == nullptr) Fail(std::string("The FFmpeg filter \"") + filter + "\" is missing");
    AVFilterContext* context = nullptr;
    av::Check(avfilter_graph_create_filter(&context, definition, name,
                                           args.empty() ? nullptr : args.c_str(), nullptr, graph),
              "avfilter_graph_create_filter");
    return context;
}

AVFilterInOut* Endpoint(const char* name, AVFilterContext* filter) {
    InOutPtr end(avfilter_inout_alloc());
    if (!end) throw av::Error("avfilter_inout_alloc: out of memory", AVERROR(ENOMEM));
    end->name = av_strdup(name);
    if (end->name == nullptr) throw av::Error("av_strdup: out of memory", AVERROR(ENOMEM));
    end->filter_ctx = filter;
    end->pad_idx = 0;
    end->next = nullptr;
    return end.release();
}

FilterChain MakeFilterChain(const AVFrame& input, const char* description) {
    FilterChain chain;
    chain.graph.reset(avfilter_graph_alloc());
    if (!chain.graph) throw av::Error("avfilter_graph_alloc: out of memory", AVERROR(ENOMEM));
    const std::string sourceArgs =
        "video_size=" + std::to_string(input.width) + "x" + std::to_string(input.height) +
        ":pix_fmt=" + av_get_pix_fmt_name(static_cast<AVPixelFormat>(input.format)) +
        ":time_base=1/100:pixel_aspect=1/1";
    chain.source = AddFilter(chain.graph.get(), "buffer", "in", sourceArgs);
    chain.sink = AddFilter(chain.graph.get(), "buffersink", "out", {});
    InOutPtr sourceEnd(Endpoint("in", chain.source));
    InOutPtr sinkEnd(Endpoint("out", chain.sink));
    AVFilterInOut* inputs = sinkEnd.release();
    AVFilterInOut* outputs = sourceEnd.release();
    const int parsed =
        avfilter_graph_parse_ptr(chain.graph.get(), description, &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    av::Check(parsed, "avfilter_graph_parse_ptr");
    av::Check(avfilter_graph_config(chain.graph.get(), nullptr), "avfilter_graph_config");
    return chain;
}

// "[in] ... [out]": palettegen on (a thinned copy of) the picture, paletteuse with its
// default error-diffusion dithering, which keeps gradients free of bands.
std::string PaletteFilters(int width, int height) {
    std::string sampling;
    const double thinning = std::sqrt(kMaxPaletteSamples / (double(width) * height));
    if (thinning < 1) {
        const int sampleWidth = std::max(1, static_cast<int>(width * thinning));
        const int sampleHeight = std::max(1, static_cast<int>(height * thinning));
        sampling = "scale=" + std::to_string(sampleWidth) + ":" + std::to_string(sampleHeight) +
                   ":flags=neighbor,";
    }
    return "[in]split[a][b];[a]" + sampling +
           "palettegen=max_colors=256:reserve_transparent=0:stats_mode=single[palette];"
           "[b][palette]paletteuse[out]";
}

// The picture in 256 colours chosen for it (palettegen needs the end of the stream before
// it emits a palette, hence the end marker after the one frame).
av::FramePtr ReduceToOwnPalette(const AVFrame& picture) {
    FilterChain chain =
        MakeFilterChain(picture, PaletteFilters(picture.width, picture.height).c_str());
    av::Check(av_buffersrc_add_frame_flags(chain.source, const_cast<AVFrame*>(&picture),
                                           AV_BUFFERSRC_FLAG_KEEP_REF),
              "av_buffersrc_add_frame_flags");
    av::Check(av_buffersrc_add_frame_flags(chain.source, nullptr, 0), "av_buffersrc_close");
    av::FramePtr indexed = av::MakeFrame();
    av::Check(av_buffersink_get_frame(chain.sink, indexed.get()), "av_buffersink_get_frame");
    if (indexed->format != AV_PIX_FMT_PAL8) Fail("The palette filter did not give 8-bit colours");
    return indexed;
}

// A muxer's output kept in memory. The muxer's own deleter would close `pb` as a file, so
// this closes the memory buffer first and leaves `pb` empty.
class MemoryOutput {
  public:
    explicit MemoryOutput(AVFormatContext* muxer) : m_pMuxer(muxer) {
        av::Check(avio_open_dyn_buf(&m_pMuxer->pb), "avio_open_dyn_buf");
    }
    ~MemoryOutput() { Take(); }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;

    QByteArray Take() {
        if (m_pMuxer->pb == nullptr) return {};
        uint8_t* bytes = nullptr;
        const int size = avio_close_dyn_buf(m_pMuxer->pb, &bytes);
        m_pMuxer->pb = nullptr;
        QByteArray result(reinterpret_cast<const char*>(bytes), std::max(size, 0));
        av_free(bytes);
        return result;
    }

  private:
    AVFormatContext* m_pMuxer;
};

QByteArray MuxGif(const AVCodecContext& encoder, std::vector<av::PacketPtr>& packets) {
    AVFormatContext* raw = nullptr;
    av::Check(avformat_alloc_output_context2(&raw, nullptr, "gif", nullptr),
              "avformat_alloc_output_context2(gif)");
    av::OutputFormatPtr muxer(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (stream == nullptr) throw av::Error("avformat_new_stream: out of memory", AVERROR(ENOMEM));
    av::Check(avcodec_parameters_from_context(stream->codecpar, &encoder),
              "avcodec_parameters_from_context");
    stream->time_base = encoder.time_base;
    // A still picture: no looping extension block.
    av::Check(av_opt_set_int(raw->priv_data, "loop", -1, 0), "av_opt_set(loop)");
    MemoryOutput output(raw);
    av::Check(avformat_write_header(raw, nullptr), "avformat_write_header(gif)");
    for (av::PacketPtr& packet : packets) {
        packet->stream_index = stream->index;
        av_packet_rescale_ts(packet.get(), encoder.time_base, stream->time_base);
        av::Check(av_write_frame(raw, packet.get()), "av_write_frame(gif)");
    }
    av::Check(av_write_trailer(raw), "av_write_trailer(gif)");
    return output.Take();
}

QByteArray EncodeGif(const QImage& image) {
    const av::FramePtr picture = FrameFromImage(Flattened(image), AV_PIX_FMT_RGB32);
    const av::FramePtr indexed = ReduceToOwnPalette(*picture);
    av::CodecContextPtr encoder = MakeEncoder("gif", image, AV_PIX_FMT_PAL8);
    av::Check(avcodec_open2(encoder.get(), encoder->codec, nullptr), "avcodec_open2(gif)");
    indexed->pts = 0;
    std::vector<av::PacketPtr> packets = EncodePicture(encoder.get(), indexed.get());
    return MuxGif(*encoder, packets);
}

// ---- JPEG 2000 --------------------------------------------------------------------------

// FFmpeg's libopenjpeg wrapper asks for a compression ratio of 2 x compression_level. The
// ratio doubles for every sixth of the factor given up: 2:1 just below 1.0, 16:1 at 0.5,
// 128:1 at 0.
int Jpeg2000CompressionLevel(float factor) {
    const double level = std::round(std::exp2(6.0 * (1.0 - factor)));
    return std::max(1, static_cast<int>(level));
}

// OpenJPEG refuses more wavelet levels than the smaller side can halve into.
int Jpeg2000Resolutions(const QImage& image) {
    const int shorterSide = std::min(image.width(), image.height());
    int resolutions = 1;
    while (resolutions < 6 && (shorterSide >> resolutions) >= 1) ++resolutions;
    return resolutions;
}

QByteArray EncodeJpeg2000(const QImage& image, float factor) {
    const QImage rgb = Flattened(image).convertToFormat(QImage::Format_RGB888);
    av::CodecContextPtr encoder = MakeEncoder("libopenjpeg", rgb, AV_PIX_FMT_RGB24);
    const bool lossless = factor >= 1.0f;
    encoder->compression_level = lossless ? 0 : Jpeg2000CompressionLevel(factor);
    av::Check(av_opt_set(encoder->priv_data, "format", "jp2", 0), "av_opt_set(format)");
    av::Check(av_opt_set_int(encoder->priv_data, "irreversible", lossless ? 0 : 1, 0),
              "av_opt_set(irreversible)");
    av::Check(av_opt_set_int(encoder->priv_data, "numresolution", Jpeg2000Resolutions(rgb), 0),
              "av_opt_set(numresolution)");
    av::Check(avcodec_open2(encoder.get(), encoder->codec, nullptr), "avcodec_open2(libopenjpeg)");
    const av::FramePtr frame = FrameFromImage(rgb, AV_PIX_FMT_RGB24);
    QByteArray file;
    for (const av::PacketPtr& packet : EncodePicture(encoder.get(), frame.get())) {
        file.append(reinterpret_cast<const char*>(packet->data), packet->size);
    }
    return file;
}

// ---- Writing files ----------------------------------------------------------------------

// A device, pipe or folder at the path: it cannot be replaced, only written into (or refused).
bool IsSpecialFile(const QString& path) {
    struct stat existing {};
    return ::stat(QFile::encodeName(path).constData(), &existing) == 0 &&
           !S_ISREG(existing.st_mode);
}

// Writes everything, retrying short and interrupted writes; 0 or the errno of the failure.
int WriteAll(int fd, const QByteArray& data) {
    int refusal = 0;
    const char* next = data.constData();
    qint64 left = WriteFaultAllowance(data.size(), &refusal);
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        next += written;
        left -= written;
    }
    return refusal;
}

bool WriteIntoSpecialFile(const QString& path, const QByteArray& data, QString* error) {
    int failure = WriteFaultOnCreate();
    const int fd =
        failure != 0 ? -1
                     : ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 && failure == 0) failure = errno;
    if (fd >= 0) failure = WriteAll(fd, data);
    if (fd >= 0 && ::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0 && error != nullptr) *error = ErrnoText(failure);
    return failure == 0;
}

// ---- Reading files ----------------------------------------------------------------------

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

// ---- Stated resolution --------------------------------------------------------------------

struct Resolution {
    double x = 0;  // dots per inch
    double y = 0;
};

quint32 BigEndian32(const QByteArray& data, qsizetype at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) |
           quint32(bytes[3]);
}

quint16 BigEndian16(const QByteArray& data, qsizetype at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return static_cast<quint16>((bytes[0] << 8) | bytes[1]);
}

// Resolutions are stored in whole dots per metre or centimetre; a whole number of dots per
// inch comes back a hundredth off, and is put back to that whole number.
double CleanDpi(double dpi) {
    const double whole = std::round(dpi);
    return std::abs(dpi - whole) < 0.02 ? whole : dpi;
}

std::optional<Resolution> MakeResolution(double dpiX, double dpiY) {
    // Below 1 dpi or beyond 100000 dpi is no real resolution; treat it as unstated.
    const auto sane = [](double dpi) { return std::isfinite(dpi) && dpi >= 1 && dpi <= 1e5; };
    if (!sane(dpiX) || !sane(dpiY)) return std::nullopt;
    return Resolution{CleanDpi(dpiX), CleanDpi(dpiY)};
}

// The pHYs chunk of a PNG, when it gives pixels per metre; it must precede the image data.
std::optional<Resolution> PngResolution(const QByteArray& data) {
    qsizetype at = 8;  // past the signature
    while (at + 8 <= data.size()) {
        const quint32 length = BigEndian32(data, at);
        const QByteArray type = data.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > quint32(data.size() - at - 8)) break;
        if (type == "pHYs" && length == 9 && data.at(at + 16) == 1) {
            constexpr double kInchesPerMetre = 0.0254;
            return MakeResolution(BigEndian32(data, at + 8) * kInchesPerMetre,
                                  BigEndian32(data, at + 12) * kInchesPerMetre);
        }
        at += 12 + qsizetype(length);
    }
    return std::nullopt;
}

// The density of a JPEG's JFIF header (the APP0 segment right after the start marker).
std::optional<Resolution> JfifResolution(const QByteArray& data) {
    if (data.size() < 20 || !data.startsWith("\xFF\xD8\xFF\xE0")) return std::nullopt;
    if (data.mid(6, 5) != QByteArray("JFIF\0", 5)) return std::nullopt;
    const int unit = static_cast<unsigned char>(data.at(13));
    const double perUnitX = BigEndian16(data, 14);
    const double perUnitY = BigEndian16(data, 16);
    if (unit == 1) return MakeResolution(perUnitX, perUnitY);
    if (unit == 2) return MakeResolution(perUnitX * 2.54, perUnitY * 2.54);
    return std::nullopt;  // unit 0: an aspect ratio only
}

std::optional<Resolution> StatedResolution(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1A\n")) return PngResolution(data);
    return JfifResolution(data);
}

}  // namespace

bool IsKnownImageFileType(long long code) {
    return code >= 0 && code <= 5;
}

QByteArray EncodeImage(const QImage& image, ImageFileType type, float compressionFactor) {
    if (image.isNull()) Fail("There is no picture to encode");
    const float factor =
        std::isnan(compressionFactor) ? 1.0f : std::clamp(compressionFactor, 0.0f, 1.0f);
    switch (type) {
        case ImageFileType::Tiff:
            return EncodeDirectlyOrWithQt(WithAlphaKept(image), EncodeTiffImage, "tiff", -1, 0);
        case ImageFileType::Bmp:
            return EncodeDirectlyOrWithQt(Flattened(image), EncodeBmpImage, "bmp", -1, -1);
        case ImageFileType::Gif:
            return EncodeGif(image);
        case ImageFileType::Jpeg:
            return EncodeWithQt(Flattened(image), "jpeg",
                                static_cast<int>(std::lround(factor * 100)), -1);
        case ImageFileType::Png:
            return EncodeDirectlyOrWithQt(WithAlphaKept(image), EncodePngImage, "png", kPngQuality,
                                          -1);
        case ImageFileType::Jpeg2000:
            return EncodeJpeg2000(image, factor);
    }
    Fail("Unknown image file type " + std::to_string(static_cast<int>(type)));
}

bool WriteFileData(const QString& path, const QByteArray& data, QString* error) {
    if (IsSpecialFile(path)) return WriteIntoSpecialFile(path, data, error);
    ReplacingFile file(path);
    if (file.Write(data.constData(), data.size()) && file.Commit()) return true;
    if (error != nullptr) *error = file.error();
    return false;
}

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
