#pragma once
// The one object through which a command reaches a video file: it opens the video, answers
// its duration, frame rate and size, and carries out the per-run work (frame extraction,
// walls, exports) whose members are defined by the subsystems that own them.
//
// One processor per command; it owns its asset, its settings store and its run state.
// Used by one thread at a time, the thread of its command. A frame extraction run spreads
// its per-frame work over worker threads of its own and waits for them before it returns.

#include <QColor>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/CMTime.h"
#include "platform/DrawableImage.h"
#include "platform/Exporter.h"

class AppSettings;
class GreyScaleConverter;
class ImageGenerator;
class MediaAsset;
class StepSchedule;
class VideoPicture;

class VideoFileProcessor {
  public:
    VideoFileProcessor();
    ~VideoFileProcessor();
    VideoFileProcessor(const VideoFileProcessor&) = delete;
    VideoFileProcessor& operator=(const VideoFileProcessor&) = delete;

    // ---- Video source (src/media) ----
    void OpenVideoFile(const QString& path);
    CMTime GetVideoDuration() const;
    double GetVideoDurationInSeconds() const;
    float GetFrameRate() const;
    QSizeF GetVideoDimensions() const;  // coded size; (0, 0) without a video track
    // The size frames are taken at: as players show them when the settings ask for it
    // (turned, stretched to square pixels), else the coded size. (0, 0) without a video track.
    QSizeF GetFrameDimensions();
    // Reads whether frames are taken as players show them (m_bOutputAsDisplayed).
    bool ReadOutputAsDisplayed();
    // Why the video was refused (pictures too large to decode); empty otherwise.
    QString GetVideoProblem() const;
    DrawableImage imageFromCGImageRef(const QImage& frame) const;
    static QString GetTimeFromSeconds(double seconds);
    AppSettings& GetAppSettings();

    // ---- Frame extraction run (src/extract) ----
    // Runs the whole extraction; stores the new list of written paths in `out` and returns
    // the run folder.
    QString DoExportAllImages(std::shared_ptr<QStringList>& out);
    void DoSaveVideoFrame(double time, const QString& nameWithoutExtension, long long formatCode,
                          double sizePercentage, ImageGenerator& generator);
    void saveAsWithNameWithoutExtension(DrawableImage image, const QString& nameWithoutExtension,
                                        long long formatCode, double sizePercentage, double time);
    QString GetAppMultimediaFolder(bool forImages);
    // Makes a new folder "<video name> HH mm ss" (UTC), numbered " 2", " 3"... when taken, in
    // the application folder; see platform/NewFolders.h. When it cannot be made, answers the
    // name it tried with the reason in `error` (cleared on success).
    QString GetAppNewMultimediaFolderForSource(const QString& sourcePath, bool forImages,
                                               QString* error = nullptr);
    unsigned long long GetSelectedImageFileFormat();
    // Encodes with compression factor 1.0 and writes to `fullPath` as given; false (with
    // the reason in `error`) when it could not be written.
    bool SaveNSImageAsFile(const DrawableImage& image, const QString& fullPath,
                           unsigned long long formatCode, QString* error = nullptr);

    // Called after every step of a run with (steps done, steps in all); answering false
    // stops the run after the current frame.
    using ProgressHandler = std::function<bool(long long done, long long total)>;
    void SetProgressHandler(ProgressHandler handler) { m_fnProgress = std::move(handler); }
    // Frames of the last run that could not be written, and the first reason.
    long long GetFailedFrameCount() const { return m_iFailedFrameCount; }
    const QString& GetFirstWriteError() const { return m_strFirstWriteError; }
    // The paths of the frames that were tried and could not be written, in order.
    const QStringList& GetFailedFramePaths() const { return m_qFailedFramePaths; }
    bool WasCancelled() const { return m_bCancelled; }
    // Whether the last run had nothing to do: a video with pictures whose range holds no step
    // (From equal to To, say). Its folder is made and shown all the same.
    bool RangeHadNoSteps() const { return m_bRangeHadNoSteps; }

    // ---- Image walls (src/wall) ----
    // Reads the settings, stores the grid members and answers the save panel's message.
    QString GetWallInfo();
    // Builds the wall of the open video, saves it to `targetPath` and opens it. False, with a
    // readable reason in `error`, when there are no tiles, the wall is too large for memory or
    // for the selected format, or it could not be saved (then nothing is opened).
    bool ExportVideoWall(const QString& targetPath, QString* error = nullptr);
    // False when the frame could not be decoded (its cell keeps the background).
    bool DoAddVideoFrameToImage(DrawableImage& wall, ImageGenerator& generator, long long row,
                                long long column, double time, double sizePercentage);
    // Draws equally sized images into a wall of `rows` rows (at least 1), saves it to
    // `targetPath` as given and opens it; false with the reason as above.
    bool ExportImageWall(const QList<QImage>& images, const QString& targetPath,
                         unsigned long long rows, QString* error = nullptr);

    // ---- Video information report (src/media/VideoInfoReport.cpp) ----
    QString GetVideoInfo();  // CR LF lines, no final break; stores m_oVideoTimeScale

    // ---- Frame image processing (src/extract) ----
    DrawableImage resizeImage(const DrawableImage& image, QSizeF targetSize) const;
    void DrawImageTime(double time, DrawableImage& image) const;
    void AddWatermarkToImage(DrawableImage& image) const;
    GreyScaleConverter& GetGreyScaleConverter();

    // ---- Duplicate-frame removal (src/extract) ----
    bool IsSameFingerPrint(const QString& pathA, const QString& pathB) const;
    std::optional<QString> GetFileFingerPrint(const QString& path) const;
    void DeleteFile(const QString& path) const;
    // After a frame file is written: deletes the previous file of the run when it is
    // byte-identical, then remembers the new path.
    void RemoveEarlierDuplicate(const QString& newPath);
    // The same, with the new file's fingerprint already known (nullopt: it has none).
    void RemoveEarlierDuplicate(const QString& newPath, const std::optional<QString>& digest);

    // ---- Conversion by export preset (src/videoout) ----
    // The existing items followed by the three comments that name the preset and the time.
    static QList<ExportMetadataItem> addNewMetadata(const QList<ExportMetadataItem>& existing,
                                                    const QString& presetName);
    // Converts the whole video at `path` through the preset into "<title> <name>.mov" in a
    // new folder under the movies location, blocking the calling thread until the exporter
    // ends; the folder is then opened whatever the outcome. A folder that cannot be made
    // fails the conversion before it starts. Answers the output path.
    QString ExportVideo(const QString& path, const QString& presetName, const QString& title);
    // Called on the converting thread about once a second with the progress (0 to 1);
    // answering false cancels the conversion.
    using ConversionProgressHandler = std::function<bool(float progress)>;
    void SetConversionProgressHandler(ConversionProgressHandler handler) {
        m_fnConversionProgress = std::move(handler);
    }
    // Opens the output folder at the end; by default the shared workspace, on the converting
    // thread.
    using FolderOpener = std::function<void(const QString& folder)>;
    void SetFolderOpener(FolderOpener opener) { m_fnOpenFolder = std::move(opener); }
    // How the last conversion ended: Exporter::Unknown when it never started (then
    // GetConversionProblem() says why), else Completed, Failed or Cancelled.
    Exporter::Status GetConversionStatus() const { return m_eConversionStatus; }
    const QString& GetConversionProblem() const { return m_strConversionProblem; }

    // Run state, readable by tests and the commands that own the processor.
    int32_t m_oVideoTimeScale = 0;
    double m_fltFrom = 0;
    double m_fltTo = 0;
    std::unique_ptr<MediaAsset> m_pAsset;
    QString mFilePath;
    bool m_bExportAsGreyScale = false;
    bool m_bOutputAsDisplayed = false;
    std::unique_ptr<GreyScaleConverter> m_pGreyScaleConverter;
    std::unique_ptr<AppSettings> m_pAppSettings;
    QString pLastFilePath;
    std::optional<QString> m_oLastFileDigest;  // of pLastFilePath, when known
    bool m_bAutoDelete = false;
    bool m_bAddTimeToImages = false;
    std::shared_ptr<QStringList> m_pFilePathsArrayForAppDelegate;
    QSizeF m_oVideoSizeForWallCreation;
    QSizeF m_oSizeOfImageWall;
    long long m_iWallImageHeight = 0;
    DrawableImage m_pWatermarkImageUserSelected;
    long long m_iUserSelectedWaterMarkImageWidth = 0;
    long long m_iUserSelectedWaterMarkImageHeight = 0;
    long long m_iTransparency = 0;
    long long m_iWatermarkAlignment = 0;
    long long m_iCompressionFactor = 0;
    QColor m_oTimeColor = Qt::black;  // the time stamp's colour, cached when opening

  private:
    struct RunOptions;
    RunOptions ReadRunSettings();
    void RunSteps(const RunOptions& options, const StepSchedule& schedule,
                  ImageGenerator& generator);
    // A run's frames are converted, processed, encoded and written on worker threads and
    // committed (paths, duplicates, failures, progress) on the run's thread in step order.
    struct FrameResult;
    static int FrameWorkerCount();
    FrameResult SaveFrame(const VideoPicture* picture, double time, long long counter,
                          const QString& name, const RunOptions& options) const;
    QByteArray EncodeFrame(const VideoPicture& picture, double time,
                           const RunOptions& options) const;
    bool NeedsProcessing(const RunOptions& options) const;
    DrawableImage ProcessedImage(DrawableImage image, double sizePercentage, double time) const;
    bool CommitFrame(FrameResult& result, long long total);
    static void TakeBackUncommittedFrame(const FrameResult& result);
    void RecordWriteFailure(const QString& path, const QString& reason);

    ProgressHandler m_fnProgress;
    long long m_iFailedFrameCount = 0;
    QString m_strFirstWriteError;
    QStringList m_qFailedFramePaths;
    bool m_bCancelled = false;
    bool m_bRangeHadNoSteps = false;

    std::unique_ptr<Exporter> MakeExporter(const QString& path, const QString& presetName);
    void WaitForExporter(Exporter& exporter);
    ConversionProgressHandler m_fnConversionProgress;
    FolderOpener m_fnOpenFolder;
    Exporter::Status m_eConversionStatus = Exporter::Unknown;
    QString m_strConversionProblem;
};
