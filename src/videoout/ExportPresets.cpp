#include "videoout/ExportPresets.h"

#include <QHash>

namespace {

using Kind = ExportPreset::Kind;

const QStringList kMovieFileTypes{"mov", "mp4"};
const QStringList kQuickTimeOnly{"mov"};
const QStringList kAudioFileTypes{"ipod"};  // the M4A muxer

constexpr long long kLowAudioBitRate = 64000;
constexpr long long kAudioBitRate = 128000;
constexpr long long kHighAudioBitRate = 192000;

// A picture preset: H.264 (or HEVC) with AAC sound, fitting the box without enlarging.
ExportPreset Picture(const QString& name, const QString& encoder, const QString& crf, QSize box,
                     long long audioBitRate = kAudioBitRate) {
    return {name, Kind::Video, encoder, crf, box, "aac", audioBitRate, kMovieFileTypes};
}

QHash<QString, ExportPreset> PresetsByName() {
    const QString prefix = "AVAssetExportPreset";
    const QList<ExportPreset> presets{
        Picture(prefix + "LowQuality", "libx264", "30", QSize(224, 168), kLowAudioBitRate),
        Picture(prefix + "MediumQuality", "libx264", "26", QSize(480, 360)),
        Picture(prefix + "HighestQuality", "libx264", "18", QSize(), kHighAudioBitRate),
        Picture(prefix + "640x480", "libx264", "23", QSize(640, 480)),
        Picture(prefix + "960x540", "libx264", "23", QSize(960, 540)),
        Picture(prefix + "1280x720", "libx264", "23", QSize(1280, 720)),
        Picture(prefix + "1920x1080", "libx264", "23", QSize(1920, 1080)),
        Picture(prefix + "3840x2160", "libx264", "23", QSize(3840, 2160)),
        Picture(prefix + "HEVCHighestQuality", "libx265", "22", QSize(), kHighAudioBitRate),
        Picture(prefix + "HEVC1920x1080", "libx265", "26", QSize(1920, 1080)),
        {prefix + "AppleM4A", Kind::AudioOnly, {}, {}, {}, "aac", kAudioBitRate, kAudioFileTypes},
        {prefix + "Passthrough", Kind::Passthrough, {}, {}, {}, {}, 0, kMovieFileTypes},
        {prefix + "AppleProRes422LPCM",
         Kind::Video,
         "prores_ks",
         {},
         {},
         "pcm_s16le",
         0,
         kQuickTimeOnly},
    };
    QHash<QString, ExportPreset> byName;
    for (const ExportPreset& preset : presets) byName.insert(preset.name, preset);
    return byName;
}

}  // namespace

QStringList GetExportableFileTypes() {
    // The names are the ones the conversion settings are stored under; new presets go at the
    // end so that stored tags keep naming the same preset.
    return {
        "AVAssetExportPresetLowQuality",
        "AVAssetExportPresetMediumQuality",
        "AVAssetExportPresetHighestQuality",
        "AVAssetExportPreset640x480",
        "AVAssetExportPreset960x540",
        "AVAssetExportPreset1280x720",
        "AVAssetExportPreset1920x1080",
        "AVAssetExportPreset3840x2160",
        "AVAssetExportPresetHEVCHighestQuality",
        "AVAssetExportPresetHEVC1920x1080",
        "AVAssetExportPresetAppleM4A",
        "AVAssetExportPresetPassthrough",
        "AVAssetExportPresetAppleProRes422LPCM",
    };
}

QString PresetPopupTitle(const QString& presetName) {
    QString title = presetName;
    title.remove("AVAssetExportPreset");
    title.replace("Apple", "Apple ");
    return title;
}

std::optional<ExportPreset> FindExportPreset(const QString& presetName) {
    static const QHash<QString, ExportPreset> presets = PresetsByName();
    const auto found = presets.find(presetName);
    if (found == presets.end()) return std::nullopt;
    return *found;
}
