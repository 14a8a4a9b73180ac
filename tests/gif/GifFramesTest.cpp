// GIF frame extraction: frames equal to the reference decoder's, viewer-like compositing of
// hand-made GIFs, still and broken files, and the refusal of decompression bombs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include "gif/GifFrameDecoder.h"
#include "gif/GifFrameExtraction.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

constexpr long long kTiff = 0, kPng = 4;
constexpr QImage::Format kArgb = QImage::Format_ARGB32;

void Append16(QByteArray& bytes, int value) {
    bytes.append(char(value & 0xFF)).append(char(value >> 8 & 0xFF));
}

// A GIF image block: its pixels as palette indices of a 4-colour table, stored as LZW with a
// clear code before every pixel, so the code width stays at 3 bits and no table is built.
struct GifFrame {
    int left, top, width, height;
    QByteArray indices;
    int disposal = 0;
    int transparentIndex = -1;
};

QByteArray ImageBlock(const GifFrame& frame) {
    QByteArray lzw;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= uint32_t(code) << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8) lzw.append(char(bits & 0xFF));
    };
    for (char index : frame.indices) put(4), put(index);
    put(5);
    if (count > 0) lzw.append(char(bits & 0xFF));
    QByteArray block("\x21\xF9\x04", 3);
    block.append(char(frame.disposal << 2 | (frame.transparentIndex >= 0 ? 1 : 0)));
    Append16(block, 10);
    block.append(char(std::max(frame.transparentIndex, 0))).append('\0').append(',');
    for (int value : {frame.left, frame.top, frame.width, frame.height}) Append16(block, value);
    block.append('\0').append('\x02');
    for (qsizetype at = 0; at < lzw.size(); at += 255) {
        const QByteArray chunk = lzw.mid(at, 255);
        block.append(char(chunk.size())).append(chunk);
    }
    return block.append('\0');
}

// Red, green, blue, white; background index 0.
QByteArray MakeGif(int width, int height, const std::vector<GifFrame>& frames) {
    QByteArray gif("GIF89a");
    Append16(gif, width);
    Append16(gif, height);
    gif.append("\x81\x00\x00", 3).append("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 12);
    for (const GifFrame& frame : frames) gif += ImageBlock(frame);
    return gif.append(';');
}

class GifFramesTest : public ::testing::Test {
  protected:
    void SetUp() override { AppSettings().SetSelectedFileFormat(kPng); }
    GifExtractionOutcome ExtractBytes(const QString& name, const QByteArray& bytes) {
        chosen = MakeTempDir("gif-out");
        Recorded().openedURLs.clear();
        return ExtractGIFFiles(WriteTestFile(MakeTempDir("gif-in") + "/" + name, bytes), chosen);
    }
    QString chosen;
};

TEST_F(GifFramesTest, EveryFrameEqualsTheReferenceDecodersFrame) {
    const QString gif = PartyGif();
    const QString reference = MakeTempDir("party-reference");
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-i", gif, "-vsync", "passthrough",
                                    reference + "/%d.png"}),
              0);
    chosen = MakeTempDir("party-chosen");
    const GifExtractionOutcome outcome = ExtractGIFFiles(gif, chosen);
    EXPECT_EQ(outcome.status, GifExtractionOutcome::Status::Written);
    EXPECT_EQ(outcome.folder, chosen + "/party");
    EXPECT_EQ(outcome.writtenFrames, 12);
    EXPECT_EQ(Recorded().openedURLs, QStringList{chosen + "/party"});
    ASSERT_EQ(FilesIn(chosen + "/party").size(), 12);
    for (int n = 1; n <= 12; ++n)
        EXPECT_EQ(QImage(QString("%1/party/%2.png").arg(chosen).arg(n)).convertToFormat(kArgb),
                  QImage(QString("%1/%2.png").arg(reference).arg(n)).convertToFormat(kArgb))
            << "frame " << n;
    // A second run rewrites the same files; TIFF gives 1.tiff and so on.
    AppSettings().SetSelectedFileFormat(kTiff);
    EXPECT_EQ(ExtractGIFFiles(gif, chosen).writtenFrames, 12);
    EXPECT_EQ(FilesIn(chosen + "/party").size(), 24);
    EXPECT_EQ(QImage(chosen + "/party/12.tiff").size(), QSize(64, 48));
}

// Frame 2 has a transparent pixel and is restored to the background afterwards; frame 3 is
// restored to what was there before it; frame 4 shows the result.
TEST_F(GifFramesTest, FramesAreCompositedAsAViewerShowsThem) {
    ASSERT_EQ(ExtractBytes("layers.gif", MakeGif(4, 4,
                                                 {{0, 0, 4, 4, QByteArray(16, 0), 1},
                                                  {1, 1, 2, 2, "\x03\x02\x02\x02", 2, 3},
                                                  {0, 0, 1, 1, "\x01", 3},
                                                  {3, 3, 1, 1, "\x03", 1}}))
                  .writtenFrames,
              4);
    // Each frame's rows: red, green, blue, white or clear (.).
    const char* const expected[] = {"rrrr rrrr rrrr rrrr", "rrrr rrbr rbbr rrrr",
                                    "grrr r..r r..r rrrr", "rrrr r..r r..r rrrw"};
    const QMap<QRgb, char> names{{qRgb(255, 0, 0), 'r'},
                                 {qRgb(0, 255, 0), 'g'},
                                 {qRgb(0, 0, 255), 'b'},
                                 {qRgb(255, 255, 255), 'w'}};
    for (int n = 1; n <= 4; ++n) {
        const QImage frame =
            QImage(QString("%1/layers/%2.png").arg(chosen).arg(n)).convertToFormat(kArgb);
        QString seen;
        for (int y = 0; y < 4; ++y, seen += ' ')
            for (int x = 0; x < 4; ++x)
                seen += qAlpha(frame.pixel(x, y)) ? names.value(frame.pixel(x, y), '?') : '.';
        EXPECT_EQ(seen.trimmed(), expected[n - 1]) << "frame " << n;
    }
}

TEST_F(GifFramesTest, StillOrUnreadableGifsLeaveTheFolderEmptyButCreatedAndShown) {
    const QByteArray party = ReadTestFile(PartyGif());
    using Status = GifExtractionOutcome::Status;
    const std::tuple<QString, QByteArray, Status> cases[] = {
        {"a.b.gif", MakeGif(2, 2, {{0, 0, 2, 2, QByteArray(4, 1)}}), Status::StillImage},
        {"empty.gif", QByteArray(), Status::NotReadable},
        {"header.gif", party.left(13), Status::StillImage},
    };
    for (const auto& [name, bytes, status] : cases) {
        SCOPED_TRACE(name.toStdString());
        const GifExtractionOutcome outcome = ExtractBytes(name, bytes);
        const QString folder = chosen + "/" + QFileInfo(name).completeBaseName();
        EXPECT_EQ(outcome.status, status);
        EXPECT_TRUE(QFileInfo(folder).isDir());
        EXPECT_TRUE(FilesIn(folder).isEmpty());
        EXPECT_EQ(Recorded().openedURLs, QStringList{folder});
    }
}

TEST_F(GifFramesTest, RefusalReasonsNameTheLimitThatWasPassed) {
    const QString canvas = "Its canvas of %1 x %2 pixels is larger than 25 megapixels.";
    const std::tuple<int, int, long long, QString> cases[] = {
        {5000, 5000, 2, ""},
        {5001, 5000, 2, canvas.arg(5001).arg(5000)},
        {0, 10, 2, canvas.arg(0).arg(10)},
        {1, 1, 10000, ""},
        {1, 1, 10001, "It has more than 10000 frames."},
        {2000, 2000, 1000, ""},
        {2000, 2000, 1001,
         "Its 1001 frames of 2000 x 2000 pixels would take more than 4 gigapixels."},
    };
    for (const auto& [width, height, frames, reason] : cases)
        EXPECT_EQ(GifRefusalReason({QSize(width, height), frames}), reason)
            << width << "x" << height << " " << frames;
}

TEST_F(GifFramesTest, DecompressionBombsAreRefusedBeforeAnyFrameIsWritten) {
    const QByteArray tinyFrame = MakeGif(1, 1, {{0, 0, 1, 1, "\x01"}}).mid(25).chopped(1);
    QByteArray manyFrames = MakeGif(1, 1, {});
    manyFrames.chop(1);
    manyFrames += tinyFrame.repeated(GifLimits::kMaxFrames + 1) + ';';
    for (const QByteArray& bomb :
         {MakeGif(60000, 60000, {{0, 0, 1, 1, "\x01"}, {0, 0, 1, 1, "\x02"}}), manyFrames}) {
        const GifExtractionOutcome outcome = ExtractBytes("bomb.gif", bomb);
        EXPECT_EQ(outcome.status, GifExtractionOutcome::Status::Refused);
        EXPECT_FALSE(outcome.reason.isEmpty());
        EXPECT_TRUE(FilesIn(chosen + "/bomb").isEmpty());
    }
}

}  // namespace
