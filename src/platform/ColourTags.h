#pragma once
// How a picture's colour tags are read, the one way every converter here reads them: its
// range, and the YUV matrix it is converted with (untagged pictures follow their size, as
// players assume: BT.709 for HD, BT.601 below).
//
// Free functions; any thread.

struct AVFrame;

namespace colour {

// Full range: a JPEG-range ("yuvj") format, or a picture tagged so.
bool IsFullRange(const AVFrame& frame);
// The AVColorSpace a picture of this size is converted with: its own when libswscale knows
// it (constant-luminance BT.2020 as the non-constant one), else BT.709 for HD, BT.601 below.
int KnownMatrix(int colorSpace, int width, int height);
// libswscale's SWS_CS_* coefficients of one of KnownMatrix()'s matrices.
int SwsMatrix(int knownMatrix);
// Both at once, for a picture.
int SwsMatrixOf(const AVFrame& frame);

}  // namespace colour
