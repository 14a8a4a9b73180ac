// The conversion of a whole video through an export preset: the output's name and comments,
// and the converting thread's wait for the exporter.
#include <unicode/udat.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTimeZone>
#include <optional>
#include <semaphore>

#include "extract/FrameNaming.h"
#include "media/VideoFileProcessor.h"
#include "platform/Exporter.h"
#include "platform/NewFolders.h"
#include "platform/Workspace.h"
#include "videoout/ExportPresets.h"

namespace {

// Each pass of the wait posts one progress report.
constexpr auto kProgressInterval = std::chrono::seconds(1);

struct CommentKind {
    const char* keySpace;
    const char* key;  // the atom's type or the metadata key
    const char* label;
};
// The comment as QuickTime user data, QuickTime metadata and iTunes metadata hold it ("\u00A9"
// is the copyright sign that starts the comment atom's type).
constexpr CommentKind kComments[] = {
    {kUserDataKeySpace, "\u00A9cmt", "QuickTime userdata"},
    {"mdta", "com.apple.quicktime.comment", "QuickTime metadata"},
    {kITunesKeySpace, "\u00A9cmt", "iTunes metadata"},
};

// ICU's formatter of the locale's medium date and short time in `zone` (ICU's default zone
// when Qt knows none); null when ICU has none.
icu::LocalUDateFormatPointer MediumDateShortTime(const QLocale& locale, const QTimeZone& zone) {
    const QByteArray localeId = locale.name().toLatin1();
    const QString zoneId = QString::fromLatin1(zone.id());
    const auto* zoneText =
        zone.isValid() ? reinterpret_cast<const UChar*>(zoneId.utf16()) : nullptr;
    UErrorCode status = U_ZERO_ERROR;
    icu::LocalUDateFormatPointer format(udat_open(UDAT_SHORT, UDAT_MEDIUM, localeId.constData(),
                                                  zoneText, static_cast<int32_t>(zoneId.size()),
                                                  nullptr, 0, &status));
    if (U_FAILURE(status)) format.adoptInstead(nullptr);
    return format;
}

// `moment` as `format` writes it: measured in a first pass, written in a second.
std::optional<QString> Formatted(const UDateFormat* format, UDate moment) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = udat_format(format, moment, nullptr, 0, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR) return std::nullopt;
    status = U_ZERO_ERROR;
    QString text(length, Qt::Uninitialized);
    udat_format(format, moment, reinterpret_cast<UChar*>(text.data()), length, nullptr, &status);
    return U_SUCCESS(status) ? std::optional(text) : std::nullopt;
}

// "<title> <video name>.mov" in `folder`, the video's name shortened when the whole would not
// fit the file system.
QString ConversionOutputPath(const QString& folder, const QString& title, const QString& video) {
    return folder + '/' +
           FittedName(title + ' ', FileNameWithoutExtension(video), ".mov", FileNameLimit(folder));
}

}  // namespace

QString ConversionCommentTime(const QDateTime& when, const QLocale& locale) {
    const icu::LocalUDateFormatPointer format = MediumDateShortTime(locale, when.timeZone());
    std::optional<QString> text;
    if (format.isValid())
        text = Formatted(format.getAlias(), static_cast<UDate>(when.toMSecsSinceEpoch()));
    // Qt's own short style should ICU fail (it falls back to its root patterns by itself).
    return text ? *text : locale.toString(when, QLocale::ShortFormat);
}

QList<ExportMetadataItem> VideoFileProcessor::addNewMetadata(
    const QList<ExportMetadataItem>& existing, const QString& presetName) {
    QList<ExportMetadataItem> items = existing;
    for (const CommentKind& comment : kComments)
        items.append(
            {comment.keySpace, comment.key,
             QString("%1: Exported to preset %2 using avexporter at: %3")
                 .arg(comment.label, presetName,
                      ConversionCommentTime(QDateTime::currentDateTime(), QLocale::system()))});
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
    QString folderError;
    const QString folder = GetAppNewMultimediaFolderForSource(path, false, &folderError);
    const QString output = ConversionOutputPath(folder, title, path);
    if (!folderError.isEmpty()) {
        m_eConversionStatus = Exporter::Failed;
        m_strConversionProblem = folderError;
        return output;
    }
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
        ShowResultOnDesktop(folder);
    return output;
}
