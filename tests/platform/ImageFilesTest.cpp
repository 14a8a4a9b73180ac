#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSet>
#include <algorithm>

#include "platform/ImageFiles.h"
#include "platform/WriteFaults.h"
#include "support/Fixtures.h"

namespace {

// Colour bars over the top half, a horizontal grey ramp and a red-blue ramp below: hard
// edges, smooth gradients and saturated colours. Odd sizes catch row-stride mistakes. With
// grain, like a video frame, lossless coding cannot shrink it much.
QImage TestPicture(int width = 97, int height = 61, bool grain = false) {
    QImage image(width, height, QImage::Format_RGB32);
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue};
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ramp = x * 255 / (width - 1);
            const QColor colour = y < height / 2       ? bars[x * 7 / width]
                                  : y < height * 3 / 4 ? QColor(ramp, ramp, ramp)
                                                       : QColor(ramp, 40, 255 - ramp);
            state = state * 1664525u + 1013904223u;
            const int noise = grain ? int(state >> 27) - 16 : 0;
            const auto add = [noise](int value) { return std::clamp(value + noise, 0, 255); };
            image.setPixel(x, y, qRgb(add(colour.red()), add(colour.green()), add(colour.blue())));
        }
    }
    return image;
}

QString Put(const QString& name, const QByteArray& data) {
    static const QString folder = MakeTempDir("image-files");
    return WriteTestFile(folder + "/" + name, data);
}

}  // namespace

// Per type: its signature (lossy and lossless), an uncompressed TIFF, loading by content under
// a misleading name at one point per pixel, any input format, and alpha where it is kept.
TEST(ImageFilesEncode, EveryTypeRoundTripsWithItsSignature) {
    const QImage picture = TestPicture();
    const QImage grey = TestPicture(33, 17).convertToFormat(QImage::Format_Grayscale8);
    // Top: opaque left half, half-transparent green right half. Bottom: fully transparent.
    // The parts are whole 16-pixel blocks, so JPEG's blocks do not blend them.
    QImage translucent(64, 32, QImage::Format_ARGB32);
    translucent.fill(Qt::transparent);
    QPainter(&translucent).fillRect(0, 0, 32, 16, QColor(200, 30, 60));
    QPainter(&translucent).fillRect(32, 0, 32, 16, QColor(0, 255, 0, 128));
    // Signatures, lossless, alpha.
    const std::tuple<ImageFileType, QList<QByteArray>, bool, bool> cases[] = {
        {ImageFileType::Tiff, {QByteArray("II*\0", 4), QByteArray("MM\0*", 4)}, true, true},
        {ImageFileType::Bmp, {"BM"}, true, false},
        {ImageFileType::Gif, {"GIF89a", "GIF87a"}, false, false},
        {ImageFileType::Jpeg, {"\xFF\xD8\xFF"}, false, false},
        {ImageFileType::Png, {"\x89PNG\r\n\x1A\n"}, true, true},
        {ImageFileType::Jpeg2000,
         {QByteArray("\x00\x00\x00\x0C\x6A\x50\x20\x20\x0D\x0A\x87\x0A", 12)},  // JP2 box
         true,
         false},
    };
    for (const auto& [type, signatures, lossless, alpha] : cases) {
        SCOPED_TRACE(static_cast<int>(type));
        QByteArray bytes;
        for (float factor : {0.1f, 0.8f, 1.0f}) {
            bytes = EncodeImage(picture, type, factor);
            EXPECT_TRUE(std::any_of(signatures.begin(), signatures.end(),
                                    [&](const QByteArray& s) { return bytes.startsWith(s); }));
            EXPECT_GE(bytes.size(), type == ImageFileType::Tiff ? 97 * 61 * 3 : 0);
        }
        const QString name = type == ImageFileType::Jpeg ? "frame.png" : "frame.jpeg";
        const auto loaded = LoadImageFileWithPointSize(Put(name, bytes));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->pointSize, QSizeF(97, 61));
        const QImage expected = lossless ? picture : DecodeImage(bytes);
        EXPECT_EQ(CompareImages(LoadImageFile(Put(name, bytes)), expected).maxDifference, 0);
        EXPECT_EQ(DecodeImage(EncodeImage(grey, type, 1.0f)).size(), grey.size());

        const QImage decoded = DecodeImage(EncodeImage(translucent, type, 1.0f));
        ASSERT_EQ(decoded.hasAlphaChannel(), alpha);
        if (alpha) {
            const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(argb.pixel(5, 5), qRgba(200, 30, 60, 255));
            EXPECT_EQ(argb.pixel(40, 5), qRgba(0, 255, 0, 128));
            EXPECT_EQ(qAlpha(argb.pixel(5, 24)), 0);
        } else {  // laid over white
            EXPECT_NEAR(decoded.pixelColor(40, 5).red(), 127, 6);
            EXPECT_NEAR(decoded.pixelColor(40, 5).green(), 255, 6);
            EXPECT_GE(decoded.pixelColor(5, 24).lightness(), 250);
        }
    }
    EXPECT_THROW(EncodeImage(QImage(), ImageFileType::Png, 1.0f), std::runtime_error);
}

TEST(ImageFilesEncode, LossyTypesFollowTheFactor) {
    // Type, grain, a fine and a coarse factor, and the mean differences they stay below.
    const std::tuple<ImageFileType, bool, float, float, double, double> cases[] = {
        {ImageFileType::Jpeg, false, 0.95f, 0.2f, 3.0, 12.0},
        {ImageFileType::Jpeg2000, true, 0.9f, 0.1f, 4.0, 20.0}};
    for (const auto& [type, grain, fineFactor, coarseFactor, fineMean, coarseMean] : cases) {
        SCOPED_TRACE(static_cast<int>(type));
        const QImage picture = TestPicture(160, 120, grain);
        const QByteArray best = EncodeImage(picture, type, 1.0f);
        const QByteArray fine = EncodeImage(picture, type, fineFactor);
        const QByteArray coarse = EncodeImage(picture, type, coarseFactor);
        EXPECT_LT(fine.size(), best.size());
        EXPECT_LT(coarse.size(), fine.size());
        EXPECT_LT(CompareImages(DecodeImage(fine), picture).meanDifference, fineMean);
        EXPECT_LT(CompareImages(DecodeImage(coarse), picture).meanDifference, coarseMean);
    }
}

TEST(ImageFilesEncode, GifHasItsOwnPaletteAndIsAValidFile) {
    const QImage picture = TestPicture(160, 120);
    const QByteArray gif = EncodeImage(picture, ImageFileType::Gif, 1.0f);
    EXPECT_EQ(gif.back(), ';');  // the trailer: a complete file
    const QImage decoded = DecodeImage(gif);
    QSet<QRgb> colours;
    for (int y = 0; y < decoded.height(); ++y)
        for (int x = 0; x < decoded.width(); ++x) colours.insert(decoded.pixel(x, y));
    EXPECT_LE(colours.size(), 256);
    EXPECT_GT(colours.size(), 64);  // more than a fixed web palette would use here
    EXPECT_LT(CompareImages(decoded, picture).meanDifference, 4.0);
}

TEST(ImageFilesLoad, NonImagesAndOversizedPicturesGiveNullImages) {
    const QByteArray png = EncodeImage(TestPicture(), ImageFileType::Png, 1.0f);
    const QByteArray jp2 = EncodeImage(TestPicture(), ImageFileType::Jpeg2000, 1.0f);
    EXPECT_TRUE(LoadImageFile(Put("empty.png", {})).isNull());
    EXPECT_TRUE(LoadImageFile(Put("cut.png", png.left(png.size() / 2))).isNull());

    // Streams claiming 30000 x 30000 pixels (3.6 GB decoded): a JPEG 2000 SIZ segment gives
    // the width and height at offsets 6 and 10 after its marker; a BMP header at 18 and 22.
    QByteArray bomb = jp2;
    const qsizetype siz = bomb.indexOf("\xFF\x51");
    ASSERT_GT(siz, 0);
    for (qsizetype at : {siz + 6, siz + 10}) bomb.replace(at, 4, QByteArray("\x00\x00\x75\x30", 4));
    EXPECT_TRUE(DecodeImage(bomb).isNull());
    QByteArray bmp = EncodeImage(TestPicture(), ImageFileType::Bmp, 1.0f);
    bmp.replace(18, 8, QByteArray("\x60\xEA\x00\x00\x60\xEA\x00\x00", 8));
    EXPECT_TRUE(DecodeImage(bmp).isNull());
}

TEST(ImageFilesLoad, PointSizeFollowsTheStatedResolution) {
    QImage picture = TestPicture(400, 200);
    picture.setDotsPerMeterX(5669);  // 144 dpi
    picture.setDotsPerMeterY(5669);
    const QString png = Put("144.png", {}), jpeg = Put("144.jpg", {});
    ASSERT_TRUE(picture.save(png) && picture.save(jpeg));
    QByteArray unstated = ReadTestFile(png);  // less its pHYs chunk: length, type, data and CRC
    const qsizetype phys = unstated.indexOf("pHYs") - 4;
    ASSERT_GT(phys, 0);
    unstated.remove(phys, 12 + static_cast<uchar>(unstated[phys + 3]));
    ASSERT_EQ(unstated.indexOf("pHYs"), -1);
    const std::pair<QString, QSizeF> cases[] = {
        {png, {200, 100}}, {jpeg, {200, 100}}, {Put("plain.png", unstated), {400, 200}}};
    for (const auto& [path, points] : cases) {
        const auto loaded = LoadImageFileWithPointSize(path);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->image.size(), QSize(400, 200));
        EXPECT_EQ(loaded->pointSize, points);
    }
}

TEST(ImageFilesWrite, ReplacesFilesAndFailuresSayWhyAndLeaveNothingBehind) {
    QString error;
    const QString path = Put("replace.bin", QByteArray(5000, 'x'));
    ASSERT_TRUE(WriteFileData(path, "short", &error)) << error.toStdString();
    EXPECT_EQ(ReadTestFile(path), "short");

    const QString folder = MakeTempDir("write-failures");
    const std::pair<QString, QString> failures[] = {
        {folder, "Is a directory"}, {folder + "/missing/inner.png", "No such file or directory"}};
    for (const auto& [target, reason] : failures) {
        EXPECT_FALSE(WriteFileData(target, QByteArray(100000, 'x'), &error));
        EXPECT_EQ(error, reason);
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

// A replacement that fails, its flush to the disk included, keeps the old file whole; one
// that succeeds keeps its permissions and writes through a link to the linked file. Nothing
// temporary stays in the folder.
TEST(ImageFilesWrite, ReplacementsKeepTheOldFileUntilTheNewOneIsComplete) {
    const QString folder = MakeTempDir("replacements");
    const QString path = WriteTestFile(folder + "/old.png", "old picture");
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                             QFile::WriteUser | QFile::ReadGroup;  // 0640
    ASSERT_TRUE(QFile::setPermissions(path, permissions));
    QString error;
    {
        // A failed write or a file that cannot be made: FullDiskTest's, with every command.
        const ScopedWriteFaults full({.error = EDQUOT, .failingSync = 1});
        EXPECT_FALSE(WriteFileData(path, "new picture", &error));
        EXPECT_EQ(ReadTestFile(path), "old picture");
        EXPECT_EQ(error, "Disk quota exceeded");
    }
    {
        // The folder's flush after the rename: the new file is in place, but not yet safe.
        const ScopedWriteFaults full({.error = EIO, .failingSync = 2});
        EXPECT_FALSE(WriteFileData(path, "new picture", &error));
        EXPECT_EQ(error, "Input/output error");
        // A new file replaces nothing, and is not flushed.
        EXPECT_TRUE(WriteFileData(folder + "/new.png", "new picture", &error));
    }
    EXPECT_TRUE(QFile::remove(folder + "/new.png"));
    const QString link = folder + "/link.png";
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(WriteFileData(link, "new picture", &error)) << error.toStdString();
    EXPECT_EQ(ReadTestFile(path), "new picture");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFile::permissions(path), permissions);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"link.png", "old.png"}));
}
