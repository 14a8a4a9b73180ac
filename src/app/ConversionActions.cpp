// The conversion by export preset from the main window: the button's action, the worker thread
// that converts, and the window's progress. The worker never touches a control: every change
// is posted to the main thread.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "app/AppDelegate.h"
#include "app/Controls.h"
#include "app/core/ConversionCommand.h"
#include "app/core/MessagePresenter.h"

struct AppDelegate::ConversionWorker {
    std::atomic<bool> cancelled{false};
    std::thread thread;
};

void AppDelegate::ConversionWorkerDeleter::operator()(ConversionWorker* worker) const {
    worker->cancelled = true;
    if (worker->thread.joinable()) worker->thread.join();
    delete worker;
}

namespace {

// Message boxes asked for on the worker thread, shown on the main thread.
class PostedMessages : public MessagePresenter {
  public:
    explicit PostedMessages(AppDelegate& delegate) : m_rDelegate(delegate) {}
    void DisplayMessageBox(const QString& title, const QString& text) override {
        AppDelegate* delegate = &m_rDelegate;
        QMetaObject::invokeMethod(
            delegate, [delegate, title, text] { delegate->DisplayMessageBox(title, text); },
            Qt::QueuedConnection);
    }

  private:
    AppDelegate& m_rDelegate;
};

}  // namespace

void AppDelegate::OnExportVideo() {
    if (!DoesVideoFileExists()) return;
    SaveVideoFileFormat();
    DoStartThreadToExportVideo();
}

void AppDelegate::DoStartThreadToExportVideo() {
    buttonExportVideo->setEnabled(false);
    popupButtonVideoFormat->setEnabled(false);
    progressIndicatorVideoExport->setRange(0, 100);
    progressIndicatorVideoExport->setValue(0);
    progressIndicatorVideoExport->setVisible(true);
    textFieldPercentage->setVisible(true);
    m_iSelectedVideoFormat = popupButtonVideoFormat->currentData().toLongLong();
    m_pExtraFileName = popupButtonVideoFormat->currentText();
    // The previous worker has posted its last change already; it only has to end.
    m_pConversionWorker.reset(new ConversionWorker);
    const QString videoPath = textFieldFilePath->text();
    const std::atomic<bool>& cancelled = m_pConversionWorker->cancelled;
    m_pConversionWorker->thread = std::thread(
        [this, videoPath, &cancelled] { timerBodyToExportVideo(videoPath, cancelled); });
}

void AppDelegate::timerBodyToExportVideo(const QString& videoPath,
                                         const std::atomic<bool>& cancelled) {
    DoStartExportOfFileToLocation(videoPath, cancelled);
}

void AppDelegate::DoStartExportOfFileToLocation(const QString& videoPath,
                                                const std::atomic<bool>& cancelled) {
    // The fields were written before this thread started and stay as they are until the
    // restored window lets the user start another conversion.
    ConversionRequest request;
    request.videoPath = videoPath;
    request.presetName = PresetNameForTag(m_iSelectedVideoFormat);
    request.popupTitle = m_pExtraFileName;
    request.progress = [this, &cancelled](float progress) {
        PostToMainThread([this, progress] {
            progressIndicatorVideoExport->setValue(static_cast<int>(progress * 100));
            textFieldPercentage->setText(ConversionPercentageText(progress));
        });
        return !cancelled;
    };
    request.openFolder = [this](const QString& folder) {
        PostToMainThread([this, folder] { OpenOnDesktop(GetMainWindow(), folder); });
    };
    PostedMessages messages(*this);
    RunConversionCommand(request, messages);
    PostToMainThread([this] { RestoreWindowAfterConversion(); });
}

void AppDelegate::PostToMainThread(std::function<void()> change) {
    QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
}

void AppDelegate::RestoreWindowAfterConversion() {
    buttonExportVideo->setEnabled(true);
    progressIndicatorVideoExport->setVisible(false);
    popupButtonVideoFormat->setEnabled(true);
    textFieldPercentage->setVisible(false);
}
