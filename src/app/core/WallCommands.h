#pragma once
// The parts of the two image wall commands that the window and the headless command share:
// the checks and messages before a panel, the collection of the exported images, the target
// path of a wall from video, and building the walls. Runs on the caller's thread.

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class MessagePresenter;
class VideoFileProcessor;

// Opens the video for a wall from video after the file and range checks of the export
// command (the same messages); nullptr when refused. The caller then shows GetWallInfo.
std::unique_ptr<VideoFileProcessor> OpenVideoForWall(const QString& videoPath, double typedFrom,
                                                     double typedTo, MessagePresenter& messages,
                                                     bool refuseUnreadableDuration);

// The file a wall from video is written to: the chosen path with the format's extension
// appended, unless it already ends in it. Empty for a format code without an extension.
QString WallTargetPath(const QString& chosenPath, long long formatCode);

// Builds, saves and opens the wall from video; "Video Wall Creation Aborted" with the reason
// when it was refused or could not be saved.
bool MakeVideoWall(VideoFileProcessor& processor, const QString& targetPath,
                   MessagePresenter& messages);

// The images of the last export for a wall from images, in order, all of the first loadable
// image's size. `exportedFiles` (the latest run's list, when there was one in this process)
// wins over the folder's listing. Shows "Video Wall Creation Aborted" with its reason (and
// opens an image of other dimensions) and answers nullopt when there is no wall to make.
// Makes `lastFolder` the process's current folder, so bare names of its listing load.
struct WallImages {
    QList<QImage> images;
    QString folder;
};
std::optional<WallImages> CollectWallImages(const QString& lastFolder,
                                            const std::shared_ptr<QStringList>& exportedFiles,
                                            MessagePresenter& messages);

// Builds, saves and opens the wall from images with a fresh processor; a message box when it
// could not be made.
bool MakeImageWall(const QList<QImage>& images, const QString& targetPath, long long rows,
                   MessagePresenter& messages);
