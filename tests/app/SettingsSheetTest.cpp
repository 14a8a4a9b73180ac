// The settings sheet on the main window: what it shows from the store, what OK and Cancel
// store, the folder chooser and the colour panel.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>

#include "app/SettingsWindowController.h"
#include "settings/SettingsSchema.h"
#include "support/AppFixtures.h"

namespace {

class SettingsSheetTest : public WindowTest {
  protected:
    void SetUp() override { Launch(); }
    void TearDown() override {
        if (app->pSettingsController) app->pSettingsController->OnCancel();
    }

    SettingsWindowController* OpenSheet() {
        app->OnButtonClickedSettings();
        return app->pSettingsController;
    }
    static void Press(SettingsWindowController* sheet, QDialogButtonBox::StandardButton which) {
        sheet->findChild<QDialogButtonBox*>()->button(which)->click();
    }
    static QColorDialog* OpenColourPanel(SettingsWindowController* sheet) {
        sheet->OnSelectTextColor();
        return sheet->findChild<QColorDialog*>();
    }
};

// Each box is toggled and each field retyped; OK stores the new values, Cancel nothing.
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
        SettingsWindowController* sheet = OpenSheet();  // a new one each time
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

// Typed in a comma locale; then set past the validators: clamped, and whatever is not a
// finite number read as 0, never converted to an integer. A rate or delay of 0 shows the
// default.
TEST_F(SettingsSheetTest, NumbersTakeTheUsersCommaAndAreClampedOrReadAsZero) {
    const QLocale usual;
    QLocale::setDefault(QLocale(QLocale::German));
    SettingsWindowController* sheet = OpenSheet();
    for (const auto& [field, keys] : {std::pair{sheet->textFieldFrameRate, "12,5"},
                                      {sheet->textFieldFrameDelay, "0.1s"},
                                      {sheet->textFieldCompressionFactor, "nan4,2"}}) {
        field->selectAll();
        for (const QChar key : QString(keys)) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(key));
            QCoreApplication::sendEvent(field, &press);
        }
    }
    EXPECT_EQ(sheet->textFieldCompressionFactor->text(), "42");
    sheet->OnOK();
    QLocale::setDefault(usual);
    EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), 12.5);
    EXPECT_EQ(Stored("FrameDelayDuringExport").toDouble(), 0.1);
    EXPECT_EQ(Stored("CompressionFactor").toLongLong(), 42);
    const std::tuple<const char*, long long, double> cases[] = {
        {"150", 100, 150}, {"-5", 0, -5}, {"not a number", 0, 0}, {"nan", 0, 0},
        {"-nan", 0, 0},    {"inf", 0, 0}, {"-infinity", 0, 0},    {"0", 0, 0}};
    for (const auto& [text, compression, rate] : cases) {
        sheet = OpenSheet();
        sheet->textFieldCompressionFactor->setText(text);
        sheet->textFieldFrameRate->setText(text);
        sheet->textFieldFrameDelay->setText("0");
        sheet->OnOK();
        EXPECT_EQ(Stored("CompressionFactor").toLongLong(), compression) << text;
        EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), rate) << text;
        EXPECT_EQ(Stored("FrameDelayDuringExport").toDouble(), 0.0);
    }
    sheet = OpenSheet();
    EXPECT_EQ(sheet->textFieldFrameRate->text(), "10");
    EXPECT_EQ(sheet->textFieldFrameDelay->text(), "0.05");
}

TEST_F(SettingsSheetTest, FolderFieldTakesAChosenFolderOrTheDefault) {
    const QString chosen = MakeTempDir("chosen-base");
    AppSettings().SetBaseFolder("/srv/frames");
    SettingsWindowController* sheet = OpenSheet();
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
    SettingsWindowController* sheet = OpenSheet();
    QColorDialog* panel = OpenColourPanel(sheet);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    panel->setCurrentColor(Qt::blue);
    EXPECT_EQ(sheet->m_pTimeColor, QColor(Qt::blue));  // applies while the dialog is open
    panel->reject();                                   // the dialog's Cancel takes it back
    EXPECT_EQ(sheet->m_pTimeColor, QColor(Qt::yellow));

    panel = OpenColourPanel(sheet);
    ASSERT_NE(panel, nullptr);
    panel->setCurrentColor(Qt::red);
    Press(sheet, QDialogButtonBox::Cancel);
    EXPECT_EQ(AppSettings().GetTimeColor(), QColor(Qt::yellow));

    sheet = OpenSheet();
    sheet->changeColorForBackground(QColor(0, 128, 255, 200));
    sheet->OnOK();
    EXPECT_EQ(AppSettings().GetTimeColor(), QColor(0, 128, 255, 200));
    EXPECT_EQ(OpenSheet()->m_pTimeColor, QColor(0, 128, 255, 200));
}

}  // namespace
