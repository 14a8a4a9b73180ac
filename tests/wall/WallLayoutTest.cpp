#include <gtest/gtest.h>

#include "wall/SortedImageFiles.h"
#include "wall/WallLayout.h"

namespace {

TEST(WallLayout, GridTilesAndSizeLimits) {
    // tiles, rows setting -> columns, rows used
    const long long grids[][4] = {{10, 3, 4, 3}, {10, 4, 3, 4}, {10, 6, 2, 5}, {12, 3, 4, 3},
                                  {7, 10, 1, 7}, {5, 3, 2, 3},  {5, 0, 5, 1},  {0, 3, 0, 0}};
    for (const auto& g : grids) {
        const WallGrid grid = ComputeWallGrid(g[0], g[1]);
        EXPECT_EQ(QSize(grid.columns, grid.rowsUsed), QSize(g[2], g[3])) << g[0] << "/" << g[1];
    }
    EXPECT_EQ(WallTileSize(QSizeF(1920, 1080), 33), QSizeF(634, 357));
    EXPECT_EQ(WallSize(ComputeWallGrid(5, 3), QSizeF(634, 357)), QSizeF(1268, 1071));
    const std::tuple<QSizeF, long long, QString> limits[] = {
        {{16384, 16384}, 0, ""},
        {{16385, 16384}, 1, "more than fits in memory"},
        {{65500, 100}, 3, ""},
        {{100, 65501}, 3, "JPEG files can be at most 65500 pixels"},
        {{65536, 10}, 2, "GIF files can be at most 65535 pixels"},
        {{1000001, 10}, 4, "PNG files can be at most 1000000 pixels"},
        {{8193, 8192}, 5, "more than the JPEG 2000 encoder can take"},
        {{100, 100}, 6, "format code 6 is not one of the known formats"},
    };
    for (const auto& [size, format, reason] : limits) {
        const QString problem = WallSizeProblem(size, format);
        EXPECT_TRUE(reason.isEmpty() ? problem.isEmpty() : problem.contains(reason))
            << size.width() << " x " << size.height() << ": " << problem.toStdString();
    }
}

TEST(SortedImageFiles, NumbersByValueTheRestByCodeUnitNothingDropped) {
    const std::pair<QStringList, QStringList> cases[] = {
        {{"Frame 1.png", "Frame 10.png", "Frame 2.png"},
         {"Frame 1.png", "Frame 2.png", "Frame 10.png"}},
        {{"b", "a", "B", "A", "a"}, {"A", "B", "a", "a", "b"}},
        {{"f100000000000000000000", "f99999999999999999999", "f", ".x"},
         {".x", "f", "f99999999999999999999", "f100000000000000000000"}},
    };
    for (const auto& [names, sorted] : cases) EXPECT_EQ(GetSortedImageFiles(names), sorted);
}

}  // namespace
