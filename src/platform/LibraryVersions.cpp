#include "platform/LibraryVersions.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

QString Numbered(const char* library, unsigned version) {
    return QStringLiteral("%1 %2.%3.%4")
        .arg(QLatin1String(library))
        .arg(AV_VERSION_MAJOR(version))
        .arg(AV_VERSION_MINOR(version))
        .arg(AV_VERSION_MICRO(version));
}

}  // namespace

QString FFmpegVersion() {
    return QString::fromUtf8(av_version_info());
}

QStringList FFmpegLibraryVersions() {
    return {
        Numbered("libavformat", avformat_version()),     Numbered("libavcodec", avcodec_version()),
        Numbered("libavfilter", avfilter_version()),     Numbered("libswscale", swscale_version()),
        Numbered("libswresample", swresample_version()), Numbered("libavutil", avutil_version()),
    };
}
