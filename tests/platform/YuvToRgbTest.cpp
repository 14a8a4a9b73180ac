// The fast 4:2:0 conversion against libswscale's exact path: the same bytes for every size,
// colour matrix, range and layout, on noise that drives the filters and the clipping hard.
#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#include <random>
#include <vector>

#include "platform/YuvToRgb.h"

namespace {

constexpr int kExactFlags =
    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

enum class Content { Noise, Extremes, NearGrey };

struct Picture {
    int width, height;
    std::vector<uint8_t> planes[3];

    Picture(int w, int h, Content content, unsigned seed) : width(w), height(h) {
        std::mt19937 random(seed);
        const size_t chroma = static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
        const size_t sizes[3] = {static_cast<size_t>(w) * h, chroma, chroma};
        for (int p = 0; p < 3; ++p) {
            planes[p].resize(sizes[p]);
            for (uint8_t& value : planes[p]) value = Sample(content, random);
        }
    }
    static uint8_t Sample(Content content, std::mt19937& random) {
        switch (content) {
            case Content::Noise:
                return random() & 0xff;
            case Content::Extremes:
                return (random() & 1) ? 255 : 0;
            case Content::NearGrey:
                return 126 + random() % 5;
        }
        return 0;
    }
    const uint8_t* const* data() const {
        pointers[0] = planes[0].data(), pointers[1] = planes[1].data();
        pointers[2] = planes[2].data();
        return pointers;
    }
    const int* strides() const {
        lines[0] = width, lines[1] = lines[2] = (width + 1) / 2;
        return lines;
    }
    mutable const uint8_t* pointers[3];
    mutable int lines[3];
};

struct Layout {
    yuv::PackedLayout ours;
    AVPixelFormat scaler;
    int bytes;
};
const Layout kLayouts[] = {{yuv::PackedLayout::Rgb24, AV_PIX_FMT_RGB24, 3},
                           {yuv::PackedLayout::Bgr24, AV_PIX_FMT_BGR24, 3},
                           {yuv::PackedLayout::Bgra32, AV_PIX_FMT_BGRA, 4}};
const int kMatrices[] = {SWS_CS_ITU709, SWS_CS_ITU601, SWS_CS_FCC, SWS_CS_SMPTE240M, SWS_CS_BT2020};

std::vector<uint8_t> ByScaler(const Picture& picture, int matrix, bool full, const Layout& layout) {
    SwsContext* context =
        sws_getContext(picture.width, picture.height, AV_PIX_FMT_YUV420P, picture.width,
                       picture.height, layout.scaler, kExactFlags, nullptr, nullptr, nullptr);
    EXPECT_NE(context, nullptr);
    sws_setColorspaceDetails(context, sws_getCoefficients(matrix), full ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    std::vector<uint8_t> rgb(static_cast<size_t>(picture.width) * picture.height * layout.bytes);
    uint8_t* const planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.width * layout.bytes, 0, 0, 0};
    sws_scale(context, picture.data(), picture.strides(), 0, picture.height, planes, strides);
    sws_freeContext(context);
    return rgb;
}

std::vector<uint8_t> ByFastPath(const Picture& picture, int matrix, bool full,
                                const Layout& layout) {
    yuv::ColourMatrix colours;
    std::memcpy(colours.table, sws_getCoefficients(matrix), sizeof(colours.table));
    colours.fullRange = full;
    yuv::Yuv420ToRgb converter(picture.width, picture.height, colours, layout.ours);
    std::vector<uint8_t> rgb(static_cast<size_t>(picture.width) * picture.height * layout.bytes);
    converter.Convert(picture.data(), picture.strides(), rgb.data(), picture.width * layout.bytes);
    return rgb;
}

// Where two conversions first differ, for the failure message.
std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                            int rowBytes) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "row " + std::to_string(i / rowBytes) + " byte " + std::to_string(i % rowBytes) +
                   ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    return "none";
}

void ExpectSameAsScaler(int width, int height, Content content) {
    const Picture picture(width, height, content, width * 7919u + height);
    for (int matrix : kMatrices)
        for (bool full : {false, true})
            for (const Layout& layout : kLayouts) {
                const auto expected = ByScaler(picture, matrix, full, layout);
                const auto actual = ByFastPath(picture, matrix, full, layout);
                ASSERT_TRUE(expected == actual)
                    << width << "x" << height << " matrix " << matrix << " full " << full
                    << " layout " << layout.bytes << ": "
                    << FirstDifference(expected, actual, width * layout.bytes);
            }
}

TEST(YuvToRgb, SameBytesAsTheScalerAtVideoOddAndSmallSizes) {
    ExpectSameAsScaler(1280, 720, Content::Noise);
    for (auto [width, height] : {std::pair{1919, 1079}, {641, 361}, {17, 33}, {9, 9}})
        for (Content content : {Content::Noise, Content::Extremes, Content::NearGrey})
            ExpectSameAsScaler(width, height, content);
}

TEST(YuvToRgb, NegativeStrideWritesRowsUpwards) {
    const Picture picture(64, 48, Content::Noise, 5);
    const Layout& layout = kLayouts[0];
    const auto downwards = ByFastPath(picture, SWS_CS_ITU601, false, layout);
    yuv::ColourMatrix colours;
    std::memcpy(colours.table, sws_getCoefficients(SWS_CS_ITU601), sizeof(colours.table));
    yuv::Yuv420ToRgb upwards(64, 48, colours, layout.ours);
    const int rowBytes = 64 * 3;
    std::vector<uint8_t> flipped(downwards.size());
    upwards.Convert(picture.data(), picture.strides(), flipped.data() + 47 * rowBytes, -rowBytes);
    for (int row = 0; row < 48; ++row)
        ASSERT_EQ(
            0, std::memcmp(&downwards[row * rowBytes], &flipped[(47 - row) * rowBytes], rowBytes))
            << "row " << row;
}

TEST(YuvToRgb, TinyPicturesAreLeftToTheScaler) {
    EXPECT_FALSE(yuv::Yuv420ToRgb::Supports(4, 4));
    EXPECT_FALSE(yuv::Yuv420ToRgb::Supports(100, 7));
    EXPECT_TRUE(yuv::Yuv420ToRgb::Supports(16, 16));
}

}  // namespace
