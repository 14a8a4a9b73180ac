// The conversion by export preset without the window: every preset on the bundled sample, the
// output's name, streams and comments, and the conversions that are refused or cancelled.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "app/core/ConversionCommand.h"
#include "media/VideoFileProcessor.h"
#include "support/Fixtures.h"
#include "videoout/ExportPresets.h"

namespace {

struct Probe {
    QJsonObject tags;
    QString videoCodec, audioCodec;
    QSize size;
    double videoSeconds = 0;
};

Probe ProbeFile(const QString& path) {
    QByteArray out;
    EXPECT_EQ(RunProgram("ffprobe",
                         {"-v", "error", "-show_entries",
                          "stream=codec_type,codec_name,width,height,duration:format_tags", "-of",
                          "json", path},
                         &out),
              0);
    const QJsonObject json = QJsonDocument::fromJson(out).object();
    Probe probe;
    probe.tags = json["format"]["tags"].toObject();
    for (const QJsonValue& value : json["streams"].toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream["codec_type"] == "audio") probe.audioCodec = stream["codec_name"].toString();
        if (stream["codec_type"] != "video") continue;
        probe.videoCodec = stream["codec_name"].toString();
        probe.size = QSize(stream["width"].toInt(), stream["height"].toInt());
        probe.videoSeconds = stream["duration"].toString().toDouble();
    }
    return probe;
}

QString CommentPrefix(const char* label, const QString& preset) {
    return QString("%1: Exported to preset %2 using avexporter at: ").arg(label, preset);
}

struct PresetCase {
    const char* preset;
    const char* videoCodec;  // "" for no picture
    QSize size;
    const char* audioCodec;
};

class EveryPresetTest : public ::testing::TestWithParam<PresetCase> {};

// Sizes: only LowQuality's box is smaller than the sample; no preset enlarges it.
const PresetCase kPresetCases[] = {
    {"AVAssetExportPresetLowQuality", "h264", {224, 168}, "aac"},
    {"AVAssetExportPresetHighestQuality", "h264", {320, 240}, "aac"},
    {"AVAssetExportPreset640x480", "h264", {320, 240}, "aac"},
    {"AVAssetExportPreset3840x2160", "h264", {320, 240}, "aac"},
    {"AVAssetExportPresetHEVCHighestQuality", "hevc", {320, 240}, "aac"},
    {"AVAssetExportPresetAppleM4A", "", {}, "aac"},
    {"AVAssetExportPresetPassthrough", "h264", {320, 240}, "aac"},
    {"AVAssetExportPresetAppleProRes422LPCM", "prores", {320, 240}, "pcm_s16le"},
};

TEST_P(EveryPresetTest, ConvertsTheSampleWithItsCodecsSizeAndComments) {
    const PresetCase& c = GetParam();
    VideoFileProcessor processor;
    const QString output =
        processor.ExportVideo(SampleVideo(), c.preset, PresetPopupTitle(c.preset));
    ASSERT_EQ(processor.GetConversionStatus(), Exporter::Completed)
        << processor.GetConversionProblem().toStdString();
    const QString folder = QFileInfo(output).path();
    EXPECT_TRUE(folder.startsWith(TestHome() + "/Videos/Stillpress Files/sample "));

    const Probe probe = ProbeFile(output);
    EXPECT_EQ(probe.videoCodec, c.videoCodec);
    EXPECT_EQ(probe.size, c.size);
    EXPECT_EQ(probe.audioCodec, c.audioCodec);
    // The last picture lasts as long as the others: the track is as long as the sample's.
    EXPECT_NEAR(probe.videoSeconds, *c.videoCodec ? 8.0 : 0, 0.1 / 30);
    // FFmpeg reads the grown movie box: "comment" is one of the two "©cmt" texts.
    const QString comment = probe.tags["comment"].toString();
    EXPECT_TRUE(comment.startsWith(CommentPrefix("QuickTime userdata", c.preset)) ||
                comment.startsWith(CommentPrefix("iTunes metadata", c.preset)))
        << comment.toStdString();
    EXPECT_TRUE(probe.tags["com.apple.quicktime.comment"].toString().startsWith(
        CommentPrefix("QuickTime metadata", c.preset)));
}

INSTANTIATE_TEST_SUITE_P(
    Presets, EveryPresetTest, ::testing::ValuesIn(kPresetCases), [](const auto& info) {
        return QString(info.param.preset).remove("AVAssetExportPreset").toStdString();
    });

// ICU's medium date and short time of the locale, in the zone of the time given.
TEST(ConversionMetadataTest, CommentTimesAreTheLocalesMediumDateAndShortTime) {
    const QDateTime when(QDate(2026, 12, 7), QTime(18, 59), QTimeZone("Europe/Berlin"));
    const std::pair<const char*, const char*> cases[] = {
        {"en_US", "Dec 7, 2026, 6:59 PM"},
        {"de_DE", "07.12.2026, 18:59"},
        {"en_GB", "7 Dec 2026, 18:59"},
    };
    for (const auto& [locale, text] : cases) {
        QString made = ConversionCommentTime(when, QLocale(locale));
        made.replace(QChar(0x202F), ' ');  // ICU 72 on: a narrow no-break space before "PM"
        EXPECT_EQ(made, QString(text)) << locale;
    }
}

// A progress handler answering false cancels. (A failing conversion is checked by the command
// line's and the window's tests, and with a full disk.)
TEST(ConversionTest, RefusedOrCancelledConversionsSaySoWriteNothingAndStillOpenTheFolder) {
    using Status = ConversionOutcome::Status;
    const QString highest = "AVAssetExportPresetHighestQuality", aborted = "Aborted: ";
    const std::tuple<QString, QString, Status, QString, const char*> cases[] = {
        {SilentVideo(), "AVAssetExportPresetAppleM4A", Status::Refused, aborted, "no sound"},
        {SoundOnly(), highest, Status::Refused, aborted, "no picture"},
        {SampleVideo(), "AVAssetExportPresetNoSuchThing", Status::Refused, aborted, "no exporter"},
        {SampleVideo(), highest, Status::Cancelled, "Cancelled: ", "was not Written"},
    };
    for (const auto& [video, preset, status, title, reason] : cases) {
        RecordedMessages messages;
        Recorded().openedURLs.clear();
        const ConversionOutcome outcome = RunConversionCommand(
            {video, preset, "Title", [](float) { return false; }, {}}, messages);
        EXPECT_EQ(outcome.status, status);
        const QString folder = QFileInfo(outcome.outputPath).path();
        EXPECT_TRUE(QDir(folder).isEmpty());
        EXPECT_EQ(Recorded().openedURLs, QStringList{folder});
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_TRUE(messages.shown[0].startsWith("Video Conversion " + title));
        EXPECT_TRUE(messages.shown[0].contains(reason)) << messages.shown[0].toStdString();
    }
}

TEST(ConversionTest, DestroyingARunningExporterCancelsItAndRemovesItsFile) {
    const QString output = MakeTempDir("abandoned") + "/out.mov";
    {
        QString reason;
        auto exporter = Exporter::Create(
            SampleVideo(), *FindExportPreset("AVAssetExportPresetHEVCHighestQuality"), &reason);
        ASSERT_TRUE(exporter) << reason.toStdString();
        exporter->setOutputPath(output);
        exporter->setOutputFileType("mov");
        exporter->exportAsynchronously({});
    }
    EXPECT_FALSE(QFileInfo::exists(output));
}

}  // namespace
