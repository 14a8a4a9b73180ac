#pragma once
// Writes one H.264 video track (libx264, 4:2:0) into an MPEG-4 file, picture by picture.
//
// The writer owns the muxer, the encoder and one reusable YUV picture. Picture k is shown at
// k / frameRate seconds with an exact rational time base (29.97 is 30000/1001), the first
// at zero. Colours go from RGB to limited-range YUV with the BT.709 matrix for HD sizes
// (width >= 1280 or height >= 720) and BT.601 otherwise; the stream is tagged accordingly.
//
// Finish() flushes the encoder, writes the trailer and closes the file, answering whether
// all of it succeeded; a writer destroyed without Finish() does the same and ignores errors.
// Owned by its caller; one thread at a time (the encoder runs its own frame threads).

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

class MovieWriter {
  public:
    // Which part of the set-up failed: the file and muxer, the encoder, the track (stream
    // and header), or the picture the frames are converted into.
    enum class SetupStage { Container, Encoder, Track, PicturePool };
    class SetupError : public std::runtime_error {
      public:
        SetupError(SetupStage stage, const std::string& reason)
            : std::runtime_error(reason), m_eStage(stage) {}
        SetupStage stage() const { return m_eStage; }

      private:
        SetupStage m_eStage;
    };

    // A frame rate as an exact fraction: NTSC rates (n * 1000/1001) become n000/1001, any
    // other rate the closest fraction with a denominator up to 100000.
    struct Fraction {
        int numerator = 0;
        int denominator = 1;
    };
    static Fraction ExactFrameRate(double framesPerSecond);

    // Creates the file under a temporary name beside `path` (platform/OutputFile.h) and writes
    // its header; a good Finish() renames it to `path`, replacing any file there, and a
    // failed one removes it, leaving a file that was at `path` as it was. `size` must be even on
    // both sides and `framesPerSecond` at least 1. Throws SetupError naming the stage that failed.
    MovieWriter(const QString& path, QSize size, double framesPerSecond);
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // False once an append or the finishing has failed: nothing more can be written.
    bool isReadyForMoreMediaData() const;
    // Encodes `picture` (any QImage format, exactly the writer's size) shown at frame slot
    // `slot`; slots must grow. False (see failure()) when it could not be encoded or
    // written. Throws SetupError(PicturePool) when the picture cannot be made writable.
    bool appendImage(const QImage& picture, int64_t slot);
    // Flushes, writes the trailer and closes the file; false with failure() when any step
    // (or an earlier append) failed. Call at most once.
    bool Finish();
    const QString& failure() const;

  private:
    class Impl;
    std::unique_ptr<Impl> m_pImpl;
};
