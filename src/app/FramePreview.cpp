#include "app/FramePreview.h"

#include <QPointer>
#include <exception>
#include <memory>

#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "settings/AppSettings.h"

FramePreview::FramePreview(QObject* parent) : QObject(parent) {
    setObjectName("framePreview");
    m_oDebounce.setSingleShot(true);
    m_oDebounce.setInterval(kDebounceMs);
    connect(&m_oDebounce, &QTimer::timeout, this, &FramePreview::StartDecode);
    // One decode at a time: a newer request queues behind the running one, which cannot be
    // interrupted, and the queued ones that went stale meanwhile are skipped.
    m_oPool.setMaxThreadCount(1);
}

FramePreview::~FramePreview() {
    Cancel();
    m_oPool.clear();
    m_oPool.waitForDone();
}

void FramePreview::Request(const QString& path, double seconds, QSize box, qreal devicePixelRatio) {
    m_oPending = Job{path, seconds, box, devicePixelRatio, false, ++m_ullGeneration};
    m_oDebounce.start();
}

void FramePreview::Cancel() {
    m_oDebounce.stop();
    ++m_ullGeneration;
}

void FramePreview::StartDecode() {
    Job job = m_oPending;
    if (job.generation != m_ullGeneration) return;  // cancelled after it was asked for
    // Read now rather than at the request: the settings sheet may have changed it since.
    job.asDisplayed = AppSettings().GetOutputImageAsDisplayed() == 1;
    ++m_iDecodesStarted;
    const QPointer<FramePreview> guard(this);
    m_oPool.start([this, guard, job] {
        if (job.generation != m_ullGeneration) return;  // superseded while queued
        const QImage frame = DecodeJob(job);
        // `this` is alive while the call is posted: the destructor waits for this thread.
        // The call itself may run later, after the window and its preview are gone.
        QMetaObject::invokeMethod(
            this,
            [guard, generation = job.generation, frame] {
                if (guard) guard->Deliver(generation, frame);
            },
            Qt::QueuedConnection);
    });
}

QImage FramePreview::DecodeJob(const Job& job) {
    const QSize pixels = (QSizeF(job.box) * job.devicePixelRatio).toSize();
    QImage frame = DecodeFrame(job.path, job.seconds, job.asDisplayed, pixels);
    if (!frame.isNull()) frame.setDevicePixelRatio(job.devicePixelRatio);
    return frame;
}

void FramePreview::Deliver(quint64 generation, const QImage& frame) {
    if (generation != m_ullGeneration) return;
    emit frameReady(frame);
}

QImage FramePreview::DecodeFrame(const QString& path, double seconds, bool asDisplayed,
                                 QSize pixels) {
    try {
        const std::unique_ptr<MediaAsset> asset = MediaAsset::Open(path);
        if (!asset->isReadable() || !asset->hasVideoTrack()) return {};
        ImageGenerator generator(*asset);
        generator.setAppliesPreferredTrackTransform(asDisplayed);
        const QImage frame = generator.copyCGImageAtTime(
            CMTimeMakeWithSeconds(seconds, asset->duration().timescale));
        if (frame.isNull() || pixels.isEmpty()) return frame;
        return frame.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    } catch (const std::exception&) {
        // A decoder that cannot even be set up leaves the icon in place, like a missing frame.
        return {};
    }
}
