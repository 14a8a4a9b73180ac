// The frame extraction run of the video processor: range, steps, names, folders, saving.
#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <thread>

#include "extract/FrameNaming.h"
#include "extract/FramePipeline.h"
#include "extract/GreyScaleConverter.h"
#include "extract/StepSchedule.h"
#include "media/VideoFileProcessor.h"
#include "platform/ImageEncoders.h"
#include "platform/ImageFiles.h"
#include "platform/ImageFormats.h"
#include "platform/ImageGenerator.h"
#include "platform/Md5.h"
#include "platform/MediaAsset.h"
#include "platform/NewFolders.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"

namespace {

// Encodes with `encode` and writes the bytes to `path`; false, with "path: reason", when
// nothing usable was written. `written` (when given) receives the bytes.
bool WriteEncoded(const std::function<QByteArray()>& encode, const QString& path, QString* error,
                  QByteArray* written = nullptr) {
    QString reason;
    try {
        const QByteArray data = encode();
        if (data.isEmpty()) {
            reason = "the image is empty";
        } else if (WriteFileData(path, data, &reason)) {
            if (written) *written = data;
            return true;
        }
    } catch (const std::exception& failure) {
        reason = QString::fromUtf8(failure.what());
    }
    if (error) *error = path + ": " + reason;
    return false;
}

// Encodes and writes one image file; false with the reason when nothing usable was written.
bool EncodeAndWrite(const DrawableImage& image, const QString& path, long long formatCode,
                    float compressionFactor, QString* error) {
    if (!IsKnownImageFileType(formatCode)) {
        if (error)
            *error = path + ": " +
                     QString("the image format code %1 is not a known format").arg(formatCode);
        return false;
    }
    return WriteEncoded(
        [&] {
            return image.isNull()
                       ? QByteArray()
                       : EncodeImage(image.bitmap(), ImageFileType(formatCode), compressionFactor);
        },
        path, error);
}

// The lossless formats are written straight from the decoded picture, converted once into
// the file's own pixel layout; a null result leaves the picture to the general path.
QByteArray EncodePictureDirectly(const VideoPicture& picture, ImageFileType type) {
    const int width = picture.width(), height = picture.height();
    switch (type) {
        case ImageFileType::Tiff:
            return EncodeTiffRgb(width, height, [&](unsigned char* row, long long stride) {
                picture.ToPackedRgb(row, stride, PackedRgbOrder::Rgb);
            });
        case ImageFileType::Bmp:
            return EncodeBmpBgr(width, height, [&](unsigned char* row, long long stride) {
                picture.ToPackedRgb(row, stride, PackedRgbOrder::Bgr);
            });
        case ImageFileType::Png:
            return EncodePngRgb(width, height, [&](unsigned char* row, long long stride) {
                picture.ToPackedRgb(row, stride, PackedRgbOrder::Rgb);
            });
        default:
            return {};
    }
}

bool HasAnyStep(const StepSchedule& schedule) {
    bool any = false;
    schedule.ForEachStep([&any](double, long long) {
        any = true;
        return false;  // the first step answers the question
    });
    return any;
}

// What makes a source's run folder name unique: " HH mm ss", the time of day in UTC.
QString UniqueNameTimePart() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral(" HH mm ss"));
}

float CompressionFactorOf(long long percent) {
    return static_cast<float>(std::clamp(static_cast<double>(percent) / 100.0, 0.0, 1.0));
}

}  // namespace

struct VideoFileProcessor::RunOptions {
    long long formatCode = 0;
    double interval = 1;
    double sizePercentage = 100;
    FrameNaming naming;
    QString folderError;  // why the run folder could not be made
};

QString VideoFileProcessor::DoExportAllImages(std::shared_ptr<QStringList>& out) {
    out = std::make_shared<QStringList>();
    m_pFilePathsArrayForAppDelegate = out;
    m_iFailedFrameCount = 0;
    m_strFirstWriteError.clear();
    m_qFailedFramePaths.clear();
    m_bCancelled = false;
    m_bRangeHadNoSteps = false;

    const RunOptions options = ReadRunSettings();
    const double duration = GetVideoDurationInSeconds();
    const StepSchedule schedule(ExtractionRange(m_fltFrom, m_fltTo, duration), options.interval);
    // An unreadable video's range is empty too, but for want of a duration.
    m_bRangeHadNoSteps = m_pAsset && m_pAsset->hasVideoTrack() && !HasAnyStep(schedule);
    if (!IsKnownImageFileType(options.formatCode)) {
        // No name pattern for this code: nothing is written, and the run says so.
        m_iFailedFrameCount = schedule.StepCount();
        m_strFirstWriteError = QString("The image format code %1 is not one of the known formats.")
                                   .arg(options.formatCode);
        return options.naming.folder;
    }
    if (!options.folderError.isEmpty()) {
        // Nothing can be written; even a range without steps has failed.
        m_iFailedFrameCount = std::max(1LL, schedule.StepCount());
        m_strFirstWriteError = options.folderError;
        return options.naming.folder;
    }
    if (!m_pAsset) return options.naming.folder;
    ImageGenerator generator(*m_pAsset);
    generator.setAppliesPreferredTrackTransform(m_bOutputAsDisplayed);
    generator.setRequestedTimeToleranceBefore(kCMTimeZero);
    generator.setRequestedTimeToleranceAfter(kCMTimeZero);
    m_oVideoTimeScale = m_pAsset->duration().timescale;
    RunSteps(options, schedule, generator);
    return options.naming.folder;
}

// Reads the run's settings in their fixed order, creates the run folder and shows it.
VideoFileProcessor::RunOptions VideoFileProcessor::ReadRunSettings() {
    AppSettings& settings = GetAppSettings();
    RunOptions options;
    m_fltFrom = settings.GetFrom();
    m_fltTo = settings.GetTo();
    m_bAddTimeToImages = settings.GetAddTimeIntervalToImages() == 1;
    pLastFilePath.clear();
    m_oLastFileDigest.reset();
    m_bAutoDelete = settings.GetIntegerValue(SettingKey::AutoDelete) == 1;
    options.formatCode = settings.GetSelectedFileFormat();
    options.interval = settings.GetFrameInterval();
    options.sizePercentage = settings.GetImageSizePercentage();
    options.naming.folder =
        GetAppNewMultimediaFolderForSource(mFilePath, true, &options.folderError);
    if (options.folderError.isEmpty()) ShowResultOnDesktop(options.naming.folder);
    options.naming.nameLimit =
        FileNameLimit(options.naming.folder) -
        GetFileNameWithExtension(QString(), options.formatCode).toUtf8().size();
    options.naming.prefix = settings.GetOutputImageFileNameParameter1();
    if (options.naming.prefix.isEmpty())
        options.naming.prefix = FileNameWithoutExtension(mFilePath);
    options.naming.appendFileName = settings.GetOutputImageAppendFileName() != 0;
    options.naming.appendDuration = settings.GetOutputImageFileNameAppendDuration() == 1;
    m_bExportAsGreyScale = settings.GetOutputImageAsGreyScale() == 1;
    ReadOutputAsDisplayed();
    return options;
}

// What became of one step; made on a worker, committed on the run's thread in step order.
struct VideoFileProcessor::FrameResult {
    long long counter = 0;
    QString path;  // empty when there is no picture at the step's time
    bool written = false;
    QString error;                  // why the file was not written
    std::optional<QString> digest;  // of the written bytes, when duplicates are removed
};

void VideoFileProcessor::RunSteps(const RunOptions& options, const StepSchedule& schedule,
                                  ImageGenerator& generator) {
    const long long total = m_fnProgress ? schedule.StepCount() : 0;
    GetGreyScaleConverter();  // made here: the workers only read it
    const int workers = FrameWorkerCount();
    FramePipeline<FrameResult> pipeline(
        workers, 2 * std::max(1, workers),
        [this, total](FrameResult& result) { return CommitFrame(result, total); },
        [](FrameResult& result) { TakeBackUncommittedFrame(result); });
    schedule.ForEachStep([&](double time, long long counter) {
        std::shared_ptr<const VideoPicture> picture =
            generator.pictureAtTime(CMTimeMakeWithSeconds(time, m_oVideoTimeScale));
        const QString name = options.naming.NameFor(time, counter);
        return pipeline.Submit([this, &options, picture, time, counter, name] {
            return SaveFrame(picture.get(), time, counter, name, options);
        });
    });
    pipeline.Finish();
}

int VideoFileProcessor::FrameWorkerCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

// Runs on a worker: everything it reads stays unchanged while the run lasts.
VideoFileProcessor::FrameResult VideoFileProcessor::SaveFrame(const VideoPicture* picture,
                                                              double time, long long counter,
                                                              const QString& name,
                                                              const RunOptions& options) const {
    FrameResult result{counter, {}, false, {}, {}};
    if (picture == nullptr) return result;
    result.path = GetFileNameWithExtension(name, options.formatCode);
    QByteArray data;
    result.written = WriteEncoded([&] { return EncodeFrame(*picture, time, options); }, result.path,
                                  &result.error, &data);
    if (result.written && m_bAutoDelete) result.digest = MD5OfData(data);
    return result;
}

QByteArray VideoFileProcessor::EncodeFrame(const VideoPicture& picture, double time,
                                           const RunOptions& options) const {
    const auto type = ImageFileType(options.formatCode);
    if (!NeedsProcessing(options)) {
        if (QByteArray data = EncodePictureDirectly(picture, type); !data.isNull()) return data;
    }
    DrawableImage image = imageFromCGImageRef(picture.ToImage());
    if (m_bExportAsGreyScale) image = m_pGreyScaleConverter->imageToGreyImage(image);
    image = ProcessedImage(std::move(image), options.sizePercentage, time);
    return EncodeImage(image.bitmap(), type, CompressionFactorOf(m_iCompressionFactor));
}

bool VideoFileProcessor::NeedsProcessing(const RunOptions& options) const {
    const bool watermark =
        !m_pWatermarkImageUserSelected.isNull() && m_iUserSelectedWaterMarkImageWidth >= 1;
    return m_bExportAsGreyScale || options.sizePercentage != 100.0 || watermark ||
           m_bAddTimeToImages;
}

bool VideoFileProcessor::CommitFrame(FrameResult& result, long long total) {
    if (!result.path.isEmpty()) {
        if (!result.written) RecordWriteFailure(result.path, result.error);
        m_pFilePathsArrayForAppDelegate->append(result.path);
        if (m_bAutoDelete) RemoveEarlierDuplicate(result.path, result.digest);
    }
    if (m_fnProgress && !m_fnProgress(result.counter, total)) m_bCancelled = true;
    return !m_bCancelled;
}

// A frame written after the run was cancelled: it was never reported, so it goes.
void VideoFileProcessor::TakeBackUncommittedFrame(const FrameResult& result) {
    if (result.written) QFile::remove(result.path);
}

void VideoFileProcessor::DoSaveVideoFrame(double time, const QString& nameWithoutExtension,
                                          long long formatCode, double sizePercentage,
                                          ImageGenerator& generator) {
    const QImage frame =
        generator.copyCGImageAtTime(CMTimeMakeWithSeconds(time, m_oVideoTimeScale));
    if (frame.isNull()) return;
    DrawableImage image = imageFromCGImageRef(frame);
    if (m_bExportAsGreyScale) image = GetGreyScaleConverter().imageToGreyImage(image);
    saveAsWithNameWithoutExtension(std::move(image), nameWithoutExtension, formatCode,
                                   sizePercentage, time);
}

DrawableImage VideoFileProcessor::ProcessedImage(DrawableImage image, double sizePercentage,
                                                 double time) const {
    if (sizePercentage != 100.0) {
        const QSizeF size = image.size();
        image =
            resizeImage(image, QSizeF(static_cast<float>(size.width() * sizePercentage / 100),
                                      static_cast<float>(size.height() * sizePercentage / 100)));
    }
    AddWatermarkToImage(image);
    if (m_bAddTimeToImages) DrawImageTime(time, image);
    return image;
}

void VideoFileProcessor::saveAsWithNameWithoutExtension(DrawableImage image,
                                                        const QString& nameWithoutExtension,
                                                        long long formatCode, double sizePercentage,
                                                        double time) {
    image = ProcessedImage(std::move(image), sizePercentage, time);
    const QString fullPath = GetFileNameWithExtension(nameWithoutExtension, formatCode);
    QString error;
    if (!EncodeAndWrite(image, fullPath, formatCode, CompressionFactorOf(m_iCompressionFactor),
                        &error))
        RecordWriteFailure(fullPath, error);
    m_pFilePathsArrayForAppDelegate->append(fullPath);
    if (m_bAutoDelete) RemoveEarlierDuplicate(fullPath);
}

bool VideoFileProcessor::SaveNSImageAsFile(const DrawableImage& image, const QString& fullPath,
                                           unsigned long long formatCode, QString* error) {
    return EncodeAndWrite(image, fullPath, static_cast<long long>(formatCode), 1.0f, error);
}

void VideoFileProcessor::RecordWriteFailure(const QString& path, const QString& reason) {
    if (m_iFailedFrameCount++ == 0) m_strFirstWriteError = reason;
    m_qFailedFramePaths.append(path);
}

unsigned long long VideoFileProcessor::GetSelectedImageFileFormat() {
    return static_cast<unsigned long long>(GetAppSettings().GetSelectedFileFormat());
}

QString VideoFileProcessor::GetAppMultimediaFolder(bool forImages) {
    QString base = GetAppSettings().GetBaseFolder();
    if (!DirectoryExistsAtPath(base))
        base = forImages ? UserPicturesDirectory() : UserMoviesDirectory();
    const QString folder = base + "/Stillpress Files";
    CreateDirectoryWithParents(folder);
    return folder;
}

QString VideoFileProcessor::GetAppNewMultimediaFolderForSource(const QString& sourcePath,
                                                               bool forImages, QString* error) {
    const NewFolder folder =
        MakeNewFolder(GetAppMultimediaFolder(forImages), FileNameWithoutExtension(sourcePath),
                      UniqueNameTimePart());
    if (error) *error = folder.error;
    return folder.path;
}
