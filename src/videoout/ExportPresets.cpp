#include "videoout/ExportPresets.h"

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
