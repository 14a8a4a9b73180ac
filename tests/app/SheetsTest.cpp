// The settings and watermark sheets: what they show from the store, what OK and Cancel store,
// their messages, choosers and colour panel, and the blank watermark canvas on the Desktop.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <array>

#include "app/ImageWatermarkWindowController.h"
#include "app/SettingsWindowController.h"
#include "platform/StandardFolders.h"
#include "settings/SettingsSchema.h"
#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

const QString kMarkSize = "Watermark Image Dimensions : Width = 30, Height = 20";

QString Watermark() {
    const QString path = MakeTempDir("watermark") + "/mark.png";
    EXPECT_TRUE(QImage(30, 20, QImage::Format_ARGB32).save(path));
    return path;  // described as kMarkSize
}

class SheetTest : public WindowTest {
  protected:
    void SetUp() override {
        QFile::remove(ImageWatermarkWindowController::BlankWatermarkFilePath());
        Launch();
    }
    void TearDown() override {
        if (app->pSettingsController) app->pSettingsController->OnCancel();
        if (app->m_pImageWatermarkController) app->m_pImageWatermarkController->OnCancel();
    }

    SettingsWindowController* OpenSettings() {
        app->OnButtonClickedSettings();
        return app->pSettingsController;
    }
    ImageWatermarkWindowController* OpenWatermark() {
        app->OnImageWatermark();
        return app->m_pImageWatermarkController;
    }
    static void Press(QWidget* sheet, QDialogButtonBox::StandardButton which) {
        sheet->findChild<QDialogButtonBox*>()->button(which)->click();
    }
    static void ExpectOnlyMessage(QWidget* sheet, const QString& title, const QString& text) {
        const MessageBoxShown shown = CloseOnlyMessageBox(sheet);
        EXPECT_EQ(shown.title, title);
        EXPECT_EQ(shown.text, text);
        EXPECT_EQ(shown.buttons, QStringList{"OK"});
        EXPECT_TRUE(shown.windowModal);
    }
};
using SettingsSheetTest = SheetTest;
using WatermarkSheetTest = SheetTest;

TEST_F(SettingsSheetTest, ShowsTheStoredValuesAndOnlyOkStoresTheEditedOnes) {
    AppSettings settings;
    settings.SetOutputImageAppendFileName(1);
    settings.SetOutputImageFileNameParameter1("holiday");
    settings.SetBaseFolder("/media/exports");
    settings.SetAddTimeIntervalToImages(0);
    settings.SetFrameDelayDuringExport(0.2);
    settings.SetCompressionFactor(70);
    for (const auto button : {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
        const QVariantMap before = StoreContents();
        SettingsWindowController* sheet = OpenSettings();  // a new one each time
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_FALSE(sheet->m_pTimeColor.has_value());  // none was ever stored
        const std::tuple<QCheckBox*, const char*, bool> boxes[] = {
            {sheet->checkBoxAppendFileName, SettingKey::OutputImageAppendFileName, true},
            {sheet->checkBoxAppendDuration, SettingKey::OutputImageFileNameAppendDuration, false},
            {sheet->checkBoxGreyScale, SettingKey::OutputImageAsGreyScale, false},
            {sheet->checkBoxAsDisplayed, SettingKey::OutputImageAsDisplayed, false},
            {sheet->checkAddTimeIntervalToImages, SettingKey::AddTimeIntervalToImages, false}};
        const std::tuple<QLineEdit*, const char*, QString, QString> fields[] = {
            {sheet->textFieldParam1, SettingKey::OutputImageFileNameParameter1, "holiday",
             "take 2"},
            {sheet->textFieldBaseFolderPath, SettingKey::BaseFolder, "/media/exports", "/srv/x"},
            {sheet->textFieldFrameRate, SettingKey::FrameRateForExportedVideo, "10", "12.5"},
            {sheet->textFieldFrameDelay, SettingKey::FrameDelayDuringExport, "0.2", "0.1"},
            {sheet->textFieldCompressionFactor, SettingKey::CompressionFactor, "70", "42"}};
        for (const auto& [box, key, shown] : boxes) {
            EXPECT_EQ(box->isChecked(), shown) << key;
            box->setChecked(!shown);
        }
        for (const auto& [field, key, shown, typed] : fields) {
            EXPECT_EQ(field->text(), shown) << key;
            field->setText(typed);
        }
        Press(sheet, button);
        if (button == QDialogButtonBox::Cancel) {
            EXPECT_EQ(StoreContents(), before);
            continue;
        }
        for (const auto& [box, key, shown] : boxes)
            EXPECT_EQ(Stored(key).toLongLong(), shown ? 0 : 1) << key;
        for (const auto& [field, key, shown, typed] : fields)
            EXPECT_EQ(Stored(key).toString(), typed) << key;
    }
    EXPECT_FALSE(settings.GetTimeColor().has_value());  // none picked: none stored
}

// Past the validators, whatever is not a finite number reads as 0, never converted to an
// integer. A rate or delay of 0 shows the default.
TEST_F(SettingsSheetTest, NumbersTakeTheUsersCommaAndAreClampedOrReadAsZero) {
    const QLocale usual;
    QLocale::setDefault(QLocale(QLocale::German));
    SettingsWindowController* sheet = OpenSettings();
    for (const auto& [field, keys] : {std::pair{sheet->textFieldFrameRate, "12,5"},
                                      {sheet->textFieldFrameDelay, "0.1s"},
                                      {sheet->textFieldCompressionFactor, "nan4,2"}}) {
        field->selectAll();
        for (const QChar key : QString(keys)) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
            QCoreApplication::sendEvent(field, &press);
        }
    }
    sheet->OnOK();
    QLocale::setDefault(usual);
    EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), 12.5);
    EXPECT_EQ(Stored("FrameDelayDuringExport").toDouble(), 0.1);
    EXPECT_EQ(Stored("CompressionFactor").toLongLong(), 42);
    const std::tuple<const char*, long long, double> cases[] = {
        {"150", 100, 150}, {"-5", 0, -5}, {"not a number", 0, 0}, {"nan", 0, 0},
        {"-nan", 0, 0},    {"inf", 0, 0}, {"-infinity", 0, 0},    {"0", 0, 0}};
    for (const auto& [text, compression, rate] : cases) {
        sheet = OpenSettings();
        sheet->textFieldCompressionFactor->setText(text);
        sheet->textFieldFrameRate->setText(text);
        sheet->textFieldFrameDelay->setText("0");
        sheet->OnOK();
        EXPECT_EQ(Stored("CompressionFactor").toLongLong(), compression) << text;
        EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), rate) << text;
        EXPECT_EQ(Stored("FrameDelayDuringExport").toDouble(), 0.0);
    }
    sheet = OpenSettings();
    EXPECT_EQ(sheet->textFieldFrameRate->text(), "10");
    EXPECT_EQ(sheet->textFieldFrameDelay->text(), "0.05");
}

TEST_F(SettingsSheetTest, FolderFieldTakesAChosenFolderOrTheDefault) {
    const QString chosen = MakeTempDir("chosen-base");
    AppSettings().SetBaseFolder("/srv/frames");
    SettingsWindowController* sheet = OpenSettings();
    sheet->findChild<QPushButton*>("buttonSelectFolder")->click();
    QFileDialog* chooser = sheet->findChild<QFileDialog*>();
    ASSERT_NO_FATAL_FAILURE(
        ExpectPanel(chooser, "Select Folder to Export Images", QFileDialog::AcceptOpen));
    EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
    chooser->setDirectory(chosen);
    chooser->selectFile(chosen);
    static_cast<QDialog*>(chooser)->accept();  // QFileDialog keeps its override protected
    EXPECT_EQ(sheet->textFieldBaseFolderPath->text(), chosen);
    EXPECT_EQ(AppSettings().GetBaseFolder(), "/srv/frames");  // stored only on OK
    sheet->findChild<QPushButton*>("buttonUseDefaultFolder")->click();
    sheet->OnOK();
    EXPECT_EQ(AppSettings().GetStringValue("BaseFolder"), "");
}

TEST_F(SettingsSheetTest, PickedColourAppliesAtOnceAndIsStoredOnlyByOk) {
    AppSettings().SetTimeColor(Qt::yellow);
    SettingsWindowController* sheet = OpenSettings();
    sheet->OnSelectTextColor();
    QColorDialog* panel = sheet->findChild<QColorDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    panel->setCurrentColor(Qt::blue);
    EXPECT_EQ(sheet->m_pTimeColor, QColor(Qt::blue));  // applies while the dialog is open
    panel->reject();                                   // the dialog's Cancel takes it back
    EXPECT_EQ(sheet->m_pTimeColor, QColor(Qt::yellow));

    sheet->OnSelectTextColor();
    panel = sheet->findChild<QColorDialog*>();
    ASSERT_NE(panel, nullptr);
    panel->setCurrentColor(Qt::red);
    Press(sheet, QDialogButtonBox::Cancel);
    EXPECT_EQ(AppSettings().GetTimeColor(), QColor(Qt::yellow));

    sheet = OpenSettings();
    sheet->changeColorForBackground(QColor(0, 128, 255, 200));
    sheet->OnOK();
    EXPECT_EQ(AppSettings().GetTimeColor(), QColor(0, 128, 255, 200));
    EXPECT_EQ(OpenSettings()->m_pTimeColor, QColor(0, 128, 255, 200));
}

// The sheet clamps to 0..100 and the store keeps 0 as 60; Cancel stores nothing at all.
TEST_F(WatermarkSheetTest, ShowsTheStoreAndOkStoresTheClampedValuesAndCancelNothing) {
    AppSettings settings;
    settings.SetAddWatermark(0);
    settings.SetWatermarkFilePath(Watermark());
    settings.SetTransparency(35);
    settings.SetAlignment(3);
    settings.SetLastVideo(SampleVideo());
    ImageWatermarkWindowController* sheet = OpenWatermark();
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(sheet->buttonAddWatermark->isChecked());  // the image is still described
    EXPECT_EQ(sheet->textFieldFilePath->text(), settings.GetWatermarkFilePath());
    EXPECT_EQ(sheet->textFieldImageDimensions->text(), kMarkSize);
    EXPECT_EQ(sheet->textFieldTransparency->text(), "35");
    const QStringList placements{"Top Left", "Top Right", "Bottom Left", "Bottom Right", "Center"};
    ASSERT_EQ(sheet->popupButtonAlignment->count(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sheet->popupButtonAlignment->itemText(i), placements[i]);
    EXPECT_EQ(sheet->popupButtonAlignment->currentIndex(), 3);
    sheet->OnCancel();

    using Button = QDialogButtonBox;
    long long alignment = 0;
    for (auto [button, typed, stored] : {std::tuple{Button::Ok, "150", 100},
                                         {Button::Ok, "0", 60},
                                         {Button::Ok, "1", 1},
                                         {Button::Cancel, "7", 100}}) {
        SCOPED_TRACE(typed);
        const QVariantMap before = StoreContents();
        sheet = OpenWatermark();
        const bool added = !sheet->buttonAddWatermark->isChecked();
        sheet->buttonAddWatermark->setChecked(added);
        const QString path = QString("/nowhere/%1.png").arg(typed);
        sheet->textFieldFilePath->setText(path);
        sheet->textFieldTransparency->setText(typed);
        sheet->popupButtonAlignment->setCurrentIndex(++alignment % 5);
        Press(sheet, button);
        EXPECT_FALSE(sheet->isVisible());
        if (button == Button::Cancel) {
            EXPECT_EQ(StoreContents(), before);
            continue;
        }
        EXPECT_EQ(settings.GetAddWatermark(), added ? 1 : 0);
        EXPECT_EQ(settings.GetWatermarkFilePath(), path);
        EXPECT_EQ(settings.GetIntegerValue("Transparency"), stored);
        EXPECT_EQ(settings.GetAlignment(), alignment % 5);
    }
}

// A PNG claiming 30000 x 30000 pixels is refused from its header, never loaded.
TEST_F(WatermarkSheetTest, DescribesTheWatermarkAndTheLastVideo) {
    const QString folder = MakeTempDir("bad-marks");
    const QString truncated =
        WriteTestFile(folder + "/cut.png", QByteArray("\x89PNG\r\n\x1a\n", 8));
    const QString bomb = WriteTestFile(folder + "/bomb.png", PngClaiming(30000));
    const std::array<QString, 4> cases[] = {
        {bomb, SampleVideo(),
         "The picture is 30000 x 30000 pixels, more than the 134217728 pixels an image may have.",
         "Video Dimensions : Width = 320, Height = 240"},
        {SampleVideo() + ".gone", "", "Image Could Not be Loaded.",
         "Video File not yet selected from Main Screen."},
        {truncated, SampleVideo(), "Image does not have any representation.",
         "Video Dimensions : Width = 320, Height = 240"},
    };
    for (const auto& [watermark, lastVideo, imageLine, videoLine] : cases) {
        AppSettings settings;
        settings.SetWatermarkFilePath(watermark);
        settings.SetLastVideo(lastVideo);
        ImageWatermarkWindowController* sheet = OpenWatermark();
        EXPECT_EQ(sheet->textFieldImageDimensions->text(), imageLine);
        EXPECT_EQ(sheet->textFieldDimensionsOfVideo->text(), videoLine);
        sheet->OnCancel();
    }
}

TEST_F(WatermarkSheetTest, ChooserFillsTheFieldAndOpenAndLocateNeedTheFile) {
    ImageWatermarkWindowController* sheet = OpenWatermark();
    sheet->OnSelectImage();
    auto* chooser = sheet->findChild<QFileDialog*>();
    ASSERT_NO_FATAL_FAILURE(ExpectPanel(chooser, "Select Image File (in PNG File Format)",
                                        QFileDialog::AcceptOpen, {"PNG (*.png)"}));
    const QVariantMap before = StoreContents();
    const QString watermark = Watermark();
    AnswerPanel(chooser, watermark);
    EXPECT_EQ(sheet->textFieldFilePath->text(), watermark);
    EXPECT_EQ(sheet->textFieldImageDimensions->text(), kMarkSize);
    EXPECT_EQ(StoreContents(), before);
    for (auto action : {&ImageWatermarkWindowController::OnOpenWatermarkImageFilePath,
                        &ImageWatermarkWindowController::OnLocateWatermark}) {
        sheet->textFieldFilePath->setText(watermark + ".gone");
        (sheet->*action)();
        ExpectOnlyMessage(sheet, "File Not Found", "Watermark Image File Not Found.");
        sheet->textFieldFilePath->setText(watermark);
        (sheet->*action)();
    }
    EXPECT_EQ(Recorded().openedURLs, QStringList{watermark});
    EXPECT_EQ(Recorded().selectedFiles, QStringList{watermark});
}

// Written once with the video's size, fully transparent; later the drawn file is only shown.
TEST_F(WatermarkSheetTest, BlankCanvasNeedsTheLastVideoAndIsWrittenOnce) {
    const QString canvas =
        UserDesktopDirectory() + "/Blank Watermark Image for Stillpress by Quonex.png";
    ImageWatermarkWindowController* sheet = OpenWatermark();
    sheet->buttonCreateBlankFile->click();
    ExpectOnlyMessage(sheet, "Select a Video File",
                      "Please Use the [Select Video File] Button from the Main Screen to Select a "
                      "Video File and then try Again.");
    EXPECT_FALSE(FileExistsAtPath(canvas));
    sheet->OnCancel();
    AppSettings().SetLastVideo(SampleVideo());
    sheet = OpenWatermark();
    sheet->buttonCreateBlankFile->click();
    EXPECT_TRUE(CloseMessageBoxes(sheet).empty());
    const QImage blank(canvas);
    EXPECT_EQ(blank.size(), QSize(320, 240));
    EXPECT_TRUE(blank.hasAlphaChannel());
    EXPECT_EQ(blank.pixel(0, 0) | blank.pixel(319, 239), 0u);
    EXPECT_EQ(Recorded().selectedFiles, QStringList{canvas});
    WriteTestFile(canvas, "drawn on");
    sheet->buttonCreateBlankFile->click();
    ExpectOnlyMessage(sheet, "File Already Exists",
                      "A File at Desktop Already Exists with the Name Blank Watermark Image for "
                      "Stillpress by Quonex");
    EXPECT_EQ(ReadTestFile(canvas), "drawn on");
    EXPECT_EQ(Recorded().selectedFiles, (QStringList{canvas, canvas}));
}

}  // namespace
