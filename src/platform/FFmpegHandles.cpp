#include "platform/FFmpegHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace av {

void FormatInputDeleter::operator()(AVFormatContext* p) const {
    avformat_close_input(&p);
}

void FormatOutputDeleter::operator()(AVFormatContext* p) const {
    if (p == nullptr) return;
    // A custom `pb` belongs to whoever made it (see MuxerOutput).
    const bool ownFile = p->oformat != nullptr && !(p->oformat->flags & AVFMT_NOFILE) &&
                         !(p->flags & AVFMT_FLAG_CUSTOM_IO);
    if (ownFile) avio_closep(&p->pb);
    avformat_free_context(p);
}

void CodecContextDeleter::operator()(AVCodecContext* p) const {
    avcodec_free_context(&p);
}
void FrameDeleter::operator()(AVFrame* p) const {
    av_frame_free(&p);
}
void PacketDeleter::operator()(AVPacket* p) const {
    av_packet_free(&p);
}
void SwsDeleter::operator()(SwsContext* p) const {
    sws_freeContext(p);
}
void FilterGraphDeleter::operator()(AVFilterGraph* p) const {
    avfilter_graph_free(&p);
}

// Delegating makes the object whole first, so a failed Set() frees the entries set before.
Dictionary::Dictionary(std::initializer_list<Entry> entries) : Dictionary() {
    for (const auto& [key, value] : entries) Set(key, value);
}

Dictionary::~Dictionary() {
    av_dict_free(&m_pDictionary);
}

Dictionary::Dictionary(Dictionary&& other) noexcept
    : m_pDictionary(std::exchange(other.m_pDictionary, nullptr)) {}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
    if (this != &other) {
        av_dict_free(&m_pDictionary);
        m_pDictionary = std::exchange(other.m_pDictionary, nullptr);
    }
    return *this;
}

void Dictionary::Set(const char* key, const char* value) {
    Check(av_dict_set(&m_pDictionary, key, value, 0), "av_dict_set");
}

FramePtr MakeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw Error("av_frame_alloc: out of memory", AVERROR(ENOMEM));
    return frame;
}

PacketPtr MakePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw Error("av_packet_alloc: out of memory", AVERROR(ENOMEM));
    return packet;
}

Error::Error(const std::string& what, int code) : std::runtime_error(what), m_iCode(code) {}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
    return text;
}

int Check(int code, const char* call) {
    if (code < 0) throw Error(std::string(call) + ": " + ErrorText(code), code);
    return code;
}

// AVFrame.pkt_duration gave way to AVFrame.duration in FFmpeg 6.0, AVFrame.key_frame to a
// flag in 6.1.
int64_t FrameDuration(const AVFrame& frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    return frame.duration;
#else
    return frame.pkt_duration;
#endif
}

bool IsKeyFrame(const AVFrame& frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return (frame.flags & AV_FRAME_FLAG_KEY) != 0;
#else
    return frame.key_frame != 0;
#endif
}

// AVStream.side_data gave way to AVCodecParameters.coded_side_data in FFmpeg 6.1.
#define STILLPRESS_CODED_SIDE_DATA (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100))

const uint8_t* StreamSideData(const AVStream& stream, int type, size_t* size) {
    const auto kind = static_cast<AVPacketSideDataType>(type);
#if STILLPRESS_CODED_SIDE_DATA
    const AVPacketSideData* data = av_packet_side_data_get(
        stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, kind);
    if (data == nullptr) return nullptr;
    if (size != nullptr) *size = data->size;
    return data->data;
#else
    size_t bytes = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, kind, &bytes);
    if (size != nullptr) *size = bytes;
    return data;
#endif
}

void AddStreamSideData(AVStream& stream, int type, const void* data, size_t size) {
    const auto kind = static_cast<AVPacketSideDataType>(type);
#if STILLPRESS_CODED_SIDE_DATA
    AVPacketSideData* copy = av_packet_side_data_new(
        &stream.codecpar->coded_side_data, &stream.codecpar->nb_coded_side_data, kind, size, 0);
    if (copy == nullptr) throw Error("av_packet_side_data_new: out of memory", AVERROR(ENOMEM));
    std::memcpy(copy->data, data, size);
#else
    uint8_t* copy = av_stream_new_side_data(&stream, kind, size);
    if (copy == nullptr) throw Error("av_stream_new_side_data: out of memory", AVERROR(ENOMEM));
    std::memcpy(copy, data, size);
#endif
}

void CopyStreamSideData(const AVStream& from, AVStream& to, int type) {
    size_t size = 0;
    const uint8_t* data = StreamSideData(from, type, &size);
    if (data != nullptr && size > 0) AddStreamSideData(to, type, data, size);
}

}  // namespace av
