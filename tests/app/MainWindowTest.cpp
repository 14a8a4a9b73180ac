// The main window driven through its delegate, as the user would: start-up from the store, the
// controls and numbers typed, drops, the select-video panel, messages, export and closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>

#include "support/AppFixtures.h"

namespace {

const QString kExportBoxTitle = "Export Image Files From Video File";
const QString kDimensions = kExportBoxTitle + " - Expected Dimensions of Image(s) : ";

// Types into the field key by key, as the user would ("\b" is a backspace).
void TypeInto(QLineEdit* field, const QString& keys) {
    for (const QChar key : keys) {
        const bool erase = key == '\b';
        QKeyEvent press(QEvent::KeyPress, erase ? Qt::Key_Backspace : 0, Qt::NoModifier,
                        erase ? QString() : QString(key));
        QCoreApplication::sendEvent(field, &press);
    }
}

class MainWindowTest : public WindowTest {
  protected:
    QStringList ControlTexts() const {
        QStringList texts;
        for (const QLineEdit* field :
             {app->textFieldFilePath, app->textFieldFrom, app->textFieldTo,
              app->textFieldFrameInterval, app->textFieldImageSizePercentage,
              app->textFieldRowsInVideoWall})
            texts << field->text();
        return texts << app->popupButtonFileFormat->currentText();
    }
    QString ExportBoxTitle() const { return app->nsboxExportImages->title(); }
    void ExpectOptionsShown(bool shown) const {
        EXPECT_EQ(app->buttonShowOrHideVideoExport->isChecked(), shown);
        EXPECT_EQ(app->window->findChild<QWidget*>("videoExportOptions")->isHidden(), !shown);
    }
    // Drags the files (or remote addresses) over the widget and drops them, as file browsers
    // do: as addresses and as their text, offered as a move. Answers the drop action taken.
    static Qt::DropAction Drop(QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromUserInput(path);
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
    void ExpectSampleShown(const QString& path) const {
        EXPECT_EQ(ControlTexts().mid(0, 3), (QStringList{path, "0", "8"}));
        EXPECT_EQ(app->textFieldVideoDuration->text(),
                  "00:00:08 / 8 Seconds, 30.00 fps, Dimensions : 320 X 240");
        EXPECT_FALSE(app->imageViewFileType->pixmap().isNull());
    }
    ~MainWindowTest() override { QLocale::setDefault(m_Locale); }

    const QLocale m_Locale;
};

TEST_F(MainWindowTest, FirstStartShowsTheRegisteredDefaults) {
    Launch();
    EXPECT_EQ(ControlTexts(), (QStringList{"", "0", "0", "1", "100", "3", "TIFF (*.tiff)"}));
    EXPECT_EQ(app->popupButtonVideoFormat->currentIndex(), 0);
    EXPECT_FALSE(app->checkBoxAutoDelete->isChecked());
    ExpectOptionsShown(false);
    EXPECT_EQ(QRect(app->window->pos(), app->window->size()),
              app->m_rOriginalFrameRect.adjusted(0, 0, 0, -135));
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MainWindowTest, RestoresEveryControlFromTheStoreAndClosingStoresThem) {
    const QString gone = WriteTestFile(MakeTempDir("restore") + "/gone.mp4", "x");
    QFile::remove(gone);
    const std::pair<const char*, QVariant> stored[] = {{"LastVideo", gone},
                                                       {"FileFormat", 4},
                                                       {"VideoFileFormat", 5},
                                                       {"dblFrameInterval", 0.25},
                                                       {"ImageSizePercentage", 33.5},
                                                       {"RowsInVideoWall", 7},
                                                       {"_checkBoxAutoDelete", 1},
                                                       {"DisclosureButtonState", 1},
                                                       {"dblFrom", 2.5},
                                                       {"dblTo", 6.1}};
    QSettings store("Quonex", "Stillpress");
    for (const auto& [key, value] : stored) store.setValue(key, value);
    Launch();
    // The deleted video: no path, the stored range stays, no dimensions, no message.
    EXPECT_EQ(ControlTexts(), (QStringList{"", "2.5", "6.1", "0.25", "33.5", "7", "PNG (*.png)"}));
    EXPECT_EQ(app->popupButtonVideoFormat->currentText(), "1280x720");
    EXPECT_TRUE(app->checkBoxAutoDelete->isChecked());
    ExpectOptionsShown(true);
    EXPECT_TRUE(Messages().empty());

    Launch(SampleVideo());
    ExpectSampleShown(SampleVideo());
    EXPECT_EQ(ExportBoxTitle(), kDimensions + "108 X 81");  // at the stored 33.5 %

    // Quitting stores the controls (the numbers: the number fields test); 0 rows read as 1.
    app->popupButtonFileFormat->setCurrentIndex(4);  // BMP, code 1
    app->textFieldRowsInVideoWall->setText("0");
    app->OnQuit();
    EXPECT_EQ(Stored("LastVideo").toString(), SampleVideo());
    EXPECT_EQ(Stored("FileFormat").toLongLong(), 1);
    EXPECT_EQ(Stored("RowsInVideoWall").toLongLong(), 0);
    EXPECT_EQ(Launch().textFieldRowsInVideoWall->text(), "1");
}

TEST_F(MainWindowTest, TogglingTheOptionsTwiceReturnsToTheStartFrame) {
    QSettings("Quonex", "Stillpress").setValue("DisclosureButtonState", 1);
    Launch();
    const QRect start = app->m_rOriginalFrameRect;
    app->window->move(start.topLeft() + QPoint(37, 21));
    for (const auto& [shown, frame] :
         {std::pair{false, start.translated(37, 21).adjusted(0, 0, 0, -135)},
          std::pair{true, start}}) {
        app->buttonShowOrHideVideoExport->click();
        EXPECT_EQ(QRect(app->window->pos(), app->window->size()), frame);
        ExpectOptionsShown(shown);
        EXPECT_EQ(Stored("DisclosureButtonState").toLongLong(), shown ? 1 : 0);
    }
}

TEST_F(MainWindowTest, ExportBoxTitleFollowsEveryKeystrokeOfTheImageSize) {
    QLineEdit* size = Launch(MakeVideo("full-hd.mp4",
                                       "-f lavfi -i color=size=1920x1080:rate=1:duration=2 -c:v "
                                       "libx264 -preset ultrafast -pix_fmt yuv420p"))
                          .textFieldImageSizePercentage;
    const std::pair<const char*, const char*> steps[] = {
        {"\b\b\b", "1920 X 1080"},  // empty reads as 0, which means 100 %
        {"5", "96 X 54"},
        {"0", "960 X 540"},
        {"\b\b33", "634 X 357"},  // 633.6 and 356.4, rounded up
    };
    for (const auto& [keys, dimensions] : steps) {
        TypeInto(size, keys);
        EXPECT_EQ(ExportBoxTitle(), kDimensions + dimensions) << keys;
    }
}

// The keys typed over a field, what it then shows and what closing the window stores.
struct TypedNumber {
    QLineEdit* AppDelegate::*field;
    const char *keys, *shown, *key;
    double stored;
};

TEST_F(MainWindowTest, NumberFieldsTakeThePointAndTheUsersDecimalMarkOnly) {
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
        for (const TypedNumber& number : typed) {
            (app.get()->*number.field)->selectAll();
            TypeInto(app.get()->*number.field, number.keys);
        }
        app->window->close();
        for (const TypedNumber& number : typed) {
            SCOPED_TRACE(number.keys);
            EXPECT_EQ((app.get()->*number.field)->text(), number.shown);
            EXPECT_EQ(Stored(number.key).toDouble(), number.stored);
        }
    }
    // A percentage no image can have shows no size rather than a wrapped integer.
    TypeInto(Launch(SampleVideo()).textFieldImageSizePercentage, "\b\b\b1" + QString(300, '0'));
    EXPECT_EQ(ExportBoxTitle(), kDimensions + "0 X 0");
}

// The window and each of its fields take one .avi, .mov or .mp4 file, as a copy (the browser
// keeps its file), and store it only when the window is saved.
TEST_F(MainWindowTest, DropsTakeOneAviMovOrMp4FileAsACopy) {
    const QString folder = MakeTempDir("drops");
    const QString clip = folder + "/Holiday Clip.MOV";
    ASSERT_TRUE(QFile::copy(SampleVideo(), clip));
    const QString mkv = WriteTestFile(folder + "/clip.mkv", "x");
    const QString notes = WriteTestFile(folder + "/notes.mp4", "plain text");
    Launch();
    QList<QWidget*> targets = {app->window};
    for (QLineEdit* field : app->window->findChildren<QLineEdit*>()) targets << field;
    ASSERT_EQ(targets.size(), 8);
    const QStringList before = ControlTexts();
    for (QWidget* target : targets) {
        SCOPED_TRACE(target->objectName().toStdString());
        for (const QStringList& refused : {QStringList{mkv},
                                           {clip, clip},
                                           {WriteTestFile(clip + ".txt", "text")},
                                           {"https://example.com/clip.mp4"}})
            EXPECT_EQ(Drop(target, refused), Qt::IgnoreAction);
        EXPECT_EQ(ControlTexts(), before);
    }
    EXPECT_TRUE(Messages().empty());

    // A file without a duration is taken, keeps the range and says so.
    app->textFieldFrom->setText("2");
    app->textFieldTo->setText("3");
    EXPECT_EQ(Drop(app->window, {notes}), Qt::CopyAction);
    EXPECT_EQ(app->textFieldVideoDuration->text(),
              "00:00:00 / 0 Seconds, 0.00 fps, Dimensions : 0 X 0");
    EXPECT_EQ(ControlTexts().mid(0, 3), (QStringList{notes, "2", "3"}));
    EXPECT_EQ(OnlyMessage().title, "Could Not Read Video Duration");

    for (QWidget* target : targets) {
        app->textFieldFilePath->clear();
        EXPECT_EQ(Drop(target, {clip}), Qt::CopyAction);
        ExpectSampleShown(clip);
    }
    // The export box keeps the earlier video's size.
    EXPECT_EQ(Stored("LastVideo").toString(), "");
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);

    // `stillpress VIDEO`, relative to the working folder, opens as a drop would.
    Launch();
    app->applicationOpenFiles({clip, clip});
    app->applicationOpenFiles({mkv});
    EXPECT_EQ(app->textFieldFilePath->text(), "");
    const QString working = QDir::currentPath();
    QDir::setCurrent(folder);
    app->applicationOpenFiles({"Holiday Clip.MOV"});
    QDir::setCurrent(working);
    ExpectSampleShown(clip);
    EXPECT_TRUE(Messages().empty());
}

// An export saves the controls before its checks.
TEST_F(MainWindowTest, RefusalsAndHintsShowTheirMessages) {
    Launch();
    const QString advice =
        " is greater than Video Duration.\n\nPlease Enter Correct Value or Select the Video File "
        "Again to Load Default Values.";
    const struct {
        void (AppDelegate::*command)();
        QString path, from, to, title, text;
    } cases[] = {
        {&AppDelegate::OnExportVideo, "", "0", "0", "Select a Video File",
         "Please Use the [Select Video File] Button to Select a Video File and then try Again."},
        {&AppDelegate::OnOpenLastFolder, "", "0", "0", "Action to Open Last Folder Aborted",
         "The Last Folder Specified here is the Folder to which you have Exported Images From "
         "Video File.\n\nOnce you have Exported Images, use the [Last Folder] Button to Open the "
         "Folder to which Files were Exported Last Time."},
        {&AppDelegate::OnExportImages, SampleVideo() + ".gone", "0", "1", "File Not Found",
         "Please Make Sure that a Video File has been Selected and then Try Again.\n\nYou can Use "
         "the [Select Video File] Button to Select a Video File."},
        {&AppDelegate::OnExportImages, SampleVideo(), "0", "8.5", "Invalid Export To",
         "The Export To Value" + advice},
        {&AppDelegate::OnExportImages, SampleVideo(), "100", "8", "Invalid Export From",
         "The Export From Value" + advice},
    };
    for (const auto& c : cases) {
        app->textFieldFilePath->setText(c.path);
        app->textFieldFrom->setText(c.from);
        app->textFieldTo->setText(c.to);
        (app.get()->*c.command)();
        const MessageBoxShown message = OnlyMessage();
        EXPECT_EQ(message.title, c.title);
        EXPECT_EQ(message.text, c.text);
        EXPECT_EQ(message.buttons, QStringList{QString(16, ' ') + "OK" + QString(16, ' ')});
        EXPECT_TRUE(message.windowModal) << c.title.toStdString();
        EXPECT_EQ(Stored("dblTo").toDouble(), c.to.toDouble());
        EXPECT_EQ(Stored("LastVideo").toString(), c.path);
    }
    EXPECT_FALSE(Stored("LastFolder").isValid());
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
}

TEST_F(MainWindowTest, SelectVideoPanelStoresTheChoiceAndCancelChangesNothing) {
    Launch();
    app->textFieldFrom->setText("3");
    app->OnButtonClickedSelctVideoFile();
    ASSERT_NO_FATAL_FAILURE(ExpectPanel(Panel(), "Select Video File", QFileDialog::AcceptOpen));
    AnswerPanel(Panel(), QString());
    EXPECT_EQ(app->textFieldFrom->text(), "3");
    EXPECT_FALSE(Stored("LastVideo").isValid());
    app->OnButtonClickedSelctVideoFile();
    AnswerPanel(Panel(), SampleVideo());
    EXPECT_EQ(Stored("LastVideo").toString(), SampleVideo());
    ExpectSampleShown(SampleVideo());
    EXPECT_EQ(ExportBoxTitle(), kDimensions + "320 X 240");
}

// A file that is no video writes nothing and fails: its folder is shown and the last folder
// not replaced. (An empty range completes: the headless export test.)
TEST_F(MainWindowTest, ExportTakesTheControlsAndOpensTheFolder) {
    const QString base = MakeTempDir("window-base");
    AppSettings().SetBaseFolder(base);
    Launch(WriteTestFile(MakeTempDir("window-notes") + "/notes.mp4", "text"));
    Messages();
    app->textFieldTo->setText("3");
    app->OnExportImages();
    const QString empty = QFileInfo(Recorded().openedURLs.last()).absoluteFilePath();
    EXPECT_TRUE(FilesIn(empty).isEmpty() && QFileInfo(empty).isDir());
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "No Image Files Were Exported");
    EXPECT_TRUE(message.text.contains("\n\n" + empty)) << message.text.toStdString();
    EXPECT_FALSE(Stored("LastFolder").isValid());
    EXPECT_EQ(app->pArrayOfExportedFiles, nullptr);

    Launch(SampleVideo());
    app->textFieldFrameInterval->setText("1.5");
    app->textFieldImageSizePercentage->setText("50");
    app->popupButtonFileFormat->setCurrentIndex(1);  // PNG
    app->textFieldFrom->setText("0.5");
    app->OnExportImages();
    const QString folder = Stored("LastFolder").toString();
    ASSERT_TRUE(folder.startsWith(base + "/Stillpress Files/sample ")) << folder.toStdString();
    EXPECT_EQ(OnlyMessage().title,
              "Process To Extract Image Files from Selected Video File has Completed");
    EXPECT_TRUE(Recorded().openedURLs.contains(folder));
    EXPECT_EQ(FilesIn(folder), (QStringList{"1.png", "2.png", "3.png", "4.png", "5.png"}));
    EXPECT_EQ(QImage(folder + "/5.png").size(), QSize(160, 120));
}

TEST_F(MainWindowTest, CancelInTheProgressDialogStopsAfterTheCurrentFrame) {
    AppSettings().SetBaseFolder(MakeTempDir("cancel-base"));
    Launch(SampleVideo());
    app->textFieldFrameInterval->setText("0.1");  // 80 frames
    bool pressed = false;
    QTimer::singleShot(0, app->window, [this, &pressed] {
        auto* progress = app->window->findChild<QProgressDialog*>();
        if (progress == nullptr || !progress->isVisible()) return;
        progress->findChild<QPushButton*>()->click();
        pressed = true;
    });
    app->OnExportImages();
    ASSERT_TRUE(pressed);
    const QString folder = Stored("LastFolder").toString();
    ASSERT_NE(app->pArrayOfExportedFiles, nullptr);
    const qsizetype written = app->pArrayOfExportedFiles->size();
    EXPECT_GE(written, 1);
    EXPECT_LT(written, 80);
    EXPECT_EQ(FilesIn(folder).size(), written);
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "Export Images Cancelled");
    EXPECT_TRUE(message.text.contains(QString("after %1 Frame(s)").arg(written)));
}

}  // namespace
