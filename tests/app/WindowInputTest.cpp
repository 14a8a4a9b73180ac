// What the user puts into the window's fields: files dropped on them and numbers typed into
// them, in a point and in a comma locale.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>

#include "app/SettingsWindowController.h"
#include "support/AppFixtures.h"

namespace {

// Types `keys` over the field's whole text, each key pressed and released.
void TypeOver(QLineEdit* field, const QString& keys) {
    field->selectAll();
    for (const QChar key : keys) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, 0, Qt::NoModifier, QString(key));
            QCoreApplication::sendEvent(field, &event);
        }
    }
}

class WindowInputTest : public WindowTest {
  protected:
    ~WindowInputTest() override { QLocale::setDefault(m_Locale); }

    // Drags the files over the widget and drops them, as file browsers do: as addresses and
    // as their text, offered as a move. Answers the drop action taken; none when refused.
    static Qt::DropAction DropFiles(QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(QUrl::toStringList(urls).join("\r\n"));
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        for (QDropEvent* event : {static_cast<QDropEvent*>(&enter), &drop}) {
            event->setDropAction(Qt::MoveAction);
            QCoreApplication::sendEvent(target, event);
        }
        EXPECT_TRUE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
    QStringList FieldTexts() const {
        QStringList texts;
        for (const QLineEdit* field : app->window->findChildren<QLineEdit*>())
            texts << field->text();
        return texts;
    }

    const QLocale m_Locale;
};

TEST_F(WindowInputTest, DropsOnTheFieldsFollowTheWindowsRules) {
    const QString clip = MakeTempDir("field-drops") + "/Holiday Clip.mp4";
    ASSERT_TRUE(QFile::copy(SampleVideo(), clip));
    const QString notes = WriteTestFile(clip + ".txt", "plain text");
    Launch();
    const QList<QLineEdit*> fields = app->window->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 7);
    const QStringList before = FieldTexts();
    for (QLineEdit* field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        EXPECT_EQ(DropFiles(field, {notes}), Qt::IgnoreAction);
        EXPECT_EQ(DropFiles(field, {clip, clip}), Qt::IgnoreAction);
        EXPECT_EQ(FieldTexts(), before);
    }
    for (QLineEdit* field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        app->textFieldFilePath->clear();
        EXPECT_EQ(DropFiles(field, {clip}), Qt::CopyAction);  // the browser keeps its file
        EXPECT_EQ(app->textFieldFilePath->text(), clip);
    }
    EXPECT_TRUE(Messages().empty());
}

// The keys typed over a field, what it then shows and what closing the window stores.
struct TypedNumber {
    QLineEdit* AppDelegate::*field;
    const char *keys, *shown, *key;
    double stored;
};

TEST_F(WindowInputTest, NumberFieldsTakeThePointAndTheUsersDecimalMarkOnly) {
    const std::pair<QLocale::Language, std::vector<TypedNumber>> cases[] = {
        {QLocale::German,
         {{&AppDelegate::textFieldFrom, "1,5", "1,5", "dblFrom", 1.5},
          {&AppDelegate::textFieldTo, "abc7.25", "7.25", "dblTo", 7.25},
          {&AppDelegate::textFieldFrameInterval, "0,5", "0,5", "dblFrameInterval", 0.5},
          {&AppDelegate::textFieldImageSizePercentage, "33,5 %", "33,5", "ImageSizePercentage",
           33.5},
          {&AppDelegate::textFieldRowsInVideoWall, "4,x2", "42", "RowsInVideoWall", 42}}},
        // A refused key leaves the text as it was, selection included.
        {QLocale::English,
         {{&AppDelegate::textFieldFrom, "-2.5", "-2.5", "dblFrom", -2.5},
          {&AppDelegate::textFieldTo, "nan", "0", "dblTo", 0},
          {&AppDelegate::textFieldFrameInterval, "0,5", "05", "dblFrameInterval", 5},
          {&AppDelegate::textFieldImageSizePercentage, "inf", "100", "ImageSizePercentage", 100},
          {&AppDelegate::textFieldRowsInVideoWall, "3.5", "35", "RowsInVideoWall", 35}}},
    };
    for (const auto& [language, typed] : cases) {
        QLocale::setDefault(QLocale(language));
        ResetSettingsStore();
        Launch();
        for (const TypedNumber& number : typed) TypeOver(app.get()->*number.field, number.keys);
        app->window->close();
        for (const TypedNumber& number : typed) {
            SCOPED_TRACE(number.keys);
            EXPECT_EQ((app.get()->*number.field)->text(), number.shown);
            EXPECT_EQ(Stored(number.key).toDouble(), number.stored);
        }
    }
    // A percentage no image can have shows no size rather than a wrapped integer.
    TypeOver(Launch(SampleVideo()).textFieldImageSizePercentage, "1" + QString(300, '0'));
    EXPECT_TRUE(app->nsboxExportImages->title().endsWith(" : 0 X 0"));
}

TEST_F(WindowInputTest, SettingsNumbersTakeTheUsersCommaAndNeverStoreANonFiniteValue) {
    QLocale::setDefault(QLocale(QLocale::German));
    Launch().OnButtonClickedSettings();
    SettingsWindowController* sheet = app->pSettingsController;
    TypeOver(sheet->textFieldFrameRate, "12,5");
    TypeOver(sheet->textFieldFrameDelay, "0.1s");
    TypeOver(sheet->textFieldCompressionFactor, "nan4,2");
    EXPECT_EQ(sheet->textFieldCompressionFactor->text(), "42");
    sheet->OnOK();
    EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), 12.5);
    EXPECT_EQ(Stored("FrameDelayDuringExport").toDouble(), 0.1);
    EXPECT_EQ(Stored("CompressionFactor").toLongLong(), 42);
    // Set, not typed, past the validators: read as 0, never converted to an integer.
    for (const char* text : {"nan", "-nan", "inf", "-infinity"}) {
        app->OnButtonClickedSettings();
        app->pSettingsController->textFieldCompressionFactor->setText(text);
        app->pSettingsController->textFieldFrameRate->setText(text);
        app->pSettingsController->OnOK();
        EXPECT_EQ(Stored("CompressionFactor").toLongLong(), 0) << text;
        EXPECT_EQ(Stored("FrameRateForExportedVideo").toDouble(), 0.0) << text;
    }
}

}  // namespace
