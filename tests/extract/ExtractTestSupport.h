#pragma once
// Runs of the extraction with chosen settings, and the fixture videos they use.

#include <QDir>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

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

// The settings most runs choose; the interval and format stay the registered defaults, and the
// time stamp is off, unless asked for.
struct RunOptions {
    double from = 0, to = 10;
    std::optional<double> interval = std::nullopt;
    double sizePercentage = 100;
    std::optional<long long> format = std::nullopt;
    long long rows = 3, autoDelete = 0, timeStamp = 0;
};

// A processor on `video` opened after a fresh store with registered defaults, `options` and a
// private base folder; `configure` then sets what else the test needs.
inline std::unique_ptr<VideoFileProcessor> OpenWith(
    const QString& video, const RunOptions& options,
    const std::function<void(AppSettings&)>& configure = {}) {
    ResetSettingsStore();
    AppSettings settings;
    settings.DoRegisterDefaults();
    settings.SetBaseFolder(MakeTempDir("base"));
    settings.SetFrom(options.from);
    settings.SetTo(options.to);
    if (options.interval) settings.SetFrameInterval(*options.interval);
    settings.SetImageSizePercentage(options.sizePercentage);
    if (options.format) settings.SetSelectedFileFormat(*options.format);
    settings.SetRowsInVideoWall(options.rows);
    settings.SetIntegerValue(options.autoDelete, "_checkBoxAutoDelete");
    settings.SetAddTimeIntervalToImages(options.timeStamp);
    if (configure) configure(settings);
    auto processor = std::make_unique<VideoFileProcessor>();
    processor->OpenVideoFile(video);
    return processor;
}

inline ExtractionResult Extract(const QString& video, const RunOptions& options,
                                const std::function<void(AppSettings&)>& configure = {},
                                const std::function<void(VideoFileProcessor&)>& prepare = {}) {
    const auto processor = OpenWith(video, options, configure);
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
