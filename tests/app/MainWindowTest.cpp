// The main window driven through its delegate, as the user would: start-up from the store,
// the controls, drops, the select-video panel, message boxes, the export command and closing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "platform/DiagnosticLog.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

const QString kWideOK = QString(16, ' ') + "OK" + QString(16, ' ');
const QString kExportBoxTitle = "Export Image Files From Video File";

QString Sample() {
    return QString(STILLPRESS_SOURCE_DIR) + "/samples/sample.mp4";
}

QString FullHdVideo() {
    return MakeVideo("full-hd.mp4",
                     {"-f", "lavfi", "-i", "color=size=1920x1080:rate=1:duration=2", "-c:v",
                      "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

QVariant Stored(const QString& key) {
    QSettings stored("Quonex", "Stillpress");
    stored.sync();
    return stored.value(key);
}

void Store(const QString& key, const QVariant& value) {
    QSettings stored("Quonex", "Stillpress");
    stored.setValue(key, value);
    stored.sync();
}

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

struct ShownMessage {
    QString title;
    QString text;
    QStringList buttons;
    bool windowModal = false;
};

// Closes every message box of the window and answers what they showed, oldest first.
std::vector<ShownMessage> TakeMessages(QWidget* window) {
    std::vector<ShownMessage> shown;
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (!box->isVisible()) continue;
        ShownMessage message{
            box->text(), box->informativeText(), {}, box->windowModality() == Qt::WindowModal};
        for (QAbstractButton* button : box->buttons()) message.buttons << button->text();
        shown.push_back(message);
        box->done(0);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shown;
}

// Types into the field key by key, as the user would ("\b" is a backspace).
void TypeInto(QLineEdit* field, const QString& keys) {
    for (const QChar key : keys) {
        const bool erase = key == '\b';
        QKeyEvent press(QEvent::KeyPress, erase ? Qt::Key_Backspace : 0, Qt::NoModifier,
                        erase ? QString() : QString(key));
        QCoreApplication::sendEvent(field, &press);
    }
}

QMimeData* DropOf(const QList<QUrl>& urls) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        AppSettings::ClearRegisteredDefaults();
        Recorded().openedURLs.clear();
    }
    void TearDown() override {
        SetLogObserver({});
        delegate.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    AppDelegate& Launch() {
        delegate.reset();
        delegate = std::make_unique<AppDelegate>();
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    QString ExportBoxTitle() const { return delegate->nsboxExportImages->title(); }
    QWidget* VideoExportOptions() const {
        return delegate->window->findChild<QWidget*>("videoExportOptions");
    }

    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(MainWindowTest, FirstStartShowsTheRegisteredDefaults) {
    QStringList log;
    SetLogObserver([&log](const QString& line) { log << line; });
    AppDelegate& app = Launch();
    EXPECT_EQ(app.window->windowTitle(), "Stillpress");
    EXPECT_EQ(app.textFieldFilePath->text(), "");
    EXPECT_EQ(app.textFieldFrom->text(), "0");
    EXPECT_EQ(app.textFieldTo->text(), "0");
    EXPECT_EQ(app.textFieldFrameInterval->text(), "1");
    EXPECT_EQ(app.textFieldImageSizePercentage->text(), "100");
    EXPECT_EQ(app.textFieldRowsInVideoWall->text(), "3");
    EXPECT_EQ(app.popupButtonFileFormat->currentText(), "TIFF (*.tiff)");
    EXPECT_EQ(app.popupButtonVideoFormat->currentData().toLongLong(), 0);
    EXPECT_FALSE(app.checkBoxAutoDelete->isChecked());
    EXPECT_FALSE(app.buttonShowOrHideVideoExport->isChecked());
    EXPECT_TRUE(VideoExportOptions()->isHidden());
    EXPECT_EQ(app.window->height(), app.m_rOriginalFrameRect.height() - 135);
    EXPECT_EQ(app.window->pos(), app.m_rOriginalFrameRect.topLeft());
    EXPECT_EQ(app.m_oVideoDimensions, QSizeF(0, 0));
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
    EXPECT_TRUE(app.progressIndicatorVideoExport->isHidden());
    EXPECT_TRUE(app.textFieldPercentage->isHidden());
    EXPECT_TRUE(TakeMessages(app.window).empty());
    EXPECT_TRUE(log.contains("Stillpress by Quonex"));
    EXPECT_EQ(log.filter("support@example.com").size(), 1);
}

TEST_F(MainWindowTest, PopUpsListFormatsInTheirOrderWithTheirCodesAsTags) {
    AppDelegate& app = Launch();
    QStringList titles;
    QList<long long> tags;
    for (int i = 0; i < app.popupButtonFileFormat->count(); ++i) {
        titles << app.popupButtonFileFormat->itemText(i);
        tags << app.popupButtonFileFormat->itemData(i).toLongLong();
    }
    EXPECT_EQ(titles, (QStringList{"TIFF (*.tiff)", "PNG (*.png)", "GIF (*.gif)", "JPEG (*.jpg)",
                                   "BMP (*.bmp)", "JPEG (*.jpeg)"}));
    EXPECT_EQ(tags, (QList<long long>{0, 4, 2, 3, 1, 5}));
    QComboBox* presets = app.popupButtonVideoFormat;
    ASSERT_EQ(presets->count(), 13);
    EXPECT_EQ(presets->itemText(0), "LowQuality");
    EXPECT_EQ(presets->itemText(10), "Apple M4A");
    EXPECT_EQ(presets->itemText(12), "Apple ProRes422LPCM");
    for (int i = 0; i < presets->count(); ++i) EXPECT_EQ(presets->itemData(i).toLongLong(), i);
}

TEST_F(MainWindowTest, RestoresEveryControlFromTheStore) {
    const QString gone = WriteTestFile(MakeTempDir("restore") + "/gone.mp4", "x");
    Store("LastVideo", gone);
    QFile::remove(gone);
    Store("FileFormat", 4);
    Store("VideoFileFormat", 5);
    Store("dblFrameInterval", 0.25);
    Store("ImageSizePercentage", 33.5);
    Store("RowsInVideoWall", 7);
    Store("_checkBoxAutoDelete", 1);
    Store("DisclosureButtonState", 1);
    Store("dblFrom", 2.5);
    Store("dblTo", 6.1);
    AppDelegate& app = Launch();
    EXPECT_EQ(app.popupButtonFileFormat->currentText(), "PNG (*.png)");
    EXPECT_EQ(app.popupButtonVideoFormat->currentText(), "1280x720");
    EXPECT_EQ(app.textFieldFrameInterval->text(), "0.25");
    EXPECT_EQ(app.textFieldImageSizePercentage->text(), "33.5");
    EXPECT_EQ(app.textFieldRowsInVideoWall->text(), "7");
    EXPECT_TRUE(app.checkBoxAutoDelete->isChecked());
    EXPECT_TRUE(app.buttonShowOrHideVideoExport->isChecked());
    EXPECT_FALSE(VideoExportOptions()->isHidden());
    EXPECT_EQ(app.window->size(), app.m_rOriginalFrameRect.size());
    // The deleted video: no path, the stored range stays, no dimensions, no message.
    EXPECT_EQ(app.textFieldFilePath->text(), "");
    EXPECT_EQ(app.textFieldFrom->text(), "2.5");
    EXPECT_EQ(app.textFieldTo->text(), "6.1");
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
    EXPECT_TRUE(TakeMessages(app.window).empty());
}

TEST_F(MainWindowTest, AnExistingLastVideoShowsItsSummaryAndTheWholeRange) {
    Store("LastVideo", Sample());
    Store("dblFrom", 3);
    Store("dblTo", 4);
    AppDelegate& app = Launch();
    EXPECT_EQ(app.textFieldFilePath->text(), Sample());
    EXPECT_EQ(app.textFieldFrom->text(), "0");
    EXPECT_EQ(app.textFieldTo->text(), "8");
    EXPECT_EQ(app.textFieldVideoDuration->text(),
              "00:00:08 / 8 Seconds, 30.00 fps, Dimensions : 320 X 240");
    EXPECT_FALSE(app.imageViewFileType->pixmap().isNull());
    EXPECT_EQ(app.m_oVideoDimensions, QSizeF(320, 240));
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle + " - Expected Dimensions of Image(s) : 320 X 240");
}

TEST_F(MainWindowTest, TogglingTheOptionsTwiceReturnsToTheStartFrame) {
    Store("DisclosureButtonState", 1);
    AppDelegate& app = Launch();
    const QRect start = app.m_rOriginalFrameRect;
    app.window->move(start.topLeft() + QPoint(37, 21));
    app.buttonShowOrHideVideoExport->click();
    EXPECT_EQ(app.window->pos(), start.topLeft() + QPoint(37, 21));
    EXPECT_EQ(app.window->size(), start.size() - QSize(0, 135));
    EXPECT_TRUE(VideoExportOptions()->isHidden());
    EXPECT_EQ(Stored("DisclosureButtonState").toLongLong(), 0);
    app.buttonShowOrHideVideoExport->click();
    EXPECT_EQ(QRect(app.window->pos(), app.window->size()), start);
    EXPECT_FALSE(VideoExportOptions()->isHidden());
    EXPECT_EQ(Stored("DisclosureButtonState").toLongLong(), 1);
}

TEST_F(MainWindowTest, ExportBoxTitleFollowsEveryKeystrokeOfTheImageSize) {
    Store("LastVideo", FullHdVideo());
    AppDelegate& app = Launch();
    QLineEdit* size = app.textFieldImageSizePercentage;
    const QString prefix = kExportBoxTitle + " - Expected Dimensions of Image(s) : ";
    TypeInto(size, "\b\b\b");  // empty reads as 0, which means 100 %
    EXPECT_EQ(ExportBoxTitle(), prefix + "1920 X 1080");
    TypeInto(size, "5");
    EXPECT_EQ(ExportBoxTitle(), prefix + "96 X 54");
    TypeInto(size, "0");
    EXPECT_EQ(ExportBoxTitle(), prefix + "960 X 540");
    TypeInto(size, "\b\b33");
    EXPECT_EQ(ExportBoxTitle(), prefix + "634 X 357");  // 633.6 and 356.4, rounded up
    TypeInto(size, "abc");                              // the leading number counts
    EXPECT_EQ(ExportBoxTitle(), prefix + "634 X 357");
}

TEST_F(MainWindowTest, ExportBoxTitleHasNoDimensionsWithoutAVideo) {
    AppDelegate& app = Launch();
    TypeInto(app.textFieldImageSizePercentage, "\b\b\b50");
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
}

TEST_F(MainWindowTest, DropTakesOneAviMovOrMp4FileWithoutStoringIt) {
    const QString folder = MakeTempDir("drops");
    const QString clip = folder + "/Clip.MOV";
    ASSERT_TRUE(QFile::copy(Sample(), clip));
    ASSERT_TRUE(QFile::copy(Sample(), folder + "/clip.mkv"));
    AppDelegate& app = Launch();
    app.textFieldFrom->setText("5");
    std::unique_ptr<QMimeData> drop(DropOf({QUrl::fromLocalFile(clip)}));
    ASSERT_TRUE(app.MainWindow->performDragOperation(drop.get()));
    EXPECT_EQ(app.textFieldFilePath->text(), clip);
    EXPECT_EQ(app.textFieldFrom->text(), "0");
    EXPECT_EQ(app.textFieldTo->text(), "8");
    EXPECT_TRUE(app.textFieldVideoDuration->text().endsWith("Dimensions : 320 X 240"));
    // Stored only when the window is saved; the export box keeps the earlier video's size.
    EXPECT_EQ(Stored("LastVideo").toString(), "");
    EXPECT_EQ(app.m_oVideoDimensions, QSizeF(0, 0));
    EXPECT_EQ(ExportBoxTitle(), kExportBoxTitle);
}

TEST_F(MainWindowTest, DropRefusesOtherFilesSeveralFilesAndRemoteUrls) {
    const QString folder = MakeTempDir("refused-drops");
    const QString mkv = WriteTestFile(folder + "/clip.mkv", "x");
    const QString mp4 = WriteTestFile(folder + "/clip.mp4", "x");
    AppDelegate& app = Launch();
    const QList<QList<QUrl>> refused = {
        {QUrl::fromLocalFile(mkv)},
        {QUrl::fromLocalFile(folder + "/clip")},
        {QUrl::fromLocalFile(mp4), QUrl::fromLocalFile(mp4)},
        {QUrl("https://example.com/clip.mp4")},
        {},
    };
    for (const QList<QUrl>& urls : refused) {
        std::unique_ptr<QMimeData> drop(DropOf(urls));
        EXPECT_FALSE(app.MainWindow->performDragOperation(drop.get()));
    }
    QMimeData text;
    text.setText(mp4);
    EXPECT_FALSE(app.MainWindow->performDragOperation(&text));
    EXPECT_EQ(app.textFieldFilePath->text(), "");
    EXPECT_TRUE(TakeMessages(app.window).empty());
    EXPECT_TRUE(ControlClickWindow::IsSupportedFileExtension("mov"));
    EXPECT_FALSE(ControlClickWindow::IsSupportedFileExtension("MOV"));  // callers lower-case
}

TEST_F(MainWindowTest, AVideoWithoutDurationKeepsTheRangeAndSaysSo) {
    const QString notes = WriteTestFile(MakeTempDir("no-duration") + "/notes.mp4", "plain text");
    AppDelegate& app = Launch();
    app.textFieldFrom->setText("2");
    app.textFieldTo->setText("3");
    std::unique_ptr<QMimeData> drop(DropOf({QUrl::fromLocalFile(notes)}));
    EXPECT_TRUE(app.MainWindow->performDragOperation(drop.get()));
    EXPECT_EQ(app.textFieldVideoDuration->text(),
              "00:00:00 / 0 Seconds, 0.00 fps, Dimensions : 0 X 0");
    EXPECT_EQ(app.textFieldFrom->text(), "2");
    EXPECT_EQ(app.textFieldTo->text(), "3");
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Could Not Read Video Duration");
    EXPECT_EQ(messages[0].text,
              "Stillpress Could not read Video Information from Selected Video File.\n\nMake sure "
              "you can Play / View Thumbnail of the selected Video File and then try Again.");
    EXPECT_EQ(messages[0].buttons, QStringList{"OK"});
}

TEST_F(MainWindowTest, ExportRefusalsShowTheirMessageAndExportNothing) {
    AppDelegate& app = Launch();
    const QString advice =
        " is greater than Video Duration.\n\nPlease Enter Correct Value or Select the Video File "
        "Again to Load Default Values.";
    struct Case {
        QString path, from, to, title, text;
    };
    const Case cases[] = {
        {"", "0", "1", "Select a Video File",
         "Please Use the [Select Video File] Button to Select a Video File and then try Again."},
        {Sample() + ".gone", "0", "1", "File Not Found",
         "Please Make Sure that a Video File has been Selected and then Try Again.\n\nYou can Use "
         "the [Select Video File] Button to Select a Video File."},
        {Sample(), "0", "8.5", "Invalid Export To", "The Export To Value" + advice},
        {Sample(), "100", "8", "Invalid Export From", "The Export From Value" + advice},
    };
    for (const Case& refused : cases) {
        app.textFieldFilePath->setText(refused.path);
        app.textFieldFrom->setText(refused.from);
        app.textFieldTo->setText(refused.to);
        app.OnExportImages();
        const auto messages = TakeMessages(app.window);
        ASSERT_EQ(messages.size(), 1u) << refused.title.toStdString();
        EXPECT_EQ(messages[0].title, refused.title);
        EXPECT_EQ(messages[0].text, refused.text);
        EXPECT_EQ(messages[0].buttons, QStringList{kWideOK});
        EXPECT_TRUE(messages[0].windowModal);
        // The controls were saved before the checks.
        EXPECT_EQ(Stored("dblTo").toDouble(), refused.to.toDouble());
        EXPECT_EQ(Stored("LastVideo").toString(), refused.path);
    }
    EXPECT_FALSE(Stored("LastFolder").isValid());
    EXPECT_EQ(app.pArrayOfExportedFiles, nullptr);
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
}

TEST_F(MainWindowTest, ClosingStoresTheSevenValuesAndRowsZeroReadsAsOne) {
    AppDelegate& app = Launch();
    app.textFieldFilePath->setText(Sample());
    app.textFieldFrom->setText("1.5");
    app.textFieldTo->setText("3s");  // the leading number counts
    app.textFieldFrameInterval->setText("0.2");
    app.textFieldImageSizePercentage->setText("40");
    app.textFieldRowsInVideoWall->setText("7");
    app.popupButtonFileFormat->setCurrentIndex(4);  // BMP, code 1
    app.window->close();
    EXPECT_EQ(Stored("LastVideo").toString(), Sample());
    EXPECT_EQ(Stored("dblFrom").toDouble(), 1.5);
    EXPECT_EQ(Stored("dblTo").toDouble(), 3.0);
    EXPECT_EQ(Stored("dblFrameInterval").toDouble(), 0.2);
    EXPECT_EQ(Stored("ImageSizePercentage").toDouble(), 40.0);
    EXPECT_EQ(Stored("RowsInVideoWall").toLongLong(), 7);
    EXPECT_EQ(Stored("FileFormat").toLongLong(), 1);

    Launch().textFieldRowsInVideoWall->setText("0");
    delegate->OnQuit();
    EXPECT_EQ(Stored("RowsInVideoWall").toLongLong(), 0);
    EXPECT_EQ(Launch().textFieldRowsInVideoWall->text(), "1");
}

TEST_F(MainWindowTest, SelectVideoPanelStoresTheChoiceAndCancelChangesNothing) {
    AppDelegate& app = Launch();
    app.textFieldFrom->setText("3");
    app.OnButtonClickedSelctVideoFile();
    auto* panel = app.window->findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), "Select Video File");
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    const QString filter = panel->nameFilters().join(' ');
    for (const char* type : {"*.mp4", "*.mov", "*.avi", "*.mkv"})
        EXPECT_TRUE(filter.contains(type)) << filter.toStdString();
    panel->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.textFieldFrom->text(), "3");
    EXPECT_FALSE(Stored("LastVideo").isValid());

    app.OnButtonClickedSelctVideoFile();
    panel = app.window->findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    panel->selectFile(Sample());
    static_cast<QDialog*>(panel)->accept();  // as the Open button does
    EXPECT_EQ(Stored("LastVideo").toString(), Sample());
    EXPECT_EQ(app.textFieldFilePath->text(), Sample());
    EXPECT_EQ(app.textFieldFrom->text(), "0");
    EXPECT_EQ(app.textFieldTo->text(), "8");
    EXPECT_EQ(app.m_oVideoDimensions, QSizeF(320, 240));
    EXPECT_TRUE(ExportBoxTitle().endsWith(": 320 X 240"));
}

TEST_F(MainWindowTest, ControlClickOnTheBackgroundShowsTheRightClickHint) {
    AppDelegate& app = Launch();
    QWidget* background = app.window->centralWidget();
    const QPointF corner(2, 2);
    QMouseEvent plain(QEvent::MouseButtonPress, corner, background->mapToGlobal(corner),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(background, &plain);
    EXPECT_TRUE(TakeMessages(app.window).empty());
    QMouseEvent control(QEvent::MouseButtonPress, corner, background->mapToGlobal(corner),
                        Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(background, &control);
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Right Click Menu");
    EXPECT_EQ(messages[0].text,
              "The Right Click Menu can be Displayed by either\n\nClicking on the Top Left Round "
              "Button\n\nor\n\nby doing Right Click (with 2 Button Mouse).");
    EXPECT_EQ(messages[0].buttons, QStringList{"OK"});
}

TEST_F(MainWindowTest, LaterCommandsSaySoAndTheContextMenuHoldsTheCommands) {
    AppDelegate& app = Launch();
    app.OnExportVideoWallFromVideo();
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Not Available Yet");
    EXPECT_TRUE(messages[0].text.contains("Image Wall From Video"));
    ASSERT_NE(app.pContextMenu, nullptr);
    QStringList items;
    for (const QAction* action : app.pContextMenu->actions()) items << action->text();
    for (const char* expected :
         {"Export Images", "Image Wall From Video…", "Movie From Exported Images…",
          "Image Watermark…", "Frames From GIF File…", "Video Information", "Settings…",
          "Copy Window Picture", "Stillpress Help"})
        EXPECT_TRUE(items.contains(expected)) << expected;
}

TEST_F(MainWindowTest, LastFolderBeforeAnyExportSaysWhatItIsFor) {
    AppDelegate& app = Launch();
    app.OnOpenLastFolder();
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Action to Open Last Folder Aborted");
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
}

TEST_F(MainWindowTest, ExportWritesTheSameFilesAsTheHeadlessCommand) {
    const QString windowBase = MakeTempDir("window-base");
    const QString headlessBase = MakeTempDir("headless-base");
    AppSettings().SetBaseFolder(windowBase);
    Store("LastVideo", Sample());
    AppDelegate& app = Launch();
    app.textFieldFrameInterval->setText("1.5");
    app.textFieldImageSizePercentage->setText("50");
    app.popupButtonFileFormat->setCurrentIndex(1);  // PNG
    app.textFieldFrom->setText("0.5");
    app.OnExportImages();

    const QString folder = Stored("LastFolder").toString();
    ASSERT_TRUE(folder.startsWith(windowBase + "/Stillpress Files/sample "))
        << folder.toStdString();
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title,
              "Process To Extract Image Files from Selected Video File has Completed");
    EXPECT_TRUE(messages[0].text.contains("\n\n" + folder + "\n\n"));
    EXPECT_TRUE(Recorded().openedURLs.contains(folder));
    ASSERT_NE(app.pArrayOfExportedFiles, nullptr);
    QStringList written;
    for (const QString& path : *app.pArrayOfExportedFiles) written << QFileInfo(path).fileName();
    EXPECT_EQ(written, FilesIn(folder));

    QByteArray out;
    QByteArray err;
    ASSERT_EQ(RunProgram(STILLPRESS_CLI,
                         {"export-images", Sample(), "--from", "0.5", "--to", "8", "--interval",
                          "1.5", "--size", "50", "--format", "png", "--base-folder", headlessBase},
                         &out, &err),
              0)
        << err.toStdString();
    const QString headlessFolder = QString::fromUtf8(out).trimmed().split('\n').last();
    EXPECT_EQ(FilesIn(folder), FilesIn(headlessFolder));
    EXPECT_EQ(FilesIn(folder).size(), 5);  // 0.5, 2, 3.5, 5, 6.5
    EXPECT_EQ(ReadTestFile(folder + "/1.png"), ReadTestFile(headlessFolder + "/1.png"));
}

TEST_F(MainWindowTest, CancelInTheProgressDialogStopsAfterTheCurrentFrame) {
    AppSettings().SetBaseFolder(MakeTempDir("cancel-base"));
    Store("LastVideo", Sample());
    AppDelegate& app = Launch();
    app.textFieldFrameInterval->setText("0.1");  // 80 frames
    bool pressed = false;
    QTimer::singleShot(0, app.window, [&app, &pressed] {
        auto* progress = app.window->findChild<QProgressDialog*>();
        if (progress == nullptr || !progress->isVisible()) return;
        progress->findChild<QPushButton*>()->click();
        pressed = true;
    });
    app.OnExportImages();
    ASSERT_TRUE(pressed);
    const QString folder = Stored("LastFolder").toString();
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_NE(app.pArrayOfExportedFiles, nullptr);
    const qsizetype written = app.pArrayOfExportedFiles->size();
    EXPECT_GE(written, 1);
    EXPECT_LT(written, 80);
    EXPECT_EQ(FilesIn(folder).size(), written);
    const auto messages = TakeMessages(app.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Export Images Cancelled");
    EXPECT_TRUE(messages[0].text.contains(QString("after %1 Frame(s)").arg(written)));
}

}  // namespace
