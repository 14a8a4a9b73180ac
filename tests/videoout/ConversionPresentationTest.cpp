// What a converted movie keeps of its source so that a player shows it as the source: the
// rotation, the pixel aspect, the colours (tags and pixel values), HDR or its SDR rendering.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <future>

#include "platform/Exporter.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/Fixtures.h"
#include "videoout/ExportPresets.h"

namespace {

constexpr const char* kHighest = "AVAssetExportPresetHighestQuality";
constexpr const char* kLow = "AVAssetExportPresetLowQuality";
constexpr const char* kHevc = "AVAssetExportPresetHEVCHighestQuality";
constexpr const char* kProRes = "AVAssetExportPresetAppleProRes422LPCM";
constexpr const char* kPassthrough = "AVAssetExportPresetPassthrough";

QString Convert(const QString& source, const char* preset, const QString& fileType = "mov") {
    QString reason;
    auto exporter = Exporter::Create(source, *FindExportPreset(preset), &reason);
    EXPECT_TRUE(exporter) << reason.toStdString();
    if (!exporter) return {};
    const QString output = MakeTempDir("present") + "/out." + fileType;
    exporter->setOutputPath(output);
    exporter->setOutputFileType(fileType);
    std::promise<void> finished;
    exporter->exportAsynchronously([&finished] { finished.set_value(); });
    finished.get_future().wait();
    EXPECT_EQ(exporter->status(), Exporter::Completed) << exporter->error().toStdString();
    return output;
}

// Sources: 1 s of 25 small pictures without sound (only the video track is checked), coded
// as their line here says; or the rotated fixture, or the HEVC conversion of the PQ one.
QString Source(const QString& name) {
    const QString x264 = "-c:v libx264 -pix_fmt ",
                  bt709 = " -colorspace bt709 -color_primaries bt709 -color_trc bt709";
    const QMap<QString, QString> codings = {
        {"anamorphic", "-vf setsar=32/27 " + x264 +
                           "yuv420p -colorspace smpte170m -color_primaries smpte170m -color_trc "
                           "smpte170m"},
        {"bt709", x264 + "yuv420p" + bt709},
        {"full-range", x264 + "yuvj420p -color_range pc" + bt709},
        {"full-range-10", x264 + "yuv420p10le -color_range pc" + bt709},
        {"pq",
         "-c:v libx265 -pix_fmt yuv420p10le -x265-params log-level=error:max-cll=1000,400:"
         "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,"
         "50) -colorspace bt2020nc -color_primaries bt2020 -color_trc smpte2084"},
    };
    if (name == "rotated") return RotatedVideo(90);
    if (name == "pq-hevc") return Convert(Source("pq"), kHevc);
    const QString size = name == "anamorphic" ? "720x480" : "320x240";
    return MakeVideo(
        "present-" + name + ".mp4",
        ("-f lavfi -i testsrc2=size=" + size + ":rate=25:duration=1 " + codings[name]).split(' '));
}

QJsonObject ProbeJson(const QStringList& args) {
    QByteArray out;
    EXPECT_EQ(RunProgram("ffprobe", QStringList{"-v", "error", "-of", "json"} << args, &out), 0);
    return QJsonDocument::fromJson(out).object();
}

QJsonObject VideoStream(const QString& path) {
    const QJsonObject json =
        ProbeJson({"-select_streams", "v:0", "-show_entries",
                   "stream=pix_fmt,width,height,sample_aspect_ratio,color_range,color_space,color_"
                   "transfer,color_primaries:stream_side_data",
                   path});
    return json["streams"].toArray().first().toObject();
}

// The first picture's side data as its decoder finds it in the stream alone: the video is
// copied out of its container first, so only what the bitstream holds is seen.
QJsonArray BitstreamSideData(const QString& path) {
    const QString raw = path + ".hevc";
    EXPECT_EQ(RunProgram("ffmpeg", {"-v", "error", "-y", "-i", path, "-map", "0:v:0", "-c", "copy",
                                    "-f", "hevc", raw}),
              0);
    const QJsonObject json = ProbeJson({"-select_streams", "v:0", "-read_intervals", "%+#1",
                                        "-show_entries", "frame_side_data", raw});
    return json["frames"].toArray().first().toObject()["side_data_list"].toArray();
}

QJsonObject SideData(const QJsonArray& list, const QString& type) {
    for (const QJsonValue& entry : list)
        if (entry.toObject()["side_data_type"] == type) return entry.toObject();
    return {};
}

const QString kMastering = "Mastering display metadata";
const QString kContentLight = "Content light level metadata";

struct PresentationCase {
    const char* source;
    const char* preset;
    const char* pixelFormat;
    QSize size;
    const char* aspect;  // sample_aspect_ratio
    int rotation;
    const char* colours;  // primaries/transfer/matrix, each "" for none
    bool hdrLight;        // mastering display and content light level in the container
};

class PresentationTest : public ::testing::TestWithParam<PresentationCase> {};

// An untagged source is tagged with the matrix players assume for its size (BT.601 here); HDR
// becomes SDR BT.709 in H.264 and stays HDR in HEVC and ProRes, and in a copy of HEVC.
const char* const kSd = "smpte170m/smpte170m/smpte170m";
const char* const kPqTags = "bt2020/smpte2084/bt2020nc";
const PresentationCase kPresentationCases[] = {
    {"rotated", kHighest, "yuv420p", {320, 240}, "1:1", 90, "//smpte170m", false},
    {"rotated", kPassthrough, "yuv420p", {320, 240}, "1:1", 90, "//", false},
    {"anamorphic", kHighest, "yuv420p", {720, 480}, "32:27", 0, kSd, false},
    {"anamorphic", kLow, "yuv420p", {224, 148}, "32:27", 0, kSd, false},
    {"pq", kHighest, "yuv420p", {320, 240}, "1:1", 0, "bt709/bt709/bt709", false},
    {"pq", kHevc, "yuv420p10le", {320, 240}, "1:1", 0, kPqTags, true},
    {"pq", kProRes, "yuv422p10le", {320, 240}, "1:1", 0, kPqTags, true},
    {"pq-hevc", kPassthrough, "yuv420p10le", {320, 240}, "1:1", 0, kPqTags, true},
};

TEST_P(PresentationTest, KeepsRotationAspectColoursAndLight) {
    const PresentationCase& c = GetParam();
    const QJsonObject stream = VideoStream(Convert(Source(c.source), c.preset));
    EXPECT_EQ(stream["pix_fmt"].toString(), c.pixelFormat);
    EXPECT_EQ(QSize(stream["width"].toInt(), stream["height"].toInt()), c.size);
    EXPECT_EQ(stream["sample_aspect_ratio"].toString(), c.aspect);
    const QStringList tags{stream["color_primaries"].toString(),
                           stream["color_transfer"].toString(), stream["color_space"].toString()};
    EXPECT_EQ(tags.join('/'), c.colours);
    EXPECT_TRUE(tags[0].isEmpty() || stream["color_range"] == "tv");
    const QJsonArray sideData = stream["side_data_list"].toArray();
    EXPECT_EQ(SideData(sideData, "Display Matrix")["rotation"].toInt(), c.rotation);
    EXPECT_EQ(!SideData(sideData, kMastering).isEmpty(), c.hdrLight);
    EXPECT_EQ(!SideData(sideData, kContentLight).isEmpty(), c.hdrLight);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PresentationTest, ::testing::ValuesIn(kPresentationCases), [](const auto& info) {
        return QString(info.param.source).remove('-').toStdString() + "_" +
               QString(info.param.preset).remove("AVAssetExportPreset").toStdString();
    });

// HEVC keeps the source's light metadata in its own SEI messages too (players that read the
// stream rather than the container), in the source's values.
TEST(HdrLightTest, HevcCarriesTheSourcesLightInTheBitstream) {
    const QJsonArray sideData = BitstreamSideData(Convert(Source("pq"), kHevc));
    const QJsonObject mastering = SideData(sideData, kMastering);
    const std::pair<const char*, const char*> values[] = {{"red_x", "34000/50000"},
                                                          {"green_y", "34500/50000"},
                                                          {"white_point_x", "15635/50000"},
                                                          {"max_luminance", "10000000/10000"}};
    for (const auto& [key, value] : values) EXPECT_EQ(mastering[key].toString(), value) << key;
    const QJsonObject light = SideData(sideData, kContentLight);
    EXPECT_EQ(light["max_content"].toInt(), 1000);
    EXPECT_EQ(light["max_average"].toInt(), 400);
}

// The first picture as this program shows it: HDR mapped to SDR BT.709.
QImage ShownFirstPicture(const QString& video) {
    return ImageGenerator(*MediaAsset::Open(video)).copyCGImageAtTime(kCMTimeZero);
}

QImage DecodedFirstPicture(const QString& video) {
    const QJsonObject stream = VideoStream(video);
    const ReferenceFrames frames =
        DecodeWithReference(video, stream["width"].toInt(), stream["height"].toInt());
    return frames.images.empty() ? QImage() : frames.images.front();
}

// The pixels match the tags: the H.264 movie, decoded as its tags say, shows the source's
// colours (a wrong matrix or range is several levels off), or for HDR the source's SDR
// rendering.
TEST(ConvertedColoursTest, DecodeToTheSourcesColours) {
    // Full range in 10 bits takes another way through libswscale than in 8. The SDR rendering
    // of HDR is a new picture: its 4:2:0 chroma differs at sharp edges.
    for (const char* name : {"bt709", "full-range", "full-range-10", "anamorphic", "pq"}) {
        const QString video = Source(name);
        const bool hdr = video.endsWith("pq.mp4");  // compared with its SDR rendering
        const QImage source = hdr ? ShownFirstPicture(video) : DecodedFirstPicture(video);
        const QImage converted = DecodedFirstPicture(Convert(video, kHighest));
        ASSERT_FALSE(source.isNull());
        EXPECT_LT(CompareImages(converted, source).meanDifference, hdr ? 2.5 : 1.5) << name;
    }
}

}  // namespace
