// The main window driven through its delegate, as the user would: start-up from the store,
// the controls, drops, the select-video panel, message boxes, the export command and closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
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
const QString kWideOK = QString(16, ' ') + "OK" + QString(16, ' ');

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
    static void Store(const QString& key, const QVariant& value) {
        QSettings("Quonex", "Stillpress").setValue(key, value);
    }

    // The path, From, To, interval, size and rows fields.
    QList<QLineEdit*> Fields() const {
        return {app->textFieldFilePath,
                app->textFieldFrom,
                app->textFieldTo,
                app->textFieldFrameInterval,
                app->textFieldImageSizePercentage,
                app->textFieldRowsInVideoWall};
    }
    // The texts of the fields, then the file format.
    QStringList ControlTexts() const {
        QStringList texts;
        for (const QLineEdit* field : Fields()) texts << field->text();
        return texts << app->popupButtonFileFormat->currentText();
    }
    QString ExportBoxTitle() const { return app->nsboxExportImages->title(); }
    void ExpectOptionsShown(bool shown) const {
        EXPECT_EQ(app->buttonShowOrHideVideoExport->isChecked(), shown);
        EXPECT_EQ(app->window->findChild<QWidget*>("videoExportOptions")->isHidden(), !shown);
    }
    // Drops the files (or remote addresses) on the window; answers whether it took them.
    bool Drop(const QStringList& paths) const {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromUserInput(path);
        data.setUrls(urls);
        return app->MainWindow->performDragOperation(&data);
    }
    void ExpectSampleShown(const QString& path) const {
        EXPECT_EQ(ControlTexts().mid(0, 3), (QStringList{path, "0", "8"}));
        EXPECT_EQ(app->textFieldVideoDuration->text(),
                  "00:00:08 / 8 Seconds, 30.00 fps, Dimensions : 320 X 240");
        EXPECT_FALSE(app->imageViewFileType->pixmap().isNull());
    }
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

TEST_F(MainWindowTest, RestoresEveryControlFromTheStore) {
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
    for (const auto& [key, value] : stored) Store(key, value);
    Launch();
    // The deleted video: no path, the stored range stays, no dimensions, no message.
    EXPECT_EQ(ControlTexts(), (QStringList{"", "2.5", "6.1", "0.25", "33.5", "7", "PNG (*.png)"}));
    EXPECT_EQ(app->popupButtonVideoFormat->currentText(), "1280x720");
    EXPECT_TRUE(app->checkBoxAutoDelete->isChecked());
    ExpectOptionsShown(true);
    EXPECT_TRUE(Messages().empty());

    // An existing last video shows its summary and its whole range.
    Launch(SampleVideo());
    ExpectSampleShown(SampleVideo());
    EXPECT_EQ(ExportBoxTitle(), kDimensions + "108 X 81");  // at the stored 33.5 %
}

TEST_F(MainWindowTest, TogglingTheOptionsTwiceReturnsToTheStartFrame) {
    Store("DisclosureButtonState", 1);
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
    TypeInto(Launch().textFieldImageSizePercentage, "\b\b\b50");
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);  // no video, no dimensions
    QLineEdit* size = Launch(MakeVideo("full-hd.mp4",
                                       "-f lavfi -i color=size=1920x1080:rate=1:duration=2 -c:v "
                                       "libx264 -preset ultrafast -pix_fmt yuv420p"))
                          .textFieldImageSizePercentage;
    const std::pair<const char*, const char*> steps[] = {
        {"\b\b\b", "1920 X 1080"},  // empty reads as 0, which means 100 %
        {"5", "96 X 54"},          {"0", "960 X 540"},
        {"\b\b33", "634 X 357"},  // 633.6 and 356.4, rounded up
        {"abc", "634 X 357"},     // the leading number counts
    };
    for (const auto& [keys, dimensions] : steps) {
        TypeInto(size, keys);
        EXPECT_EQ(ExportBoxTitle(), kDimensions + dimensions) << keys;
    }
}

TEST_F(MainWindowTest, DropTakesOneAviMovOrMp4FileWithoutStoringIt) {
    const QString folder = MakeTempDir("drops");
    const QString clip = folder + "/Clip.MOV";
    ASSERT_TRUE(QFile::copy(SampleVideo(), clip));
    const QString mkv = WriteTestFile(folder + "/clip.mkv", "x");
    const QString notes = WriteTestFile(folder + "/notes.mp4", "plain text");
    Launch();
    EXPECT_FALSE(Drop({mkv}));  // what the fields take: WindowInputTest
    EXPECT_FALSE(Drop({"https://example.com/clip.mp4"}));
    EXPECT_EQ(app->textFieldFilePath->text(), "");
    EXPECT_TRUE(Messages().empty());

    // A file without a duration is taken, keeps the range and says so.
    app->textFieldFrom->setText("2");
    app->textFieldTo->setText("3");
    EXPECT_TRUE(Drop({notes}));
    EXPECT_EQ(app->textFieldVideoDuration->text(),
              "00:00:00 / 0 Seconds, 0.00 fps, Dimensions : 0 X 0");
    EXPECT_EQ(ControlTexts().mid(0, 3), (QStringList{notes, "2", "3"}));
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "Could Not Read Video Duration");

    ASSERT_TRUE(Drop({clip}));
    ExpectSampleShown(clip);
    // Stored only when the window is saved; the export box keeps the earlier video's size.
    EXPECT_EQ(Stored("LastVideo").toString(), "");
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
}

// `stillpress VIDEO`, relative to the working folder.
TEST_F(MainWindowTest, AVideoNamedAtStartOpensAsADropWould) {
    const QString folder = MakeTempDir("named-at-start");
    const QString clip = folder + "/clip.mp4";
    ASSERT_TRUE(QFile::copy(SampleVideo(), clip));
    Launch();
    app->applicationOpenFiles({clip, clip});
    app->applicationOpenFiles({folder + "/clip.mkv"});
    EXPECT_EQ(app->textFieldFilePath->text(), "");
    const QString working = QDir::currentPath();
    QDir::setCurrent(folder);
    app->applicationOpenFiles({"clip.mp4"});
    QDir::setCurrent(working);
    ExpectSampleShown(clip);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MainWindowTest, RefusalsAndHintsShowTheirMessages) {
    Launch();
    // Exports with the path and range; the controls are saved before the checks.
    const auto exportWith = [this](QString path, QString from, QString to) {
        return [this, path, from, to] {
            app->textFieldFilePath->setText(path);
            app->textFieldFrom->setText(from);
            app->textFieldTo->setText(to);
            app->OnExportImages();
            EXPECT_EQ(Stored("dblTo").toDouble(), to.toDouble());
            EXPECT_EQ(Stored("LastVideo").toString(), path);
        };
    };
    const QString advice =
        " is greater than Video Duration.\n\nPlease Enter Correct Value or Select the Video File "
        "Again to Load Default Values.";
    struct Case {
        std::function<void()> act;
        QString title, text, button = kWideOK;
    };
    const Case cases[] = {
        {[this] { app->OnExportVideo(); }, "Select a Video File",
         "Please Use the [Select Video File] Button to Select a Video File and then try Again."},
        {[this] { app->OnOpenLastFolder(); }, "Action to Open Last Folder Aborted",
         "The Last Folder Specified here is the Folder to which you have Exported Images From "
         "Video File.\n\nOnce you have Exported Images, use the [Last Folder] Button to Open the "
         "Folder to which Files were Exported Last Time."},
        {exportWith(SampleVideo() + ".gone", "0", "1"), "File Not Found",
         "Please Make Sure that a Video File has been Selected and then Try Again.\n\nYou can Use "
         "the [Select Video File] Button to Select a Video File."},
        {exportWith(SampleVideo(), "0", "8.5"), "Invalid Export To",
         "The Export To Value" + advice},
        {exportWith(SampleVideo(), "100", "8"), "Invalid Export From",
         "The Export From Value" + advice},
    };
    for (const Case& shown : cases) {
        shown.act();
        const MessageBoxShown message = OnlyMessage();
        EXPECT_EQ(message.title, shown.title);
        EXPECT_EQ(message.text, shown.text);
        EXPECT_EQ(message.buttons, QStringList{shown.button});
        EXPECT_TRUE(message.windowModal) << shown.title.toStdString();
    }
    EXPECT_FALSE(Stored("LastFolder").isValid());
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
}

// The numbers typed are stored as WindowInputTest shows; here the video and the format.
TEST_F(MainWindowTest, ClosingStoresTheVideoAndFormatAndRowsZeroReadsAsOne) {
    Launch().textFieldFilePath->setText(SampleVideo());
    app->popupButtonFileFormat->setCurrentIndex(4);  // BMP, code 1
    app->window->close();
    EXPECT_EQ(Stored("LastVideo").toString(), SampleVideo());
    EXPECT_EQ(Stored("FileFormat").toLongLong(), 1);
    Launch().textFieldRowsInVideoWall->setText("0");
    app->OnQuit();
    EXPECT_EQ(Stored("RowsInVideoWall").toLongLong(), 0);
    EXPECT_EQ(Launch().textFieldRowsInVideoWall->text(), "1");
}

TEST_F(MainWindowTest, SelectVideoPanelStoresTheChoiceAndCancelChangesNothing) {
    Launch();
    app->textFieldFrom->setText("3");
    for (const bool open : {false, true}) {
        app->OnButtonClickedSelctVideoFile();
        QFileDialog* panel = Panel();
        ASSERT_NO_FATAL_FAILURE(ExpectPanel(panel, "Select Video File", QFileDialog::AcceptOpen));
        AnswerPanel(panel, open ? SampleVideo() : QString());
        if (open) break;
        EXPECT_EQ(app->textFieldFrom->text(), "3");
        EXPECT_FALSE(Stored("LastVideo").isValid());
    }
    EXPECT_EQ(Stored("LastVideo").toString(), SampleVideo());
    ExpectSampleShown(SampleVideo());
    EXPECT_EQ(ExportBoxTitle(), kDimensions + "320 X 240");
}

// The controls reach the run: from 0.5 s every 1.5 s, at half size, in PNG.
TEST_F(MainWindowTest, ExportTakesTheControlsAndOpensTheFolder) {
    const QString base = MakeTempDir("window-base");
    AppSettings().SetBaseFolder(base);
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
    ASSERT_NE(app->pArrayOfExportedFiles, nullptr);
    QStringList written;
    for (const QString& path : *app->pArrayOfExportedFiles) written << QFileInfo(path).fileName();
    EXPECT_EQ(written, (QStringList{"1.png", "2.png", "3.png", "4.png", "5.png"}));
    EXPECT_EQ(FilesIn(folder), written);
    EXPECT_EQ(QImage(folder + "/5.png").size(), QSize(160, 120));
}

// A file that is no video writes nothing and fails: the last folder is not replaced, and
// its folder stays as shown. (An empty range completes: the headless inputs test.)
TEST_F(MainWindowTest, AnExportWritingNothingFailsAndKeepsTheLastFolder) {
    AppSettings().SetBaseFolder(MakeTempDir("window-empty-range"));
    Launch(WriteTestFile(MakeTempDir("window-notes") + "/notes.mp4", "text"));
    Messages();
    app->textFieldTo->setText("3");
    app->OnExportImages();
    const QString folder = QFileInfo(Recorded().openedURLs.last()).absoluteFilePath();
    EXPECT_TRUE(FilesIn(folder).isEmpty() && QFileInfo(folder).isDir());
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "No Image Files Were Exported");
    EXPECT_TRUE(message.text.contains("\n\n" + folder)) << message.text.toStdString();
    EXPECT_FALSE(Stored("LastFolder").isValid());
    EXPECT_EQ(app->pArrayOfExportedFiles, nullptr);
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
