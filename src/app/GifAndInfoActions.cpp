// The GIF frames command and the two video information commands of the window. The work and
// its messages are shared with the headless command (app/core/GifAndInfoCommands.h); the
// window adds the panels around them. Main thread.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <optional>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/core/GifAndInfoCommands.h"

namespace {

// Runs `answer` with the one chosen path when the user confirms; a cancel ends it silently.
void OpenPanel(QObject* owner, QFileDialog* panel, std::function<void(const QString&)> answer) {
    QObject::connect(panel, &QFileDialog::finished, owner, [panel, answer](int result) {
        const QString chosen = panel->selectedFiles().value(0);
        if (result == QDialog::Accepted && !chosen.isEmpty()) answer(chosen);
    });
    panel->open();
}

QFileDialog* MakeGifPanel(QWidget* window) {
    QFileDialog* panel = MakeSheetPanel(window, "Select GIF File", QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter("GIF (*.gif)");
    return panel;
}

QFileDialog* MakeFolderPanel(QWidget* window) {
    QFileDialog* panel =
        MakeSheetPanel(window, "Select Folder to Export Images", QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    return panel;
}

// A text file is suggested, but any name is taken; the message goes below the panel's
// controls, the only place its grid layout leaves free.
QFileDialog* MakeReportPanel(QWidget* window, const QString& videoPath) {
    QFileDialog* panel = MakeSheetPanel(window, "Saving Video Info...", QFileDialog::AcceptSave);
    panel->setNameFilters({"Text (*.txt)", "All Files (*)"});
    panel->setDefaultSuffix("txt");
    panel->setDirectory(QFileInfo(videoPath).absolutePath());
    panel->selectFile(VideoInfoSuggestedName(videoPath) + ".txt");
    AddPanelMessage(panel, "Please select a path to save Video Information as Text File.");
    return panel;
}

}  // namespace

void AppDelegate::OnExtractImagesFromGIFFile() {
    OpenPanel(this, MakeGifPanel(window), [this](const QString& gifPath) {
        OpenPanel(this, MakeFolderPanel(window), [this, gifPath](const QString& folderPath) {
            ExtractGIFFiles(gifPath, folderPath);
        });
    });
}

void AppDelegate::ExtractGIFFiles(const QString& gifPath, const QString& folderPath) {
    BusyCursor busy;
    RunExtractGifFramesCommand(gifPath, folderPath, *this);
}

void AppDelegate::OnExportVideoInfo() {
    if (!DoesVideoFileExists()) return;
    const QString videoPath = textFieldFilePath->text();
    OpenPanel(this, MakeReportPanel(window, videoPath), [this, videoPath](const QString& target) {
        BusyCursor busy;  // the digest reads the whole video
        if (const std::optional<QString> report = MakeVideoInfoReport(videoPath, *this))
            SaveVideoInfoReport(*report, target, *this);
    });
}

void AppDelegate::OnHelpVideo() {
    const QString videoPath = textFieldFilePath->text();
    std::optional<QString> report;
    {
        BusyCursor busy;
        report = MakeVideoInfoReport(videoPath, *this);
    }
    if (report) DisplayMessageBox(QFileInfo(videoPath).fileName(), *report);
}
