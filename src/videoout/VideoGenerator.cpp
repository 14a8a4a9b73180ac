// The movie writer: image lists and frame-by-frame copies of a video into H.264 movies.
#include "videoout/VideoGenerator.h"

#include <QDir>
#include <QPainter>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "platform/DiagnosticLog.h"
#include "platform/ImageFiles.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "platform/MovieWriter.h"
#include "platform/Workspace.h"

namespace {

constexpr int kAppendAttempts = 30;
constexpr double kNotReadyPause = 0.1;
constexpr double kDefaultFrameDelay = 0.05;

void Pause(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// 4:2:0 H.264 holds only even sizes; the extra column goes right, the extra row on top.
QSize EvenSize(QSize size) {
    return {size.width() + size.width() % 2, size.height() + size.height() % 2};
}

const char* ConditionOf(MovieWriter::SetupStage stage) {
    switch (stage) {
        case MovieWriter::SetupStage::Container:
            return "videoWriter";
        case MovieWriter::SetupStage::Encoder:
            return "videoWriterInput";
        case MovieWriter::SetupStage::Track:
            return "[videoWriter canAddInput:videoWriterInput]";
        case MovieWriter::SetupStage::PicturePool:
            break;
    }
    return "bufferPool != NULL";
}

[[noreturn]] void ThrowSetupError(const MovieWriter::SetupError& error) {
    throw VideoWriterSetupError(std::string("Invalid parameter not satisfying: ") +
                                ConditionOf(error.stage()) + " (" + error.what() + ")");
}

std::unique_ptr<MovieWriter> OpenWriter(const QString& path, QSize size, double rate) {
    try {
        return std::make_unique<MovieWriter>(path, size, rate);
    } catch (const MovieWriter::SetupError& error) {
        ThrowSetupError(error);
    }
}

QString EntryPath(const QString& entry, const QString& folder) {
    return QDir::isAbsolutePath(entry) ? entry : folder + "/" + entry;
}

// The size in points, truncated, of the first entry that loads as an image.
std::optional<QSize> FirstFrameSize(const QStringList& images, const QString& folder) {
    for (const QString& entry : images) {
        const auto loaded = LoadImageFileWithPointSize(EntryPath(entry, folder));
        if (!loaded) continue;
        const QSize size(static_cast<int>(loaded->pointSize.width()),
                         static_cast<int>(loaded->pointSize.height()));
        if (!size.isEmpty()) return size;
    }
    return std::nullopt;
}

// `image` unscaled in the bottom-left corner of a black `canvas`, showing no more of it than
// the bottom-left `frame` (the canvas may be larger by its padding).
QImage FrameOnCanvas(const QImage& image, QSize frame, QSize canvas) {
    // The usual case, an image exactly filling the frame, needs no copy.
    if (image.size() == canvas && frame == canvas && image.format() == QImage::Format_RGB32)
        return image;
    QImage buffer(canvas, QImage::Format_RGB32);
    if (buffer.isNull()) return buffer;
    buffer.fill(Qt::black);
    QPainter painter(&buffer);
    const int frameTop = canvas.height() - frame.height();
    painter.setClipRect(QRect(QPoint(0, frameTop), frame));
    painter.drawImage(QPoint(0, canvas.height() - image.height()), image);
    return buffer;
}

enum class AppendResult { Appended, LeftOut, WriterFailed };

// One write's writer, frame size and append policy.
class MovieFeed {
  public:
    MovieFeed(std::unique_ptr<MovieWriter> writer, QSize frame, double delay, bool report)
        : m_pWriter(std::move(writer)), m_oFrame(frame), m_dblDelay(delay), m_bReport(report) {}

    AppendResult Append(const QImage& image, long long slot, MovieOutcome& outcome);
    void Finish(const QString& path, MovieOutcome& outcome);
    bool failed() const { return !m_pWriter->isReadyForMoreMediaData(); }

  private:
    bool TryAppend(const QImage& buffer, long long slot, int attempt, bool& appended);

    std::unique_ptr<MovieWriter> m_pWriter;
    QSize m_oFrame;
    double m_dblDelay;
    bool m_bReport;  // the re-encode tells standard output about appends that wait or fail
};

// One attempt; false when no more attempts should follow.
bool MovieFeed::TryAppend(const QImage& buffer, long long slot, int attempt, bool& appended) {
    if (!m_pWriter->isReadyForMoreMediaData()) {
        if (m_bReport) std::printf("adaptor not ready %d, %d\n", static_cast<int>(slot), attempt);
        Pause(kNotReadyPause);
        return true;
    }
    try {
        appended = m_pWriter->appendImage(buffer, slot);
    } catch (const MovieWriter::SetupError& error) {
        ThrowSetupError(error);
    }
    Pause(m_dblDelay);
    return !appended && !failed();
}

AppendResult MovieFeed::Append(const QImage& image, long long slot, MovieOutcome& outcome) {
    // A writer that failed stays failed: waiting 30 times for it would only waste 3 s a frame.
    if (failed()) return AppendResult::WriterFailed;
    const QImage buffer = FrameOnCanvas(image, m_oFrame, EvenSize(m_oFrame));
    ++outcome.frames;
    bool appended = false;
    for (int attempt = 0; attempt < kAppendAttempts; ++attempt)
        if (!TryAppend(buffer, slot, attempt, appended)) break;
    if (appended) return AppendResult::Appended;
    if (failed()) return AppendResult::WriterFailed;
    if (m_bReport)
        std::printf("error appending image %d times %d\n", static_cast<int>(slot), kAppendAttempts);
    ++outcome.framesLeftOut;
    return AppendResult::LeftOut;
}

// An unfinished or empty movie is of no use to anyone: it is reported, never opened, and the
// writer removes it (a file that was at the path before stays).
void MovieFeed::Finish(const QString& path, MovieOutcome& outcome) {
    if (outcome.frames == outcome.framesLeftOut) {
        m_pWriter.reset();  // never finished, so nothing replaces the file at the path
        outcome.error = "No Frame could be Read, so the Video would have no picture.";
        return;
    }
    const bool finished = m_pWriter->Finish();
    const QString failure = m_pWriter->failure();
    m_pWriter.reset();
    if (!finished) {
        outcome.error = "The Video could not be written: " + failure;
        return;
    }
    std::fflush(stdout);
    LogLine("Video Export Finished");
    outcome.written = true;
    ShowResultOnDesktop(path);
}

// Samples the source every 1/rate seconds by repeated addition, as long as t <= duration;
// a time without a frame takes no slot.
void CopyFrames(ImageGenerator& generator, CMTime duration, float rate, MovieFeed& feed,
                MovieOutcome& outcome) {
    const double end = CMTimeGetSeconds(duration);
    const double step = 1.0 / rate;
    long long slot = 0;
    if (!(end >= 0)) return;
    double time = 0.0;
    do {
        const QImage decoded =
            generator.copyCGImageAtTime(CMTimeMakeWithSeconds(time, duration.timescale));
        if (!decoded.isNull()) {
            const QImage bitmap =
                VideoGenerator::GetCGImage(VideoGenerator::imageFromCGImageRef(decoded));
            if (feed.Append(bitmap, slot++, outcome) == AppendResult::WriterFailed) return;
        }
        time += step;
    } while (time <= end);
}

}  // namespace

MovieOutcome VideoGenerator::writeImagesToMovieAtPath(const QString& outputPath,
                                                      const QStringList& images,
                                                      const QString& folder, double frameRate) {
    if (m_dblFrameDelayDuringExport == 0) m_dblFrameDelayDuringExport = kDefaultFrameDelay;
    MovieOutcome outcome;
    const std::optional<QSize> frame = FirstFrameSize(images, folder);
    if (!frame) {
        outcome.error = "No Image Files Found to Create the Video.";
        return outcome;
    }
    LogLine("Video Export Started");
    MovieFeed feed(OpenWriter(outputPath, EvenSize(*frame), frameRate), *frame,
                   m_dblFrameDelayDuringExport, false);
    long long slot = 0;
    for (const QString& entry : images) {
        QString refusal;
        const QImage image = LoadImageFile(EntryPath(entry, folder), &refusal);
        if (!refusal.isEmpty()) LogLine("Image left out : " + entry + " : " + refusal);
        if (image.isNull()) continue;  // not an image, too large, a folder, or gone: no slot
        if (feed.Append(image, slot++, outcome) == AppendResult::WriterFailed) break;
    }
    feed.Finish(outputPath, outcome);
    return outcome;
}

MovieOutcome VideoGenerator::DoExportVideoWithWatermark(const QString& sourcePath,
                                                        const QString& outputPath) {
    MovieOutcome outcome;
    const std::unique_ptr<MediaAsset> asset = MediaAsset::Open(sourcePath);
    if (!asset->hasVideoTrack()) {
        outcome.error = "The file has no video track.";
        return outcome;
    }
    const QSize frame =
        (m_bAsDisplayed ? asset->presentationSize() : asset->naturalSize()).toSize();
    const float rate = asset->nominalFrameRate();
    if (rate < 1 || frame.isEmpty()) {
        outcome.error = "The video has fewer than 1 frame per second or no picture size.";
        return outcome;
    }
    ImageGenerator generator(*asset);
    generator.setAppliesPreferredTrackTransform(m_bAsDisplayed);
    generator.setRequestedTimeToleranceBefore(kCMTimeZero);
    generator.setRequestedTimeToleranceAfter(kCMTimeZero);
    if (m_dblFrameDelayDuringExport == 0) m_dblFrameDelayDuringExport = kDefaultFrameDelay;
    LogLine("Video Export Started");
    MovieFeed feed(OpenWriter(outputPath, EvenSize(frame), rate), frame,
                   m_dblFrameDelayDuringExport, true);
    CopyFrames(generator, asset->duration(), rate, feed, outcome);
    feed.Finish(outputPath, outcome);
    return outcome;
}

QImage VideoGenerator::pixelBufferFromCGImage(const QImage& image, QSize size) {
    return FrameOnCanvas(image, size, size);
}
