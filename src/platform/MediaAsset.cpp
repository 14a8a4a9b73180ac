#include "platform/MediaAsset.h"

std::unique_ptr<MediaAsset> MediaAsset::Open(const QString& path) {
    return std::unique_ptr<MediaAsset>(new MediaAsset(path));
}
