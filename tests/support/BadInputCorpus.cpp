#include "support/BadInputCorpus.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>
#include <array>

#include "support/Fixtures.h"

namespace {

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator generator(seed);  // the same bytes in every run
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray Truncated(const QString& source, qsizetype size) {
    return ReadTestFile(source).left(size);
}

// ---- MP4: a video whose moov index is written last, and one whose index comes first ----

const QString kSmallVideo =
    "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v libx264 -pix_fmt yuv420p";

QString MoovAtEndVideo() {
    return MakeVideo("corpus-moov-at-end.mp4", kSmallVideo.split(' '));
}

QString FastStartVideo() {
    return MakeVideo("corpus-faststart.mp4", (kSmallVideo + " -movflags +faststart").split(' '));
}

qsizetype BoxOffset(const QByteArray& data, const char* type) {
    return data.indexOf(type) - 4;  // the size field comes before the type
}

// The video's media header time scale set to `scale` (FFmpeg reads 0 as 1).
QByteArray WithTimeScale(quint32 scale) {
    QByteArray data = ReadTestFile(MoovAtEndVideo());
    const qsizetype mdhd = data.indexOf("mdhd");
    qToBigEndian(scale, data.data() + mdhd + 16);  // type, version/flags, two dates
    return data;
}

// Every sample of the time-to-sample table lasting 0 ticks.
QByteArray WithZeroSampleDurations() {
    QByteArray data = ReadTestFile(MoovAtEndVideo());
    const qsizetype stts = data.indexOf("stts");
    const quint32 entries = qFromBigEndian<quint32>(data.constData() + stts + 8);
    for (quint32 entry = 0; entry < entries; ++entry)
        qToBigEndian(quint32{0}, data.data() + stts + 12 + 8 * entry + 4);
    return data;
}

// ---- AVI: Motion JPEG whose every header claims `side` x `side` pixels ----

QByteArray MotionJpegClaiming(int side) {
    QByteArray data = ReadTestFile(
        MakeVideo("corpus-mjpeg.avi",
                  "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v mjpeg -q:v 5"));
    const qsizetype avih = data.indexOf("avih") + 8;
    qToLittleEndian(qint32(side), data.data() + avih + 32);
    qToLittleEndian(qint32(side), data.data() + avih + 36);
    const qsizetype strf = data.indexOf("strf") + 8;
    qToLittleEndian(qint32(side), data.data() + strf + 4);
    qToLittleEndian(qint32(side), data.data() + strf + 8);
    const QByteArray startOfFrame("\xff\xc0\x00\x11\x08", 5);
    for (qsizetype at = data.indexOf(startOfFrame); at >= 0; at = data.indexOf(startOfFrame, at)) {
        qToBigEndian(quint16(side), data.data() + at + 5);
        qToBigEndian(quint16(side), data.data() + at + 7);
        at += 9;
    }
    return data;
}

// ---- GIF ----

QString AnimatedGif(const QString& name, const QString& source) {
    return MakeVideo(name, {"-f", "lavfi", "-i", source});
}

// ---- PNG ----

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= static_cast<uchar>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray PngChunk(const QByteArray& type, const QByteArray& content) {
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(content.size()), chunk.data());
    const QByteArray body = type + content;
    QByteArray crc(4, '\0');
    qToBigEndian(Crc32(body), crc.data());
    return chunk + body + crc;
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

// ---- Folders ----

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
    QDir().mkpath(folder);
    for (const auto& [file, content] : files) {
        if (file.endsWith('/'))
            QDir().mkpath(folder + "/" + file);
        else
            WriteTestFile(folder + "/" + file, content);
    }
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
                                              {"6.jpg", "not a JPEG\n"},
                                              {"7.gif", RandomBytes(300, 7)},
                                              {"8.png", PngClaiming(30000)},
                                              {"10.png", PngImage(32, 32)},
                                              {".hidden.png", PngImage(64, 48)},
                                              {"sub/", {}},
                                              {"sub/9.png", PngImage(64, 48)}});
}

QString NoImagesFolder() {
    return Folder("images-none", {{"a.png", {}},
                                  {"b.txt", "text\n"},
                                  {"c.png", RandomBytes(2000, 3)},
                                  {".d.png", "hidden text\n"},
                                  {"e.png/", {}},
                                  {"f.png", PngClaiming(30000)}});
}

// A copy of a file, or of a folder's files, under an odd name.
QString OddCopy(const QString& source, const QString& suffix) {
    const QString copy = CorpusRoot() + "/" + OddName(suffix);
    QFile::copy(source, copy);
    if (QFileInfo(source).isDir()) QDir().mkpath(copy);
    for (const QString& name : QDir(source).entryList(QDir::Files))
        QFile::copy(source + "/" + name, copy + "/" + name);
    return copy;
}

}  // namespace

QString OddName(const QString& suffix) {
    return QString::fromUtf8("-odd 'quoted' \"name\"\nwith newline \u00e9t\u00e9 \u65e5\u672c") +
           suffix;
}

QString CorpusGoodVideo() {
    return MoovAtEndVideo();
}

QString CorpusGoodGif() {
    return AnimatedGif("corpus-good.gif", "testsrc=size=32x24:rate=10:duration=2");
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
        "FileFormat=banana\n"
        "VideoFileFormat=-7\n"
        "dblFrameInterval=1e-300\n"
        "ImageSizePercentage=1e308\n"
        "Transparency=@ByteArray(\\xff\\xfe)\n"
        "RowsInVideoWall=-99999999999999999999\n"
        "CompressionFactor=nan\n"
        "AddTimeIntervalToImages=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18garbage)\n"
        "FrameDelayDuringExport=inf\n"
        "FrameRateForExportedVideo=1e300\n"
        "dblFrom=-inf\n"
        "dblTo=nan\n"
        "LastVideo=@Invalid()\n"
        "LastFolder=/dev/null\n"
        "BaseFolder=@ByteArray(\\0\\0)\n"
        "TimeColorData=#zzzzzz\n"
        "AddWatermark=1\n"
        "WatermarkFilePath=/dev/zero\n"
        "Alignment=99\n"
        "OutputImageFileNameParameter1=../escaped-\n"
        "OutputImageAppendFileName=2\n"
        "_checkBoxAutoDelete=yes please\n"
        "DisclosureButtonState=3.5\n"
        "=novalue\n"
        "[[[broken section\n"
        "key without equals\n"
        "\xff\xfe\x00 binary junk\n";
    return QByteArray(kText, sizeof kText - 1);
}

const std::vector<CorpusItem>& BadInputCorpus() {
    static const std::vector<CorpusItem> corpus = [] {
        const QString root = CorpusRoot();
        const QString moovAtEnd = MoovAtEndVideo();
        const QString fastStart = FastStartVideo();
        const qsizetype moovAt = BoxOffset(ReadTestFile(moovAtEnd), "moov");
        const qsizetype fastSize = ReadTestFile(fastStart).size();
        const QByteArray gif = ReadTestFile(CorpusGoodGif());
        QDir().mkpath(root + "/folder.mp4");
        const QString regular = File("regular-file.txt", "a regular file\n");
        QDir().mkpath(root + "/settings/Quonex");
        File("settings/Quonex/Stillpress.conf", GarbageSettingsText());
        QDir().mkpath(root + "/" + OddName(" base"));
        using K = CorpusKind;
        return std::vector<CorpusItem>{
            {"empty .mp4", K::Video, File("empty.mp4", {})},
            {"random bytes .mp4", K::Video, File("random.mp4", RandomBytes(65536, 1))},
            {"random bytes .avi", K::Video, File("random.avi", RandomBytes(65536, 3))},
            {"text .mov", K::Video, File("text.mov", "This is a text file, not a movie.\n")},
            {"no such file .mp4", K::Video, root + "/missing.mp4"},
            {"folder named .mp4", K::Video, root + "/folder.mp4"},
            {"MP4 cut before its moov", K::Video,
             File("cut-mdat.mp4", Truncated(moovAtEnd, moovAt / 2))},
            {"MP4 cut inside its moov", K::Video,
             File("cut-moov.mp4", Truncated(moovAtEnd, moovAt + 200))},
            {"faststart MP4 cut mid-mdat", K::Video,
             File("faststart-cut.mp4", Truncated(fastStart, fastSize * 6 / 10))},
            {"audio only .mp4", K::Video,
             MakeVideo("corpus-audio-only.mp4", "-f lavfi -i sine=duration=2 -c:a aac -b:a 32k")},
            {"time scale 0 (1/1024 fps)", K::Video, File("timescale-0.mp4", WithTimeScale(0))},
            {"time scale 2^31-1 (2 M fps)", K::Video,
             File("timescale-max.mp4", WithTimeScale(0x7fffffff))},
            {"sample durations 0 (r_frame_rate 1/0)", K::Video,
             File("zero-durations.mp4", WithZeroSampleDurations())},
            {"MJPEG AVI claiming 30000x30000", K::Video,
             File("huge-30000.avi", MotionJpegClaiming(30000))},
            {"good video, odd name", K::Video, OddCopy(CorpusGoodVideo(), ".mp4")},
            {"junk, hidden, empty, mixed sizes", K::ImageFolder, JunkFolder()},
            {"no images at all", K::ImageFolder, NoImagesFolder()},
            {"empty folder", K::ImageFolder, Folder("images-empty", {})},
            {"a file, not a folder", K::ImageFolder, File("images-file", "x\n")},
            {"no such folder", K::ImageFolder, root + "/images-missing"},
            {"good images, odd name", K::ImageFolder, OddCopy(CorpusGoodImageFolder(), " images")},
            {"GIF cut mid-frame", K::Gif, File("cut.gif", gif.left(gif.size() * 6 / 10))},
            {"GIF of 10500 tiny frames", K::Gif,
             AnimatedGif("corpus-10500-frames.gif", "testsrc=size=8x8:rate=100:duration=105")},
            {"empty .gif", K::Gif, File("empty.gif", {})},
            {"text .gif", K::Gif, File("text.gif", "GIF89a but then text\n")},
            {"good GIF, odd name", K::Gif, OddCopy(CorpusGoodGif(), ".gif")},
            {"corrupt PNG watermark", K::Watermark,
             File("corrupt.png", kPngSignature + RandomBytes(500, 5))},
            {"PNG watermark claiming 30000x30000", K::Watermark,
             File("huge.png", PngClaiming(30000))},
            {"empty PNG watermark", K::Watermark, File("empty.png", {})},
            {"base folder below a regular file", K::BaseFolder, regular + "/sub"},
            {"base folder that is a regular file", K::BaseFolder, regular},
            {"base folder with an odd name", K::BaseFolder, root + "/" + OddName(" base")},
            {"garbage settings file", K::SettingsFile, root + "/settings"},
        };
    }();
    return corpus;
}
