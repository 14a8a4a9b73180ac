#pragma once
// Turns images grey while keeping their transparency. Stateless; one per processor, used by
// the processor's thread.

#include "platform/DrawableImage.h"

class GreyScaleConverter {
  public:
    // The grey version of `image` (luma with BT.601 weights, rounded), same size, same alpha.
    DrawableImage imageToGreyImage(const DrawableImage& image) const;
    DrawableImage imageFromCGImageRef(const QImage& bitmap) const { return DrawableImage(bitmap); }
};
