#pragma once
// Fast conversion of 8-bit 4:2:0 pictures to packed RGB that gives, bit for bit, what
// libswscale gives for the same picture with SWS_BICUBIC | SWS_ACCURATE_RND |
// SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT and no scaling: the chroma planes
// are upsampled with the scaler's own bicubic filters (built the same way, with the same
// integer rounding), and every pixel goes through the same fixed-point matrix. The scaler
// runs that path in plain C; this one lets the compiler vectorise it.
//
// Callers should still compare a first picture against libswscale once per configuration
// (see ImageGenerator): another libswscale may compute differently.
//
// A converter is owned by its caller and used by one thread at a time: it keeps scratch rows.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace yuv {

enum class PackedLayout { Rgb24, Bgr24, Bgra32 };

// The four YUV-to-RGB factors as sws_getCoefficients() gives them, and the input range.
struct ColourMatrix {
    int table[4] = {};
    bool fullRange = false;
};

// One resampling filter: output sample i is the sum over j < size of
// input[positions[i] + j] * coefficients[i * size + j].
struct ResamplingFilter {
    int size = 0;
    std::vector<int> positions;
    std::vector<int16_t> coefficients;
};

// Writes one row of three 8-bit channels as packed pixels (Bgra32 with opaque alpha).
void WritePackedRow(const uint8_t* r, const uint8_t* g, const uint8_t* b, int width,
                    PackedLayout layout, uint8_t* destination);

class Yuv420ToRgb {
  public:
    // Whether pictures of this size take the scaler's general vertical path, the one this
    // converter reproduces (tiny pictures take shortcuts with other rounding).
    static bool Supports(int width, int height);

    Yuv420ToRgb(int width, int height, const ColourMatrix& matrix, PackedLayout layout);

    int width() const { return m_iWidth; }
    int height() const { return m_iHeight; }
    PackedLayout layout() const { return m_eLayout; }
    const ColourMatrix& matrix() const { return m_oMatrix; }
    bool Matches(const ColourMatrix& matrix) const;

    // Converts the Y, U and V planes into height() rows of `stride` bytes from `firstRow`
    // (a negative stride writes the rows upwards).
    void Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* firstRow,
                 ptrdiff_t stride);

  private:
    struct Factors {
        int yOffset, yScale, vToR, vToG, uToG, uToB;
    };
    static Factors FactorsOf(const ColourMatrix& matrix);
    void UpsampleRow(const uint8_t* source, int16_t* destination) const;
    const int16_t* ChromaRow(int plane, int row, const uint8_t* const planes[3],
                             const int strides[3]);
    void ConvertRow(const uint8_t* luma, int row, const uint8_t* const planes[3],
                    const int strides[3], uint8_t* destination);

    int m_iWidth, m_iHeight;
    PackedLayout m_eLayout;
    ColourMatrix m_oMatrix;
    Factors m_oFactors;
    ResamplingFilter m_oHorizontal, m_oVertical;
    std::pair<int, int> m_oPairRun;  // first output and pair count of the regular middle
    // Horizontally upsampled chroma rows, a small ring per plane, keyed by source row.
    std::vector<int16_t> m_aRing[2];
    std::vector<int> m_aRingRows[2];
    std::vector<uint8_t> m_aChannels;  // one row each of R, G and B before interleaving
};

}  // namespace yuv
