#include "app/ImageWatermarkWindowController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>

#include "app/AppDelegate.h"
#include "app/Controls.h"
#include "media/VideoFileProcessor.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageFiles.h"
#include "platform/StandardFolders.h"
#include "settings/AppSettings.h"
#include "ui_ImageWatermarkWindowController.h"

namespace {

// In the order of the indexes stored under "Alignment".
const char* const kAlignmentTitles[] = {"Top Left", "Top Right", "Bottom Left", "Bottom Right",
                                        "Center"};

long long StateOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

long long TransparencyFrom(const QLineEdit* field) {
    return std::clamp(IntegerValueOf(field), 0LL, 100LL);
}

QString DimensionsLine(const char* format, QSizeF size) {
    return QString::asprintf(format, size.width(), size.height());
}

QSizeF VideoDimensionsOf(const QString& path) {
    VideoFileProcessor processor;
    processor.OpenVideoFile(path);
    return processor.GetVideoDimensions();
}

// Writes a fully transparent PNG of `size` pixels; false when it could not be written.
bool WriteBlankCanvas(const QString& path, QSize size) {
    QImage canvas(size, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    try {
        QString error;
        return WriteFileData(path, EncodeImage(canvas, ImageFileType::Png, 1.0f), &error);
    } catch (const std::runtime_error&) {
        return false;  // a video without a picture size: there is nothing to draw on
    }
}

}  // namespace

ImageWatermarkWindowController::ImageWatermarkWindowController(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::ImageWatermarkWindowController>()) {
    m_pUi->setupUi(this);
    BindOutlets();
    BindActions();
    AcceptOnlyNumbers(textFieldTransparency, NumberKind::Whole);
    windowDidLoad();
}

ImageWatermarkWindowController::~ImageWatermarkWindowController() = default;

void ImageWatermarkWindowController::BindOutlets() {
    textFieldTransparency = m_pUi->textFieldTransparency;
    textFieldFilePath = m_pUi->textFieldFilePath;
    textFieldImageDimensions = m_pUi->textFieldImageDimensions;
    buttonAddWatermark = m_pUi->buttonAddWatermark;
    buttonCreateBlankFile = m_pUi->buttonCreateBlankFile;
    textFieldDimensionsOfVideo = m_pUi->textFieldDimensionsOfVideo;
    popupButtonAlignment = m_pUi->popupButtonAlignment;
}

void ImageWatermarkWindowController::BindActions() {
    using Sheet = ImageWatermarkWindowController;
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &Sheet::OnOK);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &Sheet::OnCancel);
    connect(m_pUi->buttonSelectImage, &QPushButton::clicked, this, &Sheet::OnSelectImage);
    connect(m_pUi->buttonOpenWatermark, &QPushButton::clicked, this,
            &Sheet::OnOpenWatermarkImageFilePath);
    connect(m_pUi->buttonLocateWatermark, &QPushButton::clicked, this, &Sheet::OnLocateWatermark);
    connect(buttonCreateBlankFile, &QPushButton::clicked, this, &Sheet::OnCreateBlankFile);
    connect(this, &QDialog::finished, this, [] { LogLine("Closed"); });
    m_pUi->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
}

void ImageWatermarkWindowController::windowDidLoad() {
    const AppSettings settings;
    buttonAddWatermark->setChecked(settings.GetAddWatermark() != 0);
    textFieldFilePath->setText(settings.GetWatermarkFilePath());
    DisplayDimensionsOfImageFile();
    DisplayVideoDimensions();
    SetIntegerValue(textFieldTransparency, settings.GetTransparency());
    LoadAlignments();
    popupButtonAlignment->setCurrentIndex(static_cast<int>(settings.GetAlignment()));
}

void ImageWatermarkWindowController::LoadAlignments() {
    popupButtonAlignment->clear();
    for (const char* title : kAlignmentTitles) popupButtonAlignment->addItem(title);
}

QStringList ImageWatermarkWindowController::GetSupportedImageFormats() {
    return {"png"};
}

void ImageWatermarkWindowController::showImageWatermarkWindowController(QWidget* parent) {
    pParentWindow = parent;
    if (parent && parentWidget() != parent) setParent(parent, windowFlags());
    setWindowModality(Qt::WindowModal);
    open();
}

void ImageWatermarkWindowController::StoreSettings() {
    AppSettings settings;
    settings.SetAddWatermark(StateOf(buttonAddWatermark));
    // Saved as typed: a path that names no image simply stamps nothing.
    settings.SetWatermarkFilePath(textFieldFilePath->text());
    settings.SetTransparency(TransparencyFrom(textFieldTransparency));
    settings.SetAlignment(popupButtonAlignment->currentIndex());
}

void ImageWatermarkWindowController::OnOK() {
    StoreSettings();
    CloseSheet(1);
}

void ImageWatermarkWindowController::OnCancel() {
    CloseSheet(0);
}

void ImageWatermarkWindowController::accept() {
    OnOK();
}

void ImageWatermarkWindowController::reject() {
    OnCancel();
}

void ImageWatermarkWindowController::CloseSheet(int returnCode) {
    // A chooser left open would outlive the sheet it writes into.
    if (m_pImageChooser) m_pImageChooser->reject();
    QDialog::done(returnCode);
}

void ImageWatermarkWindowController::OnSelectImage() {
    QFileDialog* chooser =
        MakeSheetPanel(this, "Select Image File (in PNG File Format)", QFileDialog::AcceptOpen);
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setNameFilter(QString("PNG (*.%1)").arg(GetSupportedImageFormats().join(" *.")));
    connect(chooser, &QFileDialog::finished, this, [this, chooser](int result) {
        if (result != QDialog::Accepted) return;
        const QString path = chooser->selectedFiles().value(0);
        if (path.isEmpty()) return;
        textFieldFilePath->setText(path);
        DisplayDimensionsOfImageFile();
    });
    m_pImageChooser = chooser;
    chooser->open();
}

void ImageWatermarkWindowController::DisplayDimensionsOfImageFile() {
    const QString path = textFieldFilePath->text();
    QString refusal;
    const QImage image = LoadImageFile(path, &refusal);
    if (!refusal.isEmpty()) {
        textFieldImageDimensions->setText(refusal);
    } else if (!image.isNull()) {
        textFieldImageDimensions->setText(DimensionsLine(
            "Watermark Image Dimensions : Width = %0.0lf, Height = %0.0lf", QSizeF(image.size())));
    } else if (QImageReader(path).canRead()) {
        // The file says it is an image, but no picture can be decoded from it.
        textFieldImageDimensions->setText("Image does not have any representation.");
    } else {
        textFieldImageDimensions->setText("Image Could Not be Loaded.");
    }
}

void ImageWatermarkWindowController::DisplayVideoDimensions() {
    const QString video = AppSettings().GetLastVideo();
    if (video.isEmpty()) {
        textFieldDimensionsOfVideo->setText("Video File not yet selected from Main Screen.");
    } else if (!FileExistsAtPath(video)) {
        textFieldDimensionsOfVideo->setText("Video File Selected Does Not Exists.");
    } else {
        textFieldDimensionsOfVideo->setText(DimensionsLine(
            "Video Dimensions : Width = %0.0lf, Height = %0.0lf", VideoDimensionsOf(video)));
    }
}

bool ImageWatermarkWindowController::WatermarkFileExists() {
    if (FileExistsAtPath(textFieldFilePath->text())) return true;
    DisplayMessageBox("File Not Found", "Watermark Image File Not Found.");
    return false;
}

void ImageWatermarkWindowController::OnOpenWatermarkImageFilePath() {
    if (WatermarkFileExists()) OpenOnDesktop(this, textFieldFilePath->text());
}

void ImageWatermarkWindowController::OnLocateWatermark() {
    if (WatermarkFileExists()) ShowInFileBrowser(this, textFieldFilePath->text());
}

QString ImageWatermarkWindowController::BlankWatermarkFilePath() {
    return UserDesktopDirectory() + "/Blank Watermark Image for Stillpress by Quonex.png";
}

QString ImageWatermarkWindowController::LastVideoForCanvas() {
    const QString video = AppSettings().GetLastVideo();
    if (video.isEmpty()) {
        DisplayMessageBox("Select a Video File",
                          "Please Use the [Select Video File] Button from the Main Screen to "
                          "Select a Video File and then try Again.");
        return {};
    }
    if (!FileExistsAtPath(video)) {
        DisplayMessageBox("File Not Found",
                          "Please Make Sure that a Video File has been Selected from the Main "
                          "Screen and then Try Again.\n\nYou can Use the [Select Video File] "
                          "Button on the Main Screen of this Software to Select a Video File.");
        return {};
    }
    return video;
}

void ImageWatermarkWindowController::OnCreateBlankFile() {
    const QString video = LastVideoForCanvas();
    if (video.isEmpty()) return;
    const QSizeF dimensions = VideoDimensionsOf(video);
    const QString target = BlankWatermarkFilePath();
    if (FileExistsAtPath(target)) {
        // The user may already have drawn on it.
        DisplayMessageBox("File Already Exists",
                          "A File at Desktop Already Exists with the Name Blank Watermark Image "
                          "for Stillpress by Quonex");
        ShowInFileBrowser(this, target);
        return;
    }
    const QSize pixels(static_cast<int>(dimensions.width()), static_cast<int>(dimensions.height()));
    // Revealing a file that could not be written would only confuse the file browser.
    if (WriteBlankCanvas(target, pixels)) ShowInFileBrowser(this, target);
}

void ImageWatermarkWindowController::DisplayMessageBox(const QString& title, const QString& text) {
    AppDelegate::DisplayMessageBox(title, text, this);
}

// The delegate's watermark command, kept with the sheet it opens.

void AppDelegate::OnImageWatermark() {
    if (m_pImageWatermarkController) m_pImageWatermarkController->deleteLater();
    QWidget* mainWindow = GetMainWindow();
    m_pImageWatermarkController = new ImageWatermarkWindowController(mainWindow);
    m_pImageWatermarkController->showImageWatermarkWindowController(mainWindow);
}
