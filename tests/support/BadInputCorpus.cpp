#include "support/BadInputCorpus.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

#include "support/Fixtures.h"

namespace {

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator generator(seed);  // the same bytes in every run
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

const QString kSmallVideo =
    "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v libx264 -pix_fmt yuv420p";

QString FastStartVideo() {
    return MakeVideo("corpus-faststart.mp4", (kSmallVideo + " -movflags +faststart").split(' '));
}

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= static_cast<uchar>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// libpng checks the CRC of every chunk before it reads the chunk.
QByteArray PngChunk(const QByteArray& type, const QByteArray& content) {
    QByteArray chunk(4, '\0'), crc(4, '\0');
    qToBigEndian(quint32(content.size()), chunk.data());
    qToBigEndian(Crc32(type + content), crc.data());
    return chunk + type + content + crc;
}

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

}  // namespace

// A valid signature and header claiming `side` x `side` RGBA pixels, with one row of data.
QByteArray PngClaiming(quint32 side) {
    QByteArray header(13, '\0');
    qToBigEndian(side, header.data());
    qToBigEndian(side, header.data() + 4);
    header[8] = 8;                                                          // bits per sample
    header[9] = 6;                                                          // RGBA
    const QByteArray row = qCompress(QByteArray(1 + 4 * 16, '\0')).mid(4);  // a zlib stream
    return kPngSignature + PngChunk("IHDR", header) + PngChunk("IDAT", row) + PngChunk("IEND", {});
}

namespace {

QByteArray PngImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString CorpusRoot() {
    static const QString root = MakeTempDir("bad-input-corpus");
    return root;
}

QString File(const QString& name, const QByteArray& content) {
    return WriteTestFile(CorpusRoot() + "/" + name, content);
}

// A folder of the corpus with the files (a name ending in '/' is a subfolder).
QString Folder(const QString& name, const std::vector<std::pair<QString, QByteArray>>& files) {
    const QString folder = CorpusRoot() + "/" + name;
    for (const auto& [file, content] : files) {
        QDir().mkpath(QFileInfo(folder + "/" + file).path());
        if (file.endsWith('/'))
            QDir().mkpath(folder + "/" + file);
        else
            WriteTestFile(folder + "/" + file, content);
    }
    QDir().mkpath(folder);
    return folder;
}

// Images of mixed sizes among hidden files, empty files, things that are not images and
// subfolders (one named like an image, one holding an image).
QString JunkFolder() {
    return Folder("images-junk-mixed-sizes", {{"1.png", PngImage(64, 48)},
                                              {"2.png", PngImage(64, 48)},
                                              {"3.png/", {}},
                                              {"4.txt", "not an image\n"},
                                              {"5.png", {}},
                                              {"7.gif", RandomBytes(300, 7)},
                                              {"8.png", PngClaiming(30000)},
                                              {"10.png", PngImage(32, 32)},
                                              {".hidden.png", PngImage(64, 48)},
                                              {"sub/9.png", PngImage(64, 48)}});
}

}  // namespace

QString OddName(const QString& suffix) {
    return QString::fromUtf8("-odd 'quoted' \"name\"\nwith newline \u00e9t\u00e9 \u65e5\u672c") +
           suffix;
}

QString CorpusGoodVideo() {
    return MakeVideo("corpus-moov-at-end.mp4", kSmallVideo.split(' '));
}

QString CorpusGoodGif() {
    return MakeVideo("corpus-good.gif", "-f lavfi -i testsrc=size=32x24:rate=10:duration=2");
}

QString CorpusGoodImageFolder() {
    static const QString folder = Folder("images-good", {{"1.png", PngImage(64, 48)},
                                                         {"2.png", PngImage(64, 48)},
                                                         {"3.png", PngImage(64, 48)},
                                                         {"4.png", PngImage(64, 48)}});
    return folder;
}

QByteArray GarbageSettingsText() {
    static const char kText[] =
        "[General]\n"
        "FileFormat=banana\nTransparency=@ByteArray(\\xff\\xfe)\nLastVideo=@Invalid()\n"
        "AddTimeIntervalToImages=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18garbage)\n"
        "VideoFileFormat=-7\nAlignment=99\nRowsInVideoWall=-99999999999999999999\n"
        "dblFrameInterval=1e-300\nImageSizePercentage=1e308\nFrameRateForExportedVideo=1e300\n"
        "CompressionFactor=nan\nFrameDelayDuringExport=inf\ndblFrom=-inf\ndblTo=nan\n"
        "LastFolder=/dev/null\nBaseFolder=@ByteArray(\\0\\0)\nTimeColorData=#zzzzzz\n"
        "AddWatermark=1\nWatermarkFilePath=/dev/zero\nOutputImageFileNameParameter1=../escaped-\n"
        "OutputImageAppendFileName=2\n_checkBoxAutoDelete=yes please\nDisclosureButtonState=3.5\n"
        "=novalue\n[[[broken section\nkey without equals\n\xff\xfe\x00 binary junk\n";
    return QByteArray(kText, sizeof kText - 1);
}

// One item for each kind of failure; random damage is the fuzz targets' work.
const std::vector<CorpusItem>& BadInputCorpus() {
    static const std::vector<CorpusItem> corpus = [] {
        const QString root = CorpusRoot();
        const QByteArray video = ReadTestFile(CorpusGoodVideo()),
                         gif = ReadTestFile(CorpusGoodGif());
        const QByteArray fastStart = ReadTestFile(FastStartVideo());
        QDir().mkpath(root + "/settings/Quonex");
        File("settings/Quonex/Stillpress.conf", GarbageSettingsText());
        const QString regular = File("regular-file.txt", "a regular file\n");
        const QString oddVideo = root + "/" + OddName(".mp4");
        QFile::copy(CorpusGoodVideo(), oddVideo);
        using K = CorpusKind;
        return std::vector<CorpusItem>{
            {"empty .mp4", K::Video, File("empty.mp4", {})},
            {"random bytes .avi", K::Video, File("random.avi", RandomBytes(65536, 3))},
            {"no such file .mp4", K::Video, root + "/missing.mp4"},
            {"MP4 cut before its moov", K::Video,
             File("cut-mdat.mp4", video.left(video.indexOf("moov") / 2))},
            {"faststart MP4 cut mid-mdat", K::Video,
             File("faststart-cut.mp4", fastStart.left(fastStart.size() * 6 / 10))},
            {"audio only .mp4", K::Video,
             MakeVideo("corpus-audio-only.mp4", "-f lavfi -i sine=duration=2 -c:a aac -b:a 32k")},
            {"good video, odd name", K::Video, oddVideo},
            {"junk, hidden, empty, mixed sizes", K::ImageFolder, JunkFolder()},
            {"no images at all", K::ImageFolder,
             Folder("images-none", {{"a.png", {}}, {"b.txt", "text\n"}, {"c.png/", {}}})},
            {"a file, not a folder", K::ImageFolder, File("images-file", "x\n")},
            {"no such folder", K::ImageFolder, root + "/images-missing"},
            {"GIF cut mid-frame", K::Gif, File("cut.gif", gif.left(gif.size() * 6 / 10))},
            {"text .gif", K::Gif, File("text.gif", "GIF89a but then text\n")},
            {"corrupt PNG watermark", K::Watermark,
             File("corrupt.png", kPngSignature + RandomBytes(500, 5))},
            {"PNG watermark claiming 30000x30000", K::Watermark,
             File("huge.png", PngClaiming(30000))},
            {"base folder below a regular file", K::BaseFolder, regular + "/sub"},
            {"base folder that is a regular file", K::BaseFolder, regular},
            {"garbage settings file", K::SettingsFile, root + "/settings"},
        };
    }();
    return corpus;
}
