// The grid of an image wall and the sizes a wall may have.
#include "wall/WallLayout.h"

#include <cmath>
#include <limits>

#include "platform/ImageFormats.h"

namespace {

// FFmpeg refuses pictures for which (w + 128) x (h + 128) reaches INT_MAX / 8.
bool FFmpegTakes(double width, double height) {
    return (width + 128) * (height + 128) < std::numeric_limits<int>::max() / 8;
}

QString TooLargeText(QSizeF size, const QString& limit) {
    return QString(
               "The Image Wall would be %1 x %2 pixels, %3.\n\nPlease use fewer Images, a "
               "smaller Image Size or another Number of Rows.")
        .arg(static_cast<long long>(size.width()))
        .arg(static_cast<long long>(size.height()))
        .arg(limit);
}

}  // namespace

WallGrid ComputeWallGrid(long long tiles, long long rows) {
    WallGrid grid;
    if (tiles <= 0) return grid;
    if (rows < 1) rows = 1;
    grid.tiles = tiles;
    grid.columns = tiles / rows + (tiles % rows != 0 ? 1 : 0);
    grid.rowsUsed = tiles / grid.columns + (tiles % grid.columns != 0 ? 1 : 0);
    return grid;
}

QSizeF WallTileSize(QSizeF naturalSize, double sizePercentage) {
    return QSizeF(std::ceil(naturalSize.width() * sizePercentage / 100),
                  std::ceil(naturalSize.height() * sizePercentage / 100));
}

QSizeF WallSize(const WallGrid& grid, QSizeF tileSize) {
    return QSizeF(static_cast<double>(grid.columns) * tileSize.width(),
                  static_cast<double>(grid.rowsUsed) * tileSize.height());
}

QString WallSizeProblem(QSizeF wallSize, long long formatCode) {
    const double width = wallSize.width();
    const double height = wallSize.height();
    if (!(width >= 1 && height >= 1))
        return "The Image Wall would have no pixels: the Images have no width or height.";
    const ImageFormatRow* format = FindImageFormat(formatCode);
    if (format == nullptr)
        return QString("The image format code %1 is not one of the known formats.").arg(formatCode);
    const ImageFormatRow& limits = *format;
    if (width * height > kMaxWallPixels)
        return TooLargeText(wallSize, "more than fits in memory (268435456 pixels at most)");
    if (width > limits.maxSide || height > limits.maxSide)
        return TooLargeText(wallSize, QString("but %1 files can be at most %2 pixels wide and high")
                                          .arg(limits.limitName)
                                          .arg(static_cast<long long>(limits.maxSide)));
    if (width * height > limits.maxPixels || (limits.ffmpegEncoded && !FFmpegTakes(width, height)))
        return TooLargeText(wallSize,
                            QString("more than the %1 encoder can take").arg(limits.limitName));
    return {};
}
