#include "platform/VideoPicture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ColourTags.h"
#include "platform/DiagnosticLog.h"
#include "platform/FFmpegHandles.h"
#include "platform/SdrMapping.h"
#include "platform/YuvToRgb.h"

namespace {

// Exact conversion: no scaling happens, so only rounding and chroma interpolation matter.
constexpr int kConversionFlags =
    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

// Format_RGB32 requires an alpha byte of 0xff; a video's own alpha is dropped.
void MakeOpaque(QImage& image) {
    for (int row = 0; row < image.height(); ++row) {
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int column = 0; column < image.width(); ++column) pixels[column] |= 0xff000000u;
    }
}

bool HasAlpha(const AVFrame& frame) {
    const AVPixFmtDescriptor* description =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return description != nullptr && (description->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

std::optional<yuv::PackedLayout> PackedLayoutOf(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_RGB24:
            return yuv::PackedLayout::Rgb24;
        case AV_PIX_FMT_BGR24:
            return yuv::PackedLayout::Bgr24;
        case AV_PIX_FMT_BGRA:
            return yuv::PackedLayout::Bgra32;
        default:
            return std::nullopt;
    }
}

yuv::ColourMatrix ColourMatrixOf(const AVFrame& frame) {
    yuv::ColourMatrix matrix;
    std::memcpy(matrix.table, sws_getCoefficients(colour::SwsMatrixOf(frame)),
                sizeof(matrix.table));
    matrix.fullRange = colour::IsFullRange(frame);
    return matrix;
}

// Whether the fast conversion gave libswscale's bytes for a configuration, decided on its
// first picture. Any thread.
class FastConversionRecord {
  public:
    using Key = std::tuple<int, int, int, int, int, int, bool, int>;
    static Key KeyOf(const yuv::Yuv420ToRgb& converter) {
        const yuv::ColourMatrix& matrix = converter.matrix();
        const int* t = matrix.table;
        return {converter.width(),
                converter.height(),
                t[0],
                t[1],
                t[2],
                t[3],
                matrix.fullRange,
                static_cast<int>(converter.layout())};
    }
    std::optional<bool> Find(const Key& key) {
        const std::lock_guard lock(m_Mutex);
        const auto found = m_Agreed.find(key);
        return found == m_Agreed.end() ? std::nullopt : std::optional<bool>(found->second);
    }
    void Remember(const Key& key, bool agreed) {
        const std::lock_guard lock(m_Mutex);
        m_Agreed[key] = agreed;
    }

  private:
    std::mutex m_Mutex;
    std::map<Key, bool> m_Agreed;
};

FastConversionRecord& FastConversions() {
    static FastConversionRecord record;
    return record;
}

bool SameRows(const uint8_t* first, int firstStride, const uint8_t* second, int secondStride,
              int rowBytes, int rows) {
    for (int row = 0; row < rows; ++row)
        if (std::memcmp(first + static_cast<ptrdiff_t>(row) * firstStride,
                        second + static_cast<ptrdiff_t>(row) * secondStride, rowBytes) != 0)
            return false;
    return true;
}

// Turns decoded pictures into packed RGB with their own colour matrix and range. Every RGB
// layout goes through the same arithmetic, so all of them carry the same values: 8-bit
// 4:2:0 pictures through our own vectorised copy of libswscale's exact path (checked
// against libswscale on the first picture of each size and matrix), the rest through
// libswscale itself.
class RgbConverter {
  public:
    explicit RgbConverter(AVPixelFormat target) : m_eTarget(target) {}
    void Convert(const AVFrame& frame, uint8_t* firstRow, int stride);

  private:
    yuv::Yuv420ToRgb* FastConverterFor(const AVFrame& frame);
    bool AgreesWithScaler(yuv::Yuv420ToRgb& fast, const AVFrame& frame, const uint8_t* firstRow,
                          int stride);
    void ConvertFast(yuv::Yuv420ToRgb& fast, const AVFrame& frame, uint8_t* firstRow, int stride);
    void ConvertWithScaler(const AVFrame& frame, uint8_t* firstRow, int stride);
    void UseColoursOf(const AVFrame& frame);
    AVPixelFormat m_eTarget;
    av::SwsPtr m_pContext;  // kept across frames; rebuilt only when the picture format changes
    std::optional<yuv::Yuv420ToRgb> m_oFast;
};

void RgbConverter::Convert(const AVFrame& frame, uint8_t* firstRow, int stride) {
    yuv::Yuv420ToRgb* fast = FastConverterFor(frame);
    if (fast == nullptr) return ConvertWithScaler(frame, firstRow, stride);
    const auto key = FastConversionRecord::KeyOf(*fast);
    const std::optional<bool> agreed = FastConversions().Find(key);
    if (agreed.value_or(false)) return ConvertFast(*fast, frame, firstRow, stride);
    ConvertWithScaler(frame, firstRow, stride);
    if (!agreed.has_value())
        FastConversions().Remember(key, AgreesWithScaler(*fast, frame, firstRow, stride));
}

yuv::Yuv420ToRgb* RgbConverter::FastConverterFor(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const std::optional<yuv::PackedLayout> layout = PackedLayoutOf(m_eTarget);
    if ((format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P) || !layout ||
        frame.data[0] == nullptr || frame.data[1] == nullptr || frame.data[2] == nullptr)
        return nullptr;
    const yuv::ColourMatrix matrix = ColourMatrixOf(frame);
    if (m_oFast && m_oFast->width() == frame.width && m_oFast->height() == frame.height &&
        m_oFast->Matches(matrix))
        return &*m_oFast;
    m_oFast.reset();
    if (!yuv::Yuv420ToRgb::Supports(frame.width, frame.height)) return nullptr;
    m_oFast.emplace(frame.width, frame.height, matrix, *layout);
    return &*m_oFast;
}

void RgbConverter::ConvertFast(yuv::Yuv420ToRgb& fast, const AVFrame& frame, uint8_t* firstRow,
                               int stride) {
    const uint8_t* const planes[3] = {frame.data[0], frame.data[1], frame.data[2]};
    const int strides[3] = {frame.linesize[0], frame.linesize[1], frame.linesize[2]};
    fast.Convert(planes, strides, firstRow, stride);
}

bool RgbConverter::AgreesWithScaler(yuv::Yuv420ToRgb& fast, const AVFrame& frame,
                                    const uint8_t* firstRow, int stride) {
    const int pixelBytes = fast.layout() == yuv::PackedLayout::Bgra32 ? 4 : 3;
    const int rowBytes = frame.width * pixelBytes;
    std::vector<uint8_t> check(static_cast<size_t>(rowBytes) * frame.height);
    ConvertFast(fast, frame, check.data(), rowBytes);
    const bool same = SameRows(firstRow, stride, check.data(), rowBytes, rowBytes, frame.height);
    if (!same)
        LogLine(QString("This libswscale converts %1x%2 pictures differently from the fast "
                        "conversion; it is used for them instead")
                    .arg(frame.width)
                    .arg(frame.height));
    return same;
}

void RgbConverter::ConvertWithScaler(const AVFrame& frame, uint8_t* firstRow, int stride) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    m_pContext.reset(sws_getCachedContext(m_pContext.release(), frame.width, frame.height, format,
                                          frame.width, frame.height, m_eTarget, kConversionFlags,
                                          nullptr, nullptr, nullptr));
    if (!m_pContext)
        throw std::runtime_error(std::string("Pictures in the format ") +
                                 (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?") +
                                 " cannot be converted to RGB");
    UseColoursOf(frame);
    uint8_t* const planes[4] = {firstRow, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (sws_scale(m_pContext.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) <=
        0)
        throw std::runtime_error("The picture could not be converted to RGB");
}

void RgbConverter::UseColoursOf(const AVFrame& frame) {
    const AVPixFmtDescriptor* description =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (description == nullptr || (description->flags & AV_PIX_FMT_FLAG_RGB) != 0) return;
    const int brightness = 0, contrast = 1 << 16, saturation = 1 << 16;
    const int status = sws_setColorspaceDetails(
        m_pContext.get(), sws_getCoefficients(colour::SwsMatrixOf(frame)),
        colour::IsFullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, brightness,
        contrast, saturation);
    if (status < 0) throw std::runtime_error("The picture's colour space is not supported");
}

// One converter per thread and layout: pictures may be converted on any thread.
RgbConverter& ConverterFor(AVPixelFormat target) {
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native byte order, the layout of QImage::Format_RGB32.
    thread_local RgbConverter rgb32(AV_PIX_FMT_RGB32);
    thread_local RgbConverter rgb24(AV_PIX_FMT_RGB24);
    thread_local RgbConverter bgr24(AV_PIX_FMT_BGR24);
    switch (target) {
        case AV_PIX_FMT_RGB24:
            return rgb24;
        case AV_PIX_FMT_BGR24:
            return bgr24;
        default:
            return rgb32;
    }
}

}  // namespace

VideoPicture::VideoPicture(const AVFrame& frame, const PicturePresentation& presentation)
    : m_pFrame(av_frame_clone(&frame)),
      m_oPresentation(presentation),
      m_oSize(presentation.transform.DisplaySize(QSize(frame.width, frame.height))) {
    static std::atomic<long long> pictures{0};
    if (m_pFrame == nullptr) throw av::Error("av_frame_clone: out of memory", AVERROR(ENOMEM));
    m_llSerial = ++pictures;
}

VideoPicture::~VideoPicture() {
    av_frame_free(&m_pFrame);
}

QImage VideoPicture::CodedImage() const {
    QImage image(m_pFrame->width, m_pFrame->height, QImage::Format_RGB32);
    if (image.isNull()) throw std::runtime_error("Not enough memory for the picture");
    if (sdr::NeedsMapping(*m_pFrame)) {
        sdr::MapToSdr(*m_pFrame, image.bits(), image.bytesPerLine(), yuv::PackedLayout::Bgra32,
                      m_oPresentation.streamPeakNits);
        return image;
    }
    ConverterFor(AV_PIX_FMT_RGB32)
        .Convert(*m_pFrame, image.bits(), static_cast<int>(image.bytesPerLine()));
    if (HasAlpha(*m_pFrame)) MakeOpaque(image);
    return image;
}

QImage VideoPicture::ToImage() const {
    QImage image = m_oPresentation.transform.Apply(CodedImage());
    if (image.isNull()) throw std::runtime_error("Not enough memory for the picture");
    return image;
}

void VideoPicture::ToCodedRgb(unsigned char* firstRow, long long stride,
                              PackedRgbOrder order) const {
    if (sdr::NeedsMapping(*m_pFrame)) {
        const auto layout =
            order == PackedRgbOrder::Rgb ? yuv::PackedLayout::Rgb24 : yuv::PackedLayout::Bgr24;
        return sdr::MapToSdr(*m_pFrame, firstRow, stride, layout, m_oPresentation.streamPeakNits);
    }
    const AVPixelFormat target = order == PackedRgbOrder::Rgb ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_BGR24;
    ConverterFor(target).Convert(*m_pFrame, firstRow, static_cast<int>(stride));
}

// A transformed picture goes through its image: turning and stretching need all of it.
void VideoPicture::ToPackedRgb(unsigned char* firstRow, long long stride,
                               PackedRgbOrder order) const {
    if (m_oPresentation.transform.isIdentity()) return ToCodedRgb(firstRow, stride, order);
    const QImage image = ToImage().convertToFormat(
        order == PackedRgbOrder::Rgb ? QImage::Format_RGB888 : QImage::Format_BGR888);
    for (int row = 0; row < image.height(); ++row)
        std::memcpy(firstRow + row * stride, image.constScanLine(row),
                    static_cast<size_t>(image.width()) * 3);
}
