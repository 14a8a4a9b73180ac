// The image walls of the video processor: the wall of a video's frames and the wall of
// equally sized images. Each wall is one bitmap drawn a tile at a time, then saved and opened.
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "extract/GreyScaleConverter.h"
#include "extract/StepSchedule.h"
#include "media/VideoFileProcessor.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "wall/WallLayout.h"

namespace {

// The tiles of a wall from video, as GetWallInfo and ExportVideoWall both work them out.
struct VideoWallPlan {
    explicit VideoWallPlan(StepSchedule tiles) : schedule(tiles) {}
    StepSchedule schedule;
    WallGrid grid;
    double sizePercentage = 100;
    QSizeF tileSize;
};

// Reads the range, rows and interval and counts the tiles; a video without a picture has none.
VideoWallPlan PlanTiles(VideoFileProcessor& processor) {
    AppSettings& settings = processor.GetAppSettings();
    const double duration = processor.GetVideoDurationInSeconds();
    processor.m_oVideoTimeScale = processor.m_pAsset ? processor.m_pAsset->duration().timescale : 0;
    processor.m_fltFrom = settings.GetFrom();
    processor.m_fltTo = settings.GetTo();
    const ExtractionRangeValue range =
        ExtractionRange(processor.m_fltFrom, processor.m_fltTo, duration);
    const long long rows = settings.GetRowsInVideoWall();
    VideoWallPlan plan(StepSchedule(range, settings.GetFrameInterval()));
    const bool hasPicture = processor.m_pAsset && processor.m_pAsset->hasVideoTrack();
    plan.grid = ComputeWallGrid(hasPicture ? plan.schedule.StepCount() : 0, rows);
    return plan;
}

// The sizes of a wall that has tiles, stored in the processor like the panel's message shows.
void PlanSizes(VideoFileProcessor& processor, VideoWallPlan& plan) {
    plan.sizePercentage = processor.GetAppSettings().GetImageSizePercentage();
    processor.m_oVideoSizeForWallCreation = processor.GetFrameDimensions();
    plan.tileSize = WallTileSize(processor.m_oVideoSizeForWallCreation, plan.sizePercentage);
    processor.m_oSizeOfImageWall = WallSize(plan.grid, plan.tileSize);
    processor.m_iWallImageHeight = static_cast<long long>(processor.m_oSizeOfImageWall.height());
}

// Opaque, so the saved wall carries no alpha channel. Its size was checked beforehand.
DrawableImage WhiteWall(QSizeF size) {
    QImage bitmap(DrawableImage::PixelSizeFor(size), QImage::Format_RGB32);
    if (bitmap.isNull()) return {};
    bitmap.fill(Qt::white);
    return DrawableImage(std::move(bitmap), size);
}

const QString kNoFramesDecodedText =
    "None of the Frames of the Video could be Read, so the Image Wall would be blank.\n\nMake "
    "sure you can Play / View Thumbnail of the selected Video File and then try Again.";

bool Refuse(const QString& reason, QString* error) {
    if (error) *error = reason;
    return false;
}

// Saves the finished wall and opens it; a wall that could not be written is not opened.
bool SaveAndOpen(VideoFileProcessor& processor, const DrawableImage& wall, const QString& path,
                 QString* error) {
    QString reason;
    if (!processor.SaveNSImageAsFile(wall, path, processor.GetSelectedImageFileFormat(), &reason))
        return Refuse("The Image Wall could not be saved.\n\n" + reason, error);
    ShowResultOnDesktop(path);
    return true;
}

// Checks that come before the (possibly large) wall bitmap is allocated.
bool MayBuild(long long tiles, QSizeF wallSize, long long formatCode, const QString& path,
              QString* error) {
    if (tiles <= 0) return Refuse(kNoImagesInWallText, error);
    const QString problem = WallSizeProblem(wallSize, formatCode);
    if (!problem.isEmpty()) return Refuse(problem, error);
    return !path.isEmpty() || Refuse("No file name was given for the Image Wall.", error);
}

}  // namespace

QString VideoFileProcessor::GetWallInfo() {
    VideoWallPlan plan = PlanTiles(*this);
    if (plan.grid.tiles == 0) return kNoImagesInWallText;
    PlanSizes(*this, plan);
    return QString(
               "Select Video Wall File Name / Path\n\nNumber of Images in Video Wall = %1\n"
               "Video Wall Image Width = %2, Height = %3\nEach Image Width  = %4, Height = %5")
        .arg(plan.grid.tiles)
        .arg(static_cast<long long>(m_oSizeOfImageWall.width()))
        .arg(static_cast<long long>(m_oSizeOfImageWall.height()))
        .arg(static_cast<long long>(plan.tileSize.width()))
        .arg(static_cast<long long>(plan.tileSize.height()));
}

bool VideoFileProcessor::ExportVideoWall(const QString& targetPath, QString* error) {
    AppSettings& settings = GetAppSettings();
    m_bAddTimeToImages = settings.GetAddTimeIntervalToImages() == 1;
    m_bExportAsGreyScale = settings.GetOutputImageAsGreyScale() == 1;
    VideoWallPlan plan = PlanTiles(*this);
    if (plan.grid.tiles > 0) PlanSizes(*this, plan);
    const auto formatCode = static_cast<long long>(GetSelectedImageFileFormat());
    if (!MayBuild(plan.grid.tiles, m_oSizeOfImageWall, formatCode, targetPath, error)) return false;
    DrawableImage wall = WhiteWall(m_oSizeOfImageWall);
    if (wall.isNull()) return Refuse("There is not enough memory for the Image Wall.", error);
    ImageGenerator generator(*m_pAsset);  // one for all tiles, asked in time order
    generator.setAppliesPreferredTrackTransform(ReadOutputAsDisplayed());
    generator.setRequestedTimeToleranceBefore(kCMTimeZero);
    generator.setRequestedTimeToleranceAfter(kCMTimeZero);
    long long row = 0;
    long long column = 0;
    long long drawn = 0;
    plan.schedule.ForEachStep([&](double time, long long) {
        drawn += DoAddVideoFrameToImage(wall, generator, row, column, time, plan.sizePercentage);
        if (++column == plan.grid.columns) {
            column = 0;
            ++row;
        }
        return true;
    });
    LogLine(QString("Video Wall : %1 Tiles, %2 Frames Decoded")
                .arg(plan.grid.tiles)
                .arg(generator.decodedFrameCount()));
    // A wall of background alone would pass for a picture of the video.
    if (drawn == 0) return Refuse(kNoFramesDecodedText, error);
    return SaveAndOpen(*this, wall, targetPath, error);
}

bool VideoFileProcessor::DoAddVideoFrameToImage(DrawableImage& wall, ImageGenerator& generator,
                                                long long row, long long column, double time,
                                                double sizePercentage) {
    const QImage frame =
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(time, m_oVideoTimeScale));
    if (frame.isNull()) return false;  // the cell keeps the background
    DrawableImage image = imageFromCGImageRef(frame);
    if (m_bExportAsGreyScale) image = GetGreyScaleConverter().imageToGreyImage(image);
    if (sizePercentage != 100.0) {
        const QSizeF size = image.size();
        image =
            resizeImage(image, QSizeF(static_cast<float>(size.width() * sizePercentage / 100),
                                      static_cast<float>(size.height() * sizePercentage / 100)));
    }
    // Stamped after scaling, so the text has the same size on every tile.
    if (m_bAddTimeToImages) DrawImageTime(time, image);
    AddWatermarkToImage(image);
    const QSizeF tile = image.size();
    const double x = static_cast<double>(column) * tile.width();
    const double y =
        m_oSizeOfImageWall.height() - std::trunc(static_cast<double>(row + 1) * tile.height());
    PointPainter painter(wall);
    painter.painter().drawImage(painter.ToTopDown(x, y, tile.width(), tile.height()),
                                image.bitmap());
    return true;
}

bool VideoFileProcessor::ExportImageWall(const QList<QImage>& images, const QString& targetPath,
                                         unsigned long long rows, QString* error) {
    const QSizeF tile = images.isEmpty() ? QSizeF() : QSizeF(images.first().size());
    const auto rowsSetting = static_cast<long long>(std::min<unsigned long long>(rows, LLONG_MAX));
    const WallGrid grid = ComputeWallGrid(images.size(), rowsSetting);
    const QSizeF wallSize = WallSize(grid, tile);
    const auto formatCode = static_cast<long long>(GetSelectedImageFileFormat());
    if (!MayBuild(grid.tiles, wallSize, formatCode, targetPath, error)) return false;
    DrawableImage wall = WhiteWall(wallSize);
    if (wall.isNull()) return Refuse("There is not enough memory for the Image Wall.", error);
    {
        PointPainter painter(wall);
        qsizetype index = 0;
        // Rows from the top, each from the left, until the images run out.
        for (double y = std::trunc(wallSize.height() - tile.height());
             y >= 0 && index < images.size(); y = std::trunc(y - tile.height())) {
            for (double x = 0; x < wallSize.width() && index < images.size();
                 x = std::trunc(x + tile.width())) {
                const QImage& image = images[index++];
                painter.painter().drawImage(
                    painter.ToTopDown(x, y, image.width(), image.height()).topLeft(), image);
            }
        }
    }
    return SaveAndOpen(*this, wall, targetPath, error);
}
