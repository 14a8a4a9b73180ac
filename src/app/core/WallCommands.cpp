// The wall commands' shared steps: checks and messages, the exported images, the target.
#include "app/core/WallCommands.h"

#include <QDir>
#include <QFileInfo>
#include <charconv>

#include "app/core/ExportImagesCommand.h"
#include "app/core/MessagePresenter.h"
#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "platform/ImageFormats.h"
#include "platform/Workspace.h"
#include "wall/SortedImageFiles.h"

namespace {

constexpr const char* kAbortedTitle = "Video Wall Creation Aborted";

QString NoLastFolderText() {
    return "Please Export Images from a Video and then try Aagin.\n\nThe Video Wall is Created by "
           "Loading Image Files from the Last Folder.";
}

QString NoImagesText(const QString& folder) {
    return QString(
               "No Image Files Found in the given below Folder to Create Video Wall.\n\n%1\n\n"
               "Select a Video, Export Images from them to Continue with Video Wall Creation.")
        .arg(folder);
}

// The shortest text that reads back as the same single-precision number, never in exponent
// form: 1920, 1279.5, 100000. (Qt's shortest 'g' would write 1e+05 and widen 0.1f first.)
QString SizeNumber(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<float>(value),
                                      std::chars_format::fixed);
    return QString::fromLatin1(text, result.ptr - text);
}

QString DimensionsText(const QString& firstName, QSizeF first, const QString& name, QSizeF size) {
    return QString(
               "Dimensions of File [%1] is Not Exactly the Same as the Dimensions of First "
               "Image File Found.\n\nPlease Make Sure all the Image Files have Exact Same "
               "Dimensions to Continue.\n\nFirst File Details\n\nName : %2\nDimensions : %3 X "
               "%4\n\nDetails of Image with Different Dimensions:\n\nName : %5\nDimensions : "
               "%6 X %7")
        .arg(name, firstName, SizeNumber(first.width()), SizeNumber(first.height()), name,
             SizeNumber(size.width()), SizeNumber(size.height()));
}

// Every entry of the folder, hidden ones and subfolders included, in wall order; a folder
// that cannot be listed gives none.
QStringList FolderCandidates(const QString& folder) {
    const QDir::Filters everything =
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    return GetSortedImageFiles(QDir(folder).entryList(everything, QDir::NoSort));
}

bool SameSize(QSizeF reference, QSizeF size) {
    return size.height() == reference.height() && size.width() == reference.width();
}

// The candidates that load as images, in order; nullopt (after opening the file and saying
// why) at the first whose size differs from the first image's.
std::optional<QList<QImage>> LoadSameSizedImages(const QStringList& candidates,
                                                 MessagePresenter& messages) {
    QList<QImage> images;
    QString referenceName;
    for (const QString& candidate : candidates) {
        QString refusal;
        QImage image = LoadImageFile(candidate, &refusal);
        if (!refusal.isEmpty()) {  // a decompression bomb is no picture to leave out quietly
            messages.DisplayMessageBox(kAbortedTitle, candidate + "\n\n" + refusal);
            return std::nullopt;
        }
        if (image.isNull()) continue;  // not an image, a folder, or gone
        if (images.isEmpty()) {
            referenceName = candidate;
        } else if (!SameSize(images.first().size(), image.size())) {
            ShowResultOnDesktop(QFileInfo(candidate).absoluteFilePath());
            messages.DisplayMessageBox(
                kAbortedTitle,
                DimensionsText(referenceName, images.first().size(), candidate, image.size()));
            return std::nullopt;
        }
        images.append(std::move(image));
    }
    return images;
}

}  // namespace

std::unique_ptr<VideoFileProcessor> OpenVideoForWall(const QString& videoPath, double typedFrom,
                                                     double typedTo, MessagePresenter& messages,
                                                     bool refuseUnreadableDuration) {
    if (!DoesVideoFileExists(videoPath, messages)) return nullptr;
    auto processor = std::make_unique<VideoFileProcessor>();
    processor->OpenVideoFile(videoPath);
    if (!CheckRangeAgainstDuration(typedFrom, typedTo, processor->GetVideoDurationInSeconds(),
                                   messages, refuseUnreadableDuration,
                                   processor->GetVideoProblem()))
        return nullptr;
    return processor;
}

QString WallTargetPath(const QString& chosenPath, long long formatCode) {
    const QString extension = ImageFileExtension(formatCode);
    if (extension.isEmpty()) return {};
    // The save panel may already answer "name.jpg"; "name.jpg.jpg" helps nobody.
    if (chosenPath.endsWith('.' + extension, Qt::CaseInsensitive)) return chosenPath;
    return GetFileNameWithExtension(chosenPath, formatCode);
}

bool MakeVideoWall(VideoFileProcessor& processor, const QString& targetPath,
                   MessagePresenter& messages) {
    QString reason;
    if (processor.ExportVideoWall(targetPath, &reason)) return true;
    messages.DisplayMessageBox(kAbortedTitle, reason);
    return false;
}

std::optional<WallImages> CollectWallImages(const QString& lastFolder,
                                            const std::shared_ptr<QStringList>& exportedFiles,
                                            MessagePresenter& messages) {
    if (lastFolder.isEmpty() || !QFileInfo(lastFolder).isDir()) {
        messages.DisplayMessageBox(kAbortedTitle, NoLastFolderText());
        return std::nullopt;
    }
    const QStringList candidates = exportedFiles ? *exportedFiles : FolderCandidates(lastFolder);
    QDir::setCurrent(lastFolder);  // bare names of the listing load from here
    std::optional<QList<QImage>> images = LoadSameSizedImages(candidates, messages);
    if (!images) return std::nullopt;
    if (images->isEmpty()) {
        messages.DisplayMessageBox(kAbortedTitle, NoImagesText(lastFolder));
        return std::nullopt;
    }
    return WallImages{std::move(*images), lastFolder};
}

bool MakeImageWall(const QList<QImage>& images, const QString& targetPath, long long rows,
                   MessagePresenter& messages) {
    VideoFileProcessor processor;
    QString reason;
    const auto rowsSetting = static_cast<unsigned long long>(rows < 1 ? 1 : rows);
    if (processor.ExportImageWall(images, targetPath, rowsSetting, &reason)) return true;
    messages.DisplayMessageBox(kAbortedTitle, reason);
    return false;
}
