#include "app/core/ExportImagesCommand.h"

#include <cmath>

#include "app/core/MessagePresenter.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"

namespace {

using Status = ExportImagesOutcome::Status;

void ReportOutcome(const ExportImagesOutcome& outcome, MessagePresenter& messages) {
    const long long written = outcome.files ? outcome.files->size() : 0;
    if (outcome.status == Status::Cancelled) {
        messages.DisplayMessageBox(
            "Export Images Cancelled",
            QString("The Export was Cancelled after %1 Frame(s).\n\nThe Image Files Exported so "
                    "far are in the Folder Given Below.\n\n%2")
                .arg(written)
                .arg(outcome.folder));
    } else if (outcome.status == Status::NothingWritten) {
        // The folder was shown when the run began; it stays, and the message says where.
        messages.DisplayMessageBox(
            "No Image Files Were Exported",
            "None of the Frames in the Selected Range could be Read from the Selected Video "
            "File.\n\nMake sure you can Play / View Thumbnail of the selected Video File and then "
            "try Again.\n\nThe Empty Folder Given Below was Left in Place.\n\n" +
                outcome.folder);
    } else if (outcome.status == Status::CompletedWithFailures) {
        messages.DisplayMessageBox(
            "Some Image Files Could Not Be Written",
            QString("%1 Image File(s) could not be written to the Folder Given Below.\n\n%2\n\n"
                    "Reason : %3")
                .arg(outcome.failedFrames)
                .arg(outcome.folder, outcome.firstError));
    } else {
        messages.DisplayMessageBox(
            "Process To Extract Image Files from Selected Video File has Completed",
            QString("Please Check Given Below Folder.\n\n%1\n\nDo Check Image(s) Exported "
                    "Carefully prior to using them for any suitable purpose.\n\nDo Check Image "
                    "File Dimensions as well.")
                .arg(outcome.folder));
    }
}

// A run that wrote nothing failed, unless its range held no step to write.
Status RunStatus(const VideoFileProcessor& processor, const QStringList& written) {
    if (processor.WasCancelled()) return Status::Cancelled;
    if (processor.GetFailedFrameCount() > 0) return Status::CompletedWithFailures;
    if (written.isEmpty() && !processor.RangeHadNoSteps()) return Status::NothingWritten;
    return Status::Completed;
}

}  // namespace

bool CheckRangeAgainstDuration(double typedFrom, double typedTo, double duration,
                               MessagePresenter& messages, bool refuseUnreadableDuration,
                               const QString& problem) {
    if (refuseUnreadableDuration && !(duration > 0)) {
        messages.DisplayMessageBox(ExportImagesMessages::kCouldNotReadDurationTitle,
                                   ExportImagesMessages::CouldNotReadDurationText(problem));
        return false;
    }
    const QString advice =
        " is greater than Video Duration.\n\nPlease Enter Correct Value or Select the Video File "
        "Again to Load Default Values.";
    if (typedTo > duration) {
        messages.DisplayMessageBox("Invalid Export To", "The Export To Value" + advice);
        return false;
    }
    if (typedFrom > duration) {
        messages.DisplayMessageBox("Invalid Export From", "The Export From Value" + advice);
        return false;
    }
    return true;
}

QString ExportImagesMessages::CouldNotReadDurationText(const QString& problem) {
    return "Stillpress Could not read Video Information from Selected Video File.\n\nMake sure "
           "you can Play / View Thumbnail of the selected Video File and then try Again." +
           (problem.isEmpty() ? QString() : "\n\n" + problem);
}

bool DoesVideoFileExists(const QString& path, MessagePresenter& messages) {
    if (path.isEmpty()) {
        messages.DisplayMessageBox("Select a Video File",
                                   "Please Use the [Select Video File] Button to Select a Video "
                                   "File and then try Again.");
        return false;
    }
    if (!FileExistsAtPath(path)) {
        messages.DisplayMessageBox(
            "File Not Found",
            "Please Make Sure that a Video File has been Selected and then Try Again.\n\nYou can "
            "Use the [Select Video File] Button to Select a Video File.");
        return false;
    }
    return true;
}

ExportImagesOutcome RunExportImagesCommand(const ExportImagesRequest& request,
                                           MessagePresenter& messages) {
    ExportImagesOutcome outcome;
    if (!DoesVideoFileExists(request.videoPath, messages)) return outcome;
    VideoFileProcessor processor;
    processor.OpenVideoFile(request.videoPath);
    if (!CheckRangeAgainstDuration(request.typedFrom, request.typedTo,
                                   processor.GetVideoDurationInSeconds(), messages,
                                   request.refuseUnreadableDuration, processor.GetVideoProblem()))
        return outcome;
    processor.SetProgressHandler(request.progress);
    outcome.folder = processor.DoExportAllImages(outcome.files);
    outcome.failedFrames = processor.GetFailedFrameCount();
    outcome.firstError = processor.GetFirstWriteError();
    outcome.failedFiles = processor.GetFailedFramePaths();
    outcome.status = RunStatus(processor, *outcome.files);
    if (outcome.status != Status::NothingWritten)
        AppSettings().SetStringValue(outcome.folder, SettingKey::LastFolder);
    ReportOutcome(outcome, messages);
    return outcome;
}
