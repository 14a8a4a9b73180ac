#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSet>
#include <algorithm>

#include "platform/ImageFiles.h"
#include "support/Fixtures.h"

namespace {

// Colour bars over the top half, a horizontal grey ramp and a red-blue ramp below: hard
// edges, smooth gradients and saturated colours. Odd sizes catch row-stride mistakes.
QImage TestPicture(int width = 97, int height = 61) {
    QImage image(width, height, QImage::Format_RGB32);
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ramp = x * 255 / (width - 1);
            QColor colour = y < height / 2       ? bars[x * 7 / width]
                            : y < height * 3 / 4 ? QColor(ramp, ramp, ramp)
                                                 : QColor(ramp, 40, 255 - ramp);
            image.setPixel(x, y, colour.rgb());
        }
    }
    return image;
}

// The test picture with grain, like a video frame: lossless coding cannot shrink it much.
QImage GrainyPicture(int width, int height) {
    QImage image = TestPicture(width, height);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 27) - 16;
            const QColor c = image.pixelColor(x, y);
            image.setPixel(
                x, y,
                qRgb(std::clamp(c.red() + grain, 0, 255), std::clamp(c.green() + grain, 0, 255),
                     std::clamp(c.blue() + grain, 0, 255)));
        }
    }
    return image;
}

// Top: opaque left half, half-transparent green right half. Bottom: fully transparent. The
// parts are whole 16-pixel blocks, so JPEG's blocks do not blend them.
QImage TranslucentPicture() {
    QImage image(64, 32, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 64; ++x) {
            image.setPixel(x, y, x < 32 ? qRgba(200, 30, 60, 255) : qRgba(0, 255, 0, 128));
        }
    }
    return image;
}

QString WriteTemp(const QString& name, const QByteArray& data) {
    static const QString folder = MakeTempDir("image-files");
    const QString path = folder + "/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

int DistinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    }
    return static_cast<int>(colours.size());
}

QByteArray WithoutChunk(QByteArray png, const char* type) {
    const qsizetype at = png.indexOf(type) - 4;
    if (at < 0) return png;
    const auto* bytes = reinterpret_cast<const unsigned char*>(png.constData() + at);
    const int length = (bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    return png.remove(at, 12 + length);
}

QByteArray QtEncoded(QImage image, const char* format, int dotsPerMeter) {
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, format).write(image));
    return bytes;
}

}  // namespace

// ---- Encoding -----------------------------------------------------------------------------

TEST(ImageFilesEncode, LosslessTypesGiveBackTheExactPixels) {
    const QImage picture = TestPicture();
    for (ImageFileType type :
         {ImageFileType::Tiff, ImageFileType::Bmp, ImageFileType::Png, ImageFileType::Jpeg2000}) {
        SCOPED_TRACE(static_cast<int>(type));
        const QImage decoded = DecodeImage(EncodeImage(picture, type, 1.0f));
        ASSERT_EQ(decoded.size(), picture.size());
        EXPECT_EQ(CompareImages(decoded, picture).maxDifference, 0);
    }
}

TEST(ImageFilesEncode, FileSignaturesMatchTheType) {
    const QImage picture = TestPicture();
    const auto starts = [&](ImageFileType type, const QByteArray& signature) {
        return EncodeImage(picture, type, 0.8f).startsWith(signature);
    };
    EXPECT_TRUE(starts(ImageFileType::Tiff, QByteArray("II*\0", 4)) ||
                starts(ImageFileType::Tiff, QByteArray("MM\0*", 4)));
    EXPECT_TRUE(starts(ImageFileType::Bmp, "BM"));
    EXPECT_TRUE(starts(ImageFileType::Gif, "GIF89a") || starts(ImageFileType::Gif, "GIF87a"));
    EXPECT_TRUE(starts(ImageFileType::Jpeg, "\xFF\xD8\xFF"));
    EXPECT_TRUE(starts(ImageFileType::Png, "\x89PNG\r\n\x1A\n"));
    // The JP2 signature box, lossy and lossless.
    const QByteArray jp2Signature("\x00\x00\x00\x0C\x6A\x50\x20\x20\x0D\x0A\x87\x0A", 12);
    EXPECT_TRUE(starts(ImageFileType::Jpeg2000, jp2Signature));
    EXPECT_TRUE(EncodeImage(picture, ImageFileType::Jpeg2000, 1.0f).startsWith(jp2Signature));
}

TEST(ImageFilesEncode, TiffIsUncompressed) {
    const QImage picture = TestPicture(200, 100);
    EXPECT_GE(EncodeImage(picture, ImageFileType::Tiff, 0.1f).size(), 200 * 100 * 3);
}

TEST(ImageFilesEncode, JpegQualityFollowsTheFactor) {
    const QImage picture = TestPicture(160, 120);
    const QByteArray low = EncodeImage(picture, ImageFileType::Jpeg, 0.2f);
    const QByteArray high = EncodeImage(picture, ImageFileType::Jpeg, 0.95f);
    EXPECT_LT(low.size(), high.size());
    const QImage decoded = DecodeImage(high);
    ASSERT_EQ(decoded.size(), picture.size());
    EXPECT_LT(CompareImages(decoded, picture).meanDifference, 3.0);
    EXPECT_LT(CompareImages(DecodeImage(low), picture).meanDifference, 12.0);
}

TEST(ImageFilesEncode, Jpeg2000LossyShrinksAsTheFactorDrops) {
    const QImage picture = GrainyPicture(160, 120);
    const QByteArray lossless = EncodeImage(picture, ImageFileType::Jpeg2000, 1.0f);
    const QByteArray fine = EncodeImage(picture, ImageFileType::Jpeg2000, 0.9f);
    const QByteArray coarse = EncodeImage(picture, ImageFileType::Jpeg2000, 0.1f);
    EXPECT_LT(fine.size(), lossless.size());
    EXPECT_LT(coarse.size(), fine.size());
    const QImage decoded = DecodeImage(fine);
    ASSERT_EQ(decoded.size(), picture.size());
    EXPECT_LT(CompareImages(decoded, picture).meanDifference, 4.0);
    // 84:1 still shows the picture.
    EXPECT_LT(CompareImages(DecodeImage(coarse), picture).meanDifference, 20.0);
}

TEST(ImageFilesEncode, GifHasItsOwnPaletteAndIsAValidFile) {
    const QImage picture = TestPicture(160, 120);
    const QByteArray gif = EncodeImage(picture, ImageFileType::Gif, 1.0f);
    EXPECT_EQ(gif.back(), ';');  // the trailer: a complete file
    const QImage decoded = DecodeImage(gif);
    ASSERT_EQ(decoded.size(), picture.size());
    EXPECT_LE(DistinctColours(decoded), 256);
    EXPECT_GT(DistinctColours(decoded), 64);  // more than a fixed web palette would use here
    EXPECT_LT(CompareImages(decoded, picture).meanDifference, 4.0);
    // A large picture has its palette chosen from a thinned copy.
    const QImage large = TestPicture(1000, 400);
    EXPECT_LT(CompareImages(DecodeImage(EncodeImage(large, ImageFileType::Gif, 1.0f)), large)
                  .meanDifference,
              4.0);

    QByteArray probe;
    const QString path = WriteTemp("probe.gif", gif);
    ASSERT_EQ(RunProgram("ffprobe",
                         {"-v", "error", "-show_entries", "stream=codec_name,width,height", "-of",
                          "csv=p=0", path},
                         &probe),
              0);
    EXPECT_EQ(probe.trimmed(), "gif,160,120");
}

TEST(ImageFilesEncode, AlphaStaysWhereTheFormatHoldsIt) {
    const QImage picture = TranslucentPicture();
    for (ImageFileType type : {ImageFileType::Png, ImageFileType::Tiff}) {
        SCOPED_TRACE(static_cast<int>(type));
        const QImage decoded =
            DecodeImage(EncodeImage(picture, type, 1.0f)).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(decoded.pixel(5, 5), qRgba(200, 30, 60, 255));
        EXPECT_EQ(decoded.pixel(40, 5), qRgba(0, 255, 0, 128));
        EXPECT_EQ(qAlpha(decoded.pixel(5, 24)), 0);
    }
    // Elsewhere the picture is laid over white.
    for (ImageFileType type :
         {ImageFileType::Bmp, ImageFileType::Jpeg2000, ImageFileType::Gif, ImageFileType::Jpeg}) {
        SCOPED_TRACE(static_cast<int>(type));
        const QImage decoded = DecodeImage(EncodeImage(picture, type, 1.0f));
        ASSERT_FALSE(decoded.isNull());
        EXPECT_FALSE(decoded.hasAlphaChannel());
        const QColor half = decoded.pixelColor(40, 5);
        EXPECT_NEAR(half.red(), 127, 6);
        EXPECT_NEAR(half.green(), 255, 6);
        EXPECT_GE(decoded.pixelColor(5, 24).lightness(), 250);
    }
}

TEST(ImageFilesEncode, AcceptsAnyInputFormatAndTinySizes) {
    const QImage grey = TestPicture(33, 17).convertToFormat(QImage::Format_Grayscale8);
    const QImage indexed = TestPicture(3, 2).convertToFormat(QImage::Format_Indexed8);
    for (int code = 0; code <= 5; ++code) {
        SCOPED_TRACE(code);
        const auto type = static_cast<ImageFileType>(code);
        EXPECT_EQ(DecodeImage(EncodeImage(grey, type, 1.0f)).size(), grey.size());
        EXPECT_EQ(DecodeImage(EncodeImage(indexed, type, 0.5f)).size(), indexed.size());
    }
    EXPECT_THROW(EncodeImage(QImage(), ImageFileType::Png, 1.0f), std::runtime_error);
}

// ---- Loading --------------------------------------------------------------------------------

TEST(ImageFilesLoad, DecidesByContentNotByName) {
    const QImage picture = TestPicture();
    const QString jp2 = WriteTemp("1.jpeg", EncodeImage(picture, ImageFileType::Jpeg2000, 1.0f));
    const QString png = WriteTemp("frame.jpg", EncodeImage(picture, ImageFileType::Png, 1.0f));
    EXPECT_EQ(CompareImages(LoadImageFile(jp2), picture).maxDifference, 0);
    EXPECT_EQ(CompareImages(LoadImageFile(png), picture).maxDifference, 0);
}

TEST(ImageFilesLoad, NonImagesGiveNullImages) {
    const QByteArray png = EncodeImage(TestPicture(), ImageFileType::Png, 1.0f);
    const QByteArray jp2 = EncodeImage(TestPicture(), ImageFileType::Jpeg2000, 1.0f);
    EXPECT_TRUE(LoadImageFile(WriteTemp("notes.png", "just some words\nand lines\n")).isNull());
    EXPECT_TRUE(LoadImageFile(WriteTemp("empty.png", {})).isNull());
    EXPECT_TRUE(LoadImageFile(WriteTemp("cut.png", png.left(png.size() / 2))).isNull());
    EXPECT_TRUE(LoadImageFile(WriteTemp("head.jpeg", jp2.left(40))).isNull());
    EXPECT_TRUE(LoadImageFile(TestHome() + "/no/such/file.png").isNull());
    EXPECT_TRUE(LoadImageFile(TestHome()).isNull());
    EXPECT_FALSE(
        LoadImageFileWithPointSize(WriteTemp("words.tiff", QByteArray("II*\0 not really", 15))));
    // A damaged JPEG 2000 stream may decode in part (the format is progressive) but never
    // into a picture of another size.
    QByteArray damaged = jp2;
    for (qsizetype i = 200; i < damaged.size(); i += 7) damaged[i] = char(damaged[i] ^ 0x5A);
    const QImage partial = DecodeImage(damaged);
    EXPECT_TRUE(partial.isNull() || partial.size() == TestPicture().size());
}

TEST(ImageFilesLoad, RefusesPicturesTooLargeToHold) {
    // A JPEG 2000 stream claiming 30000 x 30000 pixels (3.6 GB decoded): its SIZ segment gives
    // the width and height at offsets 6 and 10 after the marker.
    QByteArray bomb = EncodeImage(TestPicture(), ImageFileType::Jpeg2000, 1.0f);
    const qsizetype siz = bomb.indexOf("\xFF\x51");
    ASSERT_GT(siz, 0);
    for (qsizetype at : {siz + 6, siz + 10}) bomb.replace(at, 4, QByteArray("\x00\x00\x75\x30", 4));
    EXPECT_TRUE(DecodeImage(bomb).isNull());
    // The same claim in a BMP header, for Qt's readers.
    QByteArray bmp = EncodeImage(TestPicture(), ImageFileType::Bmp, 1.0f);
    bmp.replace(18, 8, QByteArray("\x60\xEA\x00\x00\x60\xEA\x00\x00", 8));
    EXPECT_TRUE(DecodeImage(bmp).isNull());
}

TEST(ImageFilesLoad, PointSizeFollowsTheStatedResolution) {
    const QImage picture = TestPicture(400, 200);
    constexpr int k144Dpi = 5669;  // pixels per metre
    const QByteArray png144 = QtEncoded(picture, "png", k144Dpi);
    const auto atPng144 = LoadImageFileWithPointSize(WriteTemp("144.png", png144));
    ASSERT_TRUE(atPng144);
    EXPECT_EQ(atPng144->image.size(), QSize(400, 200));
    EXPECT_EQ(atPng144->pointSize, QSizeF(200, 100));

    const QByteArray unstated = WithoutChunk(png144, "pHYs");
    ASSERT_EQ(unstated.indexOf("pHYs"), -1);
    const auto atUnstated = LoadImageFileWithPointSize(WriteTemp("plain.png", unstated));
    ASSERT_TRUE(atUnstated);
    EXPECT_EQ(atUnstated->pointSize, QSizeF(400, 200));

    const auto atJpeg144 =
        LoadImageFileWithPointSize(WriteTemp("144.jpg", QtEncoded(picture, "jpeg", k144Dpi)));
    ASSERT_TRUE(atJpeg144);
    EXPECT_EQ(atJpeg144->pointSize, QSizeF(200, 100));

    // What the program writes reads back one point per pixel.
    for (int code = 0; code <= 5; ++code) {
        SCOPED_TRACE(code);
        const QByteArray ours = EncodeImage(picture, static_cast<ImageFileType>(code), 1.0f);
        const auto loaded =
            LoadImageFileWithPointSize(WriteTemp(QString("ours%1").arg(code), ours));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->pointSize, QSizeF(400, 200));
    }
}

// ---- Writing ------------------------------------------------------------------------------------

TEST(ImageFilesWrite, ReplacesAnExistingFile) {
    const QString path = WriteTemp("replace.bin", QByteArray(5000, 'x'));
    QString error;
    ASSERT_TRUE(WriteFileData(path, "short", &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "short");
}

TEST(ImageFilesWrite, FailuresSayWhyAndLeaveNothingBehind) {
    const QString folder = MakeTempDir("write-failures");
    const QString plainFile = WriteTemp("plain.txt", "x");
    QString error;
    EXPECT_FALSE(WriteFileData(folder, "data", &error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_TRUE(QFileInfo(folder).isDir());

    EXPECT_FALSE(WriteFileData(plainFile + "/inner.png", "data", &error));
    EXPECT_EQ(error, "Not a directory");
    EXPECT_FALSE(WriteFileData(folder + "/missing/inner.png", "data", &error));
    EXPECT_EQ(error, "No such file or directory");

    // A full disk: the device itself must survive the clean-up.
    EXPECT_FALSE(WriteFileData("/dev/full", QByteArray(100000, 'x'), &error));
    EXPECT_EQ(error, "No space left on device");
    struct stat device {};
    ASSERT_EQ(stat("/dev/full", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode));
}

TEST(ImageFilesWrite, AWriteCutShortRemovesThePartialFile) {
    // A file size limit stops the write part-way, as a full disk would.
    const QString path = MakeTempDir("cut-short") + "/big.tiff";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool written = WriteFileData(path, QByteArray(100000, 'x'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "File too large");
    EXPECT_FALSE(QFile::exists(path));
}
