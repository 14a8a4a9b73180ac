#include "platform/MovieWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

#include <cmath>

#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/OutputFile.h"

namespace {

// x264's "fast" preset: a little quicker than ffmpeg's default "medium" at the same CRF,
// with nearly the same quality per bit; frame threads keep every core busy.
constexpr const char* kPreset = "fast";
constexpr const char* kQuality = "23";  // CRF, ffmpeg's default for libx264
// x264 itself reports only errors: its statistics would drown the command's own messages.
constexpr const char* kEncoderParameters = "log=0";
constexpr int kLargestDenominator = 100000;
// sws flags of ffmpeg's own RGB -> YUV conversion; no scaling happens here.
constexpr int kConversionFlags = SWS_BICUBIC;

using Stage = MovieWriter::SetupStage;

[[noreturn]] void Fail(Stage stage, const std::string& reason) {
    throw MovieWriter::SetupError(stage, reason);
}

// Runs an FFmpeg set-up call; a failure becomes a SetupError of `stage`.
int Require(Stage stage, int code, const char* call) {
    if (code < 0) Fail(stage, std::string(call) + ": " + av::ErrorText(code));
    return code;
}

bool IsHighDefinition(QSize size) {
    return size.width() >= 1280 || size.height() >= 720;
}

}  // namespace

MovieWriter::Fraction MovieWriter::ExactFrameRate(double framesPerSecond) {
    const double ntscBase = std::round(framesPerSecond * 1.001);
    const bool whole = framesPerSecond == std::floor(framesPerSecond);
    if (!whole && ntscBase >= 1 && ntscBase <= 1000 &&
        std::fabs(framesPerSecond - ntscBase * 1000 / 1001) < 0.0005)
        return {static_cast<int>(ntscBase) * 1000, 1001};
    const AVRational rate = av_d2q(framesPerSecond, kLargestDenominator);
    return {rate.num, rate.den};
}

class MovieWriter::Impl {
  public:
    Impl(const QString& path, QSize size, double framesPerSecond);
    ~Impl();

    bool Append(const QImage& picture, int64_t slot);
    bool Finish();
    bool failed() const { return !m_strFailure.isEmpty(); }
    const QString& failure() const { return m_strFailure; }

  private:
    void OpenContainer(const QString& path);
    void OpenEncoder(QSize size, double framesPerSecond);
    void AddTrack();
    void PreparePicture(QSize size);
    bool Convert(const QImage& picture);
    bool Encode(const AVFrame* frame);
    bool WritePackets();
    bool Record(int code, const char* call);
    void CloseFile();

    std::unique_ptr<MuxerOutput> m_pOutput;  // the file, renamed into place by a good Finish()
    av::OutputFormatPtr m_pFormat;
    av::CodecContextPtr m_pEncoder;
    AVStream* m_pStream = nullptr;  // owned by m_pFormat
    av::FramePtr m_pPicture;
    av::PacketPtr m_pPacket = av::MakePacket();
    av::SwsPtr m_pConverter;
    bool m_bHeaderWritten = false;
    bool m_bFinished = false;
    QString m_strFailure;
};

MovieWriter::Impl::Impl(const QString& path, QSize size, double framesPerSecond) {
    if (size.isEmpty() || size.width() % 2 != 0 || size.height() % 2 != 0)
        Fail(Stage::Encoder, "4:2:0 H.264 needs an even frame size");
    if (!std::isfinite(framesPerSecond) || framesPerSecond < 1)
        Fail(Stage::Encoder, "a frame rate of at least 1 frame per second is needed");
    EnsureFFmpegReady();
    OpenContainer(path);
    OpenEncoder(size, framesPerSecond);
    AddTrack();
    PreparePicture(size);
}

MovieWriter::Impl::~Impl() {
    if (m_bHeaderWritten && !m_bFinished) Finish();
}

void MovieWriter::Impl::OpenContainer(const QString& path) {
    const QByteArray name = path.toUtf8();
    AVFormatContext* format = nullptr;
    Require(Stage::Container,
            avformat_alloc_output_context2(&format, nullptr, "mp4", name.constData()),
            "avformat_alloc_output_context2");
    m_pFormat.reset(format);
    try {
        m_pOutput = std::make_unique<MuxerOutput>(path);
    } catch (const std::runtime_error& error) {
        Fail(Stage::Container, error.what());
    }
    m_pFormat->pb = m_pOutput->context();
    m_pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
}

void MovieWriter::Impl::OpenEncoder(QSize size, double framesPerSecond) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) Fail(Stage::Encoder, "this FFmpeg has no libx264 encoder");
    m_pEncoder.reset(avcodec_alloc_context3(codec));
    if (!m_pEncoder) Fail(Stage::Encoder, "avcodec_alloc_context3: out of memory");
    const Fraction rate = ExactFrameRate(framesPerSecond);
    AVCodecContext& encoder = *m_pEncoder;
    encoder.width = size.width();
    encoder.height = size.height();
    encoder.pix_fmt = AV_PIX_FMT_YUV420P;
    encoder.framerate = AVRational{rate.numerator, rate.denominator};
    encoder.time_base = AVRational{rate.denominator, rate.numerator};
    encoder.thread_count = 0;  // as many as there are cores
    encoder.thread_type = FF_THREAD_FRAME;
    const bool hd = IsHighDefinition(size);
    encoder.colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    encoder.color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    encoder.color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    encoder.color_range = AVCOL_RANGE_MPEG;
    if (m_pFormat->oformat->flags & AVFMT_GLOBALHEADER)
        encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Require(Stage::Encoder, av_opt_set(encoder.priv_data, "preset", kPreset, 0), "preset");
    Require(Stage::Encoder, av_opt_set(encoder.priv_data, "crf", kQuality, 0), "crf");
    Require(Stage::Encoder, av_opt_set(encoder.priv_data, "x264-params", kEncoderParameters, 0),
            "x264-params");
    Require(Stage::Encoder, avcodec_open2(&encoder, codec, nullptr), "avcodec_open2");
}

void MovieWriter::Impl::AddTrack() {
    m_pStream = avformat_new_stream(m_pFormat.get(), nullptr);
    if (m_pStream == nullptr) Fail(Stage::Track, "avformat_new_stream: out of memory");
    Require(Stage::Track, avcodec_parameters_from_context(m_pStream->codecpar, m_pEncoder.get()),
            "avcodec_parameters_from_context");
    m_pStream->time_base = m_pEncoder->time_base;
    m_pStream->avg_frame_rate = m_pEncoder->framerate;
    Require(Stage::Track, avformat_write_header(m_pFormat.get(), nullptr), "avformat_write_header");
    m_bHeaderWritten = true;
}

void MovieWriter::Impl::PreparePicture(QSize size) {
    m_pPicture.reset(av_frame_alloc());
    if (!m_pPicture) Fail(Stage::PicturePool, "av_frame_alloc: out of memory");
    m_pPicture->format = AV_PIX_FMT_YUV420P;
    m_pPicture->width = size.width();
    m_pPicture->height = size.height();
    Require(Stage::PicturePool, av_frame_get_buffer(m_pPicture.get(), 0), "av_frame_get_buffer");
    m_pConverter.reset(sws_getContext(size.width(), size.height(), AV_PIX_FMT_RGB32, size.width(),
                                      size.height(), AV_PIX_FMT_YUV420P, kConversionFlags, nullptr,
                                      nullptr, nullptr));
    if (!m_pConverter) Fail(Stage::PicturePool, "sws_getContext: no RGB to YUV conversion");
    const int matrix = IsHighDefinition(size) ? SWS_CS_ITU709 : SWS_CS_ITU601;
    const int brightness = 0, contrast = 1 << 16, saturation = 1 << 16;
    const int* coefficients = sws_getCoefficients(matrix);
    Require(Stage::PicturePool,
            sws_setColorspaceDetails(m_pConverter.get(), coefficients, 1, coefficients, 0,
                                     brightness, contrast, saturation),
            "sws_setColorspaceDetails");
}

bool MovieWriter::Impl::Convert(const QImage& picture) {
    // The encoder may still hold the previous picture; it gets a fresh buffer then.
    Require(Stage::PicturePool, av_frame_make_writable(m_pPicture.get()), "av_frame_make_writable");
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native byte order, the layout of Format_RGB32.
    const QImage rgb = picture.format() == QImage::Format_RGB32
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    const uint8_t* const planes[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(rgb.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_pConverter.get(), planes, strides, 0, rgb.height(),
                               m_pPicture->data, m_pPicture->linesize);
    return Record(rows > 0 ? 0 : AVERROR(EINVAL), "sws_scale");
}

bool MovieWriter::Impl::Append(const QImage& picture, int64_t slot) {
    if (failed() || m_bFinished) return false;
    if (picture.size() != QSize(m_pPicture->width, m_pPicture->height)) {
        m_strFailure = "a picture of another size than the movie's";
        return false;
    }
    if (!Convert(picture)) return false;
    m_pPicture->pts = slot;
    return Encode(m_pPicture.get());
}

bool MovieWriter::Impl::Encode(const AVFrame* frame) {
    if (!Record(avcodec_send_frame(m_pEncoder.get(), frame), "avcodec_send_frame")) return false;
    return WritePackets();
}

// Moves every packet the encoder has ready into the file.
bool MovieWriter::Impl::WritePackets() {
    for (;;) {
        const int received = avcodec_receive_packet(m_pEncoder.get(), m_pPacket.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (!Record(received, "avcodec_receive_packet")) return false;
        av_packet_rescale_ts(m_pPacket.get(), m_pEncoder->time_base, m_pStream->time_base);
        m_pPacket->stream_index = m_pStream->index;
        if (!Record(av_interleaved_write_frame(m_pFormat.get(), m_pPacket.get()),
                    "av_interleaved_write_frame"))
            return false;
    }
}

// Keeps the first failure; answers whether `code` was a success.
bool MovieWriter::Impl::Record(int code, const char* call) {
    if (code >= 0) return true;
    if (m_strFailure.isEmpty())
        m_strFailure = QString("%1: %2").arg(call, QString::fromStdString(av::ErrorText(code)));
    return false;
}

bool MovieWriter::Impl::Finish() {
    m_bFinished = true;
    if (!failed()) Encode(nullptr);  // drains the frames still in the encoder's threads
    if (!failed()) Record(av_write_trailer(m_pFormat.get()), "av_write_trailer");
    CloseFile();
    return !failed();
}

// Renames the finished file into place; a failed one is removed instead.
void MovieWriter::Impl::CloseFile() {
    if (!m_pOutput) return;
    if (!failed() && !m_pOutput->Commit()) m_strFailure = "writing the file: " + m_pOutput->error();
    m_pFormat->pb = nullptr;
    m_pOutput.reset();
}

MovieWriter::MovieWriter(const QString& path, QSize size, double framesPerSecond)
    : m_pImpl(std::make_unique<Impl>(path, size, framesPerSecond)) {}

MovieWriter::~MovieWriter() = default;

bool MovieWriter::isReadyForMoreMediaData() const {
    return !m_pImpl->failed();
}

bool MovieWriter::appendImage(const QImage& picture, int64_t slot) {
    return m_pImpl->Append(picture, slot);
}

bool MovieWriter::Finish() {
    return m_pImpl->Finish();
}

const QString& MovieWriter::failure() const {
    return m_pImpl->failure();
}
