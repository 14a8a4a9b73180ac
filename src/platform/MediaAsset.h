#pragma once
// A video file opened for questions about it (duration, tracks, size, rate).
// Opening never fails: an unreadable file answers an invalid duration and no video track.
// Owned by whoever opened it; used by one thread at a time.

#include <QSizeF>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "platform/CMTime.h"
#include "platform/DisplayTransform.h"
#include "platform/FFmpegHandles.h"
#include "platform/SdrMapping.h"

struct MediaTrackInfo {
    int streamIndex = -1;
    QString mediaType;  // "video", "audio", "subtitle", "data"
    QString codecName;
};

class MediaAsset {
  public:
    // The largest picture a video may declare (8192 x 8192, 256 MB as RGB32): larger ones are
    // refused when the file is opened, and every decoder refuses to allocate more.
    static constexpr long long kMaxFramePixels = 8192LL * 8192;

    static std::unique_ptr<MediaAsset> Open(const QString& path);

    const QString& path() const { return m_strPath; }
    bool isReadable() const { return m_bReadable; }
    // Why the file was refused, as a sentence for the user (no regular file, pictures too
    // large to decode, a read that stalled); empty for readable files and for ones that are
    // simply not media.
    const QString& problem() const { return m_strProblem; }

    // A file refused on purpose rather than found unreadable.
    class Refusal : public av::Error {
      public:
        using av::Error::Error;
    };

    // The whole file's duration over the time scale of its first video track (or of the
    // container when it has none); the all-zero invalid time when unreadable.
    CMTime duration() const { return m_oDuration; }
    bool hasVideoTrack() const { return m_iVideoStream >= 0; }
    int videoStreamIndex() const { return m_iVideoStream; }
    // Coded picture size of the first video track; rotation is not applied. (0, 0) without one.
    QSizeF naturalSize() const { return m_oNaturalSize; }
    // How a player shows the first video track's pictures (its display matrix and pixel
    // aspect), and the size it shows them at.
    const DisplayTransform& preferredTransform() const { return m_oTransform; }
    QSizeF presentationSize() const;
    // The first video track's transfer (SDR, or the HDR PQ and HLG), and the peak its light
    // metadata gives in nits (0 when it gives none).
    sdr::Transfer transfer() const { return m_eTransfer; }
    double contentPeakNits() const { return m_dblContentPeakNits; }
    // Frames per second of the first video track; 0 without one.
    float nominalFrameRate() const { return m_fltNominalFrameRate; }
    // Bits per second of the first video track (estimated from its size when not declared).
    double estimatedDataRate() const { return m_dblEstimatedDataRate; }
    const std::vector<MediaTrackInfo>& tracks() const { return m_Tracks; }

    // Opens a demuxer on `path` with the probing limits every reader of media files shares,
    // stream information read. Throws Refusal for what is no regular file (before anything
    // opens it), for a video stream declaring pictures above kMaxFramePixels and for a read
    // that stalled; av::Error when the file is not readable media.
    static av::InputFormatPtr OpenDemuxer(const QString& path);

    // The refusal of a path that exists but is no regular file (nor a link to one): a named
    // pipe blocks whoever opens it until a writer comes, a device may never end, a folder
    // holds no media. Empty for regular files, and for paths that do not exist (whose
    // opening fails as usual). Every opener of media or image files asks this first.
    static QString NotRegularFileProblem(const QString& path);

    // Gives a demuxer, before it is opened, the interrupt callback that ends any read of it
    // waiting kStalledReadSeconds without progress: that read fails with AVERROR_EXIT, which
    // the openers report as StalledReadProblem.
    static constexpr int kStalledReadSeconds = 30;
    static void EndStalledReads(AVFormatContext& format);
    static QString StalledReadProblem(const QString& path);

  private:
    explicit MediaAsset(QString path) : m_strPath(std::move(path)) {}
    void ReadFrom(struct AVFormatContext* format);

    QString m_strPath;
    QString m_strProblem;
    bool m_bReadable = false;
    CMTime m_oDuration;
    int m_iVideoStream = -1;
    QSizeF m_oNaturalSize{0, 0};
    DisplayTransform m_oTransform;
    sdr::Transfer m_eTransfer = sdr::Transfer::Sdr;
    double m_dblContentPeakNits = 0;
    float m_fltNominalFrameRate = 0;
    double m_dblEstimatedDataRate = 0;
    std::vector<MediaTrackInfo> m_Tracks;
};

// Tells a read that has waited without progress for its limit from one that is merely slow,
// or that resumes after its reader paused between reads: FFmpeg asks a demuxer's interrupt
// callback over and over while it waits, so time without progress counts only while those
// calls come close together. One per thread.
class ReadStallWatch {
  public:
    using Clock = std::chrono::steady_clock;
    explicit ReadStallWatch(Clock::duration limit) : m_oLimit(limit) {}

    // Whether the read of `source`, which has come to `position`, has stalled by `now`.
    bool Stalled(const void* source, long long position, Clock::time_point now);

  private:
    // Calls further apart than this were not made while waiting on one read.
    static constexpr std::chrono::seconds kLongestWaitBetweenCalls{1};

    Clock::duration m_oLimit;
    const void* m_pSource = nullptr;
    long long m_iPosition = 0;
    Clock::time_point m_oSince;
    std::optional<Clock::time_point> m_oLastCall;
};
