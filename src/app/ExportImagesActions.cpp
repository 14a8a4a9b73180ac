// The export images command and the small commands around it: the Last Folder button, the
// duplicate-removal check box and opening the video in its player.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <algorithm>
#include <climits>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/Controls.h"
#include "app/core/ExportImagesCommand.h"
#include "app/core/MessagePresenter.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"

namespace {

// Frames done of all, with a Cancel button. The run calls Report after every frame on the
// main thread; the events processed there keep the window painted and let Cancel through.
class ExportProgress {
  public:
    explicit ExportProgress(QWidget* window) : m_Dialog(window) {
        m_Dialog.setWindowTitle("Export Images");
        m_Dialog.setWindowModality(Qt::WindowModal);
        m_Dialog.setMinimumDuration(0);
        m_Dialog.setMinimumWidth(360);
        QObject::connect(&m_Dialog, &QProgressDialog::canceled, [this] { m_bCancelled = true; });
    }

    // Answers false once the user has cancelled: the run stops after the current frame.
    bool Report(long long done, long long total) {
        const int maximum = static_cast<int>(std::clamp<long long>(total, 0, INT_MAX));
        m_Dialog.setLabelText(QString("Saving frame %1 of %2…").arg(done).arg(total));
        m_Dialog.setMaximum(maximum);
        m_Dialog.setValue(static_cast<int>(std::clamp<long long>(done, 0, maximum)));
        if (done < total && !m_Dialog.isVisible() && !m_bCancelled) m_Dialog.show();
        QCoreApplication::processEvents();
        return !m_bCancelled;
    }

  private:
    QProgressDialog m_Dialog;
    bool m_bCancelled = false;
};

}  // namespace

void AppDelegate::OnExportImages() {
    // The run reads its options from the settings store, so the screen goes there first.
    SaveExportControls();
    ExportProgress progress(window);
    ExportImagesRequest request;
    request.videoPath = textFieldFilePath->text();
    request.typedFrom = DoubleValueOf(textFieldFrom);
    request.typedTo = DoubleValueOf(textFieldTo);
    request.progress = [&progress](long long done, long long total) {
        return progress.Report(done, total);
    };
    const ExportImagesOutcome outcome = RunExportImagesCommand(request, *this);
    using Status = ExportImagesOutcome::Status;
    if (outcome.status != Status::Refused && outcome.status != Status::NothingWritten)
        pArrayOfExportedFiles = outcome.files;
}

bool AppDelegate::DoesVideoFileExists() {
    return ::DoesVideoFileExists(textFieldFilePath->text(), *this);
}

void AppDelegate::OnOpenVideoFile() {
    if (DoesVideoFileExists()) OpenOnDesktop(window, textFieldFilePath->text());
}

void AppDelegate::OnOpenLastFolder() {
    const QString folder = m_pAppSettings->GetStringValue(SettingKey::LastFolder);
    if (!folder.isEmpty() && DirectoryExistsAtPath(folder)) {
        OpenOnDesktop(window, folder);
        return;
    }
    DisplayMessageBox("Action to Open Last Folder Aborted",
                      "The Last Folder Specified here is the Folder to which you have Exported "
                      "Images From Video File.\n\nOnce you have Exported Images, use the [Last "
                      "Folder] Button to Open the Folder to which Files were Exported Last Time.");
}

void AppDelegate::OnAutoDelete() {
    m_pAppSettings->SetIntegerValue(checkBoxAutoDelete->isChecked() ? 1 : 0,
                                    SettingKey::AutoDelete);
}
