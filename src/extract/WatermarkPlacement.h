#pragma once
// Where a watermark's bottom-left corner goes on an image, in bottom-up points, for the five
// placements (0 top left, 1 top right, 2 bottom left, 3 bottom right, 4 centre; any other
// index stamps at the origin). Any thread.

#include <QPointF>
#include <QSizeF>

QPointF WatermarkOrigin(long long alignment, QSizeF image, long long width, long long height);
