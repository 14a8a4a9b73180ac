#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/ImageEncoders.h"
#include "platform/ImageFiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

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

}  // namespace

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
        case ImageFileType::Count:
            break;
    }
    Fail("Unknown image file type " + std::to_string(static_cast<int>(type)));
}
