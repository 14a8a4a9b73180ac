#include "app/core/ConversionCommand.h"

#include "app/core/MessagePresenter.h"
#include "media/VideoFileProcessor.h"
#include "platform/DiagnosticLog.h"
#include "platform/MediaAsset.h"
#include "videoout/ExportPresets.h"

namespace {

constexpr const char* kAbortedTitle = "Video Conversion Aborted";
constexpr const char* kFailedTitle = "Video Conversion Failed";
constexpr const char* kCancelledTitle = "Video Conversion Cancelled";

QString RefusalText(const QString& preset, const QString& problem) {
    return "The Preset " + PresetPopupTitle(preset) + " cannot Convert this Video.\n\n" + problem;
}

ConversionOutcome::Status Report(const VideoFileProcessor& processor, const QString& preset,
                                 const QString& output, MessagePresenter& messages) {
    using Status = ConversionOutcome::Status;
    const QString title = PresetPopupTitle(preset);
    switch (processor.GetConversionStatus()) {
        case Exporter::Completed:
            return Status::Converted;
        case Exporter::Cancelled:
            messages.DisplayMessageBox(kCancelledTitle, "The Conversion to " + title +
                                                            " was Cancelled.\n\n" + output +
                                                            " was not Written.");
            return Status::Cancelled;
        case Exporter::Failed:
            messages.DisplayMessageBox(kFailedTitle, "The Video could not be Converted to " +
                                                         title + ".\n\n" +
                                                         processor.GetConversionProblem());
            return Status::Failed;
        default:
            messages.DisplayMessageBox(kAbortedTitle,
                                       RefusalText(preset, processor.GetConversionProblem()));
            return Status::Refused;
    }
}

}  // namespace

ConversionOutcome RunConversionCommand(const ConversionRequest& request,
                                       MessagePresenter& messages) {
    ConversionOutcome outcome;
    // Refused before a folder is made for its output.
    const QString problem = MediaAsset::NotRegularFileProblem(request.videoPath);
    if (!problem.isEmpty()) {
        messages.DisplayMessageBox(kAbortedTitle, RefusalText(request.presetName, problem));
        outcome.status = ConversionOutcome::Status::Refused;
        return outcome;
    }
    VideoFileProcessor processor;
    processor.SetConversionProgressHandler(request.progress);
    processor.SetFolderOpener(request.openFolder);
    LogLine("Video Conversion Started");
    outcome.outputPath =
        processor.ExportVideo(request.videoPath, request.presetName, request.popupTitle);
    outcome.status = Report(processor, request.presetName, outcome.outputPath, messages);
    return outcome;
}

QString PresetNameForTag(long long tag) {
    const QStringList presets = GetExportableFileTypes();
    return tag >= 0 && tag < presets.size() ? presets[tag] : QString();
}

QString ConversionPercentageText(float progress) {
    return QString::asprintf("%3.2f %%", static_cast<double>(progress) * 100);
}
