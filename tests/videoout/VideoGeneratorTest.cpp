#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <cmath>

#include "platform/ImageFiles.h"
#include "support/Fixtures.h"
#include "videoout/VideoGenerator.h"

namespace {

class MovieTest : public ::testing::Test {
  protected:
    void SetUp() override { generator.setFrameDelayDuringExport(0.000001); }
    ReferenceFrames Write(const QString& folder, const QStringList& names, QSize size,
                          double rate = 10) {
        const QString movie = folder + "/movie.mp4";
        const MovieOutcome outcome = generator.writeImagesToMovieAtPath(movie, names, folder, rate);
        EXPECT_TRUE(outcome.written) << outcome.error.toStdString();
        lastFrames = outcome.frames;
        return DecodeWithReference(movie, size.width(), size.height());
    }
    VideoGenerator generator;
    int lastFrames = 0;
};

// Saved as the application saves PNG files: at 72 dpi, so points are pixels.
void SavePng(const QImage& image, const QString& path) {
    WriteTestFile(path, EncodeImage(image, ImageFileType::Png, 1));
}

QStringList NumberedImages(const QString& folder, int count, QSize size) {
    QStringList names;
    for (int k = 0; k < count; ++k) {
        names << QString("%1.png").arg(k);
        SavePng(Filled(size, QColor::fromHsv(k * 359 / count, 255, 64 + (k % 3) * 80)),
                folder + "/" + names.last());
    }
    return names;
}

void ExpectFramesAreImages(const ReferenceFrames& movie, const QString& folder,
                           const QStringList& names) {
    ASSERT_EQ(movie.images.size(), size_t(names.size()));
    ReferenceFrames expected;
    for (const QString& name : names) expected.images.push_back(QImage(folder + "/" + name));
    for (size_t k = 0; k < expected.images.size(); ++k) {
        EXPECT_EQ(ClosestFrame(expected, movie.images[k]), static_cast<int>(k));
        EXPECT_LE(CompareImages(movie.images[k], expected.images[k]).maxDifference, 6) << k;
    }
}

TEST_F(MovieTest, ImagesBecomeFramesAtTheExactRate) {
    for (auto [rate, seconds] : {std::pair{25.0, 1.0}, {29.97, 25 / 29.97}}) {
        const QString folder = MakeTempDir("movie-rate");
        const QStringList names = NumberedImages(folder, 25, {64, 48});
        ExpectFramesAreImages(Write(folder, names, {64, 48}, rate), folder, names);
        EXPECT_EQ(lastFrames, 25);
        QByteArray out;
        RunProgram("ffprobe",
                   {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1",
                    folder + "/movie.mp4"},
                   &out);
        EXPECT_NEAR(out.trimmed().toDouble(), seconds, 0.001) << rate;
        EXPECT_EQ(Recorded().openedURLs.last(), folder + "/movie.mp4");
    }
}

// An extraction's list of absolute paths, where duplicate removal deleted a file after it
// was listed, mixed with names in the folder: gone files, hidden and non-image entries take
// no slot, even before the first image.
TEST_F(MovieTest, OnlyLoadableEntriesTakeSlotsInListOrder) {
    const QString folder = MakeTempDir("movie-list");
    NumberedImages(folder, 4, {32, 24});
    WriteTestFile(folder + "/.hidden", "x");
    WriteTestFile(folder + "/notes.txt", "not an image");
    QFile::remove(folder + "/1.png");
    const QStringList list{".hidden",         "notes.txt", folder + "/0.png",
                           folder + "/1.png", "3.png",     "2.png"};
    ExpectFramesAreImages(Write(folder, list, {32, 24}), folder, {"0.png", "3.png", "2.png"});
}

// Both matrices: SD pictures go through BT.601, HD ones through BT.709, tagged as such.
TEST_F(MovieTest, ColoursSurviveTheRoundTrip) {
    const QColor bars[] = {
        Qt::white,           QColor(191, 191, 0), QColor(0, 191, 191), QColor(0, 191, 0),
        QColor(191, 0, 191), QColor(191, 0, 0),   QColor(0, 0, 191),   Qt::black};
    for (const QSize size : {QSize(640, 480), QSize(1280, 720)}) {
        const QString folder = MakeTempDir("movie-bars");
        const int width = size.width() / 8;
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        for (int bar = 0; bar < 8; ++bar)
            painter.fillRect(bar * width, 0, width, size.height(), bars[bar]);
        painter.end();
        SavePng(image, folder + "/bars.png");
        const ReferenceFrames decoded = Write(folder, {"bars.png"}, size);
        ASSERT_EQ(decoded.images.size(), 1u);
        EXPECT_LE(MaxDifferenceOnFlatAreas(decoded.images[0], image), 4) << size.width();
    }
}

// 4:2:0 needs even sides: the extra column goes right and the extra row on top, in black. A
// larger image keeps its bottom-left part: its right columns and top rows are cut.
TEST_F(MovieTest, PicturesKeepTheirBottomLeftPartPaddedOrCut) {
    const QString folder = MakeTempDir("movie-odd");
    SavePng(Filled({33, 25}, QColor(200, 200, 200)), folder + "/odd.png");
    const ReferenceFrames decoded = Write(folder, {"odd.png"}, {34, 26});
    ASSERT_EQ(decoded.images.size(), 1u);
    const QImage& frame = decoded.images[0];
    EXPECT_NEAR(qGreen(frame.pixel(16, 12)), 200, 4);
    EXPECT_NEAR(qGreen(frame.pixel(0, 25)), 200, 4);
    EXPECT_LE(qGreen(frame.pixel(16, 0)), 40);   // the top row is padding
    EXPECT_LE(qGreen(frame.pixel(33, 12)), 40);  // the right column is padding
    QImage larger = Filled({96, 80}, Qt::white);
    QPainter(&larger).fillRect(0, 32, 64, 48, Qt::blue);
    EXPECT_EQ(VideoGenerator::pixelBufferFromCGImage(larger, {64, 48}), Filled({64, 48}, Qt::blue));
}

// Sampling every 1/r s while t <= D, by repeated addition: 25 fps over 2 s never asks for
// 2.0 itself; at 30 fps the 31st time (0.9999999999999999 s) falls on the end and has no
// frame; 29.97 fps over 1 s asks 30 times.
TEST_F(MovieTest, ReencodeCopiesEveryFrameAtTheSourceRate) {
    for (auto [rate, seconds, frames] :
         {std::tuple{"25", 2.0, 50}, {"30", 1.0, 30}, {"30000/1001", 1.0, 30}}) {
        const QString source = MakeVideo(
            QString("reencode-%1-%2.mp4").arg(QString(rate).replace('/', '_')).arg(seconds),
            QString("-f lavfi -i testsrc2=size=96x64:rate=%1:duration=%2 -c:v libx264 -pix_fmt "
                    "yuv420p")
                .arg(rate)
                .arg(seconds)
                .split(' '));
        const QString movie = MakeTempDir("reencode") + "/copy.mp4";
        const MovieOutcome outcome = generator.DoExportVideoWithWatermark(source, movie);
        ASSERT_TRUE(outcome.written) << outcome.error.toStdString();
        EXPECT_EQ(outcome.frames, frames) << rate;
        const ReferenceFrames copy = DecodeWithReference(movie, 96, 64);
        const ReferenceFrames original = DecodeWithReference(source, 96, 64);
        ASSERT_EQ(copy.images.size(), static_cast<size_t>(frames));
        for (int k = 0; k < frames; ++k) {
            EXPECT_EQ(ClosestFrame(original, copy.images[k]), k) << rate;
            EXPECT_NEAR(copy.times[k], original.times[k], 0.001);
        }
    }
}

}  // namespace
