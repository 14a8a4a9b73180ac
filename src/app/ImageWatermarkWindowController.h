#pragma once
// The watermark sheet: chooses the PNG stamped onto extracted frames and video walls, turns
// the stamp on or off, sets its placement and opacity, shows the sizes of the watermark and
// of the last video, and writes a blank transparent canvas of the video's size on the
// Desktop to draw a watermark on.
//
// The sheet reads every value from a fresh AppSettings when it is made and writes them back
// only on OK. Each opening makes a new controller (AppDelegate::OnImageWatermark keeps the
// last one). The sheet owns its controls and the image chooser it opens; it does not own its
// parent window. Main thread only.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QPushButton;

namespace Ui {
class ImageWatermarkWindowController;
}

class ImageWatermarkWindowController : public QDialog {
    Q_OBJECT

  public:
    // Builds the controls and fills them from the settings store (windowDidLoad).
    explicit ImageWatermarkWindowController(QWidget* parent = nullptr);
    ~ImageWatermarkWindowController() override;

    // Attaches the sheet to `parent`, window-modal, and returns at once.
    void showImageWatermarkWindowController(QWidget* parent);

    void LoadAlignments();
    static QStringList GetSupportedImageFormats();
    void DisplayDimensionsOfImageFile();
    void DisplayVideoDimensions();
    // Window-modal and non-blocking, with a plain "OK" button, on this sheet.
    void DisplayMessageBox(const QString& title, const QString& text);

    // Where OnCreateBlankFile writes the canvas.
    static QString BlankWatermarkFilePath();

    // Enter and Escape land here as well as on the buttons.
    void accept() override;
    void reject() override;

  public slots:
    void OnOK();
    void OnCancel();
    // Opens the non-blocking PNG chooser on the sheet; OK puts the file into the path field.
    void OnSelectImage();
    void OnOpenWatermarkImageFilePath();
    void OnLocateWatermark();
    void OnCreateBlankFile();

  public:
    // Fields.
    QPointer<QWidget> pParentWindow;

    // Outlets, owned by the sheet.
    QLineEdit* textFieldTransparency = nullptr;
    QLineEdit* textFieldFilePath = nullptr;
    QLineEdit* textFieldImageDimensions = nullptr;
    QCheckBox* buttonAddWatermark = nullptr;
    QPushButton* buttonCreateBlankFile = nullptr;
    QLineEdit* textFieldDimensionsOfVideo = nullptr;
    QComboBox* popupButtonAlignment = nullptr;

  private:
    void BindOutlets();
    void BindActions();
    void windowDidLoad();
    void StoreSettings();
    void CloseSheet(int returnCode);
    // True when something exists at the path field's path; otherwise says so.
    bool WatermarkFileExists();
    // The last video, which the canvas takes its size from; empty (and said so) when none.
    QString LastVideoForCanvas();

    std::unique_ptr<Ui::ImageWatermarkWindowController> m_pUi;
    QPointer<QFileDialog> m_pImageChooser;
};
