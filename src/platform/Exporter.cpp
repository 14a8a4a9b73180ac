#include "platform/Exporter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ColourTags.h"
#include "platform/FFmpegHandles.h"
#include "platform/FFmpegSetup.h"
#include "platform/MediaAsset.h"
#include "platform/MovieTextAtoms.h"
#include "platform/OutputFile.h"
#include "platform/SaturatingMath.h"
#include "platform/SdrMapping.h"

namespace {

// The container tags must keep keys of their own (not only the few the muxer knows), so the
// muxer writes every entry into the "mdta" metadata as well. The `colr` atom is written even
// when a source names only some of its colours (the muxer leaves it out then otherwise).
constexpr const char* kMuxerFlags = "use_metadata_tags+write_colr";
// The encoders' own statistics would drown the application's messages.
constexpr const char* kX264Parameters = "log=0";
constexpr const char* kX265Parameters = "log-level=error";
// HDR in HEVC: the parameter sets and light metadata again at every key frame, for players
// that start in the middle; PQ pictures also get x265's quantisation for PQ.
constexpr const char* kX265HdrParameters = ":repeat-headers=1";
constexpr const char* kX265PqParameters = ":hdr10-opt=1";
// x265 counts chromaticities in 1/50000 and luminance in 1/10000 cd/m2.
constexpr int kX265ChromaUnits = 50000;
constexpr int kX265LuminanceUnits = 10000;
// Rows of the tone-mapped RGB picture start on this many bytes, as libswscale likes best.
constexpr int kRgbRowAlignment = 64;
constexpr const char* kEncoderSpeed = "fast";
constexpr const char* kProResProfile = "standard";  // ProRes 422
// Samples per frame for encoders that take any number (PCM).
constexpr int kVariableFrameSamples = 1024;

class ConversionCancelled : public std::exception {};

[[noreturn]] void Fail(const std::string& reason) {
    throw std::runtime_error(reason);
}

struct SwrDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;

// The shared opening: local files only, with the common probing limits.
av::InputFormatPtr OpenInput(const QString& path) {
    return MediaAsset::OpenDemuxer(path);
}

int BestStream(AVFormatContext& input, AVMediaType type) {
    return av_find_best_stream(&input, type, -1, -1, nullptr, 0);
}

bool IsPicture(const AVStream& stream) {
    return stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           !(stream.disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// The largest size with the source's aspect that fits the box (turned to the picture's
// orientation) without enlarging the source; sides even, as 4:2:0 needs.
QSize FittedSize(QSize source, QSize box) {
    if (!box.isEmpty() && (source.height() > source.width()) != (box.height() > box.width()))
        box.transpose();
    QSize fitted = source;
    if (!box.isEmpty() && (source.width() > box.width() || source.height() > box.height()))
        fitted = source.scaled(box, Qt::KeepAspectRatio);
    return QSize(std::max(2, fitted.width() & ~1), std::max(2, fitted.height() & ~1));
}

const AVCodec* FindEncoder(const QString& name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.toUtf8().constData());
    if (codec == nullptr) Fail("this FFmpeg has no " + name.toStdString() + " encoder");
    return codec;
}

av::CodecContextPtr AllocateContext(const AVCodec* codec) {
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) Fail("avcodec_alloc_context3: out of memory");
    return context;
}

av::CodecContextPtr OpenDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr)
        Fail("no decoder for the source's " +
             std::string(avcodec_get_name(stream.codecpar->codec_id)));
    av::CodecContextPtr decoder = AllocateContext(codec);
    av::Check(avcodec_parameters_to_context(decoder.get(), stream.codecpar),
              "avcodec_parameters_to_context");
    decoder->pkt_timebase = stream.time_base;
    decoder->thread_count = 0;
    decoder->max_pixels = MediaAsset::kMaxFramePixels;  // should a stream grow mid-way
    av::Check(avcodec_open2(decoder.get(), codec, nullptr), "avcodec_open2 (decoder)");
    return decoder;
}

// The pixel aspect a player shows the stream's pictures with: the container's, else the
// codec's; 0/1 when neither says.
AVRational SampleAspect(const AVStream& stream) {
    const auto valid = [](AVRational ratio) { return ratio.num > 0 && ratio.den > 0; };
    if (valid(stream.sample_aspect_ratio)) return stream.sample_aspect_ratio;
    if (valid(stream.codecpar->sample_aspect_ratio)) return stream.codecpar->sample_aspect_ratio;
    return AVRational{0, 1};
}

AVRational FrameRate(AVFormatContext& input, AVStream& source) {
    const AVRational rate = av_guess_frame_rate(&input, &source, nullptr);
    return rate.num > 0 && rate.den > 0 ? rate : AVRational{30, 1};
}

// The encoder's first choice of sample format. AVCodec.sample_fmts gave way to
// avcodec_get_supported_config() in FFmpeg 7.1.
AVSampleFormat PreferredSampleFormat(const AVCodec& codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* formats = nullptr;
    int count = 0;
    av::Check(avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_SAMPLE_FORMAT, 0,
                                           &formats, &count),
              "avcodec_get_supported_config");
    if (formats != nullptr && count > 0) return static_cast<const AVSampleFormat*>(formats)[0];
#else
    if (codec.sample_fmts != nullptr) return codec.sample_fmts[0];
#endif
    return AV_SAMPLE_FMT_FLTP;
}

// A picture as libswscale reads or writes it.
struct PictureFormat {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int matrix = SWS_CS_DEFAULT;  // SWS_CS_*; YUV pictures only
    bool fullRange = false;
    bool operator==(const PictureFormat&) const = default;
};

PictureFormat FormatOf(const AVFrame& frame) {
    return {frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
            colour::SwsMatrixOf(frame), colour::IsFullRange(frame)};
}

// A converter from `input` to `output`, each with its own matrix and range. The ranges are
// set before the converter is set up: libswscale prepares its range conversion then, and for
// pictures deeper than 8 bits does not redo it for a range given later (they would stay full
// range).
av::SwsPtr MakeScaler(const PictureFormat& input, const PictureFormat& output) {
    av::SwsPtr scaler(sws_alloc_context());
    if (!scaler) Fail("sws_alloc_context: out of memory");
    const std::pair<const char*, int64_t> options[] = {
        {"srcw", input.width},          {"srch", input.height},
        {"src_format", input.format},   {"dstw", output.width},
        {"dsth", output.height},        {"dst_format", output.format},
        {"sws_flags", SWS_BICUBIC},     {"src_range", input.fullRange},
        {"dst_range", output.fullRange}};
    for (const auto& [name, value] : options)
        av::Check(av_opt_set_int(scaler.get(), name, value, 0), "av_opt_set_int");
    av::Check(sws_init_context(scaler.get(), nullptr, nullptr), "sws_init_context");
    const int brightness = 0, contrast = 1 << 16, saturation = 1 << 16;
    av::Check(sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(input.matrix),
                                       input.fullRange, sws_getCoefficients(output.matrix),
                                       output.fullRange, brightness, contrast, saturation),
              "sws_setColorspaceDetails");
    return scaler;
}

// What the encoder is given: its pixel format and the colours its pictures are coded in.
struct PicturePlan {
    AVPixelFormat format = AV_PIX_FMT_YUV420P;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    bool mapToSdr = false;  // HDR light is tone mapped to SDR BT.709 first
    bool keepsHdr = false;  // HDR light stays, and its metadata goes with it
};

// The source's colours, kept; HDR stays HDR in HEVC (in 10 bits) and ProRes, and becomes SDR
// BT.709 in H.264 (which players take as SDR). Every output is limited range, as video is.
PicturePlan PlanFor(const ExportPreset& preset, const AVCodecParameters& source) {
    const bool hdr = sdr::TransferOf(source.color_trc) != sdr::Transfer::Sdr;
    PicturePlan plan{AV_PIX_FMT_YUV420P, source.color_primaries, source.color_trc,
                     static_cast<AVColorSpace>(
                         colour::KnownMatrix(source.color_space, source.width, source.height))};
    if (preset.videoEncoder == "prores_ks") {
        plan.format = AV_PIX_FMT_YUV422P10LE;
        plan.keepsHdr = hdr;
    } else if (hdr && preset.videoEncoder == "libx265") {
        plan.format = AV_PIX_FMT_YUV420P10LE;
        plan.keepsHdr = true;
    } else if (hdr) {
        plan = {AV_PIX_FMT_YUV420P, AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, true};
    }
    return plan;
}

// HDR light metadata: the mastering display and the content light level, as far as known.
struct HdrLight {
    std::optional<AVMasteringDisplayMetadata> display;
    std::optional<AVContentLightMetadata> content;
    bool empty() const { return !display && !content; }
};

template <typename T>
std::optional<T> SideDataAs(const uint8_t* data, size_t size) {
    if (data == nullptr || size < sizeof(T)) return std::nullopt;
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

HdrLight LightOf(const AVStream& stream) {
    size_t displaySize = 0, contentSize = 0;
    const uint8_t* display =
        av::StreamSideData(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &displaySize);
    const uint8_t* content =
        av::StreamSideData(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &contentSize);
    return {SideDataAs<AVMasteringDisplayMetadata>(display, displaySize),
            SideDataAs<AVContentLightMetadata>(content, contentSize)};
}

HdrLight LightOf(const AVFrame& frame) {
    const AVFrameSideData* display =
        av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    const AVFrameSideData* content =
        av_frame_get_side_data(&frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
    return {
        display ? SideDataAs<AVMasteringDisplayMetadata>(display->data, display->size)
                : std::nullopt,
        content ? SideDataAs<AVContentLightMetadata>(content->data, content->size) : std::nullopt};
}

// The first picture of stream `index`, read on a demuxer of its own (the conversion's may
// not move); nullptr when none decodes.
av::FramePtr FirstPicture(const QString& path, int index) {
    av::InputFormatPtr input = OpenInput(path);
    av::CodecContextPtr decoder = OpenDecoder(*input->streams[index]);
    av::PacketPtr packet = av::MakePacket();
    av::FramePtr frame = av::MakeFrame();
    for (bool more = true; more;) {
        more = av_read_frame(input.get(), packet.get()) >= 0;
        if (more && packet->stream_index != index) {
            av_packet_unref(packet.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        av::Check(sent, "avcodec_send_packet");
        const int code = avcodec_receive_frame(decoder.get(), frame.get());
        if (code >= 0) return frame;
        if (code != AVERROR(EAGAIN) && code != AVERROR_EOF)
            av::Check(code, "avcodec_receive_frame");
    }
    return nullptr;
}

// The source's light metadata: the stream's, else what its first picture carries (HEVC, for
// one, may hold it only in the pictures).
HdrLight SourceLight(const AVStream& source, const QString& path) {
    const HdrLight light = LightOf(source);
    if (!light.empty()) return light;
    const av::FramePtr first = FirstPicture(path, source.index);
    return first ? LightOf(*first) : HdrLight{};
}

void AddLight(AVStream& stream, const HdrLight& light) {
    if (light.display)
        av::AddStreamSideData(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &*light.display,
                              sizeof *light.display);
    if (light.content)
        av::AddStreamSideData(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &*light.content,
                              sizeof *light.content);
}

std::string X265Units(AVRational value, int units) {
    return std::to_string(value.den > 0 ? av_rescale(value.num, units, value.den) : 0);
}

std::string X265Point(const AVRational (&xy)[2]) {
    return "(" + X265Units(xy[0], kX265ChromaUnits) + "," + X265Units(xy[1], kX265ChromaUnits) +
           ")";
}

// The light metadata in x265's parameters, which put it into the stream's SEI messages.
// (AVMasteringDisplayMetadata lists the primaries red, green, blue; x265 green, blue, red.)
std::string X265LightParameters(const HdrLight& light) {
    std::string text;
    const std::optional<AVMasteringDisplayMetadata>& display = light.display;
    if (display && display->has_primaries && display->has_luminance)
        text += ":master-display=G" + X265Point(display->display_primaries[1]) + "B" +
                X265Point(display->display_primaries[2]) + "R" +
                X265Point(display->display_primaries[0]) + "WP" + X265Point(display->white_point) +
                "L(" + X265Units(display->max_luminance, kX265LuminanceUnits) + "," +
                X265Units(display->min_luminance, kX265LuminanceUnits) + ")";
    if (light.content)
        text += ":max-cll=" + std::to_string(light.content->MaxCLL) + "," +
                std::to_string(light.content->MaxFALL);
    return text;
}

QString X265Parameters(const PicturePlan& plan, const HdrLight& light) {
    std::string text = kX265Parameters;
    if (plan.keepsHdr) {
        text += kX265HdrParameters;
        if (plan.transfer == AVCOL_TRC_SMPTE2084) text += kX265PqParameters;
        text += X265LightParameters(light);
    }
    return QString::fromStdString(text);
}

// The output file: its muxer, its metadata and the packets of every track. The file gets its
// name only when finished; until then it is a temporary file that goes with the muxer.
class Muxer {
  public:
    Muxer(const QString& path, const QString& fileType, const QList<ExportMetadataItem>& items)
        : m_oOutput(path) {
        AVFormatContext* raw = nullptr;
        const QByteArray name = path.toUtf8();
        av::Check(avformat_alloc_output_context2(&raw, nullptr, fileType.toUtf8().constData(),
                                                 name.constData()),
                  "avformat_alloc_output_context2");
        m_pFormat.reset(raw);
        for (const ExportMetadataItem& item : items) AddMetadata(item);
        m_pFormat->pb = m_oOutput.context();
        m_pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    }

    AVStream* AddStream() {
        AVStream* stream = avformat_new_stream(m_pFormat.get(), nullptr);
        if (stream == nullptr) Fail("avformat_new_stream: out of memory");
        return stream;
    }
    bool WantsGlobalHeader() const { return m_pFormat->oformat->flags & AVFMT_GLOBALHEADER; }

    void Start() {
        av::Dictionary options{{"movflags", kMuxerFlags}};
        av::Check(avformat_write_header(m_pFormat.get(), options.address()),
                  "avformat_write_header");
    }
    void Write(AVPacket* packet) {
        av::Check(av_interleaved_write_frame(m_pFormat.get(), packet),
                  "av_interleaved_write_frame");
    }
    void Finish() {
        av::Check(av_write_trailer(m_pFormat.get()), "av_write_trailer");
        if (!m_oTextAtoms.empty()) AddTextAtoms(m_oOutput, m_oTextAtoms);
        if (!m_oOutput.Commit()) Fail("writing the file: " + m_oOutput.error().toStdString());
    }

  private:
    // User data and iTunes items under a four-character type are atoms the muxer cannot
    // write beside its metadata keys: they are added to the finished file. The muxer writes
    // every other item under its key.
    void AddMetadata(const ExportMetadataItem& item) {
        const QByteArray type = AtomType(item.key);
        const QByteArray text = item.value.toUtf8();
        if (!type.isEmpty() && item.keySpace == kUserDataKeySpace)
            m_oTextAtoms.userData.push_back({type, text});
        else if (!type.isEmpty() && item.keySpace == kITunesKeySpace)
            m_oTextAtoms.iTunes.push_back({type, text});
        else
            av::Check(av_dict_set(&m_pFormat->metadata, item.key.toUtf8().constData(),
                                  text.constData(), 0),
                      "av_dict_set");
    }

    MuxerOutput m_oOutput;
    av::OutputFormatPtr m_pFormat;
    MovieTextAtoms m_oTextAtoms;
};

// One output track fed with the packets of one source stream.
class Track {
  public:
    virtual ~Track() = default;
    virtual void Send(const AVPacket& packet) = 0;
    virtual void Flush() = 0;
};

class CopyTrack : public Track {
  public:
    CopyTrack(const AVStream& source, Muxer& muxer)
        : m_rMuxer(muxer), m_oSourceBase(source.time_base) {
        m_pStream = muxer.AddStream();
        av::Check(avcodec_parameters_copy(m_pStream->codecpar, source.codecpar),
                  "avcodec_parameters_copy");
        m_pStream->codecpar->codec_tag = 0;  // the source container's tag may not fit ours
        m_pStream->time_base = source.time_base;
        KeepPresentation(source);
    }
    void Send(const AVPacket& packet) override {
        av::Check(av_packet_ref(m_pPacket.get(), &packet), "av_packet_ref");
        av_packet_rescale_ts(m_pPacket.get(), m_oSourceBase, m_pStream->time_base);
        m_pPacket->stream_index = m_pStream->index;
        m_pPacket->pos = -1;
        m_rMuxer.Write(m_pPacket.get());
    }
    void Flush() override {}

  private:
    // What a player needs beside the packets (the parameters have the colours): the rotation,
    // the pixel aspect (the muxer reads the stream's for the track's shown width) and HDR
    // light metadata.
    void KeepPresentation(const AVStream& source) {
        if (IsPicture(source)) {
            m_pStream->sample_aspect_ratio = m_pStream->codecpar->sample_aspect_ratio =
                SampleAspect(source);
        }
        for (const AVPacketSideDataType type :
             {AV_PKT_DATA_DISPLAYMATRIX, AV_PKT_DATA_MASTERING_DISPLAY_METADATA,
              AV_PKT_DATA_CONTENT_LIGHT_LEVEL})
            av::CopyStreamSideData(source, *m_pStream, type);
    }

    Muxer& m_rMuxer;
    AVRational m_oSourceBase;
    AVStream* m_pStream = nullptr;  // owned by the muxer
    av::PacketPtr m_pPacket = av::MakePacket();
};

// Decodes the source stream and encodes what the subclass makes of each decoded frame.
class TranscodeTrack : public Track {
  public:
    TranscodeTrack(const AVStream& source, Muxer& muxer)
        : m_pDecoder(OpenDecoder(source)), m_rMuxer(muxer) {}
    void Send(const AVPacket& packet) override {
        av::Check(avcodec_send_packet(m_pDecoder.get(), &packet), "avcodec_send_packet");
        ReceiveFrames();
    }
    void Flush() override {
        av::Check(avcodec_send_packet(m_pDecoder.get(), nullptr), "avcodec_send_packet");
        ReceiveFrames();
        Drain();
        Encode(nullptr);
    }

  protected:
    virtual void Consume(const AVFrame& frame) = 0;
    virtual void Drain() {}
    // Completes an encoded packet, in the encoder's time base, before it is written.
    virtual void Stamp(AVPacket& /*packet*/) {}

    // Opens the encoder and the output stream that carries its packets.
    void OpenEncoder(const AVCodec* codec, AVDictionary** options) {
        if (m_rMuxer.WantsGlobalHeader()) m_pEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        m_pEncoder->thread_count = 0;
        av::Check(avcodec_open2(m_pEncoder.get(), codec, options), "avcodec_open2 (encoder)");
        m_pStream = m_rMuxer.AddStream();
        av::Check(avcodec_parameters_from_context(m_pStream->codecpar, m_pEncoder.get()),
                  "avcodec_parameters_from_context");
        m_pStream->time_base = m_pEncoder->time_base;
    }

    void Encode(const AVFrame* frame) {
        av::Check(avcodec_send_frame(m_pEncoder.get(), frame), "avcodec_send_frame");
        for (;;) {
            const int code = avcodec_receive_packet(m_pEncoder.get(), m_pPacket.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return;
            av::Check(code, "avcodec_receive_packet");
            Stamp(*m_pPacket);
            av_packet_rescale_ts(m_pPacket.get(), m_pEncoder->time_base, m_pStream->time_base);
            m_pPacket->stream_index = m_pStream->index;
            m_rMuxer.Write(m_pPacket.get());
        }
    }

    AVStream& Stream() { return *m_pStream; }  // once the encoder is open

    av::CodecContextPtr m_pDecoder;
    av::CodecContextPtr m_pEncoder;

  private:
    void ReceiveFrames() {
        for (;;) {
            const int code = avcodec_receive_frame(m_pDecoder.get(), m_pFrame.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return;
            av::Check(code, "avcodec_receive_frame");
            Consume(*m_pFrame);
            av_frame_unref(m_pFrame.get());
        }
    }

    Muxer& m_rMuxer;
    AVStream* m_pStream = nullptr;  // owned by the muxer
    av::FramePtr m_pFrame = av::MakeFrame();
    av::PacketPtr m_pPacket = av::MakePacket();
};

class VideoTrack : public TranscodeTrack {
  public:
    VideoTrack(AVFormatContext& input, AVStream& source, const ExportPreset& preset, Muxer& muxer,
               const QString& sourcePath)
        : TranscodeTrack(source, muxer),
          m_oPlan(PlanFor(preset, *source.codecpar)),
          m_dblStreamPeakNits(sdr::MetadataPeakNits(source)) {
        const AVCodec* codec = FindEncoder(preset.videoEncoder);
        m_pEncoder = AllocateContext(codec);
        DescribePictures(source, FrameRate(input, source), preset.largestSize);
        const HdrLight light = m_oPlan.keepsHdr ? SourceLight(source, sourcePath) : HdrLight{};
        av::Dictionary options = EncoderOptions(preset, light);
        OpenEncoder(codec, options.address());
        DescribeStream(source, light);
        m_iFrameTicks = std::max<int64_t>(
            1, av_rescale_q(1, av_inv_q(m_pEncoder->framerate), m_pEncoder->time_base));
        AllocatePicture();
    }

  protected:
    void Consume(const AVFrame& frame) override {
        av::Check(av_frame_make_writable(m_pScaled.get()), "av_frame_make_writable");
        if (m_oPlan.mapToSdr)
            ConvertMapped(frame);
        else
            Convert(frame.data, frame.linesize, FormatOf(frame));
        m_pScaled->pts = NextPts(frame);
        Encode(m_pScaled.get());
    }

    // Every packet lasts as long as the picture it came from; the muxer would end the track
    // where the last one starts otherwise.
    void Stamp(AVPacket& packet) override {
        const auto found = m_mDurations.find(packet.pts);
        int64_t duration = 0;
        if (found != m_mDurations.end()) {
            duration = found->second;
            m_mDurations.erase(found);
        }
        packet.duration = duration > 0 ? duration : m_iFrameTicks;
    }

  private:
    static bool IsProRes(const ExportPreset& preset) { return preset.videoEncoder == "prores_ks"; }

    // The fitted size keeps the coded picture's aspect, so its pixels keep the source's aspect.
    void DescribePictures(const AVStream& source, AVRational rate, QSize box) {
        AVCodecContext& encoder = *m_pEncoder;
        const QSize size = FittedSize(QSize(source.codecpar->width, source.codecpar->height), box);
        encoder.width = size.width();
        encoder.height = size.height();
        encoder.sample_aspect_ratio = SampleAspect(source);
        if (encoder.sample_aspect_ratio.num == 0) encoder.sample_aspect_ratio = AVRational{1, 1};
        encoder.pix_fmt = m_oPlan.format;
        encoder.framerate = rate;
        encoder.time_base = source.time_base;
        encoder.color_primaries = m_oPlan.primaries;
        encoder.color_trc = m_oPlan.transfer;
        encoder.colorspace = m_oPlan.matrix;
        encoder.color_range = AVCOL_RANGE_MPEG;
    }

    // What a player needs beside the pictures: the rotation, the pixel aspect (the muxer reads
    // the stream's for the track's shown width) and, for HDR kept, the light metadata.
    void DescribeStream(const AVStream& source, const HdrLight& light) {
        AVStream& stream = Stream();
        stream.sample_aspect_ratio = m_pEncoder->sample_aspect_ratio;
        av::CopyStreamSideData(source, stream, AV_PKT_DATA_DISPLAYMATRIX);
        if (m_oPlan.keepsHdr) AddLight(stream, light);
    }

    // The encoder's picture, with the colours it is coded in (ProRes takes them from there).
    void AllocatePicture() {
        AVFrame& picture = *m_pScaled;
        picture.format = m_pEncoder->pix_fmt;
        picture.width = m_pEncoder->width;
        picture.height = m_pEncoder->height;
        picture.sample_aspect_ratio = m_pEncoder->sample_aspect_ratio;
        picture.color_primaries = m_pEncoder->color_primaries;
        picture.color_trc = m_pEncoder->color_trc;
        picture.colorspace = m_pEncoder->colorspace;
        picture.color_range = m_pEncoder->color_range;
        av::Check(av_frame_get_buffer(m_pScaled.get(), 0), "av_frame_get_buffer");
    }

    av::Dictionary EncoderOptions(const ExportPreset& preset, const HdrLight& light) const {
        av::Dictionary options;
        const auto set = [&options](const char* key, const QString& value) {
            options.Set(key, value.toUtf8().constData());
        };
        if (IsProRes(preset)) {
            set("profile", kProResProfile);
            return options;
        }
        set("preset", kEncoderSpeed);
        if (!preset.videoQuality.isEmpty()) set("crf", preset.videoQuality);
        if (preset.videoEncoder == "libx264") set("x264-params", kX264Parameters);
        if (preset.videoEncoder == "libx265") set("x265-params", X265Parameters(m_oPlan, light));
        return options;
    }

    void Convert(const uint8_t* const planes[], const int strides[], const PictureFormat& input) {
        av::Check(sws_scale(Scaler(input), planes, strides, 0, input.height, m_pScaled->data,
                            m_pScaled->linesize),
                  "sws_scale");
    }

    // HDR light through the tone mapper into SDR BT.709 RGB, then into the encoder's format.
    void ConvertMapped(const AVFrame& frame) {
        const int stride = FFALIGN(frame.width * 3, kRgbRowAlignment);
        m_vRgb.resize(static_cast<size_t>(stride) * frame.height);
        sdr::MapToSdr(frame, m_vRgb.data(), stride, yuv::PackedLayout::Rgb24, PeakNits(frame));
        const uint8_t* const planes[4] = {m_vRgb.data(), nullptr, nullptr, nullptr};
        const int strides[4] = {stride, 0, 0, 0};
        Convert(planes, strides,
                {frame.width, frame.height, AV_PIX_FMT_RGB24, SWS_CS_ITU709, true});
    }

    // The peak the tone mapping starts from stays put over the movie (a peak of each picture's
    // own would make the brightness pump): the stream's, else the brightest one seen so far.
    double PeakNits(const AVFrame& frame) {
        if (m_dblStreamPeakNits > 0) return m_dblStreamPeakNits;
        m_dblSeenPeakNits = std::max(m_dblSeenPeakNits, sdr::PeakNitsOf(frame));
        return m_dblSeenPeakNits;
    }

    // The converter for this input (its size, format and colours may change within a stream),
    // from its own matrix and range to the planned ones, which the tags name.
    SwsContext* Scaler(const PictureFormat& input) {
        if (m_pScaler && input == m_oScalerInput) return m_pScaler.get();
        const PictureFormat output{m_pScaled->width, m_pScaled->height, m_pEncoder->pix_fmt,
                                   colour::SwsMatrix(m_oPlan.matrix), false};
        m_pScaler = MakeScaler(input, output);
        m_oScalerInput = input;
        return m_pScaler.get();
    }

    // The picture's time: its own, unless it has none or does not follow the one before (the
    // encoder needs times that grow). Remembers how long the picture lasts.
    int64_t NextPts(const AVFrame& frame) {
        int64_t pts = frame.best_effort_timestamp;
        if (m_bAnyFrame && (pts == AV_NOPTS_VALUE || pts <= m_iLastPts)) pts = m_iLastPts + 1;
        if (pts == AV_NOPTS_VALUE) pts = 0;
        // A picture that does not say how long it lasts lasts until the next one.
        const auto last = m_mDurations.find(m_iLastPts);
        if (m_bAnyFrame && last != m_mDurations.end() && last->second <= 0)
            last->second = pts - m_iLastPts;
        m_mDurations[pts] = av::FrameDuration(frame);
        m_iLastPts = pts;
        m_bAnyFrame = true;
        return pts;
    }

    const PicturePlan m_oPlan;
    const double m_dblStreamPeakNits;
    double m_dblSeenPeakNits = 0;
    std::vector<uint8_t> m_vRgb;  // the tone-mapped picture
    av::FramePtr m_pScaled = av::MakeFrame();
    av::SwsPtr m_pScaler;
    PictureFormat m_oScalerInput;
    std::map<int64_t, int64_t> m_mDurations;  // of the pictures with the encoder, by time
    int64_t m_iFrameTicks = 1;                // a picture's duration by the frame rate
    int64_t m_iLastPts = 0;
    bool m_bAnyFrame = false;
};

class AudioTrack : public TranscodeTrack {
  public:
    AudioTrack(AVStream& source, const ExportPreset& preset, Muxer& muxer)
        : TranscodeTrack(source, muxer) {
        const AVCodec* codec = FindEncoder(preset.audioEncoder);
        m_pEncoder = AllocateContext(codec);
        AVCodecContext& encoder = *m_pEncoder;
        encoder.sample_rate = m_pDecoder->sample_rate;
        av_channel_layout_default(&encoder.ch_layout, m_pDecoder->ch_layout.nb_channels);
        encoder.sample_fmt = PreferredSampleFormat(*codec);
        encoder.bit_rate = preset.audioBitRate;
        encoder.time_base = AVRational{1, encoder.sample_rate};
        OpenEncoder(codec, nullptr);
        SwrContext* resampler = nullptr;
        av::Check(swr_alloc_set_opts2(&resampler, &encoder.ch_layout, encoder.sample_fmt,
                                      encoder.sample_rate, &m_pDecoder->ch_layout,
                                      m_pDecoder->sample_fmt, m_pDecoder->sample_rate, 0, nullptr),
                  "swr_alloc_set_opts2");
        m_pResampler.reset(resampler);
        av::Check(swr_init(resampler), "swr_init");
        m_pFifo.reset(av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, 1));
        if (!m_pFifo) Fail("av_audio_fifo_alloc: out of memory");
    }

  protected:
    void Consume(const AVFrame& frame) override {
        Resample(&frame);
        EncodeWholeFrames(false);
    }
    void Drain() override {
        Resample(nullptr);
        EncodeWholeFrames(true);
    }

  private:
    av::FramePtr EmptyFrame(int samples) const {
        av::FramePtr frame = av::MakeFrame();
        frame->format = m_pEncoder->sample_fmt;
        frame->sample_rate = m_pEncoder->sample_rate;
        frame->nb_samples = samples;
        av::Check(av_channel_layout_copy(&frame->ch_layout, &m_pEncoder->ch_layout),
                  "av_channel_layout_copy");
        return frame;
    }

    // Converts `frame` (nullptr: what the resampler still holds) into the queue.
    void Resample(const AVFrame* frame) {
        av::FramePtr converted = EmptyFrame(0);
        av::Check(swr_convert_frame(m_pResampler.get(), converted.get(), frame),
                  "swr_convert_frame");
        if (converted->nb_samples == 0) return;
        if (av_audio_fifo_write(m_pFifo.get(), reinterpret_cast<void**>(converted->data),
                                converted->nb_samples) < converted->nb_samples)
            Fail("av_audio_fifo_write: out of memory");
    }

    // Hands the queued samples to the encoder in frames of its size; the last one may be short.
    void EncodeWholeFrames(bool last) {
        const int frameSize =
            m_pEncoder->frame_size > 0 ? m_pEncoder->frame_size : kVariableFrameSamples;
        for (int queued = av_audio_fifo_size(m_pFifo.get());
             queued >= frameSize || (last && queued > 0);
             queued = av_audio_fifo_size(m_pFifo.get())) {
            av::FramePtr frame = EmptyFrame(std::min(frameSize, queued));
            av::Check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");
            av::Check(av_audio_fifo_read(m_pFifo.get(), reinterpret_cast<void**>(frame->data),
                                         frame->nb_samples),
                      "av_audio_fifo_read");
            frame->pts = m_iSamplesSent;
            m_iSamplesSent += frame->nb_samples;
            Encode(frame.get());
        }
    }

    SwrPtr m_pResampler;
    FifoPtr m_pFifo;
    int64_t m_iSamplesSent = 0;
};

struct Job {
    QString source;
    ExportPreset preset;
    QString output;
    QString fileType;
    QList<ExportMetadataItem> metadata;
};

// One whole conversion on the exporter's thread.
class Conversion {
  public:
    Conversion(const Job& job, const std::atomic<bool>& cancel, std::atomic<float>& progress)
        : m_strSource(job.source),
          m_pInput(OpenInput(job.source)),
          m_oMuxer(job.output, job.fileType, job.metadata),
          m_rCancel(cancel),
          m_rProgress(progress) {
        m_vTracks.resize(m_pInput->nb_streams);
        for (unsigned index = 0; index < m_pInput->nb_streams; ++index)
            m_vTracks[index] = MakeTrack(*m_pInput->streams[index], job.preset);
        if (std::none_of(m_vTracks.begin(), m_vTracks.end(), [](auto& t) { return bool(t); }))
            Fail("the source has nothing this preset converts");
        m_oMuxer.Start();
    }

    void Run() {
        for (;;) {
            if (m_rCancel) throw ConversionCancelled();
            const int code = av_read_frame(m_pInput.get(), m_pPacket.get());
            if (code == AVERROR_EOF) break;
            av::Check(code, "av_read_frame");
            if (Track* track = m_vTracks[m_pPacket->stream_index].get()) {
                track->Send(*m_pPacket);
                ReportProgress(*m_pPacket);
            }
            av_packet_unref(m_pPacket.get());
        }
        for (auto& track : m_vTracks)
            if (track) track->Flush();
        m_oMuxer.Finish();
    }

  private:
    std::unique_ptr<Track> MakeTrack(AVStream& stream, const ExportPreset& preset) {
        const int index = stream.index;
        switch (preset.kind) {
            case ExportPreset::Kind::Passthrough:
                if (IsPicture(stream) || stream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                    return std::make_unique<CopyTrack>(stream, m_oMuxer);
                return nullptr;
            case ExportPreset::Kind::Video:
                if (index == BestStream(*m_pInput, AVMEDIA_TYPE_VIDEO))
                    return std::make_unique<VideoTrack>(*m_pInput, stream, preset, m_oMuxer,
                                                        m_strSource);
                [[fallthrough]];
            case ExportPreset::Kind::AudioOnly:
                if (index == BestStream(*m_pInput, AVMEDIA_TYPE_AUDIO))
                    return std::make_unique<AudioTrack>(stream, preset, m_oMuxer);
                return nullptr;
        }
        return nullptr;
    }

    void ReportProgress(const AVPacket& packet) {
        const AVStream& stream = *m_pInput->streams[packet.stream_index];
        if (packet.pts == AV_NOPTS_VALUE || m_pInput->duration <= 0) return;
        const int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
        const double seconds =
            static_cast<double>(SaturatingSubtract(packet.pts, start)) * av_q2d(stream.time_base);
        const double whole = static_cast<double>(m_pInput->duration) / AV_TIME_BASE;
        const auto fraction = static_cast<float>(std::clamp(seconds / whole, 0.0, 1.0));
        if (fraction > m_rProgress) m_rProgress = fraction;
    }

    QString m_strSource;
    av::InputFormatPtr m_pInput;
    Muxer m_oMuxer;
    std::vector<std::unique_ptr<Track>> m_vTracks;  // by source stream; empty: not converted
    av::PacketPtr m_pPacket = av::MakePacket();
    const std::atomic<bool>& m_rCancel;
    std::atomic<float>& m_rProgress;
};

// Why the preset cannot convert the source; empty when it can.
QString Unsuitability(const QString& sourcePath, const ExportPreset& preset) {
    av::InputFormatPtr input;
    try {
        input = OpenInput(sourcePath);
    } catch (const av::Error& error) {
        return "The video could not be read (" + QString::fromStdString(error.what()) + ").";
    }
    bool hasPicture = false;
    for (unsigned index = 0; index < input->nb_streams; ++index)
        hasPicture = hasPicture || IsPicture(*input->streams[index]);
    const bool hasSound = BestStream(*input, AVMEDIA_TYPE_AUDIO) >= 0;
    switch (preset.kind) {
        case ExportPreset::Kind::Video:
            return hasPicture ? QString() : "The video has no picture to convert.";
        case ExportPreset::Kind::AudioOnly:
            return hasSound ? QString() : "The video has no sound to convert.";
        case ExportPreset::Kind::Passthrough:
            return hasPicture || hasSound ? QString() : "The video has no picture or sound.";
    }
    return QString();
}

}  // namespace

class Exporter::Impl {
  public:
    ~Impl() {
        m_bCancel = true;
        if (m_oThread.joinable()) m_oThread.join();
    }

    void Start(std::function<void()> completion) {
        m_iStatus = Waiting;
        m_oThread = std::thread([this, job = m_oJob, completion = std::move(completion)] {
            Run(job);
            if (completion) completion();
        });
    }

    void Run(const Job& job) {
        m_iStatus = Exporting;
        try {
            Conversion(job, m_bCancel, m_fltProgress).Run();
            m_fltProgress = 1.0f;
            m_iStatus = Completed;
        } catch (const ConversionCancelled&) {  // the unfinished file went with the conversion
            m_iStatus = Cancelled;
        } catch (const std::exception& error) {
            SetError(QString::fromStdString(error.what()));
            m_iStatus = Failed;
        }
    }

    void SetError(const QString& text) {
        const std::lock_guard lock(m_oErrorMutex);
        m_strError = text;
    }
    QString Error() const {
        const std::lock_guard lock(m_oErrorMutex);
        return m_strError;
    }

    Job m_oJob;  // creating thread only; the conversion thread works on its own copy
    std::atomic<float> m_fltProgress{0.0f};
    std::atomic<int> m_iStatus{Unknown};
    std::atomic<bool> m_bCancel{false};

  private:
    mutable std::mutex m_oErrorMutex;
    QString m_strError;
    std::thread m_oThread;
};

std::unique_ptr<Exporter> Exporter::Create(const QString& sourcePath, const ExportPreset& preset,
                                           QString* reason) {
    EnsureFFmpegReady();
    const QString problem = Unsuitability(sourcePath, preset);
    if (!problem.isEmpty()) {
        if (reason != nullptr) *reason = problem;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->m_oJob.source = sourcePath;
    impl->m_oJob.preset = preset;
    return std::unique_ptr<Exporter>(new Exporter(std::move(impl)));
}

Exporter::Exporter(std::unique_ptr<Impl> impl) : m_pImpl(std::move(impl)) {}
Exporter::~Exporter() = default;

QStringList Exporter::supportedFileTypes() const {
    return m_pImpl->m_oJob.preset.supportedFileTypes;
}
void Exporter::setOutputPath(const QString& path) {
    m_pImpl->m_oJob.output = path;
}
void Exporter::setOutputFileType(const QString& fileType) {
    m_pImpl->m_oJob.fileType = fileType;
}
QList<ExportMetadataItem> Exporter::metadata() const {
    return m_pImpl->m_oJob.metadata;
}
void Exporter::setMetadata(const QList<ExportMetadataItem>& items) {
    m_pImpl->m_oJob.metadata = items;
}
void Exporter::exportAsynchronously(std::function<void()> completion) {
    m_pImpl->Start(std::move(completion));
}
void Exporter::cancelExport() {
    m_pImpl->m_bCancel = true;
}
float Exporter::progress() const {
    return m_pImpl->m_fltProgress;
}
Exporter::Status Exporter::status() const {
    return static_cast<Status>(m_pImpl->m_iStatus.load());
}
QString Exporter::error() const {
    return m_pImpl->Error();
}
