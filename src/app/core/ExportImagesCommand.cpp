#include "app/core/ExportImagesCommand.h"

#include <QDir>
#include <cmath>

#include "app/core/MessagePresenter.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"

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
        messages.DisplayMessageBox(
            "No Image Files Were Exported",
            "None of the Frames in the Selected Range could be Read from the Selected Video "
            "File.\n\nMake sure you can Play / View Thumbnail of the selected Video File and then "
            "try Again.");
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

}  // namespace

bool CheckRangeAgainstDuration(double typedFrom, double typedTo, double duration,
                               MessagePresenter& messages, bool refuseUnreadableDuration,
                               const QString& problem) {
    if (refuseUnreadableDuration && !(duration > 0)) {
        const QString why = problem.isEmpty() ? QString() : "\n\n" + problem;
        messages.DisplayMessageBox(ExportImagesMessages::kCouldNotReadDurationTitle,
                                   ExportImagesMessages::CouldNotReadDurationText() + why);
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

QString ExportImagesMessages::CouldNotReadDurationText() {
    return "Stillpress Could not read Video Information from Selected Video File.\n\nMake sure "
           "you can Play / View Thumbnail of the selected Video File and then try Again.";
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
    outcome.status = processor.WasCancelled()   ? Status::Cancelled
                     : outcome.failedFrames > 0 ? Status::CompletedWithFailures
                     : outcome.files->isEmpty() ? Status::NothingWritten
                                                : Status::Completed;
    if (outcome.status == Status::NothingWritten)
        QDir().rmdir(outcome.folder);  // only when empty; never a file of the user's
    else
        AppSettings().SetStringValue(outcome.folder, "LastFolder");
    ReportOutcome(outcome, messages);
    return outcome;
}
