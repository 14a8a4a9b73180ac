#include "media/VideoFileProcessor.h"

#include <QPainter>
#include <cmath>

#include "extract/GreyScaleConverter.h"
#include "platform/DiagnosticLog.h"
#include "platform/DurationText.h"
#include "platform/ImageFiles.h"
#include "platform/MediaAsset.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"

VideoFileProcessor::VideoFileProcessor() = default;
VideoFileProcessor::~VideoFileProcessor() = default;

void VideoFileProcessor::OpenVideoFile(const QString& path) {
    mFilePath = path;
    m_pAsset = MediaAsset::Open(path);
    AppSettings& settings = GetAppSettings();
    m_iTransparency = settings.GetTransparency();
    m_iWatermarkAlignment = settings.GetAlignment();
    if (settings.GetAddWatermark() == 1) {
        const QString watermarkPath = settings.GetWatermarkFilePath();
        if (FileExistsAtPath(watermarkPath)) {
            QString refusal;
            auto loaded = LoadImageFileWithPointSize(watermarkPath, &refusal);
            if (!refusal.isEmpty())
                LogLine("Watermark not used : " + watermarkPath + " : " + refusal);
            if (loaded) {
                m_pWatermarkImageUserSelected = DrawableImage(loaded->image);
                m_iUserSelectedWaterMarkImageWidth =
                    static_cast<long long>(std::trunc(loaded->pointSize.width()));
                m_iUserSelectedWaterMarkImageHeight =
                    static_cast<long long>(std::trunc(loaded->pointSize.height()));
            }
        }
    }
    m_iCompressionFactor = settings.GetCompressionFactor();
    m_oTimeColor = settings.GetTimeColor().value_or(QColor(Qt::black));
}

QString VideoFileProcessor::GetVideoProblem() const {
    return m_pAsset ? m_pAsset->problem() : QString();
}

CMTime VideoFileProcessor::GetVideoDuration() const {
    return m_pAsset ? m_pAsset->duration() : kCMTimeInvalid;
}

double VideoFileProcessor::GetVideoDurationInSeconds() const {
    return CMTimeGetSeconds(GetVideoDuration());
}

float VideoFileProcessor::GetFrameRate() const {
    return m_pAsset && m_pAsset->hasVideoTrack() ? m_pAsset->nominalFrameRate() : 0.0f;
}

QSizeF VideoFileProcessor::GetVideoDimensions() const {
    return m_pAsset && m_pAsset->hasVideoTrack() ? m_pAsset->naturalSize() : QSizeF(0, 0);
}

bool VideoFileProcessor::ReadOutputAsDisplayed() {
    m_bOutputAsDisplayed = GetAppSettings().GetOutputImageAsDisplayed() == 1;
    return m_bOutputAsDisplayed;
}

QSizeF VideoFileProcessor::GetFrameDimensions() {
    if (!m_pAsset || !m_pAsset->hasVideoTrack()) return QSizeF(0, 0);
    return ReadOutputAsDisplayed() ? m_pAsset->presentationSize() : m_pAsset->naturalSize();
}

DrawableImage VideoFileProcessor::imageFromCGImageRef(const QImage& frame) const {
    return DrawableImage(frame);
}

QString VideoFileProcessor::GetTimeFromSeconds(double seconds) {
    return DurationText(seconds);
}

AppSettings& VideoFileProcessor::GetAppSettings() {
    if (!m_pAppSettings) m_pAppSettings = std::make_unique<AppSettings>();
    return *m_pAppSettings;
}
