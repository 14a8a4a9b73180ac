#include "app/AppDelegate.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <cmath>

#include "app/Controls.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include "app/ControlClickWindow.h"
#include "app/SettingsWindowController.h"
#include "media/VideoFileProcessor.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageFormats.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"
#include "ui_MainWindow.h"
#include "videoout/ExportPresets.h"

namespace {

// How much lower the window is with the video export options hidden: the options box of
// MainWindow.ui (125) and the layout's spacing above it (10), so that the other controls keep
// their height in both states.
constexpr int kVideoExportOptionsHeight = 135;

// Video file extensions and the libavformat demuxer that reads them; the open panel offers
// those whose demuxer the linked library has. Demuxers are looked up by name because several
// (MPEG program and transport streams, ASF, Ogg) probe by content and list no extensions.
struct VideoFileType {
    const char* extension;
    const char* demuxer;
};
constexpr VideoFileType kVideoFileTypes[] = {
    {"mp4", "mov"},    {"mov", "mov"},     {"m4v", "mov"},      {"3gp", "mov"},
    {"3g2", "mov"},    {"avi", "avi"},     {"mkv", "matroska"}, {"webm", "matroska"},
    {"mpg", "mpeg"},   {"mpeg", "mpeg"},   {"vob", "mpeg"},     {"ts", "mpegts"},
    {"mts", "mpegts"}, {"m2ts", "mpegts"}, {"wmv", "asf"},      {"asf", "asf"},
    {"flv", "flv"},    {"ogv", "ogg"},     {"mxf", "mxf"},      {"dv", "dv"},
};

long long SelectedTag(const QComboBox* popup) {
    const QVariant tag = popup->currentData();
    return tag.isValid() ? tag.toLongLong() : -1;
}

// A stored tag that no item carries (a value from a newer version, say) shows the first
// item rather than a blank pop-up.
void SelectItemWithTag(QComboBox* popup, long long tag) {
    const int index = popup->findData(QVariant::fromValue(tag));
    popup->setCurrentIndex(index >= 0 ? index : 0);
}

// Lays the window out at once, so that its minimum size already follows a child that was
// just shown or hidden.
void ApplyLayoutNow(QMainWindow* window) {
    if (QWidget* central = window->centralWidget(); central && central->layout())
        central->layout()->activate();
    window->layout()->invalidate();
    window->layout()->activate();
}

QMenu* BuildContextMenu(QMainWindow* window) {
    static constexpr const char* kItems[] = {
        "actionExportImages",
        "actionOpenLastFolder",
        "-",
        "actionExportVideoWallFromVideo",
        "actionExportVideoWall",
        "actionExportVideoFromImages",
        "actionExportVideoFromVideo",
        "actionExportVideo",
        "actionImageWatermark",
        "actionExtractImagesFromGIFFile",
        "-",
        "actionHelpVideo",
        "actionExportVideoInfo",
        "-",
        "actionSettings",
        "actionCopyScreenshotToClipboard",
        "actionCaptureScreenshotToDesktopImage",
        "-",
        "actionMenuItemHelp",
    };
    auto* menu = new QMenu(window);
    menu->setObjectName("pContextMenu");
    for (const char* name : kItems) {
        if (QString(name) == "-")
            menu->addSeparator();
        else
            menu->addAction(window->findChild<QAction*>(name));
    }
    return menu;
}

// Opens where the current video is, or the Videos folder.
QString OpenPanelFolder(const QString& currentVideo) {
    const QString folder = QFileInfo(currentVideo).absolutePath();
    if (!currentVideo.isEmpty() && DirectoryExistsAtPath(folder)) return folder;
    return UserMoviesDirectory();
}

void TakeChosenVideo(AppDelegate& delegate, const QString& path) {
    if (path.isEmpty()) return;
    delegate.textFieldFilePath->setText(path);
    delegate.SaveLastVideo();
    delegate.m_oVideoDimensions = delegate.MainWindow->DisplayFileInfo();
    delegate.DisplayExportedImagesInfo();
}

// The size the frames of the video at `path` are taken at under the current settings; (0, 0)
// where DisplayFileInfo answers it: no file, or no readable duration.
QSizeF FrameDimensionsOf(const QString& path) {
    if (!FileExistsAtPath(path)) return {0, 0};
    VideoFileProcessor processor;
    processor.OpenVideoFile(path);
    if (!(processor.GetVideoDurationInSeconds() > 0)) return {0, 0};
    return processor.GetFrameDimensions();
}

// The layout's natural size with every option shown, centred on the primary screen. An
// explicit position keeps the frame that start-up records the frame the window shows.
void PlaceWindowOnScreen(QMainWindow& window) {
    ApplyLayoutNow(&window);
    const QSize natural = window.sizeHint().expandedTo(window.minimumSizeHint());
    window.resize(std::max(natural.width(), window.width()), natural.height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window.size());
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

void PrepareNumberFields(AppDelegate& delegate) {
    for (QLineEdit* field :
         {delegate.textFieldFrom, delegate.textFieldTo, delegate.textFieldFrameInterval,
          delegate.textFieldImageSizePercentage})
        AcceptOnlyNumbers(field, NumberKind::Decimal);
    AcceptOnlyNumbers(delegate.textFieldRowsInVideoWall, NumberKind::Whole);
}

// A side of the expected images: the video's side at the percentage, rounded up. A
// percentage no image could have (hundreds of digits) gives 0 rather than overflowing.
long ExpectedSide(double videoSide, double percentage) {
    const double pixels = std::ceil(videoSide * percentage / 100);
    return std::fabs(pixels) < 1e15 ? static_cast<long>(pixels) : 0;
}

}  // namespace

AppDelegate::AppDelegate() = default;
AppDelegate::~AppDelegate() {
    SetOpenFailureReporter({});
}

void AppDelegate::applicationDidFinishLaunching() {
    m_pAppSettings = std::make_unique<AppSettings>();
    LoadMainWindow();
    BindActions();
    DoApplicationStartup();
    window->show();
}

void AppDelegate::applicationOpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    QStringList absolute;
    for (const QString& path : paths) absolute << QFileInfo(path).absoluteFilePath();
    if (!MainWindow->OpenFiles(absolute))
        LogLine("Not opened, as it is not one AVI, MOV or MP4 file: " + paths.join(' '));
}

void AppDelegate::LoadMainWindow() {
    m_pWindowOwner = std::make_unique<ControlClickWindow>();
    window = MainWindow = m_pWindowOwner.get();
    Ui::MainWindow ui;
    ui.setupUi(window);
    textFieldFilePath = ui.textFieldFilePath;
    imageViewFileType = ui.imageViewFileType;
    textFieldVideoDuration = ui.textFieldVideoDuration;
    textFieldFrom = ui.textFieldFrom;
    textFieldTo = ui.textFieldTo;
    textFieldFrameInterval = ui.textFieldFrameInterval;
    textFieldImageSizePercentage = ui.textFieldImageSizePercentage;
    popupButtonFileFormat = ui.popupButtonFileFormat;
    checkBoxAutoDelete = ui.checkBoxAutoDelete;
    textFieldRowsInVideoWall = ui.textFieldRowsInVideoWall;
    nsboxExportImages = ui.nsboxExportImages;
    buttonShowOrHideVideoExport = ui.buttonShowOrHideVideoExport;
    popupButtonVideoFormat = ui.popupButtonVideoFormat;
    buttonExportVideo = ui.buttonExportVideo;
    progressIndicatorVideoExport = ui.progressIndicatorVideoExport;
    textFieldPercentage = ui.textFieldPercentage;
    buttonShareDefault = ui.buttonShareDefault;
    buttonTutorial = ui.buttonTutorial;
    buttonFacebook = ui.buttonFacebook;
    buttonGooglePlus = ui.buttonGooglePlus;
    buttonTwitter = ui.buttonTwitter;
    labelShare = ui.labelShare;
    pContextMenu = BuildContextMenu(window);
    window->SetContextMenu(pContextMenu);
    window->RouteFieldDropsToWindow();
    PrepareNumberFields(*this);
    PlaceWindowOnScreen(*window);
}

namespace {

void BindFieldsAndPopups(AppDelegate& delegate) {
    // Any edit of any field may change the expected image size; the title follows each key.
    for (QLineEdit* field :
         {delegate.textFieldFilePath, delegate.textFieldFrom, delegate.textFieldTo,
          delegate.textFieldFrameInterval, delegate.textFieldImageSizePercentage,
          delegate.textFieldRowsInVideoWall})
        QObject::connect(field, &QLineEdit::textEdited, &delegate,
                         &AppDelegate::controlTextDidChange);
    QObject::connect(delegate.textFieldFrameInterval, &QLineEdit::editingFinished, &delegate,
                     &AppDelegate::OnChangeFrameInterval);
    QObject::connect(delegate.popupButtonFileFormat, &QComboBox::activated, &delegate,
                     &AppDelegate::OnFileFormatChanged);
    QObject::connect(delegate.popupButtonVideoFormat, &QComboBox::activated, &delegate,
                     &AppDelegate::OnVideoFileFormatSelectionChanged);
    QObject::connect(delegate.window, &ControlClickWindow::windowWillClose, &delegate, [&delegate] {
        QGuiApplication::setQuitOnLastWindowClosed(
            delegate.applicationShouldTerminateAfterLastWindowClosed());
    });
}

}  // namespace

void AppDelegate::BindActions() {
    struct Binding {
        const char* objectName;
        void (AppDelegate::*action)();
    };
    static constexpr Binding kMenuItems[] = {
        {"actionSelectVideoFile", &AppDelegate::OnButtonClickedSelctVideoFile},
        {"actionOpenVideoFile", &AppDelegate::OnOpenVideoFile},
        {"actionExportImages", &AppDelegate::OnExportImages},
        {"actionOpenLastFolder", &AppDelegate::OnOpenLastFolder},
        {"actionExportVideoWallFromVideo", &AppDelegate::OnExportVideoWallFromVideo},
        {"actionExportVideoWall", &AppDelegate::OnExportVideoWall},
        {"actionExportVideoFromImages", &AppDelegate::OnExportVideoFromImages},
        {"actionExportVideoFromVideo", &AppDelegate::OnExportVideoFromVideo},
        {"actionExportVideo", &AppDelegate::OnExportVideo},
        {"actionExtractImagesFromGIFFile", &AppDelegate::OnExtractImagesFromGIFFile},
        {"actionExportVideoInfo", &AppDelegate::OnExportVideoInfo},
        {"actionQuit", &AppDelegate::OnQuit},
        {"actionCopyScreenshotToClipboard", &AppDelegate::OnCopyScreenshotToClipboard},
        {"actionCaptureScreenshotToDesktopImage", &AppDelegate::OnCaptureScreenshotToDesktopImage},
        {"actionImageWatermark", &AppDelegate::OnImageWatermark},
        {"actionSettings", &AppDelegate::OnSettings},
        {"actionMenuItemHelp", &AppDelegate::OnMenuItemHelp},
        {"actionHelpFrameInterval", &AppDelegate::OnHelpFrameInterval},
        {"actionHelpVideo", &AppDelegate::OnHelpVideo},
        {"actionMenuTutorials", &AppDelegate::OnMenuTutorials},
        {"actionShareFacebook", &AppDelegate::OnShareFacebook},
        {"actionShareGooglePlus", &AppDelegate::OnShareGooglePlus},
        {"actionShareTwitter", &AppDelegate::OnShareTwitter},
        {"actionShareSupport", &AppDelegate::OnShareSupport},
        {"actionGetAutomationSoftware", &AppDelegate::OnGetAutomationSoftware},
        {"actionAbout", &AppDelegate::OnAbout},
    };
    static constexpr Binding kButtons[] = {
        {"buttonSelectVideoFile", &AppDelegate::OnButtonClickedSelctVideoFile},
        {"buttonOpenVideoFile", &AppDelegate::OnOpenVideoFile},
        {"buttonHelpVideo", &AppDelegate::OnHelpVideo},
        {"buttonHelpFrameInterval", &AppDelegate::OnHelpFrameInterval},
        {"buttonOpenLastFolder", &AppDelegate::OnOpenLastFolder},
        {"buttonExportImages", &AppDelegate::OnExportImages},
        {"checkBoxAutoDelete", &AppDelegate::OnAutoDelete},
        {"buttonExportVideoWallFromVideo", &AppDelegate::OnExportVideoWallFromVideo},
        {"buttonExportVideoWall", &AppDelegate::OnExportVideoWall},
        {"buttonExportVideoFromImages", &AppDelegate::OnExportVideoFromImages},
        {"buttonExportVideoFromVideo", &AppDelegate::OnExportVideoFromVideo},
        {"buttonImageWatermark", &AppDelegate::OnImageWatermark},
        {"buttonExtractImagesFromGIFFile", &AppDelegate::OnExtractImagesFromGIFFile},
        {"buttonSettings", &AppDelegate::OnButtonClickedSettings},
        {"buttonHelp", &AppDelegate::OnButtonClickedHelp},
        {"buttonLaunchContextMenu", &AppDelegate::OnButtonClickedLaunchContextMenu},
        {"buttonTutorial", &AppDelegate::OnButtonClickedTutorial},
        {"buttonFacebook", &AppDelegate::OnButtonClickedFacebook},
        {"buttonGooglePlus", &AppDelegate::OnButtonClickedGooglePlus},
        {"buttonTwitter", &AppDelegate::OnButtonClickedTwitter},
        {"buttonShowOrHideVideoExport", &AppDelegate::OnHideOrDisplayVideoExportOptions},
        {"buttonExportVideo", &AppDelegate::OnExportVideo},
    };
    for (const Binding& item : kMenuItems)
        connect(window->findChild<QAction*>(item.objectName), &QAction::triggered, this,
                item.action);
    for (const Binding& button : kButtons)
        connect(window->findChild<QAbstractButton*>(button.objectName), &QAbstractButton::clicked,
                this, button.action);
    BindFieldsAndPopups(*this);
}

namespace {

// The share picker opens under the pressed button, so the button acts on the press.
void PrepareShareButton(QToolButton& button, AppDelegate& delegate) {
    const QIcon icon = QIcon::fromTheme("emblem-shared", QIcon::fromTheme("document-send"));
    if (!icon.isNull()) {
        button.setIcon(icon);
        button.setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    QObject::connect(&button, &QToolButton::pressed, &delegate, &AppDelegate::OnButtonShareDefault,
                     Qt::UniqueConnection);
}

void RestoreFields(AppDelegate& delegate, const AppSettings& settings) {
    SetDoubleValue(delegate.textFieldFrom, settings.GetFrom());
    SetDoubleValue(delegate.textFieldTo, settings.GetTo());
    SetDoubleValue(delegate.textFieldFrameInterval, settings.GetFrameInterval());
    SetDoubleValue(delegate.textFieldImageSizePercentage, settings.GetImageSizePercentage());
    SetIntegerValue(delegate.textFieldRowsInVideoWall, settings.GetRowsInVideoWall());
    delegate.textFieldFilePath->setText(settings.GetLastVideo());
}

}  // namespace

void AppDelegate::DoApplicationStartup() {
    m_rOriginalFrameRect = window ? QRect(window->pos(), window->size()) : QRect();
    // What the commands show on the desktop when they end (a folder, a wall, a movie), from
    // any thread: a desktop that cannot open it is told in the window.
    SetOpenFailureReporter([this](const QString& item) {
        PostToMainThread([this, item] { ReportCouldNotOpen(GetMainWindow(), item); });
    });
    m_pAppSettings->DoRegisterDefaults();
    PrepareShareButton(*buttonShareDefault, *this);
    MainWindow->SetParameters(textFieldFilePath, textFieldVideoDuration, imageViewFileType);
    progressIndicatorVideoExport->setRange(0, 100);
    progressIndicatorVideoExport->setVisible(false);
    textFieldPercentage->setVisible(false);
    checkBoxAutoDelete->setChecked(m_pAppSettings->GetIntegerValue(SettingKey::AutoDelete) == 1);
    LoadOutputFieFormats();
    LoadVideoOutputFileFormats();
    RestoreFields(*this, *m_pAppSettings);
    MainWindow->setTextFieldFrom(textFieldFrom);
    MainWindow->setTextFieldTo(textFieldTo);
    m_oVideoDimensions = MainWindow->DisplayFileInfo();
    DisplayExportedImagesInfo();
    buttonShowOrHideVideoExport->setChecked(m_pAppSettings->GetDisclosureButtonState() == 1);
    HideOrDisplayVideoExportOptions();
    LogLine("Stillpress by Quonex");
    LogLine("For Customer Support, write to support@example.com");
}

void AppDelegate::HideOrDisplayVideoExportOptions() {
    if (window == nullptr) return;
    const bool shown = buttonShowOrHideVideoExport->isChecked();
    buttonShowOrHideVideoExport->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    // The options sit at the bottom: hiding them lets the layout give up their height.
    window->findChild<QWidget*>("videoExportOptions")->setVisible(shown);
    ApplyLayoutNow(window);
    QRect frame(window->pos(), window->size());
    if (shown)
        frame = m_rOriginalFrameRect;
    else
        frame.setHeight(frame.height() - kVideoExportOptionsHeight);
    window->move(frame.topLeft());
    window->resize(frame.size());
}

void AppDelegate::SaveFromTo() {
    m_pAppSettings->SetFrom(DoubleValueOf(textFieldFrom));
    m_pAppSettings->SetTo(DoubleValueOf(textFieldTo));
}

void AppDelegate::SaveFrameInterval() {
    m_pAppSettings->SetFrameInterval(DoubleValueOf(textFieldFrameInterval));
}

void AppDelegate::SaveLastVideo() {
    m_pAppSettings->SetLastVideo(textFieldFilePath->text());
}

void AppDelegate::SaveFileFormat() {
    m_pAppSettings->SetSelectedFileFormat(SelectedTag(popupButtonFileFormat));
}

void AppDelegate::SaveVideoFileFormat() {
    m_pAppSettings->SetSelectedVideoFileFormat(SelectedTag(popupButtonVideoFormat));
}

void AppDelegate::SaveDisclousureButtonState() {
    m_pAppSettings->SetDisclosureButtonState(buttonShowOrHideVideoExport->isChecked() ? 1 : 0);
}

void AppDelegate::SaveImageSizePercentage() {
    m_pAppSettings->SetImageSizePercentage(DoubleValueOf(textFieldImageSizePercentage));
}

void AppDelegate::SaveExportControls() {
    SaveFileFormat();
    SaveFrameInterval();
    SaveImageSizePercentage();
    SaveLastVideo();
    SaveFromTo();
}

void AppDelegate::AppendItemToPopupButton(const QString& title, long long tag, QComboBox* popup) {
    popup->addItem(title);
    popup->setItemData(popup->count() - 1, QVariant::fromValue(tag));
}

void AppDelegate::LoadOutputFieFormats() {
    popupButtonFileFormat->clear();
    for (const ImageFormatRow* format : ImageFormatsInPopupOrder())
        AppendItemToPopupButton(format->label, static_cast<int>(format->type),
                                popupButtonFileFormat);
    SelectItemWithTag(popupButtonFileFormat, m_pAppSettings->GetSelectedFileFormat());
}

void AppDelegate::LoadVideoOutputFileFormats() {
    popupButtonVideoFormat->clear();
    const QStringList presets = GetExportableFileTypes();
    for (qsizetype index = 0; index < presets.size(); ++index)
        AppendItemToPopupButton(PresetPopupTitle(presets[index]), index, popupButtonVideoFormat);
    SelectItemWithTag(popupButtonVideoFormat, m_pAppSettings->GetSelectedVideoFileFormat());
}

void AppDelegate::DisplayExportedImagesInfo() {
    const QString title = "Export Image Files From Video File";
    if (m_oVideoDimensions.width() == 0) {
        nsboxExportImages->setTitle(title);
        return;
    }
    double percentage = DoubleValueOf(textFieldImageSizePercentage);
    if (percentage == 0) percentage = 100;
    const long width = ExpectedSide(m_oVideoDimensions.width(), percentage);
    const long height = ExpectedSide(m_oVideoDimensions.height(), percentage);
    nsboxExportImages->setTitle(
        title + QString::asprintf(" - Expected Dimensions of Image(s) : %ld X %ld", width, height));
}

QStringList AppDelegate::GetSupportedVideoFormats() const {
    QStringList types;
    for (const VideoFileType& type : kVideoFileTypes) {
        if (av_find_input_format(type.demuxer) == nullptr) continue;
        types << type.extension;
        LogLine(QString("File Type %1").arg(type.extension));
    }
    return types;
}

void AppDelegate::DisplayMessageBox(const QString& title, const QString& text) {
    OpenMessageSheet(window, title, text, QStringLiteral("                OK                "));
}

void AppDelegate::DisplayMessageBox(const QString& title, const QString& text, QWidget* window) {
    OpenMessageSheet(window, title, text, QStringLiteral("OK"));
}

QWidget* AppDelegate::GetMainWindow() const {
    return window;
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() {
    SaveFileFormat();
    SaveFrameInterval();
    SaveFromTo();
    SaveImageSizePercentage();
    SaveLastVideo();
    m_pAppSettings->SetRowsInVideoWall(IntegerValueOf(textFieldRowsInVideoWall));
    return true;
}

void AppDelegate::controlTextDidChange() {
    DisplayExportedImagesInfo();
}

void AppDelegate::OnSettingsAccepted() {
    m_oVideoDimensions = FrameDimensionsOf(textFieldFilePath->text());
    DisplayExportedImagesInfo();
    MainWindow->RefreshPreview();
}

void AppDelegate::OnChangeFrameInterval() {
    SaveFrameInterval();
}

void AppDelegate::OnFileFormatChanged() {
    SaveFileFormat();
}

void AppDelegate::OnVideoFileFormatSelectionChanged() {
    SaveVideoFileFormat();
}

void AppDelegate::OnHideOrDisplayVideoExportOptions() {
    SaveDisclousureButtonState();
    HideOrDisplayVideoExportOptions();
}

void AppDelegate::OnQuit() {
    window->close();
}

void AppDelegate::OnButtonClickedSelctVideoFile() {
    QFileDialog* panel = MakeSheetPanel(window, "Select Video File", QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFile);
    const QStringList types = GetSupportedVideoFormats();
    panel->setNameFilter(QString("Video Files (*.%1)").arg(types.join(" *.")));
    panel->setDirectory(OpenPanelFolder(textFieldFilePath->text()));
    // The choice is taken once the panel is gone, so that a message about the video is
    // not hidden behind it.
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result == QDialog::Accepted) TakeChosenVideo(*this, panel->selectedFiles().value(0));
    });
    panel->open();
}
