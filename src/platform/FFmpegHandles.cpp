#include "platform/FFmpegHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

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

}  // namespace av
