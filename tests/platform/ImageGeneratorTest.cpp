// The generator against the ffmpeg command's decoding of the same files: the frame shown at
// each requested time, its pixels, and how much decoding it takes to get there.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"

namespace {

QStringList Words(const QString& text) {
    return text.split(' ', Qt::SkipEmptyParts);
}

// testsrc2 moves every frame, so neighbouring frames never look alike.
QStringList Source(const QString& rate = "25", double seconds = 2.4) {
    return {"-f", "lavfi", "-i",
            QString("testsrc2=size=160x120:rate=%1:duration=%2").arg(rate).arg(seconds)};
}

QStringList X264(int keyint = 12) {
    return Words(QString("-c:v libx264 -preset veryfast -bf 3 -g %1 -pix_fmt yuv420p").arg(keyint));
}

struct Clip {
    const char* label;
    const char* file;
    const char* rate;  // null: the first clip, cut at 0.5 s (mid-GOP, by an edit list)
    const char* args;
};

const Clip kClips[] = {
    {"H264BFrames", "h264-bframes.mp4", "25", ""},
    // x265's default GOPs are open (CRA pictures).
    {"HevcOpenGop", "hevc.mp4", "25",
     "-c:v libx265 -preset ultrafast -x265-params keyint=12:min-keyint=12:log-level=error "
     "-tag:v hvc1"},
    {"Vp9Webm", "vp9.webm", "25", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 12 -b:v 300k"},
    {"Av1", "av1.mp4", "25", "-c:v libaom-av1 -cpu-used 8 -g 12 -b:v 200k"},
    {"Mpeg4Avi", "mpeg4.avi", "25", "-c:v mpeg4 -q:v 3 -g 12"},
    {"ProResMov", "prores.mov", "25", "-c:v prores_ks -profile:v 0"},
    {"Ntsc2997", "ntsc-2997.mp4", "30000/1001", ""},
    {"VariableRateMkv", "vfr.mkv", "30",
     "-vf setpts=(N/30+0.012*mod(N\\,3))/TB -fps_mode passthrough"},
    {"StartOffsetTs", "offset.ts", "25", "-output_ts_offset 10"},
    {"OpenGopH264", "open-gop.mp4", "25",
     "-x264-params open-gop=1:keyint=10:min-keyint=10:scenecut=0"},
    {"EditListMp4", "edit-list.mp4", nullptr, "-c:v copy"},
};

QString Video(const Clip& clip) {
    const QStringList input =
        clip.rate ? Source(clip.rate) : QStringList{"-ss", "0.5", "-i", Video(kClips[0])};
    const QStringList args = Words(clip.args);
    return MakeVideo(clip.file, input + (args.contains("-c:v") ? QStringList() : X264()) + args);
}

// Expects the reference's last frame at or before `time`. ffprobe prints microseconds,
// finer than half of any tick the tests step by.
void ExpectShowsReferenceFrame(ImageGenerator& generator, const ReferenceFrames& reference,
                               CMTime time) {
    SCOPED_TRACE(testing::Message() << "at " << time.value << "/" << time.timescale);
    const auto& times = reference.times;
    const auto after = std::upper_bound(times.begin(), times.end(), CMTimeGetSeconds(time) + 2e-6);
    ASSERT_NE(after, times.begin());
    const int expected = static_cast<int>(after - times.begin()) - 1;
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
    const QString video = Video(GetParam());
    const auto asset = MediaAsset::Open(video);
    ASSERT_TRUE(asset->hasVideoTrack());
    const QSize size = asset->naturalSize().toSize();
    const ReferenceFrames reference = DecodeWithReference(video, size.width(), size.height());
    const std::vector<double>& times = reference.times;
    ASSERT_GT(times.size(), 20u);

    // Dense steps (finer than a frame), sparse steps, a repeat, jumps back, and times exactly
    // at and one tick before frames.
    const CMTime end = asset->duration();
    auto at = [&](double seconds) { return CMTimeMakeWithSeconds(seconds, end.timescale); };
    std::vector<CMTime> plan;
    for (double t = 0; t < 0.6; t += 0.02) plan.push_back(at(t));
    for (double t = 0.6; t < CMTimeGetSeconds(end); t += 0.37) plan.push_back(at(t));
    for (double part : {0.8, 0.8, 0.25, 0.9, 0.0, 0.5})
        plan.push_back(at(CMTimeGetSeconds(end) * part));
    for (size_t index : {size_t{1}, times.size() / 2, times.size() - 1}) {
        plan.push_back(at(times[index]));
        plan.push_back(CMTimeMake(at(times[index]).value - 1, end.timescale));
    }
    ImageGenerator generator(*asset);
    for (CMTime time : plan) ExpectShowsReferenceFrame(generator, reference, time);

    // The container's duration is at or after the end of the last frame; invalid, negative
    // and infinite times show nothing, and do not upset later requests.
    CMTime infinite = kCMTimeZero;
    infinite.flags |= kCMTimeFlags_PositiveInfinity;
    for (CMTime time : {end, CMTimeMake(end.value + end.timescale, end.timescale),
                        CMTimeMake(-1, end.timescale), kCMTimeInvalid, infinite})
        ExpectNoFrame(generator, time);
    ExpectShowsReferenceFrame(generator, reference, kCMTimeZero);
}

INSTANTIATE_TEST_SUITE_P(ImageGeneratorCodecs, ImageGeneratorFormats, testing::ValuesIn(kClips),
                         [](const testing::TestParamInfo<Clip>& info) { return info.param.label; });

// Open GOPs: the pictures shown just before a keyframe are decoded after it and refer to
// the GOP before; a seek that lands on that keyframe must not show them broken. And the last
// frame lasts its whole duration.
TEST(ImageGeneratorRequests, OpenGopKeyframesAndTheLastFrame) {
    const QString video = Video(kClips[9]);  // OpenGopH264
    const auto asset = MediaAsset::Open(video);
    const ReferenceFrames reference = DecodeWithReference(video, 160, 120);
    ImageGenerator generator(*asset);
    const int32_t scale = asset->duration().timescale;
    for (double t = 0.3; t < 2.3; t += 0.04) {
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(2.35, scale));
        ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(t, scale));
    }
    const CMTime lastFrameEnd =
        CMTimeMake(std::llround(reference.times.back() * scale) + scale / 25, scale);
    const CMTime lastTick = CMTimeMake(lastFrameEnd.value - 1, scale);
    ExpectShowsReferenceFrame(generator, reference, lastTick);
    ExpectNoFrame(generator, lastFrameEnd);
    ExpectShowsReferenceFrame(generator, reference, lastTick);
}

QImage Bars(const QString& file, const QString& args, QString* video = nullptr) {
    const QString bars =
        file.contains("-sd") ? "smptebars=size=640x480" : "smptehdbars=size=1280x720";
    const QString path = MakeVideo(
        file, Words("-f lavfi -i " + bars +
                    ":rate=25:duration=0.2 -c:v libx264 -preset veryfast -crf 1 " + args));
    if (video) *video = path;
    const auto asset = MediaAsset::Open(path);
    return ImageGenerator(*asset).copyCGImageAtTime(kCMTimeZero);
}

TEST(ImageGeneratorColour, FollowsTheTaggedMatrixAndRange) {
    const QString bt709 = " -colorspace bt709 -color_primaries bt709 -color_trc bt709";
    const std::pair<QString, QString> cases[] = {
        {"bars-709.mp4", "-pix_fmt yuv420p" + bt709},
        {"bars-full-range.mp4", "-pix_fmt yuvj420p -color_range pc" + bt709},
        {"bars-sd-untagged.mp4", "-pix_fmt yuv420p"}};
    for (const auto& [file, args] : cases) {
        SCOPED_TRACE(file.toStdString());
        QString video;
        const QImage image = Bars(file, args, &video);
        const ReferenceFrames reference = DecodeWithReference(video, image.width(), image.height());
        ASSERT_FALSE(reference.images.empty());
        EXPECT_LE(MaxDifferenceOnFlatAreas(image, reference.images.front()), 3);
    }
    // 10-bit SDR takes the reference's own exact conversion.
    QString tenBit;
    const QImage deep = Bars("bars-709-10bit.mp4", "-pix_fmt yuv420p10le" + bt709, &tenBit);
    const ReferenceFrames reference = DecodeWithReference(tenBit, deep.width(), deep.height());
    ASSERT_FALSE(reference.images.empty());
    EXPECT_EQ(CompareImages(deep, reference.images.front()).maxDifference, 0);
    // Untagged HD is read as BT.709 (the reference decoder would assume BT.601).
    const QImage untaggedHd = Bars("bars-hd-untagged.mp4", "-pix_fmt yuv420p");
    ASSERT_FALSE(untaggedHd.isNull());
    EXPECT_LE(CompareImages(untaggedHd, Bars(cases[0].first, cases[0].second)).maxDifference, 1);
}

TEST(ImageGeneratorWork, DecodingStaysBounded) {
    const int gop = 50;  // 2 s at 25 fps
    const auto asset = MediaAsset::Open(MakeVideo(
        "long-gop.mp4", Source("25", 20) + X264(gop) + Words("-keyint_min 50 -sc_threshold 0")));
    const int32_t scale = asset->duration().timescale;
    auto decodes = [scale](ImageGenerator& generator, double seconds) {
        const long long before = generator.decodedFrameCount();
        EXPECT_FALSE(generator.copyCGImageAtTime(CMTimeMakeWithSeconds(seconds, scale)).isNull())
            << "at " << seconds;
        return generator.decodedFrameCount() - before;
    };
    // The first picture, then the GOP from 16 s up to 17.9 s, plus the decoder's delay.
    ImageGenerator jumps(*asset);
    EXPECT_LT(decodes(jumps, 17.9), gop + 20);
    EXPECT_LT(decodes(jumps, 9.0), gop + 20) << "jump back";
    EXPECT_EQ(decodes(jumps, 9.0), 0) << "the same time again";

    ImageGenerator sparse(*asset);
    for (double t = 0; t < 20; t += 0.7) decodes(sparse, t);
    // Of the frames between the steps, the B-frames that nothing refers to are not decoded.
    // (500 frames, of which about 280 are references or shown.)
    EXPECT_LE(sparse.decodedFrameCount(), 320);
}

TEST(ImageGeneratorDamage, DamagedFilesGiveWhatIsLeft) {
    const QString clean =
        MakeVideo("h264-faststart.mp4", Source() + X264() + QStringList{"-movflags", "+faststart"});
    const ReferenceFrames reference = DecodeWithReference(clean, 160, 120);
    const QByteArray bytes = ReadTestFile(clean);
    QByteArray corrupt = bytes;
    QRandomGenerator noise(7);
    for (qsizetype at = bytes.size() * 45 / 100; at < bytes.size() * 55 / 100; ++at)
        corrupt[at] = static_cast<char>(noise.bounded(256));
    const QString folder = MakeTempDir("damaged");
    const auto corrupted = MediaAsset::Open(WriteTestFile(folder + "/corrupt.mp4", corrupt));
    ImageGenerator generator(*corrupted);
    int32_t scale = corrupted->duration().timescale;
    for (double t = 0; t < 2.4; t += 0.04)
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(t, scale));
    // The last GOP starts at 1.92 s, after the damage.
    for (double t : {2.0, 2.3, 1.95})
        ExpectShowsReferenceFrame(generator, reference, CMTimeMakeWithSeconds(t, scale));

    const auto truncated = MediaAsset::Open(
        WriteTestFile(folder + "/truncated.mp4", bytes.left(bytes.size() * 6 / 10)));
    ASSERT_TRUE(truncated->hasVideoTrack());
    ImageGenerator rest(*truncated);
    scale = truncated->duration().timescale;
    ExpectShowsReferenceFrame(rest, reference, CMTimeMakeWithSeconds(0.3, scale));
    ExpectNoFrame(rest, CMTimeMakeWithSeconds(2.3, scale));
    ExpectShowsReferenceFrame(rest, reference, CMTimeMakeWithSeconds(0.5, scale));
}

}  // namespace
