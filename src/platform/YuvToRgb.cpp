#include "platform/YuvToRgb.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/VectorClones.h"

// The arithmetic is integer, so every build of the row loops gives the same bytes.

namespace yuv {
namespace {

// Fixed-point precision of the filters while they are built.
constexpr int64_t kFilterOne = int64_t{1} << 54;
// Taps whose summed weight stays below this share of the whole are dropped.
constexpr double kReduceCutoff = 0.002;
// The bicubic's free parameter as the scaler defaults it (B = 0, C = 0.6), in 1/2^24.
constexpr int64_t kBicubicB = 0;
const int64_t kBicubicC = static_cast<int64_t>(0.6 * (1 << 24));

// Chroma siting of 4:2:0 sources and full-resolution destinations, in 1/256 of a sample
// from the left (top) edge: both are centred.
constexpr int kChromaSourcePosition = ((128 << 1) - 128 + 128) >> 1;
constexpr int kChromaDestinationPosition = 128;

struct RawFilter {
    int size = 0;
    std::vector<int> positions;
    std::vector<int64_t> taps;  // size per output sample
};

int64_t RoundedDivision(int64_t a, int64_t b) {
    return (a >= 0 ? a + (b >> 1) : a - (b >> 1)) / b;
}

int64_t BicubicWeight(int64_t d) {
    if (d >= int64_t{1} << 31) return 0;
    const int64_t dd = (d * d) >> 30;
    const int64_t ddd = (dd * d) >> 30;
    const int64_t B = kBicubicB, C = kBicubicC;
    if (d < int64_t{1} << 30)
        return (12 * (1 << 24) - 9 * B - 6 * C) * ddd + (-18 * (1 << 24) + 12 * B + 6 * C) * dd +
               (6 * (1 << 24) - 2 * B) * (int64_t{1} << 30);
    return (-B - 6 * C) * ddd + (6 * B + 30 * C) * dd + (-12 * B - 48 * C) * d +
           (8 * B + 24 * C) * (int64_t{1} << 30);
}

RawFilter BicubicTaps(int64_t increment, int sourceSize, int destinationSize) {
    RawFilter filter;
    const bool unscaled =
        std::llabs(increment - 0x10000) < 10 && kChromaSourcePosition == kChromaDestinationPosition;
    if (unscaled) {
        filter.size = 1;
        filter.taps.assign(destinationSize, kFilterOne);
        for (int i = 0; i < destinationSize; ++i) filter.positions.push_back(i);
        return filter;
    }
    int size = increment <= (1 << 16)
                   ? 1 + 4
                   : 1 + (4 * sourceSize + destinationSize - 1) / destinationSize;
    filter.size = std::max(std::min(size, sourceSize - 2), 1);
    filter.taps.resize(static_cast<size_t>(destinationSize) * filter.size);
    int64_t centre = ((kChromaDestinationPosition * increment) >> 7) -
                     ((kChromaSourcePosition * int64_t{0x10000}) >> 7);
    for (int i = 0; i < destinationSize; ++i, centre += 2 * increment) {
        int position =
            static_cast<int>((centre - (filter.size - 2) * (int64_t{1} << 16)) / (1 << 17));
        filter.positions.push_back(position);
        for (int j = 0; j < filter.size; ++j, ++position) {
            int64_t d = std::llabs(int64_t{position} * (1 << 17) - centre) << 13;
            if (increment > 1 << 16) d = d * destinationSize / sourceSize;
            filter.taps[static_cast<size_t>(i) * filter.size + j] = BicubicWeight(d);
        }
    }
    return filter;
}

// Drops negligible taps from the left (moving the position on) and returns the most taps
// any output still needs on the right.
int TrimNegligibleTaps(RawFilter& filter) {
    const double cutoff = kReduceCutoff * static_cast<double>(kFilterOne);
    const int size = filter.size, count = static_cast<int>(filter.positions.size());
    int needed = 0;
    for (int i = count - 1; i >= 0; --i) {
        int64_t* taps = &filter.taps[static_cast<size_t>(i) * size];
        int64_t dropped = 0;
        for (int j = 0; j < size; ++j) {
            dropped += std::llabs(taps[0]);
            if (static_cast<double>(dropped) > cutoff) break;
            if (i < count - 1 && filter.positions[i] >= filter.positions[i + 1]) break;
            std::copy(taps + 1, taps + size, taps);
            taps[size - 1] = 0;
            filter.positions[i]++;
        }
        int kept = size;
        dropped = 0;
        for (int j = size - 1; j > 0; --j) {
            dropped += std::llabs(taps[j]);
            if (static_cast<double>(dropped) > cutoff) break;
            kept--;
        }
        needed = std::max(needed, kept);
    }
    return needed;
}

RawFilter Resized(const RawFilter& filter, int needed, int align) {
    if (needed == 1 && align == 2) align = 1;  // unscaled rows need no pairing
    RawFilter resized;
    resized.size = (needed + align - 1) & ~(align - 1);
    resized.positions = filter.positions;
    resized.taps.assign(filter.positions.size() * resized.size, 0);
    for (size_t i = 0; i < filter.positions.size(); ++i)
        for (int j = 0; j < std::min(needed, filter.size); ++j)
            resized.taps[i * resized.size + j] = filter.taps[i * filter.size + j];
    return resized;
}

// Taps that fall outside the source are folded onto its first or last sample.
void FoldEdges(RawFilter& filter, int sourceSize) {
    const int size = filter.size;
    for (size_t i = 0; i < filter.positions.size(); ++i) {
        int64_t* taps = &filter.taps[i * size];
        int& position = filter.positions[i];
        if (position < 0) {
            for (int j = 1; j < size; ++j) {
                const int left = std::max(j + position, 0);
                taps[left] += taps[j];
                taps[j] = 0;
            }
            position = 0;
        }
        if (position + size > sourceSize) {
            const int shift = position + std::min(size - sourceSize, 0);
            int64_t outside = 0;
            for (int j = size - 1; j >= 0; --j)
                if (position + j >= sourceSize) outside += std::exchange(taps[j], 0);
            for (int j = size - 1; j >= 0; --j) taps[j] = j < shift ? 0 : taps[j - shift];
            position -= shift;
            taps[sourceSize - 1 - position] += outside;
        }
    }
}

ResamplingFilter Normalised(const RawFilter& filter, int one) {
    ResamplingFilter result;
    result.size = filter.size;
    result.positions = filter.positions;
    result.coefficients.resize(filter.taps.size());
    for (size_t i = 0; i < filter.positions.size(); ++i) {
        const int64_t* taps = &filter.taps[i * filter.size];
        int64_t sum = 0;
        for (int j = 0; j < filter.size; ++j) sum += taps[j];
        sum = (sum + one / 2) / one;
        if (sum == 0) sum = 1;
        int64_t error = 0;
        for (int j = 0; j < filter.size; ++j) {
            const int64_t value = taps[j] + error;
            const int64_t rounded = RoundedDivision(value, sum);
            result.coefficients[i * filter.size + j] = static_cast<int16_t>(rounded);
            error = value - rounded * sum;
        }
    }
    return result;
}

int64_t Increment(int sourceSize, int destinationSize) {
    return ((int64_t{sourceSize} << 16) + (destinationSize >> 1)) / destinationSize;
}

uint16_t RoundToInt16(int64_t value) {
    const int rounded = static_cast<int>((value + (1 << 15)) >> 16);
    if (rounded < -0x7fff) return 0x8000;
    if (rounded > 0x7fff) return 0x7fff;
    return static_cast<uint16_t>(rounded);
}

int16_t To15Bits(int value) {
    return static_cast<int16_t>(std::min(value >> 7, (1 << 15) - 1));
}

// The scaler's 8-bit to 15-bit horizontal pass, for outputs [begin, end).
void UpsampleSpan(const uint8_t* source, const ResamplingFilter& filter, int begin, int end,
                  int16_t* destination) {
    const int size = filter.size;
    for (int i = begin; i < end; ++i) {
        const uint8_t* taps = source + filter.positions[i];
        const int16_t* coefficients = &filter.coefficients[static_cast<size_t>(i) * size];
        int value = 0;
        for (int j = 0; j < size; ++j) value += int{taps[j]} * coefficients[j];
        destination[i] = To15Bits(value);
    }
}

// The same pass where outputs alternate between two four-tap filters that move on by one
// source sample per output pair, as in the middle of an exact 2x upsampling.
STILLPRESS_VECTOR_CLONES
void UpsamplePairs(const uint8_t* even, const uint8_t* odd, const int16_t* evenWeights,
                   const int16_t* oddWeights, int pairs, int16_t* __restrict destination) {
    const int e0 = evenWeights[0], e1 = evenWeights[1], e2 = evenWeights[2], e3 = evenWeights[3];
    const int o0 = oddWeights[0], o1 = oddWeights[1], o2 = oddWeights[2], o3 = oddWeights[3];
    for (int k = 0; k < pairs; ++k) {
        const int first = even[k] * e0 + even[k + 1] * e1 + even[k + 2] * e2 + even[k + 3] * e3;
        const int second = odd[k] * o0 + odd[k + 1] * o1 + odd[k + 2] * o2 + odd[k + 3] * o3;
        destination[2 * k] = To15Bits(first);
        destination[2 * k + 1] = To15Bits(second);
    }
}

// The longest stretch around the middle where outputs alternate between two fixed four-tap
// filters moving on by one source sample per pair.
std::pair<int, int> FindPairRun(const ResamplingFilter& filter) {
    const int count = static_cast<int>(filter.positions.size());
    if (filter.size != 4 || count < 8) return {0, 0};
    const int middle = (count / 2) & ~1;
    auto same = [&](int i, int reference) {
        return filter.positions[i] - filter.positions[reference] == (i - reference) / 2 &&
               std::equal(&filter.coefficients[i * 4], &filter.coefficients[i * 4 + 4],
                          &filter.coefficients[reference * 4]);
    };
    auto pairHolds = [&](int i) { return same(i, middle) && same(i + 1, middle + 1); };
    int begin = middle, end = middle;
    while (begin >= 2 && pairHolds(begin - 2)) begin -= 2;
    while (end + 1 < count && pairHolds(end)) end += 2;
    return {begin, (end - begin) / 2};
}

struct RowInputs {
    const uint8_t* luma;
    const int16_t* u[8];
    const int16_t* v[8];
    int16_t weights[8];
    int taps;
};

uint8_t Channel(uint32_t value) {
    return static_cast<uint8_t>(std::clamp(static_cast<int32_t>(value) >> 22, 0, 255));
}

// The scaler's vertical chroma filter and full-chroma RGB write, one row, into three
// planar channel rows.
template <int Taps>
inline __attribute__((always_inline)) void MatrixRow(const RowInputs& in, int width,
                                                     const int factors[6], uint8_t* __restrict r,
                                                     uint8_t* __restrict g, uint8_t* __restrict b) {
    const int taps = Taps > 0 ? Taps : in.taps;
    const int32_t yOffset = factors[0], yScale = factors[1];
    const uint32_t vToR = factors[2], vToG = factors[3], uToG = factors[4], uToB = factors[5];
    for (int i = 0; i < width; ++i) {
        int32_t u = (1 << 9) - (128 << 19), v = (1 << 9) - (128 << 19);
        for (int j = 0; j < taps; ++j) {
            u += in.u[j][i] * in.weights[j];
            v += in.v[j][i] * in.weights[j];
        }
        u >>= 10;
        v >>= 10;
        const int32_t y = ((int32_t{in.luma[i]} << 9) - yOffset) * yScale + (1 << 21);
        r[i] = Channel(uint32_t(y) + uint32_t(v) * vToR);
        g[i] = Channel(uint32_t(y) + uint32_t(v) * vToG + uint32_t(u) * uToG);
        b[i] = Channel(uint32_t(y) + uint32_t(u) * uToB);
    }
}

STILLPRESS_VECTOR_CLONES
void MatrixRowFourTaps(const RowInputs& in, int width, const int factors[6], uint8_t* r, uint8_t* g,
                       uint8_t* b) {
    MatrixRow<4>(in, width, factors, r, g, b);
}

STILLPRESS_VECTOR_CLONES
void MatrixRowAnyTaps(const RowInputs& in, int width, const int factors[6], uint8_t* r, uint8_t* g,
                      uint8_t* b) {
    MatrixRow<0>(in, width, factors, r, g, b);
}

STILLPRESS_VECTOR_CLONES
void Interleave3(const uint8_t* first, const uint8_t* second, const uint8_t* third, int width,
                 uint8_t* destination) {
    for (int i = 0; i < width; ++i) {
        destination[3 * i] = first[i];
        destination[3 * i + 1] = second[i];
        destination[3 * i + 2] = third[i];
    }
}

STILLPRESS_VECTOR_CLONES
void InterleaveBgra(const uint8_t* r, const uint8_t* g, const uint8_t* b, int width,
                    uint8_t* destination) {
    for (int i = 0; i < width; ++i) {
        destination[4 * i] = b[i];
        destination[4 * i + 1] = g[i];
        destination[4 * i + 2] = r[i];
        destination[4 * i + 3] = 255;
    }
}

// The scaler's bicubic filter from `sourceSize` to `destinationSize` samples of 4:2:0
// chroma (centred siting), with coefficients summing to `one`, each output's taps padded
// to a multiple of `align`.
ResamplingFilter ChromaUpsamplingFilter(int sourceSize, int destinationSize, int align, int one) {
    RawFilter filter =
        BicubicTaps(Increment(sourceSize, destinationSize), sourceSize, destinationSize);
    const int needed = TrimNegligibleTaps(filter);
    filter = Resized(filter, needed, align);
    FoldEdges(filter, sourceSize);
    return Normalised(filter, one);
}

// How the scaler on this machine pads its filters (x86: 4 taps across, 2 down).
constexpr int kHorizontalAlign = 4;
constexpr int kVerticalAlign = 2;
constexpr int kHorizontalOne = 1 << 14;
constexpr int kVerticalOne = 1 << 12;
constexpr int kMaxVerticalTaps = 8;

int ChromaSize(int size) {
    return (size + 1) >> 1;
}
}  // namespace

bool Yuv420ToRgb::Supports(int width, int height) {
    if (width < 8 || height < 8) return false;
    const ResamplingFilter vertical =
        ChromaUpsamplingFilter(ChromaSize(height), height, kVerticalAlign, kVerticalOne);
    // One or two taps send the scaler down its unscaled and bilinear shortcuts.
    return vertical.size > 2 && vertical.size <= kMaxVerticalTaps;
}

Yuv420ToRgb::Yuv420ToRgb(int width, int height, const ColourMatrix& matrix, PackedLayout layout)
    : m_iWidth(width),
      m_iHeight(height),
      m_eLayout(layout),
      m_oMatrix(matrix),
      m_oFactors(FactorsOf(matrix)),
      m_oHorizontal(
          ChromaUpsamplingFilter(ChromaSize(width), width, kHorizontalAlign, kHorizontalOne)),
      m_oVertical(ChromaUpsamplingFilter(ChromaSize(height), height, kVerticalAlign, kVerticalOne)),
      m_oPairRun(FindPairRun(m_oHorizontal)) {
    if (!Supports(width, height))
        throw std::invalid_argument("The picture is too small for the fast conversion");
    for (int plane = 0; plane < 2; ++plane) {
        m_aRing[plane].resize(static_cast<size_t>(m_oVertical.size) * width);
        m_aRingRows[plane].assign(m_oVertical.size, -1);
    }
    m_aChannels.resize(static_cast<size_t>(width) * 3);
}

bool Yuv420ToRgb::Matches(const ColourMatrix& matrix) const {
    return matrix.fullRange == m_oMatrix.fullRange &&
           std::equal(matrix.table, matrix.table + 4, m_oMatrix.table);
}

Yuv420ToRgb::Factors Yuv420ToRgb::FactorsOf(const ColourMatrix& matrix) {
    int64_t vToR = matrix.table[0], uToB = matrix.table[1];
    int64_t uToG = -matrix.table[2], vToG = -matrix.table[3];
    int64_t yScale = 1 << 16, yOffset = 0;
    if (!matrix.fullRange) {
        yScale = yScale * 255 / 219;
        yOffset = 16 << 16;
    } else {
        vToR = vToR * 224 / 255;
        uToB = uToB * 224 / 255;
        uToG = uToG * 224 / 255;
        vToG = vToG * 224 / 255;
    }
    auto fixed = [](int64_t value, int shift) {
        return int{static_cast<int16_t>(RoundToInt16(value * (1 << shift)))};
    };
    return Factors{fixed(yOffset, 9), fixed(yScale, 13), fixed(vToR, 13),
                   fixed(vToG, 13),   fixed(uToG, 13),   fixed(uToB, 13)};
}

void Yuv420ToRgb::UpsampleRow(const uint8_t* source, int16_t* destination) const {
    const ResamplingFilter& filter = m_oHorizontal;
    const auto [begin, pairs] = m_oPairRun;
    UpsampleSpan(source, filter, 0, begin, destination);
    if (pairs > 0)
        UpsamplePairs(source + filter.positions[begin], source + filter.positions[begin + 1],
                      &filter.coefficients[static_cast<size_t>(begin) * 4],
                      &filter.coefficients[static_cast<size_t>(begin + 1) * 4], pairs,
                      destination + begin);
    UpsampleSpan(source, filter, begin + 2 * pairs, m_iWidth, destination);
}

const int16_t* Yuv420ToRgb::ChromaRow(int plane, int row, const uint8_t* const planes[3],
                                      const int strides[3]) {
    const int slot = row % m_oVertical.size;
    int16_t* cached = m_aRing[plane].data() + static_cast<size_t>(slot) * m_iWidth;
    if (m_aRingRows[plane][slot] != row) {
        const uint8_t* source =
            planes[1 + plane] + static_cast<ptrdiff_t>(row) * strides[1 + plane];
        UpsampleRow(source, cached);
        m_aRingRows[plane][slot] = row;
    }
    return cached;
}

void Yuv420ToRgb::ConvertRow(const uint8_t* luma, int row, const uint8_t* const planes[3],
                             const int strides[3], uint8_t* destination) {
    RowInputs in{};
    in.luma = luma;
    in.taps = m_oVertical.size;
    for (int j = 0; j < in.taps; ++j) {
        const int source = m_oVertical.positions[row] + j;
        in.u[j] = ChromaRow(0, source, planes, strides);
        in.v[j] = ChromaRow(1, source, planes, strides);
        in.weights[j] = m_oVertical.coefficients[static_cast<size_t>(row) * in.taps + j];
    }
    const Factors& f = m_oFactors;
    const int factors[6] = {f.yOffset, f.yScale, f.vToR, f.vToG, f.uToG, f.uToB};
    uint8_t* r = m_aChannels.data();
    uint8_t* g = r + m_iWidth;
    uint8_t* b = g + m_iWidth;
    if (in.taps == 4)
        MatrixRowFourTaps(in, m_iWidth, factors, r, g, b);
    else
        MatrixRowAnyTaps(in, m_iWidth, factors, r, g, b);
    WritePackedRow(r, g, b, m_iWidth, m_eLayout, destination);
}

void WritePackedRow(const uint8_t* r, const uint8_t* g, const uint8_t* b, int width,
                    PackedLayout layout, uint8_t* destination) {
    switch (layout) {
        case PackedLayout::Rgb24:
            return Interleave3(r, g, b, width, destination);
        case PackedLayout::Bgr24:
            return Interleave3(b, g, r, width, destination);
        case PackedLayout::Bgra32:
            return InterleaveBgra(r, g, b, width, destination);
    }
}

void Yuv420ToRgb::Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* firstRow,
                          ptrdiff_t stride) {
    for (int plane = 0; plane < 2; ++plane)
        std::fill(m_aRingRows[plane].begin(), m_aRingRows[plane].end(), -1);
    for (int row = 0; row < m_iHeight; ++row) {
        const uint8_t* luma = planes[0] + static_cast<ptrdiff_t>(row) * strides[0];
        ConvertRow(luma, row, planes, strides, firstRow + row * stride);
    }
}

}  // namespace yuv
