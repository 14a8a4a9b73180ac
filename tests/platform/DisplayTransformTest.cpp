// Frames as players show them: turned and mirrored by the display matrix, stretched to square
// pixels, against the ffmpeg command's own auto-rotation; and untouched when not asked for.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/display.h>
}

#include "platform/DisplayTransform.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

QImage FrameAsShown(const QString& video, bool asShown) {
    const auto asset = MediaAsset::Open(video);
    ImageGenerator generator(*asset);
    generator.setAppliesPreferredTrackTransform(asShown);
    QString error;
    QImage image = generator.copyCGImageAtTime(CMTimeMakeWithSeconds(0.4, 600), &error);
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    return image;
}

class RotatedVideoTest : public testing::TestWithParam<int> {};

TEST_P(RotatedVideoTest, ShowsWhatTheReferencePlayerShows) {
    const QString video = RotatedVideo(GetParam());
    const auto asset = MediaAsset::Open(video);
    const QSize shown = asset->presentationSize().toSize();
    EXPECT_EQ(shown, GetParam() % 180 == 0 ? QSize(320, 240) : QSize(240, 320));
    const ReferenceFrames reference = DecodeWithReference(video, shown.width(), shown.height());
    ASSERT_GT(reference.images.size(), 10u);
    const QImage frame = FrameAsShown(video, true);
    ASSERT_EQ(frame.size(), shown);
    EXPECT_LT(CompareImages(frame, reference.images[10]).meanDifference, 2.0);
}

INSTANTIATE_TEST_SUITE_P(QuarterTurns, RotatedVideoTest, testing::Values(90, 180, 270));

TEST(AnamorphicVideoTest, IsStretchedToItsDisplayAspect) {
    const QString video = MakeVideo("anamorphic.mp4",
                                    "-f lavfi -i testsrc2=size=720x480:rate=25:duration=1 -vf "
                                    "setsar=32/27 -c:v libx264 -pix_fmt yuv420p");
    EXPECT_EQ(MediaAsset::Open(video)->presentationSize(), QSizeF(853, 480));
    EXPECT_EQ(FrameAsShown(video, true).size(), QSize(853, 480));
    EXPECT_EQ(FrameAsShown(video, false).size(), QSize(720, 480));
}

QImage Corners() {
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb colours[6] = {0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0x00ffff, 0xff00ff};
    for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, colours[i] | 0xff000000u);
    return image;
}

struct MatrixCase {
    const char* label;
    double rotation;  // as av_display_rotation_set takes it
    bool flip;        // av_display_matrix_flip across
    QImage (*expected)(const QImage&);
};

QImage Turned(const QImage& image, int degrees) {
    return image.transformed(QTransform().rotate(degrees));
}

// What the ffmpeg command (6.1 and later, which also reads mirroring) shows for each matrix.
const MatrixCase kMatrices[] = {
    {"None", 0, false, [](const QImage& i) { return i; }},
    {"Anticlockwise", -90, false, [](const QImage& i) { return Turned(i, 270); }},
    {"Half", 180, false, [](const QImage& i) { return Turned(i, 180); }},
    {"Clockwise", 90, false, [](const QImage& i) { return Turned(i, 90); }},
    {"Mirrored", 0, true, [](const QImage& i) { return i.mirrored(true, false); }},
    {"MirroredHalf", 180, true, [](const QImage& i) { return i.mirrored(false, true); }},
    {"MirroredAnticlockwise", -90, true,
     [](const QImage& i) { return Turned(i, 270).mirrored(true, false); }},
};

class DisplayMatrixTest : public testing::TestWithParam<MatrixCase> {};

TEST_P(DisplayMatrixTest, TurnsAndMirrorsAsFFmpegDoes) {
    int32_t matrix[9];
    av_display_rotation_set(matrix, GetParam().rotation);
    if (GetParam().flip) av_display_matrix_flip(matrix, 1, 0);
    const DisplayTransform transform = DisplayTransform::From(matrix, 0, 0);
    EXPECT_EQ(transform.Apply(Corners()), GetParam().expected(Corners()));
}

INSTANTIATE_TEST_SUITE_P(Matrices, DisplayMatrixTest, testing::ValuesIn(kMatrices),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
