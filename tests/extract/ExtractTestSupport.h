#pragma once
// Runs of the extraction with chosen settings, and the fixture videos they use.

#include <QDir>
#include <QStringList>
#include <functional>
#include <memory>

#include "media/VideoFileProcessor.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

struct ExtractionResult {
    QString folder;
    std::shared_ptr<QStringList> files;
    long long failedFrames = 0;
    QString firstError;

    QStringList FolderEntries() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
};

// A processor on `video` opened after a fresh store with registered defaults, the time stamp
// off and a private base folder; `configure` then sets what the test needs.
inline std::unique_ptr<VideoFileProcessor> OpenWith(
    const QString& video, const std::function<void(AppSettings&)>& configure = {}) {
    ResetSettingsStore();
    AppSettings settings;
    settings.DoRegisterDefaults();
    settings.SetAddTimeIntervalToImages(0);
    settings.SetBaseFolder(MakeTempDir("base"));
    if (configure) configure(settings);
    auto processor = std::make_unique<VideoFileProcessor>();
    processor->OpenVideoFile(video);
    return processor;
}

// An extraction by such a processor; `prepare` sees it once the video is open.
inline ExtractionResult Extract(const QString& video,
                                const std::function<void(AppSettings&)>& configure = {},
                                const std::function<void(VideoFileProcessor&)>& prepare = {}) {
    const auto processor = OpenWith(video, configure);
    if (prepare) prepare(*processor);
    ExtractionResult result;
    result.folder = processor->DoExportAllImages(result.files);
    result.failedFrames = processor->GetFailedFrameCount();
    result.firstError = processor->GetFirstWriteError();
    return result;
}

// 10 s of a moving test picture, 160 x 120 at 30 fps, H.264 with B-frames.
inline QString MovingPictureVideo() {
    return MakeVideo("moving-160x120-30fps.mp4",
                     "-f lavfi -i testsrc2=size=160x120:rate=30:duration=10 -c:v libx264 -preset "
                     "veryfast -bf 3 -g 48 -pix_fmt yuv420p");
}

// Losslessly coded 1 fps video of flat colours, one per second.
inline QString ColourSequenceVideo(const QString& name, const QStringList& colours,
                                   QSize size = QSize(64, 48)) {
    const QString frames = MakeTempDir("colour-frames");
    for (int index = 0; index < colours.size(); ++index) {
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(QColor::fromString(colours[index]));
        frame.save(QString("%1/%2.png").arg(frames).arg(index + 1));
    }
    return MakeVideo(name, {"-framerate", "1", "-i", frames + "/%d.png", "-c:v", "ffv1"});
}
