// The two movie commands of the main window, driven as the user would: the save panels, their
// texts, the refusals and the movies written and opened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

QString SampleVideo() {
    return QString(STILLPRESS_SOURCE_DIR) + "/samples/sample.mp4";  // 8 s of 320 x 240 at 30
}

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

// A last folder of three 40 x 30 frames, written as an export writes them (72 dpi: the movie
// takes the size in points of its first frame).
QString FolderOfFrames() {
    const QString folder = MakeTempDir("movie-frames");
    QImage frame(40, 30, QImage::Format_RGB32);
    frame.fill(Qt::darkCyan);
    const QByteArray png = EncodeImage(frame, ImageFileType::Png, 1.0f);
    for (const char* name : {"Frame 1.png", "Frame 2.png", "Frame 10.png"})
        EXPECT_TRUE(WriteFileData(folder + "/" + name, png, nullptr));
    return folder;
}

struct Command {
    const char* name;
    void (AppDelegate::*run)();
};
const Command kFromImages{"from images", &AppDelegate::OnExportVideoFromImages};
const Command kFromVideo{"from video", &AppDelegate::OnExportVideoFromVideo};

class MovieWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        AppSettings::ClearRegisteredDefaults();
        AppSettings().SetFrameDelayDuringExport(0.000001);
        Recorded().openedURLs.clear();
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QFileDialog* Run(const Command& command, const QString& videoField) {
        app->textFieldFilePath->setText(videoField);
        (app.get()->*command.run)();
        return app->window->findChild<QFileDialog*>();
    }
    static QString Message(QFileDialog* panel) {
        return panel->findChild<QLabel*>("panelMessage")->text();
    }
    static QString NameField(QFileDialog* panel) {
        return panel->findChild<QLineEdit*>("fileNameEdit")->text();
    }
    std::unique_ptr<AppDelegate> app;
};

TEST_F(MovieWindowTest, PanelsShowTheirTextsAndCancelWritesNothing) {
    AppSettings().SetStringValue(FolderOfFrames(), "LastFolder");
    struct Case {
        Command command;
        QString videoField, message, proposedName;
    };
    const Case cases[] = {
        {kFromImages, "/videos/clip.v2.mov", "Please Select a File Name / Path to Save Video File.",
         "clip.v2"},
        {kFromVideo, SampleVideo(),
         "Please select a Name / Path to Export Video.\r\n\r\nNumber of Frames in Video:\t240\r\n"
         "Dimensions of each Frame: 320 X 240\r\n\r\nNote that Time Required to Export Video will "
         "depend on Number of Frames, Dimensions and Technical Specifications of your Mac.\r\nWhen "
         "Video Export is Finished, the Video will be Opened Automatically by this Software.\r\nNo "
         "Audio will be Exported.",
         "sample-Exported"},
    };
    for (const Case& shown : cases) {
        SCOPED_TRACE(shown.command.name);
        QFileDialog* panel = Run(shown.command, shown.videoField);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->windowTitle(), "Exporting Video...");
        EXPECT_EQ(Message(panel), shown.message);
        EXPECT_EQ(NameField(panel), shown.proposedName);
        EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(panel->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(panel->testOption(QFileDialog::ReadOnly));  // folders can be created
        EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(panel->nameFilters(), QStringList{"MPEG-4 Movie (*.mp4)"});
        EXPECT_EQ(panel->defaultSuffix(), "mp4");
        const QString folder = MakeTempDir("cancelled-movie");
        panel->setDirectory(folder);
        AnswerPanel(panel, {});
        EXPECT_TRUE(QDir(folder).isEmpty());
        EXPECT_TRUE(Recorded().openedURLs.isEmpty());
        EXPECT_TRUE(CloseMessageBoxes(app->window).empty());
    }
}

// The movie has the size of the frames it was made of and is opened once finished; a name
// typed without ".mp4" gets it.
TEST_F(MovieWindowTest, ConfirmedPanelWritesTheMovieAndOpensIt) {
    AppSettings().SetStringValue(FolderOfFrames(), "LastFolder");
    struct Case {
        Command command;
        QString typed, written;
        QSizeF size;
    };
    for (const Case& made : {Case{kFromImages, "movie", "movie.mp4", {40, 30}},
                             Case{kFromVideo, "copy.mov", "copy.mov.mp4", {320, 240}},
                             Case{kFromVideo, "copy.MP4", "copy.MP4", {320, 240}}}) {
        SCOPED_TRACE(made.typed.toStdString());
        QFileDialog* panel = Run(made.command, SampleVideo());
        ASSERT_NE(panel, nullptr);
        const QString folder = MakeTempDir("confirmed-movie");
        AnswerPanel(panel, folder + "/" + made.typed);
        const QString movie = folder + "/" + made.written;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{made.written});
        VideoFileProcessor written;
        written.OpenVideoFile(movie);
        EXPECT_EQ(written.GetVideoDimensions(), made.size);
        EXPECT_EQ(Recorded().openedURLs.takeLast(), movie);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
        EXPECT_TRUE(CloseMessageBoxes(app->window).empty());
    }
}

TEST_F(MovieWindowTest, RefusalsShowTheirMessageAndNoPanel) {
    struct Case {
        Command command;
        QString videoField, title, text;
    };
    const Case cases[] = {
        {kFromImages, SampleVideo(), "Video Export Aborted",
         "Please Export Images from a Video and then try Aagin.\n\nThe Video is Created by Loading "
         "Image Files from the Last Folder."},
        {kFromVideo, "", "Select a Video File",
         "Please Use the [Select Video File] Button to Select a Video File and then try Again."},
        {kFromVideo, SampleVideo() + ".gone", "File Not Found",
         "Please Make Sure that a Video File has been Selected and then Try Again.\n\nYou can Use "
         "the [Select Video File] Button to Select a Video File."},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.title.toStdString());
        EXPECT_EQ(Run(refused.command, refused.videoField), nullptr);
        const MessageBoxShown message = CloseOnlyMessageBox(app->window);
        EXPECT_EQ(message.title, refused.title);
        EXPECT_EQ(message.text, refused.text);
    }
}

}  // namespace
