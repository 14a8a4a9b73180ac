// The two image wall commands of the main window, driven as the user would: the save panels,
// their messages, the rows setting and the walls written and opened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

QString SampleVideo() {
    return QString(STILLPRESS_SOURCE_DIR) + "/samples/sample.mp4";  // 8 s of 320 x 240
}

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

// Closes every message box of the window; answers their titles and texts, oldest first.
QList<QStringList> TakeMessages(QWidget* window) {
    QList<QStringList> shown;
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (!box->isVisible()) continue;
        shown << QStringList{box->text(), box->informativeText()};
        box->done(0);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shown;
}

class WallWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        AppSettings::ClearRegisteredDefaults();
        Recorded().openedURLs.clear();
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A window with the sample selected: tiles at 0, 2, 4 and 6 s of 160 x 120 in PNG.
    AppDelegate& LaunchWithSample(long long storedRows) {
        AppSettings settings;
        settings.SetLastVideo(SampleVideo());
        settings.SetRowsInVideoWall(storedRows);
        app.reset();
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
        app->textFieldFrameInterval->setText("2");
        app->textFieldImageSizePercentage->setText("50");
        app->popupButtonFileFormat->setCurrentIndex(1);  // PNG
        return *app;
    }
    QFileDialog* Panel() const { return app->window->findChild<QFileDialog*>(); }
    QString PanelMessage() const { return Panel()->findChild<QLabel*>("panelMessage")->text(); }
    QString NameField() const { return Panel()->findChild<QLineEdit*>("fileNameEdit")->text(); }

    std::unique_ptr<AppDelegate> app;
};

// The panel's message shows the grid of the rows stored before (1); the wall takes the
// rows field (2), which only a confirmed panel stores.
TEST_F(WallWindowTest, VideoWallPanelShowsTheStoredGridAndTheWallTakesTheRowsField) {
    struct Case {
        QString typed, written;  // empty: the panel is cancelled
        long long storedRows;
    };
    for (const Case& answer : {Case{"", "", 1}, Case{"wall", "wall.png", 2},
                               Case{"wall.png", "wall.png", 2}, Case{"a.v1", "a.v1.png", 2}}) {
        AppDelegate& window = LaunchWithSample(1);
        window.textFieldRowsInVideoWall->setText("2");
        window.OnExportVideoWallFromVideo();
        QFileDialog* panel = Panel();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->windowTitle(), "Export Image Wall...");
        EXPECT_EQ(PanelMessage(),
                  "Select Video Wall File Name / Path\n\nNumber of Images in Video Wall = 4\nVideo "
                  "Wall Image Width = 640, Height = 120\nEach Image Width  = 160, Height = 120");
        EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(panel->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(panel->testOption(QFileDialog::ReadOnly));  // folders can be created
        EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(panel->nameFilters(), QStringList{"PNG (*.png)"});
        EXPECT_EQ(panel->defaultSuffix(), "png");
        EXPECT_EQ(panel->directory().absolutePath(), UserPicturesDirectory());
        EXPECT_EQ(NameField(), "sample");
        const QString folder = MakeTempDir("video-wall");
        AnswerPanel(panel, answer.typed.isEmpty() ? QString() : folder + "/" + answer.typed);
        const QString wall = folder + "/" + answer.written;
        const QStringList written = QDir(folder).entryList(QDir::Files);
        EXPECT_EQ(written, answer.written.isEmpty() ? QStringList() : QStringList{answer.written});
        EXPECT_EQ(Recorded().openedURLs, written.isEmpty() ? QStringList() : QStringList{wall});
        EXPECT_EQ(QImage(wall).size(), written.isEmpty() ? QSize(0, 0) : QSize(320, 240));
        EXPECT_EQ(AppSettings().GetRowsInVideoWall(), answer.storedRows);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
        EXPECT_TRUE(TakeMessages(window.window).isEmpty());
        Recorded().openedURLs.clear();
    }
}

TEST_F(WallWindowTest, RefusalsShowTheirMessageAndNoPanel) {
    AppDelegate& window = LaunchWithSample(3);
    const QString advice =
        " Value is greater than Video Duration.\n\nPlease Enter Correct Value or Select the Video "
        "File Again to Load Default Values.";
    struct Case {
        QString to, from;
        void (AppDelegate::*command)();
        QString title, text;
    };
    const Case cases[] = {
        {"8.5", "0", &AppDelegate::OnExportVideoWallFromVideo, "Invalid Export To",
         "The Export To" + advice},
        {"8", "9", &AppDelegate::OnExportVideoWallFromVideo, "Invalid Export From",
         "The Export From" + advice},
        {"8", "0", &AppDelegate::OnExportVideoWall, "Video Wall Creation Aborted",
         "Please Export Images from a Video and then try Aagin.\n\nThe Video Wall is Created by "
         "Loading Image Files from the Last Folder."},  // no last folder
    };
    for (const Case& refused : cases) {
        window.textFieldTo->setText(refused.to);
        window.textFieldFrom->setText(refused.from);
        (window.*refused.command)();
        EXPECT_EQ(TakeMessages(window.window), (QList<QStringList>{{refused.title, refused.text}}));
        EXPECT_EQ(Panel(), nullptr);
    }
}

TEST_F(WallWindowTest, WallFromImagesTakesTheFilesOfThisRunsExport) {
    AppSettings().SetBaseFolder(MakeTempDir("wall-base"));
    AppDelegate& window = LaunchWithSample(3);
    window.OnExportImages();
    TakeMessages(window.window);
    ASSERT_NE(window.pArrayOfExportedFiles, nullptr);
    const auto tiles = window.pArrayOfExportedFiles->size();
    ASSERT_GE(tiles, 2);
    // Listed first in the folder, it would stop a wall made from the folder's listing.
    const QString folder = AppSettings().GetStringValue("LastFolder");
    ASSERT_TRUE(QImage(10, 10, QImage::Format_RGB32).save(folder + "/0 other.png"));
    window.OnExportVideoWall();
    EXPECT_TRUE(TakeMessages(window.window).isEmpty());
    ASSERT_NE(Panel(), nullptr);
    const QString wall = MakeTempDir("wall-of-export") + "/wall.png";
    AnswerPanel(Panel(), wall);
    const auto columns = (tiles + 2) / 3;
    EXPECT_EQ(QImage(wall).size(), QSize(160 * columns, 120 * ((tiles + columns - 1) / columns)));
}

TEST_F(WallWindowTest, WallFromImagesIsWrittenInTheFormatSettingUnderTheNameAsTyped) {
    const QString folder = MakeTempDir("two-images");
    for (const char* name : {"Frame 2.png", "Frame 10.png"})
        ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32).save(folder + "/" + name));
    AppSettings().SetStringValue(folder, "LastFolder");
    struct Case {
        long long format;
        QString suggested, typed;
        QByteArray magic;
    };
    for (const Case& saved : {Case{3, "Video Wall.jpg", "wall.png", "\xFF\xD8\xFF"},
                              Case{1, "Video Wall.bmp", "wall", "BM"}}) {
        AppSettings().SetSelectedFileFormat(saved.format);
        AppDelegate& window = LaunchWithSample(3);
        window.OnExportVideoWall();
        QFileDialog* panel = Panel();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->windowTitle(), "Saving Image Wall...");
        EXPECT_EQ(PanelMessage(), "Please select a path to save Video Wall Image.");
        EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(panel->defaultSuffix().isEmpty());
        EXPECT_EQ(NameField(), saved.suggested);
        const QString wall = MakeTempDir("typed-wall") + "/" + saved.typed;
        AnswerPanel(panel, wall);
        EXPECT_TRUE(ReadTestFile(wall).startsWith(saved.magic)) << saved.typed.toStdString();
        EXPECT_EQ(QImage(wall).size(), QSize(40, 60));
        EXPECT_EQ(Recorded().openedURLs.takeLast(), wall);
    }
    EXPECT_EQ(AppDelegate::GetSortedImageFiles({"Frame 10.png", "frame 1.png", "Frame 2.png"}),
              (QStringList{"Frame 2.png", "Frame 10.png", "frame 1.png"}));
}

}  // namespace
