// The fast 4:2:0 conversion against libswscale's exact path: the same bytes for every size,
// colour matrix, range and layout, on noise that drives the filters and the clipping hard.
#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
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
    const uint8_t* data[3];
    int strides[3];

    Picture(int w, int h, Content content, unsigned seed)
        : width(w), height(h), strides{w, (w + 1) / 2, (w + 1) / 2} {
        std::mt19937 random(seed);
        for (int p = 0; p < 3; ++p) {
            planes[p].resize(static_cast<size_t>(strides[p]) * (p ? (h + 1) / 2 : h));
            for (uint8_t& value : planes[p])
                value = content == Content::Noise      ? random() & 0xff
                        : content == Content::Extremes ? (random() & 1) * 255
                                                       : 126 + random() % 5;
            data[p] = planes[p].data();
        }
    }
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
    sws_scale(context, picture.data, picture.strides, 0, picture.height, planes, strides);
    sws_freeContext(context);
    return rgb;
}

yuv::Yuv420ToRgb FastPath(const Picture& picture, int matrix, bool full, const Layout& layout) {
    yuv::ColourMatrix colours;
    std::memcpy(colours.table, sws_getCoefficients(matrix), sizeof(colours.table));
    colours.fullRange = full;
    return yuv::Yuv420ToRgb(picture.width, picture.height, colours, layout.ours);
}

// Also written upwards (a negative stride), the rows land in reverse order.
void ExpectSameAsScaler(int width, int height, Content content) {
    const Picture picture(width, height, content, width * 7919u + height);
    for (int matrix : kMatrices)
        for (bool full : {false, true})
            for (const Layout& layout : kLayouts) {
                const int rowBytes = width * layout.bytes;
                const auto expected = ByScaler(picture, matrix, full, layout);
                std::vector<uint8_t> actual(expected.size()), upwards(expected.size());
                yuv::Yuv420ToRgb fast = FastPath(picture, matrix, full, layout);
                fast.Convert(picture.data, picture.strides, actual.data(), rowBytes);
                fast.Convert(picture.data, picture.strides,
                             upwards.data() + (height - 1) * rowBytes, -rowBytes);
                const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin());
                ASSERT_TRUE(at.first == expected.end())
                    << width << "x" << height << " matrix " << matrix << " full " << full
                    << " layout " << layout.bytes << ": byte " << (at.first - expected.begin());
                for (int row = 0; row < height; ++row)
                    ASSERT_EQ(0, std::memcmp(&expected[row * rowBytes],
                                             &upwards[(height - 1 - row) * rowBytes], rowBytes))
                        << "upwards, row " << row;
            }
}

TEST(YuvToRgb, SameBytesAsTheScalerAtVideoOddAndSmallSizes) {
    ExpectSameAsScaler(1280, 720, Content::Noise);
    for (auto [width, height] : {std::pair{1919, 1079}, {641, 361}, {17, 33}, {9, 9}})
        for (Content content : {Content::Noise, Content::Extremes, Content::NearGrey})
            ExpectSameAsScaler(width, height, content);
    EXPECT_FALSE(yuv::Yuv420ToRgb::Supports(4, 4));  // tiny pictures are left to the scaler
    EXPECT_FALSE(yuv::Yuv420ToRgb::Supports(100, 7));
    EXPECT_TRUE(yuv::Yuv420ToRgb::Supports(16, 16));
}

}  // namespace
