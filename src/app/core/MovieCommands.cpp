// The movie commands' shared steps: the images of the last export, the checks and panel
// texts of the re-encode, and the writes with their messages.
#include "app/core/MovieCommands.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "app/core/ExportImagesCommand.h"
#include "app/core/MessagePresenter.h"
#include "media/VideoFileProcessor.h"
#include "platform/MediaAsset.h"
#include "settings/AppSettings.h"
#include "videoout/VideoGenerator.h"
#include "wall/SortedImageFiles.h"

namespace {

constexpr const char* kAbortedTitle = "Video Export Aborted";
constexpr const char* kFailedTitle = "Video Export Failed";

QString NoLastFolderText() {
    return "Please Export Images from a Video and then try Aagin.\n\nThe Video is Created by "
           "Loading Image Files from the Last Folder.";
}

QString LowFrameRateText(float rate) {
    return QString(
               "The Frame Rate of this Video is %1 Frames per Second.\n\nA Video needs at least "
               "1 Frame per Second to be Exported.")
        .arg(static_cast<double>(rate));
}

QString NoVideoTrackText() {
    return "The Selected File has no video track, so it has no Frames to Export.";
}

// Why the video cannot be re-encoded, or empty: a file that is no readable media, one
// without pictures, and a rate too low each say so.
QString ReencodeRefusal(const VideoFileProcessor& processor) {
    const MediaAsset& asset = *processor.m_pAsset;
    if (!asset.isReadable()) return ExportImagesMessages::CouldNotReadDurationText(asset.problem());
    if (!asset.hasVideoTrack()) return NoVideoTrackText();
    const float rate = processor.GetFrameRate();
    // At under 1 frame per second the whole-number time scale of the frames would be 0.
    return rate >= 1 ? QString() : LowFrameRateText(rate);
}

// Every entry of the folder, hidden ones and subfolders included, in frame order.
QStringList FolderListing(const QString& folder) {
    const QDir::Filters everything =
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    return GetSortedImageFiles(QDir(folder).entryList(everything, QDir::NoSort));
}

// Runs a write; turns its outcome or set-up failure into a message and a result.
template <typename Write>
MovieWriteResult ReportWrite(MessagePresenter& messages, Write write) {
    try {
        const MovieOutcome outcome = write();
        if (outcome.written) return MovieWriteResult::Written;
        // A write that never handed over a frame found nothing to write.
        const bool refused = outcome.frames == 0;
        messages.DisplayMessageBox(refused ? kAbortedTitle : kFailedTitle, outcome.error);
        return refused ? MovieWriteResult::Refused : MovieWriteResult::Failed;
    } catch (const VideoWriterSetupError& error) {
        messages.DisplayMessageBox(kFailedTitle, QString::fromUtf8(error.what()));
        return MovieWriteResult::Failed;
    }
}

}  // namespace

std::optional<MovieImages> CollectMovieImages(const QString& lastFolder,
                                              const std::shared_ptr<QStringList>& exportedFiles,
                                              MessagePresenter& messages) {
    if (lastFolder.isEmpty() || !QFileInfo(lastFolder).isDir()) {
        messages.DisplayMessageBox(kAbortedTitle, NoLastFolderText());
        return std::nullopt;
    }
    QDir::setCurrent(lastFolder);
    return MovieImages{exportedFiles ? *exportedFiles : FolderListing(lastFolder), lastFolder};
}

MovieWriteResult WriteMovieFromImages(const MovieImages& images, const QString& outputPath,
                                      MessagePresenter& messages) {
    const AppSettings settings;
    VideoGenerator generator;
    generator.setFrameDelayDuringExport(settings.GetFrameDelayDuringExport());
    return ReportWrite(messages, [&] {
        return generator.writeImagesToMovieAtPath(outputPath, images.images, images.folder,
                                                  settings.GetFrameRateForExportedVideo());
    });
}

bool MakeMovieFromImages(const MovieImages& images, const QString& outputPath,
                         MessagePresenter& messages) {
    return WriteMovieFromImages(images, outputPath, messages) == MovieWriteResult::Written;
}

std::unique_ptr<VideoFileProcessor> OpenVideoForReencode(const QString& videoPath,
                                                         MessagePresenter& messages) {
    if (!DoesVideoFileExists(videoPath, messages)) return nullptr;
    auto processor = std::make_unique<VideoFileProcessor>();
    processor->OpenVideoFile(videoPath);
    if (const QString refusal = ReencodeRefusal(*processor); !refusal.isEmpty()) {
        messages.DisplayMessageBox(kAbortedTitle, refusal);
        return nullptr;
    }
    return processor;
}

QString ReencodePanelMessage(VideoFileProcessor& processor) {
    const QSizeF size = processor.GetFrameDimensions();
    const double frames = processor.GetFrameRate() * processor.GetVideoDurationInSeconds();
    return QString(
               "Please select a Name / Path to Export Video.\r\n\r\nNumber of Frames in "
               "Video:\t%1\r\nDimensions of each Frame: %2 X %3\r\n\r\nNote that Time Required "
               "to Export Video will depend on Number of Frames, Dimensions and Technical "
               "Specifications of your Mac.\r\nWhen Video Export is Finished, the Video will be "
               "Opened Automatically by this Software.\r\nNo Audio will be Exported.")
        .arg(std::isfinite(frames) ? static_cast<long long>(frames) : 0LL)
        .arg(static_cast<long long>(size.width()))
        .arg(static_cast<long long>(size.height()));
}

QString ReencodeProposedName(const QString& videoPath) {
    return QFileInfo(videoPath).completeBaseName() + "-Exported";
}

MovieWriteResult WriteReencodedMovie(const QString& sourcePath, const QString& outputPath,
                                     MessagePresenter& messages) {
    VideoGenerator generator;
    generator.setFrameDelayDuringExport(AppSettings().GetFrameDelayDuringExport());
    generator.setAppliesPreferredTrackTransform(AppSettings().GetOutputImageAsDisplayed() == 1);
    return ReportWrite(
        messages, [&] { return generator.DoExportVideoWithWatermark(sourcePath, outputPath); });
}

bool MakeReencodedMovie(const QString& sourcePath, const QString& outputPath,
                        MessagePresenter& messages) {
    return WriteReencodedMovie(sourcePath, outputPath, messages) == MovieWriteResult::Written;
}
