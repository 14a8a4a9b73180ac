#include "gif/GifFrameDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QFile>
#include <cerrno>
#include <cstring>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/MediaAsset.h"

namespace {

// FFmpeg's gif reader does not check the signature when it is chosen by name, so a renamed
// PNG would be read as garbage rather than refused.
bool HasGifSignature(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray signature = file.read(6);
    return signature == "GIF87a" || signature == "GIF89a";
}

// A named pipe would block the signature's reading below and a device might never end.
void RefuseSpecialFiles(const QString& path) {
    const QString problem = MediaAsset::NotRegularFileProblem(path);
    if (!problem.isEmpty()) throw MediaAsset::Refusal(problem.toStdString(), AVERROR(EINVAL));
}

av::InputFormatPtr OpenGifFile(const QString& path, const AVInputFormat* gif) {
    av::Dictionary options{{"protocol_whitelist", "file"}};
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) throw av::Error("avformat_alloc_context", AVERROR(ENOMEM));
    MediaAsset::EndStalledReads(*raw);
    // The "file:" prefix keeps a colon in a file name from being read as a protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    const int opened = avformat_open_input(&raw, url.constData(), gif, options.address());
    if (opened == AVERROR_EXIT)
        throw MediaAsset::Refusal(MediaAsset::StalledReadProblem(path).toStdString(), opened);
    av::Check(opened, "avformat_open_input");  // a failed opening freed `raw`
    return av::InputFormatPtr(raw);
}

av::InputFormatPtr OpenGifDemuxer(const QString& path) {
    EnsureFFmpegReady();
    RefuseSpecialFiles(path);
    if (!HasGifSignature(path)) throw av::Error("GIF signature", AVERROR_INVALIDDATA);
    const AVInputFormat* gif = av_find_input_format("gif");
    if (gif == nullptr) throw av::Error("av_find_input_format(gif)", AVERROR_DEMUXER_NOT_FOUND);
    av::InputFormatPtr format = OpenGifFile(path, gif);
    if (format->nb_streams != 1 || format->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        throw av::Error("GIF stream", AVERROR_INVALIDDATA);
    return format;
}

// The next packet of the file; false at its end or where it stops making sense (a
// truncated file ends there).
bool ReadPacket(AVFormatContext* format, AVPacket* packet) {
    av_packet_unref(packet);
    return av_read_frame(format, packet) >= 0;
}

av::CodecContextPtr OpenGifDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_GIF);
    if (codec == nullptr) throw av::Error("avcodec_find_decoder(gif)", AVERROR_DECODER_NOT_FOUND);
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) throw av::Error("avcodec_alloc_context3", AVERROR(ENOMEM));
    av::Check(avcodec_parameters_to_context(context.get(), stream->codecpar),
              "avcodec_parameters_to_context");
    context->thread_count = 1;
    // The decoder refuses a canvas above this itself, should a frame claim to resize it.
    context->max_pixels = GifLimits::kMaxCanvasPixels;
    av::Check(avcodec_open2(context.get(), codec, nullptr), "avcodec_open2");
    return context;
}

// The decoder composites onto an RGB32 canvas (BGRA in memory here), which is Qt's ARGB32.
QImage ImageOfFrame(const AVFrame* frame) {
    if (frame->format != AV_PIX_FMT_RGB32)
        throw av::Error("gif decoder pixel format", AVERROR_PATCHWELCOME);
    QImage image(frame->width, frame->height, QImage::Format_ARGB32);
    if (image.isNull()) throw av::Error("QImage", AVERROR(ENOMEM));
    const size_t rowBytes = static_cast<size_t>(frame->width) * 4;
    for (int row = 0; row < frame->height; ++row)
        std::memcpy(image.scanLine(row), frame->data[0] + row * frame->linesize[0], rowBytes);
    return image;
}

// Hands over the frames the decoder has for the packet just sent; a frame it could not
// decode is dropped by the decoder along with its packet. False once a frame comes on another
// canvas: a second GIF joined to the first, which viewers do not show and whose canvas the
// limits were not checked against.
bool DeliverFrames(AVCodecContext* decoder, AVFrame* frame, const QSize& canvas, long long index,
                   const GifFrameHandler& onFrame, long long& delivered) {
    while (avcodec_receive_frame(decoder, frame) >= 0) {
        if (QSize(frame->width, frame->height) != canvas) return false;
        onFrame(index, ImageOfFrame(frame));
        av_frame_unref(frame);
        ++delivered;
    }
    return true;
}

}  // namespace

std::optional<GifSummary> ReadGifSummary(const QString& path) {
    try {
        av::InputFormatPtr format = OpenGifDemuxer(path);
        const AVCodecParameters* parameters = format->streams[0]->codecpar;
        GifSummary summary{QSize(parameters->width, parameters->height), 0};
        av::PacketPtr packet = av::MakePacket();
        while (summary.frameCount <= GifLimits::kMaxFrames &&
               ReadPacket(format.get(), packet.get()))
            ++summary.frameCount;
        return summary;
    } catch (const av::Error&) {
        return std::nullopt;
    }
}

QString GifRefusalReason(const GifSummary& summary) {
    const long long canvasPixels =
        static_cast<long long>(summary.canvas.width()) * summary.canvas.height();
    if (summary.canvas.isEmpty() || canvasPixels > GifLimits::kMaxCanvasPixels)
        return QString("Its canvas of %1 x %2 pixels is larger than %3 megapixels.")
            .arg(summary.canvas.width())
            .arg(summary.canvas.height())
            .arg(GifLimits::kMaxCanvasPixels / 1'000'000);
    if (summary.frameCount > GifLimits::kMaxFrames)
        return QString("It has more than %1 frames.").arg(GifLimits::kMaxFrames);
    if (canvasPixels * summary.frameCount > GifLimits::kMaxTotalPixels)
        return QString("Its %1 frames of %2 x %3 pixels would take more than %4 gigapixels.")
            .arg(summary.frameCount)
            .arg(summary.canvas.width())
            .arg(summary.canvas.height())
            .arg(GifLimits::kMaxTotalPixels / 1'000'000'000);
    return {};
}

long long DecodeGifFrames(const QString& path, const GifFrameHandler& onFrame) {
    av::InputFormatPtr format = OpenGifDemuxer(path);
    av::CodecContextPtr decoder = OpenGifDecoder(format->streams[0]);
    av::PacketPtr packet = av::MakePacket();
    av::FramePtr frame = av::MakeFrame();
    long long delivered = 0;
    // The gif decoder holds no frame back, so each packet's frame is out before the next.
    const AVCodecParameters* parameters = format->streams[0]->codecpar;
    const QSize canvas(parameters->width, parameters->height);
    for (long long index = 0;
         index < GifLimits::kMaxFrames && ReadPacket(format.get(), packet.get()); ++index) {
        if (avcodec_send_packet(decoder.get(), packet.get()) < 0) continue;
        if (!DeliverFrames(decoder.get(), frame.get(), canvas, index, onFrame, delivered)) break;
    }
    return delivered;
}
