// The two movie commands of the window: a movie from the images of the last export and a
// frame by frame copy of the selected video. The checks, messages and writes are shared with
// the headless command (app/core/MovieCommands.h); the window adds the save panels around them.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <memory>
#include <optional>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/core/MovieCommands.h"
#include "media/VideoFileProcessor.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"

namespace {

const QString kMovieExtension = QStringLiteral("mp4");

// The panel only offers MPEG-4 files, so a name typed with another extension gets ".mp4"
// after it rather than being written as something that is not what it claims to be.
QString MovieTargetPath(const QString& chosenPath) {
    if (chosenPath.endsWith('.' + kMovieExtension, Qt::CaseInsensitive)) return chosenPath;
    return chosenPath + '.' + kMovieExtension;
}

// "clip.v2.mov" gives "clip.v2" and ".hidden" stays whole: only the last extension goes.
QString LastComponentWithoutExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.left(dot) : name;
}

// Qt's own panel, so that it is a sheet of the window on every desktop; the message goes
// below the panel's controls, the only place its grid layout leaves free. The panel deletes
// itself once answered, and runs `write` with the movie's path when it is confirmed.
void OpenMovieSavePanel(QWidget* window, const QString& message, const QString& proposedName,
                        std::function<void(const QString&)> write) {
    QFileDialog* panel =
        MakeSheetPanel(window, QStringLiteral("Exporting Video..."), QFileDialog::AcceptSave);
    panel->setNameFilter(QStringLiteral("MPEG-4 Movie (*.mp4)"));
    panel->setDefaultSuffix(kMovieExtension);
    panel->setDirectory(UserMoviesDirectory());
    panel->selectFile(proposedName);
    AddPanelMessage(panel, message);
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, write](int result) {
        if (result != QDialog::Accepted) return;
        const QString chosen = panel->selectedFiles().value(0);
        if (chosen.isEmpty()) return;
        BusyCursor busy;
        write(MovieTargetPath(chosen));
    });
    panel->open();
}

}  // namespace

void AppDelegate::OnExportVideoFromImages() {
    std::optional<MovieImages> images = CollectMovieImages(
        m_pAppSettings->GetStringValue(SettingKey::LastFolder), pArrayOfExportedFiles, *this);
    if (!images) return;
    OpenMovieSavePanel(window,
                       QStringLiteral("Please Select a File Name / Path to Save Video File."),
                       LastComponentWithoutExtension(textFieldFilePath->text()),
                       [this, images = std::move(*images)](const QString& target) {
                           MakeMovieFromImages(images, target, *this);
                       });
}

void AppDelegate::OnExportVideoFromVideo() {
    // Taken now: the panel's answer must copy the video the message described.
    const QString videoPath = textFieldFilePath->text();
    const std::unique_ptr<VideoFileProcessor> processor = OpenVideoForReencode(videoPath, *this);
    if (processor == nullptr) return;
    OpenMovieSavePanel(
        window, ReencodePanelMessage(*processor), ReencodeProposedName(videoPath),
        [this, videoPath](const QString& target) { MakeReencodedMovie(videoPath, target, *this); });
}
