#pragma once
// Writes H.264 movies in MPEG-4 files: from a list of image files, or frame by frame from a
// video. One generator serves one write; the write runs synchronously on the caller's thread
// (the main thread in the application) and finishes the file before it returns.

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "platform/DrawableImage.h"

// A writer that could not be set up: what() is "Invalid parameter not satisfying: <condition>"
// with the condition ("videoWriter", "videoWriterInput",
// "[videoWriter canAddInput:videoWriterInput]", "bufferPool != NULL") followed by the reason.
class VideoWriterSetupError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a write achieved.
struct MovieOutcome {
    bool written = false;         // the file was finished and is complete
    long long frames = 0;         // frames handed to the writer
    long long framesLeftOut = 0;  // frames whose appends all failed (their slot is kept)
    QString error;                // why nothing (or nothing usable) was written
};

class VideoGenerator {
  public:
    double FrameDelayDuringExport() const { return m_dblFrameDelayDuringExport; }
    void setFrameDelayDuringExport(double seconds) { m_dblFrameDelayDuringExport = seconds; }
    // Whether the re-encode takes frames as players show them (turned, square pixels).
    void setAppliesPreferredTrackTransform(bool applies) { m_bAsDisplayed = applies; }

    // One frame per entry that loads as an image, at k / frameRate seconds (an exact rational
    // time base: 29.97 is 30000/1001). Entries that are absolute paths are used as they are,
    // other entries are names inside `folder`. Throws VideoWriterSetupError when the writer
    // cannot be set up; opens the finished movie through the workspace.
    MovieOutcome writeImagesToMovieAtPath(const QString& outputPath, const QStringList& images,
                                          const QString& folder, double frameRate);

    // Every frame of the source at its own nominal frame rate, at its natural size. Throws
    // VideoWriterSetupError as above; nothing is written for a source without a video track.
    MovieOutcome DoExportVideoWithWatermark(const QString& sourcePath, const QString& outputPath);

    // The image drawn unscaled into the bottom-left corner of a frame of `size` (bottom-up
    // coordinates: a larger image loses its right part and its top rows), the rest black.
    static QImage pixelBufferFromCGImage(const QImage& image, QSize size);
    static QImage GetCGImage(const DrawableImage& image) { return image.bitmap(); }
    static DrawableImage imageFromCGImageRef(const QImage& bitmap) { return DrawableImage(bitmap); }

  private:
    double m_dblFrameDelayDuringExport = 0;
    bool m_bAsDisplayed = false;
};
