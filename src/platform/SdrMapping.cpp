#include "platform/SdrMapping.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/ColourTags.h"
#include "platform/FFmpegHandles.h"
#include "platform/VectorClones.h"

namespace sdr {
namespace {

// Light is counted in units of SDR white: 1.0 is 100 nits.
constexpr double kSdrWhiteNits = 100;
constexpr double kPqPeakNits = 10000;
// HLG's nominal display peak, for which its OOTF has a system gamma of 1.2.
constexpr double kHlgPeakNits = 1000;
constexpr double kHlgSystemGamma = 1.2;
constexpr double kDisplayGamma = 2.4;  // BT.1886

// Signal tables are indexed by the signal in 1/65535 steps.
constexpr int kSignalSteps = 65535;

// Light tables (0 to 1) are indexed by a float's exponent and leading mantissa bits: 2^Bits
// steps an octave from 2^-24 up. Finding the index takes no root or logarithm, and the steps
// stay fine in the dark, where the eye and the display curve need them.
template <int Bits>
struct OctaveIndex {
    static constexpr int kOctaves = 24;
    static constexpr int kSize = (kOctaves << Bits) + 1;
    static constexpr uint32_t kFloorBits = static_cast<uint32_t>(127 - kOctaves) << 23;

    static int Of(float x) {
        const float bounded = std::clamp(x, 0x1p-24f, 1.0f);
        uint32_t bits;
        std::memcpy(&bits, &bounded, sizeof bits);
        return static_cast<int>((bits - kFloorBits) >> (23 - Bits));
    }
    // The middle of the step at `index`.
    static double ValueAt(int index) {
        const uint32_t bits =
            kFloorBits + (static_cast<uint32_t>(index) << (23 - Bits)) + (1u << (22 - Bits));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return std::min(static_cast<double>(value), 1.0);
    }
    template <typename Value, typename Function>
    static std::vector<Value> Table(Function of) {
        std::vector<Value> table(kSize);
        for (int i = 0; i < kSize; ++i) table[i] = static_cast<Value>(of(ValueAt(i)));
        return table;
    }
};

// Code values need fine steps (a 1/2048 octave is under 0.05 of a code); the smooth curves
// of gain and OOTF do with coarse ones, which keeps building them per picture cheap.
using CodeIndex = OctaveIndex<11>;
using CurveIndex = OctaveIndex<8>;

constexpr double kPqM1 = 2610.0 / 16384, kPqM2 = 2523.0 / 4096 * 128;
constexpr double kPqC1 = 3424.0 / 4096, kPqC2 = 2413.0 / 4096 * 32, kPqC3 = 2392.0 / 4096 * 32;

double PqToNits(double signal) {
    const double p = std::pow(std::clamp(signal, 0.0, 1.0), 1 / kPqM2);
    return kPqPeakNits * std::pow(std::max(p - kPqC1, 0.0) / (kPqC2 - kPqC3 * p), 1 / kPqM1);
}

double NitsToPq(double nits) {
    const double y = std::pow(std::clamp(nits / kPqPeakNits, 0.0, 1.0), kPqM1);
    return std::pow((kPqC1 + kPqC2 * y) / (1 + kPqC3 * y), kPqM2);
}

// Scene light (0 to 1) of an HLG signal.
double HlgToScene(double signal) {
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    signal = std::clamp(signal, 0.0, 1.0);
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

// Linear light of every signal value: SDR units for PQ and SDR, scene light for HLG (its
// OOTF depends on the whole pixel).
std::vector<float> SignalToLightTable(Transfer transfer) {
    std::vector<float> table(kSignalSteps + 1);
    for (int i = 0; i <= kSignalSteps; ++i) {
        const double signal = static_cast<double>(i) / kSignalSteps;
        switch (transfer) {
            case Transfer::Pq:
                table[i] = static_cast<float>(PqToNits(signal) / kSdrWhiteNits);
                break;
            case Transfer::Hlg:
                table[i] = static_cast<float>(HlgToScene(signal));
                break;
            case Transfer::Sdr:
                table[i] = static_cast<float>(std::pow(signal, kDisplayGamma));
                break;
        }
    }
    return table;
}

const std::vector<float>& SignalToLight(Transfer transfer) {
    static const std::array<std::vector<float>, 3> tables{SignalToLightTable(Transfer::Sdr),
                                                          SignalToLightTable(Transfer::Pq),
                                                          SignalToLightTable(Transfer::Hlg)};
    return tables[static_cast<int>(transfer)];
}

// HLG's OOTF factor Ys^(gamma - 1), in SDR units of its 1000-nit display.
const std::vector<float>& HlgOotf() {
    static const std::vector<float> table = CurveIndex::Table<float>([](double luminance) {
        return std::pow(luminance, kHlgSystemGamma - 1) * kHlgPeakNits / kSdrWhiteNits;
    });
    return table;
}

// SDR BT.709 code values of light from black to SDR white.
const std::vector<uint8_t>& LightToCode() {
    static const std::vector<uint8_t> table = CodeIndex::Table<uint8_t>(
        [](double light) { return std::lround(255 * std::pow(light, 1 / kDisplayGamma)); });
    return table;
}

// BT.2390's EETF from [0, peak] to [0, SDR white], worked in PQ signal terms.
class Eetf {
  public:
    explicit Eetf(double peakNits)
        : m_dblPeakSignal(NitsToPq(peakNits)),
          m_dblTarget(NitsToPq(kSdrWhiteNits) / m_dblPeakSignal),
          m_dblKneeStart(1.5 * m_dblTarget - 0.5) {}

    double operator()(double nits) const {
        const double e = std::min(NitsToPq(nits) / m_dblPeakSignal, 1.0);
        if (e < m_dblKneeStart) return nits;
        const double t = (e - m_dblKneeStart) / (1 - m_dblKneeStart);
        const double t2 = t * t, t3 = t2 * t;
        const double mapped = (2 * t3 - 3 * t2 + 1) * m_dblKneeStart +
                              (t3 - 2 * t2 + t) * (1 - m_dblKneeStart) +
                              (-2 * t3 + 3 * t2) * m_dblTarget;
        return PqToNits(mapped * m_dblPeakSignal);
    }

  private:
    double m_dblPeakSignal, m_dblTarget, m_dblKneeStart;
};

// The gain that takes a pixel whose brightest channel holds `fraction` of the peak to its
// place on the EETF. Kept per thread for the last peak: a run's pictures usually share it.
const std::vector<float>& GainCurve(double peakNits) {
    thread_local double cachedPeak = 0;
    thread_local std::vector<float> cached;
    if (cachedPeak != peakNits || cached.empty()) {
        const Eetf eetf(peakNits);
        cached = CurveIndex::Table<float>([&](double fraction) {
            const double nits = fraction * peakNits;
            return nits > 0 ? eetf(nits) / nits : 1.0;
        });
        cachedPeak = peakNits;
    }
    return cached;
}

struct LumaWeights {
    float red, blue;
    float green() const { return 1 - red - blue; }
};

constexpr LumaWeights kBt709{0.2126f, 0.0722f};
constexpr LumaWeights kBt2020{0.2627f, 0.0593f};

LumaWeights MatrixOf(const AVFrame& frame, bool wideGamut) {
    switch (frame.colorspace) {
        case AVCOL_SPC_BT709:
            return kBt709;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return kBt2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return {0.299f, 0.114f};
        case AVCOL_SPC_SMPTE240M:
            return {0.212f, 0.087f};
        case AVCOL_SPC_FCC:
            return {0.30f, 0.11f};
        default:
            return wideGamut ? kBt2020 : kBt709;
    }
}

// Planar Y'CbCr or G'B'R' with samples of one or two little-endian bytes: read in place.
bool IsReadable(const AVPixFmtDescriptor& format) {
    if (!(format.flags & AV_PIX_FMT_FLAG_PLANAR) || (format.flags & AV_PIX_FMT_FLAG_BE) ||
        (format.flags & AV_PIX_FMT_FLAG_PAL) || format.nb_components < 3 ||
        format.log2_chroma_w > 2 || format.log2_chroma_h > 2)
        return false;
    const int bytes = format.comp[0].depth > 8 ? 2 : 1;
    for (int i = 0; i < 3; ++i) {
        const AVComponentDescriptor& c = format.comp[i];
        if (c.plane != i || c.step != bytes || c.shift != 0 || c.offset != 0 ||
            c.depth != format.comp[0].depth)
            return false;
    }
    return true;
}

// Doubles a row of chroma sited on the even pixels: odd pixels take the mean of their neighbours.
STILLPRESS_VECTOR_CLONES
void UpsampleHalves(const float* chroma, int chromaWidth, int width, float* out) {
    const int pairs = std::min(chromaWidth - 1, width / 2);
    for (int i = 0; i < pairs; ++i) {
        out[2 * i] = chroma[i];
        out[2 * i + 1] = 0.5f * (chroma[i] + chroma[i + 1]);
    }
    for (int x = 2 * pairs; x < width; ++x) out[x] = chroma[std::min(x / 2, chromaWidth - 1)];
}

// A picture's rows as non-linear R'G'B', 0 to 1 from nominal black to white.
class SignalRows {
  public:
    SignalRows(const AVFrame& frame, LumaWeights weights);
    void Read(int row, float* r, float* g, float* b);

  private:
    void ConvertToReadable(const AVFrame& frame, bool rgb);
    void LoadRow(int plane, int row, float* out) const;
    void ChromaRow(int plane, int row, float* out);

    const AVFrame* m_pFrame;
    av::FramePtr m_pConverted;  // when the picture's own layout is not readable
    bool m_bRgb = false;
    int m_iBytes = 1, m_iShiftX = 0, m_iShiftY = 0, m_iChromaWidth = 0, m_iChromaHeight = 0;
    float m_fltLumaOffset = 0, m_fltLumaScale = 1, m_fltChromaOffset = 0, m_fltChromaScale = 1;
    LumaWeights m_oWeights;
    std::vector<float> m_aNear, m_aFar, m_aChroma[2];
};

SignalRows::SignalRows(const AVFrame& frame, LumaWeights weights)
    : m_pFrame(&frame), m_oWeights(weights) {
    const AVPixFmtDescriptor* format =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (format == nullptr || frame.width <= 0 || frame.height <= 0)
        throw std::runtime_error("The picture has no format that can be read");
    m_bRgb = (format->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    if (!IsReadable(*format)) {
        ConvertToReadable(frame, m_bRgb);
        format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(m_pConverted->format));
    }
    const int depth = format->comp[0].depth;
    m_iBytes = depth > 8 ? 2 : 1;
    m_iShiftX = m_bRgb ? 0 : format->log2_chroma_w;
    m_iShiftY = m_bRgb ? 0 : format->log2_chroma_h;
    m_iChromaWidth = AV_CEIL_RSHIFT(frame.width, m_iShiftX);
    m_iChromaHeight = AV_CEIL_RSHIFT(frame.height, m_iShiftY);
    const float unit = static_cast<float>(1 << (depth - 8));
    const float top = static_cast<float>((1 << depth) - 1);
    if (m_bRgb || colour::IsFullRange(frame)) {
        m_fltLumaScale = 1 / top;
        m_fltChromaOffset = static_cast<float>(1 << (depth - 1));
        m_fltChromaScale = 1 / top;
    } else {
        m_fltLumaOffset = 16 * unit;
        m_fltLumaScale = 1 / (219 * unit);
        m_fltChromaOffset = 128 * unit;
        m_fltChromaScale = 1 / (224 * unit);
    }
    m_aNear.resize(m_iChromaWidth);
    m_aFar.resize(m_iChromaWidth);
    for (auto& chroma : m_aChroma) chroma.resize(frame.width);
}

void SignalRows::ConvertToReadable(const AVFrame& frame, bool rgb) {
    const AVPixelFormat target = rgb ? AV_PIX_FMT_GBRP16LE : AV_PIX_FMT_YUV444P16LE;
    av::SwsPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, target, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
        nullptr));
    if (!scaler) throw std::runtime_error("The picture's format cannot be converted");
    m_pConverted = av::MakeFrame();
    m_pConverted->format = target;
    m_pConverted->width = frame.width;
    m_pConverted->height = frame.height;
    av::Check(av_frame_get_buffer(m_pConverted.get(), 0), "av_frame_get_buffer");
    av::Check(sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height,
                        m_pConverted->data, m_pConverted->linesize),
              "sws_scale");
}

void SignalRows::LoadRow(int plane, int row, float* out) const {
    const AVFrame& frame = m_pConverted ? *m_pConverted : *m_pFrame;
    const int width = plane == 0 ? frame.width : m_iChromaWidth;
    const uint8_t* line = frame.data[plane] + static_cast<ptrdiff_t>(row) * frame.linesize[plane];
    if (m_iBytes == 1) {
        for (int i = 0; i < width; ++i) out[i] = line[i];
    } else {
        const auto* samples = reinterpret_cast<const uint16_t*>(line);
        for (int i = 0; i < width; ++i) out[i] = samples[i];
    }
}

// Chroma at full resolution for one picture row: sited left of its luma pairs across (as
// MPEG video codes it) and between its rows down, interpolated linearly.
void SignalRows::ChromaRow(int plane, int row, float* out) {
    const double position = (row + 0.5) / (1 << m_iShiftY) - 0.5;
    const int first = static_cast<int>(std::floor(position));
    const auto below = static_cast<float>(position - first);
    LoadRow(plane, std::clamp(first, 0, m_iChromaHeight - 1), m_aNear.data());
    LoadRow(plane, std::clamp(first + 1, 0, m_iChromaHeight - 1), m_aFar.data());
    for (int i = 0; i < m_iChromaWidth; ++i)
        m_aNear[i] =
            ((1 - below) * m_aNear[i] + below * m_aFar[i] - m_fltChromaOffset) * m_fltChromaScale;
    const int width = m_pFrame->width, mask = (1 << m_iShiftX) - 1;
    if (m_iShiftX == 1) return UpsampleHalves(m_aNear.data(), m_iChromaWidth, width, out);
    const float step = 1.0f / static_cast<float>(1 << m_iShiftX);
    for (int x = 0; x < width; ++x) {
        const int left = x >> m_iShiftX;
        const int right = std::min(left + 1, m_iChromaWidth - 1);
        const float across = static_cast<float>(x & mask) * step;
        out[x] = (1 - across) * m_aNear[left] + across * m_aNear[right];
    }
}

void SignalRows::Read(int row, float* r, float* g, float* b) {
    const int width = m_pFrame->width;
    if (m_bRgb) {  // G, B and R planes
        LoadRow(0, row, g);
        LoadRow(1, row, b);
        LoadRow(2, row, r);
        for (int i = 0; i < width; ++i) {
            r[i] *= m_fltLumaScale;
            g[i] *= m_fltLumaScale;
            b[i] *= m_fltLumaScale;
        }
        return;
    }
    float* cb = m_aChroma[0].data();
    float* cr = m_aChroma[1].data();
    ChromaRow(1, row, cb);
    ChromaRow(2, row, cr);
    LoadRow(0, row, g);
    const float crToR = 2 * (1 - m_oWeights.red), cbToB = 2 * (1 - m_oWeights.blue);
    const float crToG = -m_oWeights.red * crToR / m_oWeights.green();
    const float cbToG = -m_oWeights.blue * cbToB / m_oWeights.green();
    for (int i = 0; i < width; ++i) {
        const float y = (g[i] - m_fltLumaOffset) * m_fltLumaScale;
        r[i] = y + crToR * cr[i];
        g[i] = y + crToG * cr[i] + cbToG * cb[i];
        b[i] = y + cbToB * cb[i];
    }
}

// Linear BT.2020 to linear BT.709.
constexpr float kBt2020To709[3][3] = {{1.660491f, -0.587641f, -0.072850f},
                                      {-0.124550f, 1.132900f, -0.008349f},
                                      {-0.018151f, -0.100579f, 1.118730f}};

// The row loops of the mapping, each over one row's three channel arrays.
STILLPRESS_VECTOR_CLONES
void SignalsToLight(const float* table, float* r, float* g, float* b, int width) {
    auto index = [](float signal) {
        return static_cast<int>(std::clamp(signal, 0.0f, 1.0f) * kSignalSteps + 0.5f);
    };
    for (int i = 0; i < width; ++i) {
        r[i] = table[index(r[i])];
        g[i] = table[index(g[i])];
        b[i] = table[index(b[i])];
    }
}

// Scene light to display light, in SDR units.
STILLPRESS_VECTOR_CLONES
void ApplyHlgOotf(const float* ootf, LumaWeights weights, float* r, float* g, float* b, int width) {
    const float green = weights.green();
    for (int i = 0; i < width; ++i) {
        const float factor =
            ootf[CurveIndex::Of(weights.red * r[i] + green * g[i] + weights.blue * b[i])];
        r[i] *= factor;
        g[i] *= factor;
        b[i] *= factor;
    }
}

STILLPRESS_VECTOR_CLONES
void ApplyGain(const float* gain, float peak, float* r, float* g, float* b, int width) {
    const float toFraction = 1 / peak;
    for (int i = 0; i < width; ++i) {
        const float factor = gain[CurveIndex::Of(std::max({r[i], g[i], b[i]}) * toFraction)];
        r[i] *= factor;
        g[i] *= factor;
        b[i] *= factor;
    }
}

STILLPRESS_VECTOR_CLONES
void ToBt709Primaries(float* r, float* g, float* b, int width) {
    const auto& m = kBt2020To709;
    for (int i = 0; i < width; ++i) {
        const float red = r[i], green = g[i], blue = b[i];
        r[i] = m[0][0] * red + m[0][1] * green + m[0][2] * blue;
        g[i] = m[1][0] * red + m[1][1] * green + m[1][2] * blue;
        b[i] = m[2][0] * red + m[2][1] * green + m[2][2] * blue;
    }
}

// Brings every pixel into [0, 1] on all channels by moving it towards the grey of its own
// BT.709 luminance, just as far as its lowest channel needs to reach 0 and its highest 1.
// Branch-free, so that it vectorises: a pixel already in range keeps a factor of 1.
STILLPRESS_VECTOR_CLONES
void DesaturateIntoRange(float* r, float* g, float* b, int width) {
    constexpr float kTiny = 1e-20f;
    for (int i = 0; i < width; ++i) {
        const float y =
            std::clamp(kBt709.red * r[i] + kBt709.green() * g[i] + kBt709.blue * b[i], 0.0f, 1.0f);
        const float low = std::min({r[i], g[i], b[i]});
        const float high = std::max({r[i], g[i], b[i]});
        const float keep =
            std::min(y / std::max({y - low, y, kTiny}), (1 - y) / std::max(high - y, kTiny));
        r[i] = y + keep * (r[i] - y);
        g[i] = y + keep * (g[i] - y);
        b[i] = y + keep * (b[i] - y);
    }
}

// The largest of the values, compared as their bits: the order of non-negative floats, with
// negatives below them all.
STILLPRESS_VECTOR_CLONES
int32_t LargestBits(const float* values, int count, int32_t largest) {
    for (int i = 0; i < count; ++i) {
        int32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        largest = std::max(largest, bits);
    }
    return largest;
}

STILLPRESS_VECTOR_CLONES
void LightToCodes(const uint8_t* table, const float* light, uint8_t* codes, int width) {
    for (int i = 0; i < width; ++i) codes[i] = table[CodeIndex::Of(light[i])];
}

// One picture's mapping, row by row.
class Mapping {
  public:
    Mapping(const AVFrame& frame, const PictureColours& colours)
        : m_oColours(colours),
          m_oWeights(MatrixOf(frame, colours.wideGamut)),
          m_oRows(frame, m_oWeights),
          m_iWidth(frame.width),
          m_aLight(3 * static_cast<size_t>(frame.width)),
          m_aCodes(3 * static_cast<size_t>(frame.width)) {}

    // The brightest light of the picture in nits: its largest BT.709 channel, the one the
    // curve works on.
    double MeasurePeak(int height) {
        int32_t largest = 0;
        for (int row = 0; row < height; ++row) {
            LightOf(row);
            largest = LargestBits(m_aLight.data(), 3 * m_iWidth, largest);
        }
        float light;
        std::memcpy(&light, &largest, sizeof light);
        return light * kSdrWhiteNits;
    }

    void WriteRow(int row, double peakNits, yuv::PackedLayout layout, uint8_t* destination) {
        LightOf(row);
        float* r = m_aLight.data();
        float* g = r + m_iWidth;
        float* b = g + m_iWidth;
        if (peakNits > kSdrWhiteNits)
            ApplyGain(GainCurve(peakNits).data(), static_cast<float>(peakNits / kSdrWhiteNits), r,
                      g, b, m_iWidth);
        DesaturateIntoRange(r, g, b, m_iWidth);
        uint8_t* codes = m_aCodes.data();
        for (int channel = 0; channel < 3; ++channel)
            LightToCodes(LightToCode().data(), r + channel * m_iWidth, codes + channel * m_iWidth,
                         m_iWidth);
        yuv::WritePackedRow(codes, codes + m_iWidth, codes + 2 * m_iWidth, m_iWidth, layout,
                            destination);
    }

  private:
    void LightOf(int row) {
        float* r = m_aLight.data();
        float* g = r + m_iWidth;
        float* b = g + m_iWidth;
        m_oRows.Read(row, r, g, b);
        SignalsToLight(SignalToLight(m_oColours.transfer).data(), r, g, b, m_iWidth);
        const LumaWeights scene = m_oColours.wideGamut ? kBt2020 : kBt709;
        if (m_oColours.transfer == Transfer::Hlg)
            ApplyHlgOotf(HlgOotf().data(), scene, r, g, b, m_iWidth);
        if (m_oColours.wideGamut) ToBt709Primaries(r, g, b, m_iWidth);
    }

    PictureColours m_oColours;
    LumaWeights m_oWeights;
    SignalRows m_oRows;
    int m_iWidth;
    std::vector<float> m_aLight;    // one row each of R, G and B
    std::vector<uint8_t> m_aCodes;  // the same as 8-bit codes
};

// The brightest light the metadata promises: the content's own maximum, or else the peak of
// the display it was mastered on; 0 when neither says.
double PeakOf(const uint8_t* levels, size_t levelsSize, const uint8_t* display,
              size_t displaySize) {
    if (levels != nullptr && levelsSize >= sizeof(AVContentLightMetadata)) {
        const auto* content = reinterpret_cast<const AVContentLightMetadata*>(levels);
        if (content->MaxCLL > 0) return content->MaxCLL;
    }
    if (display != nullptr && displaySize >= sizeof(AVMasteringDisplayMetadata)) {
        const auto* mastering = reinterpret_cast<const AVMasteringDisplayMetadata*>(display);
        if (mastering->has_luminance && mastering->max_luminance.num > 0 &&
            mastering->max_luminance.den > 0)
            return av_q2d(mastering->max_luminance);
    }
    return 0;
}

double MetadataPeakNits(const AVFrame& frame) {
    const AVFrameSideData* levels =
        av_frame_get_side_data(&frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
    const AVFrameSideData* display =
        av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    return PeakOf(levels ? levels->data : nullptr, levels ? levels->size : 0,
                  display ? display->data : nullptr, display ? display->size : 0);
}

}  // namespace

Transfer TransferOf(int characteristic) {
    switch (characteristic) {
        case AVCOL_TRC_SMPTE2084:
            return Transfer::Pq;
        case AVCOL_TRC_ARIB_STD_B67:
            return Transfer::Hlg;
        default:
            return Transfer::Sdr;
    }
}

double MetadataPeakNits(const AVStream& stream) {
    size_t levelsSize = 0, displaySize = 0;
    const uint8_t* levels =
        av::StreamSideData(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &levelsSize);
    const uint8_t* display =
        av::StreamSideData(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &displaySize);
    return PeakOf(levels, levelsSize, display, displaySize);
}

PictureColours ColoursOf(const AVFrame& frame) {
    PictureColours colours;
    colours.transfer = TransferOf(frame.color_trc);
    colours.wideGamut = frame.color_primaries == AVCOL_PRI_BT2020;
    colours.metadataPeakNits = MetadataPeakNits(frame);
    return colours;
}

bool NeedsMapping(const AVFrame& frame) {
    const PictureColours colours = ColoursOf(frame);
    return colours.transfer != Transfer::Sdr || colours.wideGamut;
}

double PeakNitsOf(const AVFrame& frame) {
    const PictureColours colours = ColoursOf(frame);
    if (colours.transfer == Transfer::Sdr) return kSdrWhiteNits;
    if (colours.metadataPeakNits > 0) return colours.metadataPeakNits;
    return Mapping(frame, colours).MeasurePeak(frame.height);
}

void MapToSdr(const AVFrame& frame, uint8_t* firstRow, ptrdiff_t stride, yuv::PackedLayout layout,
              double peakNits) {
    const PictureColours colours = ColoursOf(frame);
    Mapping mapping(frame, colours);
    double peak = kSdrWhiteNits;
    if (colours.transfer != Transfer::Sdr) {
        peak = colours.metadataPeakNits > 0 ? colours.metadataPeakNits : peakNits;
        if (!(peak > 0)) peak = mapping.MeasurePeak(frame.height);
    }
    for (int row = 0; row < frame.height; ++row)
        mapping.WriteRow(row, peak, layout, firstRow + row * stride);
}

}  // namespace sdr
