// The GIF frames command and the two video information commands: their panels and messages
// in the window, the report file, and the headless `gif-frames` and `info` commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/core/GifAndInfoCommands.h"
#include "media/VideoFileProcessor.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

const QString kSample = SampleVideo();

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

QString PartyGif() {
    return MakeVideo("party.gif",
                     {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=10:duration=1.2"});
}

QString SampleReport() {
    VideoFileProcessor processor;
    processor.OpenVideoFile(kSample);
    return processor.GetVideoInfo();
}

class RecordedMessages : public MessagePresenter {
  public:
    void DisplayMessageBox(const QString& title, const QString& text) override {
        shown << QStringList{title, text};
    }
    QList<QStringList> shown;
};

class GifAndInfoWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        Recorded().openedURLs.clear();
        AppSettings().SetLastVideo(kSample);
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QFileDialog* Panel() const { return app->window->findChild<QFileDialog*>(); }

    std::unique_ptr<AppDelegate> app;
};

TEST_F(GifAndInfoWindowTest, GifCommandAsksForTheFileThenTheFolderAndWritesTheFrames) {
    app->popupButtonFileFormat->setCurrentIndex(app->popupButtonFileFormat->findData(4));  // PNG
    app->SaveFileFormat();
    const QString chosen = MakeTempDir("window-gif");
    app->OnExtractImagesFromGIFFile();
    ASSERT_NE(Panel(), nullptr);
    EXPECT_EQ(Panel()->windowTitle(), "Select GIF File");
    EXPECT_EQ(Panel()->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(Panel()->nameFilters(), QStringList{"GIF (*.gif)"});
    EXPECT_EQ(Panel()->windowModality(), Qt::WindowModal);
    AnswerPanel(Panel(), PartyGif());
    ASSERT_NE(Panel(), nullptr);
    EXPECT_EQ(Panel()->windowTitle(), "Select Folder to Export Images");
    EXPECT_EQ(Panel()->fileMode(), QFileDialog::Directory);
    AnswerPanel(Panel(), chosen);
    EXPECT_EQ(QDir(chosen + "/party").entryList(QDir::Files).size(), 12);
    EXPECT_TRUE(QFileInfo(chosen + "/party/12.png").isFile());
    EXPECT_EQ(Recorded().openedURLs, QStringList{chosen + "/party"});
    EXPECT_TRUE(CloseMessageBoxes(app->window).empty());
}

TEST_F(GifAndInfoWindowTest, CancellingEitherGifPanelEndsTheCommandSilently) {
    for (int cancelled : {1, 2}) {
        app->OnExtractImagesFromGIFFile();
        if (cancelled == 2) AnswerPanel(Panel(), PartyGif());
        AnswerPanel(Panel(), "");
        EXPECT_EQ(Panel(), nullptr);
        EXPECT_TRUE(Recorded().openedURLs.isEmpty());
        EXPECT_TRUE(CloseMessageBoxes(app->window).empty());
    }
}

TEST_F(GifAndInfoWindowTest, HelpVideoShowsTheReportTitledWithTheFileName) {
    app->OnHelpVideo();
    const MessageBoxShown shown = CloseOnlyMessageBox(app->window);
    EXPECT_EQ(shown.title, "sample.mp4");
    EXPECT_EQ(shown.text, SampleReport());
}

TEST_F(GifAndInfoWindowTest, ExportVideoInfoSavesTheReportAndOpensIt) {
    app->OnExportVideoInfo();
    QFileDialog* panel = Panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), "Saving Video Info...");
    EXPECT_EQ(panel->findChild<QLabel*>("panelMessage")->text(),
              "Please select a path to save Video Information as Text File.");
    EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(panel->defaultSuffix(), "txt");
    EXPECT_EQ(panel->findChild<QLineEdit*>("fileNameEdit")->text(), "sample.txt");
    const QString target = MakeTempDir("window-info") + "/report.txt";
    AnswerPanel(panel, target);
    EXPECT_EQ(ReadTestFile(target), SampleReport().toLatin1());
    EXPECT_EQ(Recorded().openedURLs, QStringList{target});
}

TEST_F(GifAndInfoWindowTest, ReportCommandsWithoutAVideoSayWhyAndShowNoPanel) {
    app->textFieldFilePath->setText(TestHome() + "/gone.mp4");
    for (auto command : {&AppDelegate::OnExportVideoInfo, &AppDelegate::OnHelpVideo}) {
        (app.get()->*command)();
        EXPECT_EQ(CloseOnlyMessageBox(app->window).title, "File Not Found");
        EXPECT_EQ(Panel(), nullptr);
    }
}

TEST(VideoInfoFileTest, ReportIsWrittenAsUtf8OrTheFailureIsTold) {
    const QString folder = MakeTempDir("info-file");
    const std::tuple<QString, QString, bool> cases[] = {
        {"Video Information\r\nPath\t/a.mp4", folder + "/ascii.txt", true},
        {"Video Information\r\nPath\t/Café ☕.mp4", folder + "/utf8.txt", true},
        {"Video Information", folder + "/no such folder/x.txt", false},
        {"Video Information", folder, false},  // a folder is in the way
    };
    for (const auto& [report, target, written] : cases) {
        RecordedMessages messages;
        Recorded().openedURLs.clear();
        EXPECT_EQ(SaveVideoInfoReport(report, target, messages), written);
        EXPECT_EQ(Recorded().openedURLs, written ? QStringList{target} : QStringList());
        EXPECT_EQ(messages.shown.size(), written ? 0 : 1);
        if (written) {
            EXPECT_EQ(ReadTestFile(target), report.toUtf8());
        } else {
            EXPECT_EQ(messages.shown.value(0).value(0), "Video Information Not Saved");
            EXPECT_TRUE(messages.shown.value(0).value(1).contains(target));
        }
    }
}

TEST(HeadlessGifAndInfo, CommandsPrintTheirResultWithTheUsualStatuses) {
    ResetSettingsStore();
    const QString folder = MakeTempDir("cli-gif-info");
    const QByteArray report = SampleReport().toUtf8();
    struct Case {
        QStringList arguments;
        int status;
        QByteArray out;  // empty: not checked
        QString errStart;
    };
    const Case cases[] = {
        {{"gif-frames", PartyGif(), folder, "--format", "bmp"},
         0,
         (folder + "/party\n").toUtf8(),
         ""},
        {{"info", kSample}, 0, report + "\r\n", ""},
        {{"info", kSample, "--output", folder + "/r.txt"}, 0, (folder + "/r.txt\n").toUtf8(), ""},
        {{"info", kSample, "--output", folder + "/none/r.txt"},
         1,
         "",
         "Video Information Not Saved: "},
        {{"info", folder + "/gone.mp4"}, 2, "", "File Not Found: "},
        {{"gif-frames", folder + "/gone.gif", folder}, 2, "", "GIF File Not Found: "},
        {{"gif-frames", kSample, folder}, 2, "", "Not a GIF File: "},
        {{"gif-frames", PartyGif()}, 2, "", "stillpress-cli: name the folder"},
        {{"export-images", kSample, "--output", "x"}, 2, "", "stillpress-cli: unknown option"},
    };
    for (const Case& run : cases) {
        const CliResult result = RunCli(run.arguments);
        EXPECT_EQ(result.status, run.status) << run.arguments.join(' ').toStdString() << "\n"
                                             << result.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty() || result.rawOut == run.out) << result.out.toStdString();
        EXPECT_TRUE(run.errStart.isEmpty() ? result.err.isEmpty()
                                           : result.err.startsWith(run.errStart))
            << result.err.toStdString();
    }
    EXPECT_EQ(QDir(folder + "/party").entryList(QDir::Files).size(), 12);
    EXPECT_TRUE(QFileInfo(folder + "/party/12.bmp").isFile());
    EXPECT_EQ(ReadTestFile(folder + "/r.txt"), report);
}

}  // namespace
