#pragma once
// The application's delegate: owns the main window, the settings store, the controllers of
// the sheets and the list of files written by the latest extraction, and carries every
// command of the window as an action method. Lives for the whole process; main thread only.
//
// Members are defined by the files that own them:
//   AppDelegate.cpp            start-up, controls, pop-ups, save operations, closing,
//                              message boxes, select-video command
//   ExportImagesActions.cpp    the export images command, last folder, auto delete, open video
//   WallActions.cpp            the two image wall commands and their save panels
//   MovieActions.cpp           the two movie commands and their save panels
//   ImageWatermarkWindowController.cpp  OnImageWatermark
//   GifAndInfoActions.cpp      GIF frames and the video information commands
//   SettingsWindowController.cpp  OnSettings / OnButtonClickedSettings
//   ScreenshotsHelpLinks.cpp   window pictures, share menu, help texts, context menu, links
//   AboutBox.cpp               OnAbout
//   ConversionActions.cpp      the conversion by export preset: its worker thread (the one
//                              place off the main thread; it reaches the window only by
//                              posting to the main thread) and the window's progress

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSizeF>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "app/core/MessagePresenter.h"

class AppSettings;
class ControlClickWindow;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QImage;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;
class ImageWatermarkWindowController;
class SettingsWindowController;

class AppDelegate : public QObject, public MessagePresenter {
    Q_OBJECT

  public:
    AppDelegate();
    ~AppDelegate() override;

    // Loads the main window from its resource, binds the outlets and runs start-up.
    void applicationDidFinishLaunching();
    // The files the program was started with (`stillpress VIDEO`, a file manager's "Open
    // With"), relative to the working folder: opened as a drop of them on the window would be.
    void applicationOpenFiles(const QStringList& paths);
    void DoApplicationStartup();
    void HideOrDisplayVideoExportOptions();

    void SaveFromTo();
    void SaveFrameInterval();
    void SaveLastVideo();
    void SaveFileFormat();
    void SaveVideoFileFormat();
    void SaveDisclousureButtonState();
    void SaveImageSizePercentage();
    // The five controls a run reads, in the order the export and wall commands save them.
    void SaveExportControls();

    static void AppendItemToPopupButton(const QString& title, long long tag, QComboBox* popup);
    void LoadOutputFieFormats();
    void LoadVideoOutputFileFormats();
    void DisplayExportedImagesInfo();
    QStringList GetSupportedVideoFormats() const;

    // Window-modal, non-blocking message box with the wide "OK" button on the main window.
    void DisplayMessageBox(const QString& title, const QString& text) override;
    // The same with a plain "OK" button on the given window.
    static void DisplayMessageBox(const QString& title, const QString& text, QWidget* window);
    QWidget* GetMainWindow() const;
    // Writes the seven closing values back; answers true (the application then ends).
    bool applicationShouldTerminateAfterLastWindowClosed();
    void controlTextDidChange();

    // Part of the export command, shared with tests: true when the path field names an
    // existing file, otherwise a message and false.
    bool DoesVideoFileExists();

    // The wall from images after its images were collected (WallActions.cpp): asks where to
    // save the wall, then makes it at the path exactly as chosen.
    void exportfile(const QList<QImage>& images, const QString& suggestedName);
    // The order in which the files of a folder are taken for walls and movies.
    static QStringList GetSortedImageFiles(const QStringList& names);

    // Writes the frames of the GIF into its folder below `folderPath` (GifAndInfoActions.cpp).
    void ExtractGIFFiles(const QString& gifPath, const QString& folderPath);

    // Window pictures (ScreenshotsHelpLinks.cpp).
    QImage windowImage() const;
    static bool saveAsPNGImage(const QImage& image, const QString& path, QString* error);
    static bool OpenURL(const QString& urlText);

    // The conversion by export preset (ConversionActions.cpp). DoStartThreadToExportVideo
    // prepares the window and starts the worker (main thread); the worker's entry
    // timerBodyToExportVideo runs DoStartExportOfFileToLocation, which converts and posts
    // every change of the window, its restoring included, to the main thread. `cancelled`
    // is the worker's own flag, set when the delegate goes away.
    void DoStartThreadToExportVideo();
    void timerBodyToExportVideo(const QString& videoPath, const std::atomic<bool>& cancelled);
    void DoStartExportOfFileToLocation(const QString& videoPath,
                                       const std::atomic<bool>& cancelled);

  public slots:
    void OnAutoDelete();
    void OnChangeFrameInterval();
    void OnFileFormatChanged();
    void OnVideoFileFormatSelectionChanged();
    void OnHideOrDisplayVideoExportOptions();
    void OnQuit();
    void OnSettings();
    void OnButtonClickedSettings();
    // The settings sheet closed with OK: frames may now be taken as players show them or no
    // longer, so the expected dimensions and the preview are taken again.
    void OnSettingsAccepted();
    void OnButtonClickedSelctVideoFile();
    void OnOpenVideoFile();
    void OnExportImages();
    void OnOpenLastFolder();
    void OnExportVideoWallFromVideo();
    void OnExportVideoWall();
    void OnExportVideoFromImages();
    void OnExportVideoFromVideo();
    void OnImageWatermark();
    void OnExportVideo();
    void OnExtractImagesFromGIFFile();
    void OnExportVideoInfo();
    void OnHelpVideo();
    void OnButtonClickedHelp();
    void OnHelpFrameInterval();
    void OnButtonClickedLaunchContextMenu();
    void OnCopyScreenshotToClipboard();
    void OnCaptureScreenshotToDesktopImage();
    void OnButtonShareDefault();
    void OnMenuItemHelp();
    void OnMenuTutorials();
    void OnButtonClickedTutorial();
    void OnButtonClickedFacebook();
    void OnButtonClickedGooglePlus();
    void OnButtonClickedTwitter();
    void OnShareFacebook();
    void OnShareGooglePlus();
    void OnShareTwitter();
    void OnShareSupport();
    void OnGetAutomationSoftware();
    // The version of this build, the FFmpeg and Qt libraries it runs with and the licence.
    void OnAbout();

  public:
    // Fields.
    QPointer<ImageWatermarkWindowController> m_pImageWatermarkController;
    std::unique_ptr<AppSettings> m_pAppSettings;
    QRect m_rOriginalFrameRect;
    QPointer<SettingsWindowController> pSettingsController;
    std::shared_ptr<QStringList> pArrayOfExportedFiles;
    QSizeF m_oVideoDimensions;
    long long m_iSelectedVideoFormat = 0;
    QString m_pExtraFileName;

    // Outlets: controls of the main window, owned by the window.
    ControlClickWindow* window = nullptr;
    ControlClickWindow* MainWindow = nullptr;  // the same window, seen as the drop target
    QLineEdit* textFieldFilePath = nullptr;
    QLabel* imageViewFileType = nullptr;
    QLineEdit* textFieldVideoDuration = nullptr;
    QLineEdit* textFieldFrom = nullptr;
    QLineEdit* textFieldTo = nullptr;
    QLineEdit* textFieldFrameInterval = nullptr;
    QLineEdit* textFieldImageSizePercentage = nullptr;
    QComboBox* popupButtonFileFormat = nullptr;
    QCheckBox* checkBoxAutoDelete = nullptr;
    QLineEdit* textFieldRowsInVideoWall = nullptr;
    QGroupBox* nsboxExportImages = nullptr;
    QToolButton* buttonShowOrHideVideoExport = nullptr;
    QComboBox* popupButtonVideoFormat = nullptr;
    QPushButton* buttonExportVideo = nullptr;
    QProgressBar* progressIndicatorVideoExport = nullptr;
    QLabel* textFieldPercentage = nullptr;
    QMenu* pContextMenu = nullptr;
    QToolButton* buttonShareDefault = nullptr;
    QToolButton* buttonTutorial = nullptr;
    QToolButton* buttonFacebook = nullptr;
    QToolButton* buttonGooglePlus = nullptr;
    QToolButton* buttonTwitter = nullptr;
    QLabel* labelShare = nullptr;

  private:
    void LoadMainWindow();
    void BindActions();
    // Posts `change` to the main thread, where it runs unless the delegate is gone by then.
    void PostToMainThread(std::function<void()> change);
    void RestoreWindowAfterConversion();

    std::unique_ptr<ControlClickWindow> m_pWindowOwner;
    // The running or last conversion's thread; destroying it cancels and joins. Declared last
    // so that it goes first, while the window still exists.
    struct ConversionWorker;
    struct ConversionWorkerDeleter {
        void operator()(ConversionWorker* worker) const;
    };
    std::unique_ptr<ConversionWorker, ConversionWorkerDeleter> m_pConversionWorker;
};
