// The watermark sheet on the main window: what it shows from the store, what OK and Cancel
// store, its messages, the PNG chooser and the blank canvas on the Desktop.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <array>

#include "app/ImageWatermarkWindowController.h"
#include "platform/StandardFolders.h"
#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

const QString kMarkSize = "Watermark Image Dimensions : Width = 30, Height = 20";

QString Watermark() {
    const QString path = MakeTempDir("watermark") + "/mark.png";
    EXPECT_TRUE(QImage(30, 20, QImage::Format_ARGB32).save(path));
    return path;  // described as kMarkSize
}

class WatermarkSheetTest : public WindowTest {
  protected:
    void SetUp() override {
        QFile::remove(ImageWatermarkWindowController::BlankWatermarkFilePath());
        Launch();
    }
    void TearDown() override {
        if (app->m_pImageWatermarkController) app->m_pImageWatermarkController->OnCancel();
    }

    ImageWatermarkWindowController* OpenSheet() {
        app->OnImageWatermark();
        return app->m_pImageWatermarkController;
    }
    static void ExpectOnlyMessage(QWidget* sheet, const QString& title, const QString& text) {
        const MessageBoxShown shown = CloseOnlyMessageBox(sheet);
        EXPECT_EQ(shown.title, title);
        EXPECT_EQ(shown.text, text);
        EXPECT_EQ(shown.buttons, QStringList{"OK"});
        EXPECT_TRUE(shown.windowModal);
    }
};

// The sheet clamps to 0..100 and the store keeps 0 as 60; Cancel stores nothing at all.
TEST_F(WatermarkSheetTest, ShowsTheStoreAndOkStoresTheClampedValuesAndCancelNothing) {
    AppSettings settings;
    settings.SetAddWatermark(0);
    settings.SetWatermarkFilePath(Watermark());
    settings.SetTransparency(35);
    settings.SetAlignment(3);
    settings.SetLastVideo(SampleVideo());
    ImageWatermarkWindowController* sheet = OpenSheet();
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
        sheet = OpenSheet();
        const bool added = !sheet->buttonAddWatermark->isChecked();
        sheet->buttonAddWatermark->setChecked(added);
        const QString path = QString("/nowhere/%1.png").arg(typed);
        sheet->textFieldFilePath->setText(path);
        sheet->textFieldTransparency->setText(typed);
        sheet->popupButtonAlignment->setCurrentIndex(++alignment % 5);
        sheet->findChild<QDialogButtonBox*>()->button(button)->click();
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
        ImageWatermarkWindowController* sheet = OpenSheet();
        EXPECT_EQ(sheet->textFieldImageDimensions->text(), imageLine);
        EXPECT_EQ(sheet->textFieldDimensionsOfVideo->text(), videoLine);
        sheet->OnCancel();
    }
}

// The chooser stores nothing; opening and locating need an existing watermark.
TEST_F(WatermarkSheetTest, ChooserFillsTheFieldAndOpenAndLocateNeedTheFile) {
    ImageWatermarkWindowController* sheet = OpenSheet();
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

// Without a last video it asks for one. Written once with the video's size, fully
// transparent; later the drawn file is only shown.
TEST_F(WatermarkSheetTest, BlankCanvasNeedsTheLastVideoAndIsWrittenOnce) {
    const QString canvas =
        UserDesktopDirectory() + "/Blank Watermark Image for Stillpress by Quonex.png";
    ImageWatermarkWindowController* sheet = OpenSheet();
    sheet->buttonCreateBlankFile->click();
    ExpectOnlyMessage(sheet, "Select a Video File",
                      "Please Use the [Select Video File] Button from the Main Screen to Select a "
                      "Video File and then try Again.");
    EXPECT_FALSE(FileExistsAtPath(canvas));
    sheet->OnCancel();
    AppSettings().SetLastVideo(SampleVideo());
    sheet = OpenSheet();
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
