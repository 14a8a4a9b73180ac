#pragma once
// Owning handles for FFmpeg objects. Each alias frees its object with the matching FFmpeg
// call; FFmpeg's headers stay in the .cpp files that use the objects.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct AVFilterGraph;
struct AVDictionary;

namespace av {

struct FormatInputDeleter {
    void operator()(AVFormatContext* p) const;
};  // avformat_close_input
struct FormatOutputDeleter {
    void operator()(AVFormatContext* p) const;
};  // closes pb, frees
struct CodecContextDeleter {
    void operator()(AVCodecContext* p) const;
};
struct FrameDeleter {
    void operator()(AVFrame* p) const;
};
struct PacketDeleter {
    void operator()(AVPacket* p) const;
};
struct SwsDeleter {
    void operator()(SwsContext* p) const;
};
struct FilterGraphDeleter {
    void operator()(AVFilterGraph* p) const;
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, FormatInputDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// An owned option dictionary (av_dict_free). Calls that take options as `AVDictionary**`
// get address(): they may take entries out of it or replace it, and what is left is freed.
class Dictionary {
  public:
    using Entry = std::pair<const char*, const char*>;
    Dictionary() = default;
    // Sets every entry in turn; throws Error when FFmpeg cannot.
    Dictionary(std::initializer_list<Entry> entries);
    ~Dictionary();
    Dictionary(Dictionary&& other) noexcept;
    Dictionary& operator=(Dictionary&& other) noexcept;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // Sets `key` to `value`; throws Error when FFmpeg cannot.
    void Set(const char* key, const char* value);
    AVDictionary** address() { return &m_pDictionary; }

  private:
    AVDictionary* m_pDictionary = nullptr;
};

FramePtr MakeFrame();    // throws Error when out of memory
PacketPtr MakePacket();  // throws Error when out of memory

// A failed FFmpeg call: what() names the call and carries av_strerror's text.
class Error : public std::runtime_error {
  public:
    Error(const std::string& what, int code);
    int code() const { return m_iCode; }

  private:
    int m_iCode;
};

// The text av_strerror gives for `code`.
std::string ErrorText(int code);

// Returns `code` when it is not negative; otherwise throws Error("<call>: <text>").
int Check(int code, const char* call);

// Fields FFmpeg has renamed, read under the name this FFmpeg gives them.
// How long the frame is shown, in its stream's ticks; 0 when unknown.
int64_t FrameDuration(const AVFrame& frame);
// Whether the frame decodes without any other (a keyframe).
bool IsKeyFrame(const AVFrame& frame);

// The stream's side data of `type` (an AVPacketSideDataType), with its size in `size` when
// given; nullptr when it has none. Read where this FFmpeg keeps it (the stream itself before
// 6.1, its parameters since).
const uint8_t* StreamSideData(const AVStream& stream, int type, size_t* size = nullptr);
// Gives `stream` a copy of `size` bytes at `data` as its side data of `type`.
void AddStreamSideData(AVStream& stream, int type, const void* data, size_t size);
// Gives `to` a copy of `from`'s side data of `type`, when `from` has any.
void CopyStreamSideData(const AVStream& from, AVStream& to, int type);

}  // namespace av
