#include "platform/ImageGenerator.h"

class ImageGenerator::Impl {};

ImageGenerator::ImageGenerator(const MediaAsset&) {}
ImageGenerator::~ImageGenerator() = default;
QImage ImageGenerator::copyCGImageAtTime(CMTime, QString*) { return {}; }
