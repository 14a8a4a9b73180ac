// The generator against the ffmpeg command's decoding of the same files: the frame shown at
// each requested time, its pixels, and how much decoding it takes to get there.
#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <cmath>

#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

// testsrc2 moves every frame, so neighbouring frames never look alike.
QStringList TestSource(const QString& size, const QString& rate, double seconds) {
    return {"-f", "lavfi", "-i",
            QString("testsrc2=size=%1:rate=%2:duration=%3").arg(size, rate).arg(seconds)};
}

QStringList SmallSource(const QString& rate = "25") {
    return TestSource("160x120", rate, 2.4);
}

QStringList X264(const QString& keyint = "12") {
    return {"-c:v", "libx264", "-preset", "veryfast", "-bf",
            "3",    "-g",      keyint,    "-pix_fmt", "yuv420p"};
}

QString BFramesMp4() {
    return MakeVideo("h264-bframes.mp4", SmallSource() + X264());
}

QStringList OpenGopH264() {
    return SmallSource() + X264() +
           QStringList{"-x264-params", "open-gop=1:keyint=10:min-keyint=10:scenecut=0"};
}

struct Clip {
    const char* label;
    const char* file;
    QStringList (*args)();
};

const Clip kClips[] = {
    {"H264BFrames", "h264-bframes.mp4", [] { return SmallSource() + X264(); }},
    {"HevcOpenGop", "hevc.mp4",  // x265's default GOPs are open (CRA pictures)
     [] {
         return SmallSource() +
                QStringList{"-c:v",      "libx265",      "-preset",
                            "ultrafast", "-x265-params", "keyint=12:min-keyint=12:log-level=error",
                            "-tag:v",    "hvc1"};
     }},
    {"Vp9Webm", "vp9.webm",
     [] {
         return SmallSource() + QStringList{"-c:v",      "libvpx-vp9", "-deadline", "realtime",
                                            "-cpu-used", "8",          "-g",        "12",
                                            "-b:v",      "300k"};
     }},
    {"Av1", "av1.mp4",
     [] {
         return SmallSource() +
                QStringList{"-c:v", "libaom-av1", "-cpu-used", "8", "-g", "12", "-b:v", "200k"};
     }},
    {"Mpeg4Avi", "mpeg4.avi",
     [] { return SmallSource() + QStringList{"-c:v", "mpeg4", "-q:v", "3", "-g", "12"}; }},
    {"MjpegAvi", "mjpeg.avi",
     [] {
         return SmallSource() + QStringList{"-c:v", "mjpeg", "-q:v", "3"};
     }},
    {"ProResMov", "prores.mov",
     [] {
         return SmallSource() + QStringList{"-c:v", "prores_ks", "-profile:v", "0"};
     }},
    {"Ntsc2997", "ntsc-2997.mp4", [] { return SmallSource("30000/1001") + X264(); }},
    {"Film23976Mkv", "film-23976.mkv", [] { return SmallSource("24000/1001") + X264(); }},
    {"VariableRateMkv", "vfr.mkv",
     [] {
         return SmallSource("30") +
                QStringList{"-vf", "setpts=(N/30+0.012*mod(N\\,3))/TB", "-fps_mode",
                            "passthrough"} +
                X264();
     }},
    {"StartOffsetTs", "offset.ts",
     [] {
         return SmallSource() + X264() + QStringList{"-output_ts_offset", "10"};
     }},
    {"StartOffsetMp4", "offset.mp4",
     [] {
         return SmallSource() + X264() + QStringList{"-output_ts_offset", "10"};
     }},
    {"OpenGopH264", "open-gop.mp4", OpenGopH264},
    {"EditListMp4", "edit-list.mp4",  // starts mid-GOP: the leading pictures are cut by the edit
     [] { return QStringList{"-ss", "0.5", "-i", BFramesMp4(), "-c", "copy"}; }},
};

// Index of the reference frame shown at `time`: the last one at or before it; -1 for none.
// ffprobe prints microseconds, finer than half of any tick the plan steps by.
int ExpectedFrame(const ReferenceFrames& reference, CMTime time) {
    const double seconds = CMTimeGetSeconds(time);
    int expected = -1;
    for (size_t index = 0; index < reference.times.size(); ++index)
        if (reference.times[index] <= seconds + 2e-6) expected = static_cast<int>(index);
    return expected;
}

// Dense steps (finer than a frame), sparse steps, a repeat, jumps back, and times exactly
// at and one tick before frames.
std::vector<CMTime> RequestPlan(const ReferenceFrames& reference, CMTime duration) {
    const int32_t scale = duration.timescale;
    const double end = CMTimeGetSeconds(duration);
    auto at = [scale](double seconds) { return CMTimeMakeWithSeconds(seconds, scale); };
    std::vector<CMTime> plan;
    for (double t = 0; t < 0.6; t += 0.02) plan.push_back(at(t));
    for (double t = 0.6; t < end; t += 0.37) plan.push_back(at(t));
    for (double fraction : {0.8, 0.8, 0.25, 0.9, 0.0, 0.5}) plan.push_back(at(end * fraction));
    for (size_t index : {size_t{1}, reference.times.size() / 2, reference.times.size() - 1}) {
        const CMTime pts = at(reference.times[index]);
        plan.push_back(pts);
        plan.push_back(CMTimeMake(pts.value - 1, scale));
    }
    return plan;
}

void ExpectShowsReferenceFrame(ImageGenerator& generator, const ReferenceFrames& reference,
                               CMTime time) {
    SCOPED_TRACE(testing::Message() << "at " << time.value << "/" << time.timescale);
    const int expected = ExpectedFrame(reference, time);
    ASSERT_GE(expected, 0);
    QString error;
    const QImage image = generator.copyCGImageAtTime(time, &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(ClosestFrame(reference, image), expected);
    EXPECT_LT(CompareImages(image, reference.images[expected]).meanDifference, 3.0);
}

void ExpectNoFrame(ImageGenerator& generator, CMTime time) {
    QString error;
    EXPECT_TRUE(generator.copyCGImageAtTime(time, &error).isNull())
        << "at " << time.value << "/" << time.timescale;
    EXPECT_FALSE(error.isEmpty());
}

class ImageGeneratorFormats : public testing::TestWithParam<Clip> {};

TEST_P(ImageGeneratorFormats, ShowsTheReferenceFrameAtEachTime) {
    const QString video = MakeVideo(GetParam().file, GetParam().args());
    const auto asset = MediaAsset::Open(video);
    ASSERT_TRUE(asset->hasVideoTrack());
    const QSize size = asset->naturalSize().toSize();
    const ReferenceFrames reference = DecodeWithReference(video, size.width(), size.height());
    ASSERT_GT(reference.times.size(), 20u);
    ASSERT_EQ(reference.images.size(), reference.times.size());

    ImageGenerator generator(*asset);
    for (CMTime time : RequestPlan(reference, asset->duration()))
        ExpectShowsReferenceFrame(generator, reference, time);

    // The container's duration is at or after the end of the last frame.
    const CMTime duration = asset->duration();
    ExpectNoFrame(generator, duration);
    ExpectNoFrame(generator, CMTimeMake(duration.value + duration.timescale, duration.timescale));
    ExpectNoFrame(generator, CMTimeMake(-1, duration.timescale));
    ExpectShowsReferenceFrame(generator, reference, kCMTimeZero);
}

INSTANTIATE_TEST_SUITE_P(ImageGeneratorCodecs, ImageGeneratorFormats, testing::ValuesIn(kClips),
                         [](const testing::TestParamInfo<Clip>& info) { return info.param.label; });

TEST(ImageGeneratorRequests, RepeatedTimeReturnsTheSameFrameWithoutDecoding) {
    const auto asset = MediaAsset::Open(BFramesMp4());
    ImageGenerator generator(*asset);
    const CMTime time = CMTimeMakeWithSeconds(1.3, asset->duration().timescale);
    const QImage first = generator.copyCGImageAtTime(time);
    const long long decoded = generator.decodedFrameCount();
    const QImage again = generator.copyCGImageAtTime(time);
    EXPECT_EQ(generator.decodedFrameCount(), decoded);
    EXPECT_EQ(first, again);
}

TEST(ImageGeneratorRequests, LastFrameLastsItsDuration) {
    const auto asset = MediaAsset::Open(BFramesMp4());
    ImageGenerator generator(*asset);
    const ReferenceFrames reference = DecodeWithReference(BFramesMp4(), 160, 120);
    ASSERT_EQ(asset->duration().timescale, 12800);  // 25 fps: 512 ticks a frame
    const int64_t lastFrameEnd = std::llround(reference.times.back() * 12800) + 512;
    ExpectShowsReferenceFrame(generator, reference, CMTimeMake(lastFrameEnd - 1, 12800));
    ExpectNoFrame(generator, CMTimeMake(lastFrameEnd, 12800));
    ExpectShowsReferenceFrame(generator, reference, CMTimeMake(lastFrameEnd - 1, 12800));
}

// Open GOPs: the pictures shown just before a keyframe are decoded after it and refer to
// the GOP before; a seek that lands on that keyframe must not show them broken.
TEST(ImageGeneratorRequests, JumpsBackJustBeforeOpenGopKeyframes) {
    const QString video = MakeVideo("open-gop.mp4", OpenGopH264());
    const auto asset = MediaAsset::Open(video);
    const ReferenceFrames reference = DecodeWithReference(video, 160, 120);
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    for (double t = 0.3; t < 2.3; t += 0.04) {
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(2.35, scale));
        ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(t, scale));
    }
}

TEST(ImageGeneratorRequests, InvalidTimesGiveNoFrame) {
    const auto asset = MediaAsset::Open(BFramesMp4());
    ImageGenerator generator(*asset);
    ExpectNoFrame(generator, kCMTimeInvalid);
    CMTime infinite = kCMTimeZero;
    infinite.flags |= kCMTimeFlags_PositiveInfinity;
    ExpectNoFrame(generator, infinite);
    EXPECT_FALSE(generator.copyCGImageAtTime(kCMTimeZero).isNull());
}

// ---- Colour conversion ----------------------------------------------------------------

// Largest channel difference over the pixels whose neighbourhood is one flat colour in the
// reference; chroma subsampling makes edges differ by design. Fails when too few are flat.
int MaxDifferenceOnFlatAreas(const QImage& image, const QImage& reference) {
    const int radius = 4;
    int largest = 0, flat = 0, sampled = 0;
    for (int y = radius; y < reference.height() - radius; y += 3) {
        for (int x = radius; x < reference.width() - radius; x += 3, ++sampled) {
            const QRgb centre = reference.pixel(x, y);
            bool isFlat = true;
            for (int dy = -radius; dy <= radius && isFlat; ++dy)
                for (int dx = -radius; dx <= radius && isFlat; ++dx)
                    isFlat = reference.pixel(x + dx, y + dy) == centre;
            if (!isFlat) continue;
            ++flat;
            const QRgb ours = image.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(ours) - qRed(centre)),
                                std::abs(qGreen(ours) - qGreen(centre)),
                                std::abs(qBlue(ours) - qBlue(centre))});
        }
    }
    EXPECT_GT(flat, sampled / 2) << "too few flat areas to compare";
    return largest;
}

QImage FirstFrame(const QString& video) {
    const auto asset = MediaAsset::Open(video);
    ImageGenerator generator(*asset);
    QString error;
    const QImage image = generator.copyCGImageAtTime(kCMTimeZero, &error);
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    return image;
}

QStringList Bars(const QString& source, const QString& size) {
    return {
        "-f",   "lavfi",   "-i",      QString("%1=size=%2:rate=25:duration=0.2").arg(source, size),
        "-c:v", "libx264", "-preset", "veryfast",
        "-crf", "1"};
}

const QStringList kBt709Tags = {"-colorspace", "bt709",      "-color_primaries",
                                "bt709",       "-color_trc", "bt709"};

void ExpectMatchesReferenceOnFlatAreas(const QString& video, int width, int height) {
    const ReferenceFrames reference = DecodeWithReference(video, width, height);
    ASSERT_FALSE(reference.images.empty());
    const QImage image = FirstFrame(video);
    ASSERT_EQ(image.size(), QSize(width, height));
    EXPECT_LE(MaxDifferenceOnFlatAreas(image, reference.images.front()), 3);
}

TEST(ImageGeneratorColour, Bt709TaggedHdUsesTheBt709Matrix) {
    ExpectMatchesReferenceOnFlatAreas(
        MakeVideo("bars-709.mp4", Bars("smptehdbars", "1280x720") +
                                      QStringList{"-pix_fmt", "yuv420p"} + kBt709Tags),
        1280, 720);
}

TEST(ImageGeneratorColour, FullRangeIsExpandedAsFullRange) {
    ExpectMatchesReferenceOnFlatAreas(
        MakeVideo("bars-full-range.mp4",
                  Bars("smptehdbars", "1280x720") +
                      QStringList{"-pix_fmt", "yuvj420p", "-color_range", "pc"} + kBt709Tags),
        1280, 720);
}

TEST(ImageGeneratorColour, UntaggedSdUsesTheBt601Matrix) {
    ExpectMatchesReferenceOnFlatAreas(
        MakeVideo("bars-sd-untagged.mp4",
                  Bars("smptebars", "640x480") + QStringList{"-pix_fmt", "yuv420p"}),
        640, 480);
}

TEST(ImageGeneratorColour, UntaggedHdIsReadAsBt709) {
    const QStringList bars = Bars("smptehdbars", "1280x720") + QStringList{"-pix_fmt", "yuv420p"};
    const QImage untagged = FirstFrame(MakeVideo("bars-hd-untagged.mp4", bars));
    const QImage tagged = FirstFrame(MakeVideo("bars-709.mp4", bars + kBt709Tags));
    EXPECT_LE(CompareImages(untagged, tagged).maxDifference, 1);
}

// ---- Amount of decoding ---------------------------------------------------------------

constexpr int kGopFrames = 50;  // 2 s at 25 fps

QString LongGopVideo() {
    return MakeVideo(
        "long-gop.mp4",
        TestSource("160x120", "25", 20) + X264(QString::number(kGopFrames)) +
            QStringList{"-keyint_min", QString::number(kGopFrames), "-sc_threshold", "0"});
}

TEST(ImageGeneratorWork, LateFrameDecodesAboutOneGop) {
    const auto asset = MediaAsset::Open(LongGopVideo());
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    ASSERT_FALSE(generator.copyCGImageAtTime(CMTimeMakeWithSeconds(17.9, scale)).isNull());
    // The first picture, then the GOP from 16 s up to 17.9 s, plus the decoder's delay.
    EXPECT_LT(generator.decodedFrameCount(), kGopFrames + 20);

    const long long before = generator.decodedFrameCount();
    ASSERT_FALSE(generator.copyCGImageAtTime(CMTimeMakeWithSeconds(9.0, scale)).isNull());
    EXPECT_LT(generator.decodedFrameCount() - before, kGopFrames + 20) << "jump back";
}

TEST(ImageGeneratorWork, DenseForwardRequestsDecodeEachFrameOnce) {
    const auto asset = MediaAsset::Open(LongGopVideo());
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    ASSERT_FALSE(generator.copyCGImageAtTime(CMTimeMakeWithSeconds(5.0, scale)).isNull());
    const long long start = generator.decodedFrameCount();
    // Half-frame steps over 4 s: 100 frames and two keyframes.
    for (int step = 1; step <= 200; ++step)
        ASSERT_FALSE(
            generator.copyCGImageAtTime(CMTimeMakeWithSeconds(5.0 + step * 0.02, scale)).isNull());
    EXPECT_LE(generator.decodedFrameCount() - start, 100 + 4);
}

TEST(ImageGeneratorWork, SparseForwardStepsNeverDecodeMoreThanTheFile) {
    const auto asset = MediaAsset::Open(LongGopVideo());
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    for (double t = 0; t < 20; t += 0.7)
        ASSERT_FALSE(generator.copyCGImageAtTime(CMTimeMakeWithSeconds(t, scale)).isNull());
    EXPECT_LE(generator.decodedFrameCount(), 500 + 10);
}

// ---- Damaged and unreadable files -----------------------------------------------------

QString CopyWithChange(const QString& source, const QString& name,
                       const std::function<void(QByteArray&)>& change) {
    QFile input(source);
    EXPECT_TRUE(input.open(QIODevice::ReadOnly));
    QByteArray bytes = input.readAll();
    change(bytes);
    const QString path = MakeTempDir("damaged") + "/" + name;
    QFile output(path);
    EXPECT_TRUE(output.open(QIODevice::WriteOnly));
    output.write(bytes);
    return path;
}

TEST(ImageGeneratorDamage, UnreadableFileGivesNoFrameAndAReason) {
    const auto asset = MediaAsset::Open(TestHome() + "/missing.mp4");
    ImageGenerator generator(*asset);
    ExpectNoFrame(generator, kCMTimeZero);
    ExpectNoFrame(generator, CMTimeMake(1, 1));
}

TEST(ImageGeneratorDamage, CorruptMiddleDoesNotStopLaterFrames) {
    const QString clean = MakeVideo(
        "h264-faststart.mp4", SmallSource() + X264() + QStringList{"-movflags", "+faststart"});
    const QString damaged = CopyWithChange(clean, "corrupt.mp4", [](QByteArray& bytes) {
        QRandomGenerator noise(7);
        for (qsizetype at = bytes.size() * 45 / 100; at < bytes.size() * 55 / 100; ++at)
            bytes[at] = static_cast<char>(noise.bounded(256));
    });
    const ReferenceFrames reference = DecodeWithReference(clean, 160, 120);
    const auto asset = MediaAsset::Open(damaged);
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    for (double t = 0; t < 2.4; t += 0.04)
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(t, scale));
    // The last GOP starts at 1.92 s, after the damage.
    for (double t : {2.0, 2.3, 1.95})
        ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(t, scale));
}

TEST(ImageGeneratorDamage, TruncatedFileShowsWhatIsLeft) {
    const QString clean = MakeVideo(
        "h264-faststart.mp4", SmallSource() + X264() + QStringList{"-movflags", "+faststart"});
    const QString truncated = CopyWithChange(
        clean, "truncated.mp4", [](QByteArray& bytes) { bytes.truncate(bytes.size() * 6 / 10); });
    const ReferenceFrames reference = DecodeWithReference(clean, 160, 120);
    const auto asset = MediaAsset::Open(truncated);
    ASSERT_TRUE(asset->hasVideoTrack());
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(0.3, scale));
    ExpectNoFrame(generator, CMTimeMakeWithSeconds(2.3, scale));
    ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(0.5, scale));
}

}  // namespace
