// Frame image processing of the video processor: scaling, the time stamp and the watermark.
#include <QFont>
#include <QFontMetricsF>

#include "extract/GreyScaleConverter.h"
#include "extract/WatermarkPlacement.h"
#include "media/VideoFileProcessor.h"

namespace {

// The default text attributes: a Helvetica-like black face of 12 points at 72 points per
// inch, i.e. 12 pixels tall.
QFont TimeStampFont() {
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(12);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QPointF WatermarkOrigin(long long alignment, QSizeF image, long long width, long long height) {
    const double W = image.width();
    const double H = image.height();
    switch (alignment) {
        case 0:
            return {0, H - height};
        case 1:
            return {W - width, H - height};
        case 2:
            return {0, 0};
        case 3:
            return {W - width, 0};
        case 4:
            return {W * 0.5 - width / 2, H * 0.5 - height / 2};
        default:
            return {0, 0};
    }
}

GreyScaleConverter& VideoFileProcessor::GetGreyScaleConverter() {
    if (!m_pGreyScaleConverter) m_pGreyScaleConverter = std::make_unique<GreyScaleConverter>();
    return *m_pGreyScaleConverter;
}

DrawableImage VideoFileProcessor::resizeImage(const DrawableImage& image, QSizeF targetSize) const {
    DrawableImage resized = DrawableImage::WithSize(targetSize);
    if (resized.isNull() || image.isNull()) return resized;
    {
        PointPainter painter(resized);
        painter.painter().drawImage(QRectF(QPointF(0, 0), targetSize), image.bitmap());
    }
    // An opaque picture stays opaque, which keeps the encoded files free of an alpha channel.
    if (!image.bitmap().hasAlphaChannel())
        resized.bitmap() = resized.bitmap().convertToFormat(QImage::Format_RGB32);
    return resized;
}

void VideoFileProcessor::DrawImageTime(double time, DrawableImage& image) const {
    const QString text = GetTimeFromSeconds(time);
    if (text.isEmpty() || image.isNull()) return;
    const QFont font = TimeStampFont();
    const QFontMetricsF metrics(font);
    const double textWidth = metrics.horizontalAdvance(text);
    PointPainter painter(image);
    painter.painter().setFont(font);
    painter.painter().setPen(m_oTimeColor);
    // The text's box touches the top-right corner; Qt places text by its baseline.
    painter.painter().drawText(QPointF(image.size().width() - textWidth, metrics.ascent()), text);
}

void VideoFileProcessor::AddWatermarkToImage(DrawableImage& image) const {
    if (m_pWatermarkImageUserSelected.isNull() || m_iUserSelectedWaterMarkImageWidth < 1) return;
    if (image.isNull()) return;
    const QPointF origin =
        WatermarkOrigin(m_iWatermarkAlignment, image.size(), m_iUserSelectedWaterMarkImageWidth,
                        m_iUserSelectedWaterMarkImageHeight);
    PointPainter painter(image);
    painter.painter().setOpacity(static_cast<double>(m_iTransparency) / 100.0);
    painter.painter().setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRectF target =
        painter.ToTopDown(origin.x(), origin.y(), double(m_iUserSelectedWaterMarkImageWidth),
                          double(m_iUserSelectedWaterMarkImageHeight));
    painter.painter().drawImage(target, m_pWatermarkImageUserSelected.bitmap());
}
