#pragma once
// The grid of an image wall: columns from the rows setting, the rows used, the tile and wall
// sizes, and whether such a wall can be made at all. Plain values; any thread.

#include <QSizeF>
#include <QString>

struct WallGrid {
    long long tiles = 0;     // N
    long long columns = 0;   // ceil(N / R); 0 when there are no tiles
    long long rowsUsed = 0;  // ceil(N / columns); can be fewer than R
};

// The grid of `tiles` images for the rows setting `rows` (values below 1 count as 1).
WallGrid ComputeWallGrid(long long tiles, long long rows);

// Tile size of a wall from a video: each side of the natural size scaled by the percentage,
// rounded up to a whole number.
QSizeF WallTileSize(QSizeF naturalSize, double sizePercentage);

// columns x tile width by rows used x tile height.
QSizeF WallSize(const WallGrid& grid, QSizeF tileSize);

// Empty when a wall of `wallSize` pixels can be drawn and written in the image format
// `formatCode`; otherwise the reason, for the user: an empty wall, an unknown format, more
// pixels than memory allows (2^28, 1 GB of bitmap), or more than the format's encoder takes
// (a side of 65500 for JPEG, 65535 for GIF, 1000000 for PNG; JPEG 2000 up to 2^26 pixels).
QString WallSizeProblem(QSizeF wallSize, long long formatCode);

// What the save panel and a confirmed wall without tiles say.
inline constexpr const char* kNoImagesInWallText =
    "No Images in Image Wall, Please Check Settings.";
