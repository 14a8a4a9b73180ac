// The GIF frames command and the two video information commands in the window: their panels
// and messages, and the report file.
#include <gtest/gtest.h>

#include <QComboBox>

#include "app/core/GifAndInfoCommands.h"
#include "media/VideoFileProcessor.h"
#include "support/AppFixtures.h"

namespace {

QString SampleReport() {
    VideoFileProcessor processor;
    processor.OpenVideoFile(SampleVideo());
    return processor.GetVideoInfo();
}

class GifAndInfoWindowTest : public WindowTest {
  protected:
    void SetUp() override { Launch(SampleVideo()); }
};

TEST_F(GifAndInfoWindowTest, GifCommandAsksForTheFileThenTheFolderAndWritesTheFrames) {
    app->popupButtonFileFormat->setCurrentIndex(app->popupButtonFileFormat->findData(4));  // PNG
    app->SaveFileFormat();
    const QString chosen = MakeTempDir("window-gif");
    app->OnExtractImagesFromGIFFile();
    ASSERT_NO_FATAL_FAILURE(
        ExpectPanel(Panel(), "Select GIF File", QFileDialog::AcceptOpen, {"GIF (*.gif)"}));
    AnswerPanel(Panel(), PartyGif());
    ASSERT_NO_FATAL_FAILURE(
        ExpectPanel(Panel(), "Select Folder to Export Images", QFileDialog::AcceptOpen));
    EXPECT_EQ(Panel()->fileMode(), QFileDialog::Directory);
    AnswerPanel(Panel(), chosen);
    EXPECT_EQ(FilesIn(chosen + "/party").size(), 12);
    EXPECT_EQ(Recorded().openedURLs, QStringList{chosen + "/party"});
    EXPECT_TRUE(Messages().empty());
}

TEST_F(GifAndInfoWindowTest, CancellingEitherGifPanelEndsTheCommandSilently) {
    for (int cancelled : {1, 2}) {
        app->OnExtractImagesFromGIFFile();
        if (cancelled == 2) AnswerPanel(Panel(), PartyGif());
        AnswerPanel(Panel(), "");
        EXPECT_EQ(Panel(), nullptr);
        EXPECT_TRUE(Recorded().openedURLs.isEmpty());
        EXPECT_TRUE(Messages().empty());
    }
}

TEST_F(GifAndInfoWindowTest, ReportIsShownTitledWithTheFileNameOrSavedAndOpened) {
    app->OnHelpVideo();
    const MessageBoxShown shown = OnlyMessage();
    EXPECT_EQ(shown.title, "sample.mp4");
    EXPECT_EQ(shown.text, SampleReport());

    app->OnExportVideoInfo();
    ASSERT_NO_FATAL_FAILURE(
        ExpectPanel(Panel(), "Saving Video Info...", QFileDialog::AcceptSave, {}, "txt"));
    EXPECT_EQ(PanelMessage(), "Please select a path to save Video Information as Text File.");
    EXPECT_EQ(NameField(), "sample.txt");
    const QString target = MakeTempDir("window-info") + "/report.txt";
    AnswerPanel(Panel(), target);
    EXPECT_EQ(ReadTestFile(target), SampleReport().toLatin1());
    EXPECT_EQ(Recorded().openedURLs, QStringList{target});
}

TEST(VideoInfoFileTest, ReportIsWrittenAsUtf8OrTheFailureIsTold) {
    const QString folder = MakeTempDir("info-file");
    const std::tuple<QString, QString, bool> cases[] = {
        {"Video Information\r\nPath\t/Café ☕.mp4", folder + "/utf8.txt", true},
        {"Video Information", folder + "/no such folder/x.txt", false},
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
            EXPECT_TRUE(messages.shown.value(0).startsWith("Video Information Not Saved: "));
            EXPECT_TRUE(messages.shown.value(0).contains(target));
        }
    }
}

}  // namespace
