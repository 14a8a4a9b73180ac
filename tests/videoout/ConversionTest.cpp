// The conversion by export preset without the window: every preset on the bundled sample, the
// output's name, streams and comments, and the conversions that are refused, fail or are
// cancelled.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QtEndian>

#include "app/core/ConversionCommand.h"
#include "media/VideoFileProcessor.h"
#include "platform/MovieTextAtoms.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"
#include "videoout/ExportPresets.h"

namespace {

// What ffprobe reads from a file: codec and size by stream kind, and the container's tags.
struct Probe {
    QString videoCodec, audioCodec;
    QSize size;
    QJsonObject tags;
};

Probe ProbeFile(const QString& path) {
    QByteArray out;
    EXPECT_EQ(
        RunProgram("ffprobe",
                   {"-v", "error", "-show_entries",
                    "stream=codec_type,codec_name,width,height:format_tags", "-of", "json", path},
                   &out),
        0);
    const QJsonObject json = QJsonDocument::fromJson(out).object();
    Probe probe;
    for (const QJsonValue& value : json["streams"].toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream["codec_type"] == "video") {
            probe.videoCodec = stream["codec_name"].toString();
            probe.size = QSize(stream["width"].toInt(), stream["height"].toInt());
        } else if (stream["codec_type"] == "audio") {
            probe.audioCodec = stream["codec_name"].toString();
        }
    }
    probe.tags = json["format"].toObject()["tags"].toObject();
    return probe;
}

// ---- The boxes of a written movie ----

using Box = std::pair<QByteArray, QByteArray>;  // type, payload

// The boxes one after the other in `data`, each with its payload: after the header, and for
// "meta" (a full box) after its version and flags too.
QList<Box> Boxes(const QByteArray& data) {
    QList<Box> boxes;
    for (qsizetype at = 0; at + 8 <= data.size();) {
        qint64 size = qFromBigEndian<quint32>(data.constData() + at);
        qsizetype header = 8;
        if (size == 1 && at + 16 <= data.size()) {
            size = qFromBigEndian<qint64>(data.constData() + at + 8);
            header = 16;
        }
        if (size < header || size > data.size() - at) break;
        const QByteArray type = data.mid(at + 4, 4);
        if (type == "meta") header += 4;
        boxes.append({type, data.mid(at + header, size - header)});
        at += size;
    }
    return boxes;
}

// The payloads of the boxes of `type` in `data`.
QList<QByteArray> All(const QByteArray& data, const QByteArray& type) {
    QList<QByteArray> payloads;
    for (const auto& [boxType, payload] : Boxes(data))
        if (boxType == type) payloads.append(payload);
    return payloads;
}

// The text of an item of an "ilst": its "data" box holds a type, a locale and the text.
QString ItemText(const QByteArray& item) {
    return QString::fromUtf8(All(item, "data").value(0).mid(8));
}

// The QuickTime metadata keys of a "keys" box, from index 1.
QList<QByteArray> MetadataKeys(const QByteArray& keys) {
    QList<QByteArray> names{{}};
    for (const auto& [keySpace, name] : Boxes(keys.mid(8))) names.append(name);
    return names;
}

// Where a written movie holds comments: QuickTime user data ("©cmt" in the movie's "udta"),
// QuickTime metadata (the key "com.apple.quicktime.comment" of an "mdta" "meta"), and iTunes
// metadata ("©cmt" in the "ilst" of an "mdir" "meta").
struct StoredComments {
    QStringList userData, quickTime, iTunes;
};
const QByteArray kCommentType = "\251cmt";  // octal: "\xA9c" would be one hex escape

void ReadMetadataBox(const QByteArray& meta, StoredComments& found) {
    const QByteArray handler = All(meta, "hdlr").value(0).mid(8, 4);
    const QByteArray items = All(meta, "ilst").value(0);
    if (handler == "mdir")
        for (const QByteArray& item : All(items, kCommentType)) found.iTunes << ItemText(item);
    if (handler != "mdta") return;
    const QList<QByteArray> keys = MetadataKeys(All(meta, "keys").value(0));
    for (const auto& [index, item] : Boxes(items))
        if (keys.value(qFromBigEndian<quint32>(index.constData())) == "com.apple.quicktime.comment")
            found.quickTime << ItemText(item);
}

// In the boxes of a whole file.
StoredComments CommentsIn(const QByteArray& file) {
    StoredComments found;
    for (const QByteArray& moov : All(file, "moov")) {
        for (const QByteArray& udta : All(moov, "udta")) {
            for (const QByteArray& text : All(udta, kCommentType))  // length, language, text
                if (text.size() >= 4)
                    found.userData << QString::fromUtf8(
                        text.mid(4, qFromBigEndian<quint16>(text.constData())));
            for (const QByteArray& meta : All(udta, "meta")) ReadMetadataBox(meta, found);
        }
    }
    return found;
}

QString CommentPrefix(const char* label, const QString& preset) {
    return QString("%1: Exported to preset %2 using avexporter at: ").arg(label, preset);
}

class ConversionTest : public ::testing::Test {
  protected:
    QString Convert(const QString& video, const QString& preset) {
        return processor.ExportVideo(video, preset, PresetPopupTitle(preset));
    }
    VideoFileProcessor processor;
};

struct PresetCase {
    const char* preset;
    const char* videoCodec;  // "" for no picture
    QSize size;
    const char* audioCodec;
};

class EveryPresetTest : public ConversionTest, public ::testing::WithParamInterface<PresetCase> {};

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
    const QString output = Convert(SampleVideo(), c.preset);
    ASSERT_EQ(processor.GetConversionStatus(), Exporter::Completed)
        << processor.GetConversionProblem().toStdString();
    const QString folder = QFileInfo(output).path();
    EXPECT_EQ(QFileInfo(output).fileName(), PresetPopupTitle(c.preset) + " sample.mov");
    EXPECT_EQ(Recorded().openedURLs, QStringList{folder});
    EXPECT_TRUE(folder.startsWith(TestHome() + "/Videos/Stillpress Files/sample "));

    const Probe probe = ProbeFile(output);
    EXPECT_EQ(probe.videoCodec, c.videoCodec);
    EXPECT_EQ(probe.size, c.size);
    EXPECT_EQ(probe.audioCodec, c.audioCodec);
    const StoredComments comments = CommentsIn(ReadTestFile(output));
    for (const auto& [texts, label] : {std::pair{comments.userData, "QuickTime userdata"},
                                       {comments.quickTime, "QuickTime metadata"},
                                       {comments.iTunes, "iTunes metadata"}}) {
        ASSERT_EQ(texts.size(), 1) << label;
        EXPECT_TRUE(texts[0].startsWith(CommentPrefix(label, c.preset))) << texts[0].toStdString();
    }
    // FFmpeg reads the grown movie box: its "comment" is one of the two "©cmt" texts.
    EXPECT_TRUE(probe.tags["comment"] == comments.userData.value(0) ||
                probe.tags["comment"] == comments.iTunes.value(0));
    EXPECT_EQ(probe.tags["com.apple.quicktime.comment"], comments.quickTime.value(0));
}

INSTANTIATE_TEST_SUITE_P(
    Presets, EveryPresetTest, ::testing::ValuesIn(kPresetCases), [](const auto& info) {
        return QString(info.param.preset).remove("AVAssetExportPreset").toStdString();
    });

QByteArray BoxOf(const char* type, const QByteArray& payload) {
    QByteArray box(4, '\0');
    qToBigEndian(static_cast<quint32>(8 + payload.size()), box.data());
    return box + QByteArray(type, 4) + payload;
}

// The movie box grows by the atoms at the end of its user data (a new user data box when it
// has none) and keeps every other byte: the boxes around, and a zero word ending the list.
TEST(ConversionMetadataTest, TheMovieBoxGrowsByTheAtomsAndKeepsItsOtherBytes) {
    const MovieTextAtoms atoms{{{kCommentType, "user"}}, {{kCommentType, "tunes"}}};
    const QByteArray header = BoxOf("mvhd", "h"), track = BoxOf("trak", "t");
    const QByteArray grown = WithTextAtoms(BoxOf("moov", header), atoms);
    const StoredComments found = CommentsIn(grown);
    EXPECT_EQ(found.userData, QStringList{"user"});
    EXPECT_EQ(found.iTunes, QStringList{"tunes"});
    const QByteArray added = All(All(grown, "moov").value(0), "udta").value(0);
    EXPECT_EQ(grown, BoxOf("moov", header + BoxOf("udta", added)));

    const QByteArray title = BoxOf("\251nam", "x"), endOfList(4, '\0');
    EXPECT_EQ(
        WithTextAtoms(BoxOf("moov", header + BoxOf("udta", title + endOfList) + track), atoms),
        BoxOf("moov", header + BoxOf("udta", title + added + endOfList) + track));
}

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

TEST_F(ConversionTest, RefusalsSayWhyWriteNothingAndStillOpenTheFolder) {
    const std::tuple<QString, const char*, const char*> cases[] = {
        {SilentVideo(), "AVAssetExportPresetAppleM4A", "no sound"},
        {SoundOnly(), "AVAssetExportPresetHighestQuality", "no picture"},
        {SampleVideo(), "AVAssetExportPresetNoSuchThing", "no exporter"},
    };
    for (const auto& [video, preset, reason] : cases) {
        RecordedMessages messages;
        Recorded().openedURLs.clear();
        const ConversionOutcome outcome =
            RunConversionCommand({video, preset, "Title", {}, {}}, messages);
        EXPECT_EQ(outcome.status, ConversionOutcome::Status::Refused);
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_TRUE(messages.shown[0].startsWith("Video Conversion Aborted: "));
        EXPECT_TRUE(messages.shown[0].contains(reason)) << messages.shown[0].toStdString();
        const QString folder = QFileInfo(outcome.outputPath).path();
        EXPECT_TRUE(QDir(folder).isEmpty());
        EXPECT_EQ(Recorded().openedURLs, QStringList{folder});
    }
}

// A progress handler answering false cancels, and no file is left. (A failing conversion is
// checked by the command line's and the window's tests, and with a full disk.)
TEST_F(ConversionTest, CancelledConversionSaysSoAndLeavesNoFile) {
    RecordedMessages messages;
    const ConversionOutcome outcome = RunConversionCommand({SampleVideo(),
                                                            "AVAssetExportPresetHighestQuality",
                                                            "HighestQuality",
                                                            [](float) { return false; },
                                                            {}},
                                                           messages);
    EXPECT_EQ(outcome.status, ConversionOutcome::Status::Cancelled);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith("Video Conversion Cancelled: "));
    EXPECT_TRUE(QDir(QFileInfo(outcome.outputPath).path()).isEmpty());
}

TEST_F(ConversionTest, DestroyingARunningExporterCancelsItAndRemovesItsFile) {
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
