#include "platform/DisplayTransform.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QTransform>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

int QuarterTurnsOf(double clockwiseDegrees) {
    const long turns = std::lround(clockwiseDegrees / 90.0);
    return static_cast<int>(((turns % 4) + 4) % 4);
}

}  // namespace

// The turn is the one FFmpeg's player takes (the negated rotation of the matrix); which of
// the matrix's entries are negative tells a mirrored picture from a turned one, as there.
DisplayTransform DisplayTransform::From(const int32_t* matrix, int aspectNumerator,
                                        int aspectDenominator) {
    DisplayTransform transform;
    if (aspectNumerator > 0 && aspectDenominator > 0) {
        const int divisor = std::gcd(aspectNumerator, aspectDenominator);
        transform.pixelAspectNumerator = aspectNumerator / divisor;
        transform.pixelAspectDenominator = aspectDenominator / divisor;
    }
    if (matrix == nullptr) return transform;
    const double rotation = av_display_rotation_get(matrix);
    if (!std::isfinite(rotation)) return transform;
    const int turns = QuarterTurnsOf(-rotation);
    switch (turns) {
        case 1:  // a transpose when mirrored: a clockwise turn, then a flip
            transform = {1, matrix[3] > 0, transform.pixelAspectNumerator,
                         transform.pixelAspectDenominator};
            break;
        case 2: {
            const bool across = matrix[0] < 0, down = matrix[4] < 0;
            transform.quarterTurns = down ? 2 : 0;
            transform.mirrored = across != down;
            break;
        }
        case 3:
            transform.quarterTurns = 3;
            transform.mirrored = matrix[3] < 0;
            break;
        default:  // upside down when the vertical axis is flipped
            transform.quarterTurns = matrix[4] < 0 ? 2 : 0;
            transform.mirrored = matrix[4] < 0;
            break;
    }
    return transform;
}

QSize DisplayTransform::DisplaySize(QSize coded) const {
    QSize shown = coded;
    if (!hasSquarePixels() && coded.width() > 0) {
        const double width =
            static_cast<double>(coded.width()) * pixelAspectNumerator / pixelAspectDenominator;
        shown.setWidth(static_cast<int>(std::clamp(std::round(width), 1.0, 1e9)));
    }
    return quarterTurns % 2 == 1 ? shown.transposed() : shown;
}

QImage DisplayTransform::Apply(const QImage& coded) const {
    if (coded.isNull() || isIdentity()) return coded;
    QImage shown = coded;
    if (!hasSquarePixels()) {
        const QSize stretched =
            DisplayTransform{0, false, pixelAspectNumerator, pixelAspectDenominator}.DisplaySize(
                coded.size());
        shown = shown.scaled(stretched, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (quarterTurns != 0) shown = shown.transformed(QTransform().rotate(degrees()));
    if (mirrored) shown = shown.mirrored(true, false);
    return shown;
}
