// The two movie commands of the main window, driven as the user would: the save panels, their
// texts, the refusals and the movies written and opened.
#include <gtest/gtest.h>

#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "support/AppFixtures.h"

namespace {

// A last folder of three 40 x 30 frames, written as an export writes them (72 dpi: the movie
// takes the size in points of its first frame).
QString FolderOfFrames() {
    const QString folder = MakeTempDir("movie-frames");
    const QByteArray png = EncodeImage(Filled({40, 30}, Qt::darkCyan), ImageFileType::Png, 1.0f);
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

class MovieWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        AppSettings().SetFrameDelayDuringExport(0.000001);
        Launch();
    }
    QFileDialog* Run(const Command& command, const QString& videoField) {
        app->textFieldFilePath->setText(videoField);
        (app.get()->*command.run)();
        return Panel();
    }
};

// Cancel writes nothing. The movie has the size of the frames it was made of and is opened
// once finished; a name typed without ".mp4" gets it.
TEST_F(MovieWindowTest, ConfirmedPanelWritesTheMovieAndOpensIt) {
    AppSettings().SetStringValue(FolderOfFrames(), "LastFolder");
    struct Case {
        Command command;
        QString typed, written;  // empty: the panel is cancelled
        QSizeF size;
    };
    for (const Case& made :
         {Case{kFromImages, "", "", {}}, Case{kFromImages, "movie", "movie.mp4", {40, 30}},
          Case{kFromVideo, "copy.mov", "copy.mov.mp4", {320, 240}}}) {
        SCOPED_TRACE(made.typed.toStdString());
        QFileDialog* panel = Run(made.command, SampleVideo());
        ASSERT_NO_FATAL_FAILURE(ExpectPanel(panel, "Exporting Video...", QFileDialog::AcceptSave,
                                            {"MPEG-4 Movie (*.mp4)"}, "mp4"));
        EXPECT_EQ(made.command.run == kFromVideo.run,
                  PanelMessage().contains("Number of Frames in Video:\t240\r\n"
                                          "Dimensions of each Frame: 320 X 240"));
        const QString folder = MakeTempDir("confirmed-movie");
        panel->setDirectory(folder);
        AnswerPanel(panel, made.typed.isEmpty() ? QString() : folder + "/" + made.typed);
        EXPECT_TRUE(Messages().empty());
        if (made.typed.isEmpty()) {
            EXPECT_TRUE(QDir(folder).isEmpty() && Recorded().openedURLs.isEmpty());
            continue;
        }
        const QString movie = folder + "/" + made.written;
        EXPECT_EQ(FilesIn(folder), QStringList{made.written});
        VideoFileProcessor written;
        written.OpenVideoFile(movie);
        EXPECT_EQ(written.GetVideoDimensions(), made.size);
        EXPECT_EQ(Recorded().openedURLs.takeLast(), movie);
    }
}

// The texts of the last two are checked with the main window's export.
TEST_F(MovieWindowTest, RefusalsShowTheirMessageAndNoPanel) {
    const std::tuple<Command, QString, QString> cases[] = {
        {kFromImages, SampleVideo(), "Video Export Aborted"},
        {kFromVideo, "", "Select a Video File"},
        {kFromVideo, SampleVideo() + ".gone", "File Not Found"},
    };
    for (const auto& [command, videoField, title] : cases) {
        EXPECT_EQ(Run(command, videoField), nullptr);
        const MessageBoxShown message = OnlyMessage();
        EXPECT_EQ(message.title, title);
        if (command.run == kFromImages.run) {
            EXPECT_EQ(message.text,
                      "Please Export Images from a Video and then try Aagin.\n\nThe Video is "
                      "Created by Loading Image Files from the Last Folder.");
        }
    }
}

}  // namespace
