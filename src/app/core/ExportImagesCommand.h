#pragma once
// The export images command after the window has saved its controls: the file and range
// checks, one extraction run and its report. Shared by the main window and the headless
// command; runs on the caller's thread.

#include <QString>
#include <QStringList>
#include <memory>

#include "media/VideoFileProcessor.h"

class MessagePresenter;

// True when `path` names something that exists; otherwise shows "Select a Video File" (empty
// path) or "File Not Found" and answers false.
bool DoesVideoFileExists(const QString& path, MessagePresenter& messages);

// True when the typed To and From lie within `duration`; otherwise shows "Invalid Export To"
// or "Invalid Export From" (checked in that order) and answers false. With
// `refuseUnreadableDuration`, a duration that is not above 0 is refused first. The wall
// commands make the same checks. `problem`, when known, is added to the unreadable message.
bool CheckRangeAgainstDuration(double typedFrom, double typedTo, double duration,
                               MessagePresenter& messages, bool refuseUnreadableDuration,
                               const QString& problem = QString());

struct ExportImagesOutcome {
    // NothingWritten: the run's steps found no frame to save (an undecodable video); its
    // empty folder, already shown, is left in place. A range without steps is Completed with
    // no files.
    enum class Status { Refused, Completed, CompletedWithFailures, Cancelled, NothingWritten };
    Status status = Status::Refused;
    QString folder;
    std::shared_ptr<QStringList> files;  // every path the run wrote, in order
    long long failedFrames = 0;
    QStringList failedFiles;  // the paths among `files` that could not be written
    QString firstError;
};

struct ExportImagesRequest {
    QString videoPath;
    double typedFrom = 0;  // the numbers as typed, compared with the duration
    double typedTo = 0;
    // The headless command also refuses a video whose duration cannot be read.
    bool refuseUnreadableDuration = false;
    VideoFileProcessor::ProgressHandler progress;
};

// Runs the checks and the extraction, stores "LastFolder" and shows the closing message.
ExportImagesOutcome RunExportImagesCommand(const ExportImagesRequest& request,
                                           MessagePresenter& messages);

// The messages of the command, for callers that show them elsewhere.
namespace ExportImagesMessages {
inline constexpr const char* kCouldNotReadDurationTitle = "Could Not Read Video Duration";
// The reason the video was refused (MediaAsset::problem()), when known, ends the text.
QString CouldNotReadDurationText(const QString& problem = QString());
}  // namespace ExportImagesMessages
