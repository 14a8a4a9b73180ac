// The conversion of a whole video through an export preset: the output's name and comments,
// and the converting thread's wait for the exporter.
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <semaphore>

#include "extract/FrameNaming.h"
#include "media/VideoFileProcessor.h"
#include "platform/Exporter.h"
#include "platform/Workspace.h"
#include "videoout/ExportPresets.h"

namespace {

// Each pass of the wait posts one progress report.
constexpr auto kProgressInterval = std::chrono::seconds(1);

struct CommentKind {
    const char* keySpace;
    const char* key;  // the container tag
    const char* label;
};
// The comment as QuickTime user data, QuickTime metadata and iTunes metadata hold it; the
// muxer keeps the last two as keys of their own.
constexpr CommentKind kComments[] = {
    {"udta", "comment", "QuickTime userdata"},
    {"mdta", "com.apple.quicktime.comment", "QuickTime metadata"},
    {"itsk", "com.apple.itunes.usercomment", "iTunes metadata"},
};

// The locale's date with the month abbreviated (its medium style) and its short time.
QString LocalizedNow() {
    const QLocale locale;
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    dateFormat.replace(QRegularExpression("\\bM{1,2}\\b"), "MMM");
    dateFormat.replace(QRegularExpression("\\byy\\b"), "yyyy");
    const QDateTime now = QDateTime::currentDateTime();
    return locale.toString(now.date(), dateFormat) + ", " +
           locale.toString(now.time(), QLocale::ShortFormat);
}

}  // namespace

QList<ExportMetadataItem> VideoFileProcessor::addNewMetadata(
    const QList<ExportMetadataItem>& existing, const QString& presetName) {
    QList<ExportMetadataItem> items = existing;
    for (const CommentKind& comment : kComments)
        items.append({comment.keySpace, comment.key,
                      QString("%1: Exported to preset %2 using avexporter at: %3")
                          .arg(comment.label, presetName, LocalizedNow())});
    return items;
}

std::unique_ptr<Exporter> VideoFileProcessor::MakeExporter(const QString& path,
                                                           const QString& presetName) {
    const std::optional<ExportPreset> preset = FindExportPreset(presetName);
    if (!preset) {
        m_strConversionProblem = "There is no exporter for the preset " + presetName + ".";
        return nullptr;
    }
    std::unique_ptr<Exporter> exporter = Exporter::Create(path, *preset, &m_strConversionProblem);
    if (exporter && exporter->supportedFileTypes().isEmpty()) {
        m_strConversionProblem = "The preset " + presetName + " writes no file type.";
        return nullptr;
    }
    return exporter;
}

void VideoFileProcessor::WaitForExporter(Exporter& exporter) {
    std::binary_semaphore finished(0);
    exporter.exportAsynchronously([&finished] { finished.release(); });
    do {
        const auto deadline = std::chrono::steady_clock::now() + kProgressInterval;
        if (m_fnConversionProgress && !m_fnConversionProgress(exporter.progress()))
            exporter.cancelExport();
        (void)finished.try_acquire_until(deadline);
    } while (exporter.status() < Exporter::Completed);
    // The last pass reported the progress from before the end.
    if (m_fnConversionProgress && exporter.status() == Exporter::Completed)
        m_fnConversionProgress(exporter.progress());
}

QString VideoFileProcessor::ExportVideo(const QString& path, const QString& presetName,
                                        const QString& title) {
    m_eConversionStatus = Exporter::Unknown;
    m_strConversionProblem.clear();
    const QString folder = GetAppNewMultimediaFolderForSource(path, false);
    const QString output =
        QString("%1/%2 %3.mov").arg(folder, title, FileNameWithoutExtension(path));
    if (const std::unique_ptr<Exporter> exporter = MakeExporter(path, presetName)) {
        exporter->setOutputPath(output);
        exporter->setOutputFileType(exporter->supportedFileTypes().first());
        exporter->setMetadata(addNewMetadata(exporter->metadata(), presetName));
        WaitForExporter(*exporter);
        m_eConversionStatus = exporter->status();
        if (m_eConversionStatus == Exporter::Failed) m_strConversionProblem = exporter->error();
    }
    if (m_fnOpenFolder)
        m_fnOpenFolder(folder);
    else
        SharedWorkspace().openURL(folder);
    return output;
}
