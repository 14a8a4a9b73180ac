#pragma once
// How a player shows a video's coded pictures: stretched to square pixels (the width times the
// sample aspect ratio, to the nearest pixel), then turned clockwise by quarter turns and
// mirrored left to right, as the stream's display matrix says (read the way FFmpeg's own
// player and command read it).
//
// A value type; any thread.

#include <QImage>
#include <QSize>
#include <cstdint>

struct DisplayTransform {
    int quarterTurns = 0;   // clockwise, 0 to 3
    bool mirrored = false;  // flipped left to right after turning
    int pixelAspectNumerator = 1;
    int pixelAspectDenominator = 1;

    // `matrix` is the stream's 3x3 display matrix (16.16 and 2.30 fixed point, as FFmpeg
    // gives it), or null; the pixel aspect is ignored unless both parts are positive.
    static DisplayTransform From(const int32_t* matrix, int aspectNumerator, int aspectDenominator);

    bool hasSquarePixels() const { return pixelAspectNumerator == pixelAspectDenominator; }
    bool isIdentity() const { return quarterTurns == 0 && !mirrored && hasSquarePixels(); }
    // The clockwise rotation in degrees (0, 90, 180 or 270).
    int degrees() const { return 90 * quarterTurns; }

    // The size a coded picture of `coded` size is shown at.
    QSize DisplaySize(QSize coded) const;
    // The picture as shown; a null image stays null.
    QImage Apply(const QImage& coded) const;
};
