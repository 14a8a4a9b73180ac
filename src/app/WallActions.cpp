// The two image wall commands of the window: a wall from frames of the selected video and a
// wall from the images of the last export. The checks, messages and drawing are shared with
// the headless command (app/core/WallCommands.h); the window adds the save panels around them.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <memory>
#include <optional>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/Controls.h"
#include "app/core/MessagePresenter.h"
#include "app/core/WallCommands.h"
#include "media/VideoFileProcessor.h"
#include "platform/ImageFormats.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"
#include "wall/SortedImageFiles.h"

namespace {

QFileDialog* MakeWallSavePanel(QWidget* window, const QString& title, const QString& message) {
    QFileDialog* panel = MakeSheetPanel(window, title, QFileDialog::AcceptSave);
    AddPanelMessage(panel, message);
    return panel;
}

QString LastExportFolderOrPictures(const QString& lastFolder) {
    return DirectoryExistsAtPath(lastFolder) ? lastFolder : UserPicturesDirectory();
}

}  // namespace

void AppDelegate::OnExportVideoWallFromVideo() {
    // The processor reads its options from the settings store, so the screen goes there first.
    SaveExportControls();
    const QString videoPath = textFieldFilePath->text();
    // Shared, because the panel's answer arrives after this method has returned.
    std::shared_ptr<VideoFileProcessor> processor = OpenVideoForWall(
        videoPath, DoubleValueOf(textFieldFrom), DoubleValueOf(textFieldTo), *this, false);
    if (processor == nullptr) return;
    const long long format = m_pAppSettings->GetSelectedFileFormat();
    QFileDialog* panel =
        MakeWallSavePanel(window, "Export Image Wall...", processor->GetWallInfo());
    panel->setNameFilter(ImageFormatLabel(format));
    panel->setDefaultSuffix(ImageFileExtension(format));
    panel->setDirectory(
        LastExportFolderOrPictures(m_pAppSettings->GetStringValue(SettingKey::LastFolder)));
    panel->selectFile(QFileInfo(videoPath).completeBaseName());
    connect(panel, &QFileDialog::finished, this, [this, panel, processor, format](int result) {
        if (result != QDialog::Accepted) return;
        // Stored only now: the panel's message showed the grid of the rows stored before.
        m_pAppSettings->SetRowsInVideoWall(IntegerValueOf(textFieldRowsInVideoWall));
        const QString target = WallTargetPath(panel->selectedFiles().value(0), format);
        if (target.isEmpty()) return;
        BusyCursor busy;
        MakeVideoWall(*processor, target, *this);
    });
    panel->open();
}

void AppDelegate::OnExportVideoWall() {
    const std::optional<WallImages> wall = CollectWallImages(
        m_pAppSettings->GetStringValue(SettingKey::LastFolder), pArrayOfExportedFiles, *this);
    if (!wall) return;
    exportfile(wall->images,
               GetFileNameWithExtension("Video Wall", m_pAppSettings->GetSelectedFileFormat()));
}

void AppDelegate::exportfile(const QList<QImage>& images, const QString& suggestedName) {
    QFileDialog* panel = MakeWallSavePanel(window, "Saving Image Wall...",
                                           "Please select a path to save Video Wall Image.");
    // Not the last folder: a wall saved among the exported frames would be taken as one of
    // them by the next wall from that folder.
    panel->setDirectory(UserPicturesDirectory());
    panel->selectFile(suggestedName);
    connect(panel, &QFileDialog::finished, this, [this, panel, images](int result) {
        if (result != QDialog::Accepted) return;
        m_pAppSettings->SetRowsInVideoWall(IntegerValueOf(textFieldRowsInVideoWall));
        BusyCursor busy;
        MakeImageWall(images, panel->selectedFiles().value(0), m_pAppSettings->GetRowsInVideoWall(),
                      *this);
    });
    panel->open();
}

QStringList AppDelegate::GetSortedImageFiles(const QStringList& names) {
    return ::GetSortedImageFiles(names);
}
