// The window's commands that write walls, movies, GIF frames, reports and conversions: their
// save panels and texts, their refusals and messages, and what they write and open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>

#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "support/AppFixtures.h"

namespace {

class WallWindowTest : public WindowTest {
  protected:
    // A window with the sample selected: tiles at 0, 2, 4 and 6 s of 160 x 120 in PNG.
    AppDelegate& LaunchWithSample(long long storedRows) {
        AppSettings().SetRowsInVideoWall(storedRows);
        Launch(SampleVideo());
        app->textFieldFrameInterval->setText("2");
        app->textFieldImageSizePercentage->setText("50");
        app->popupButtonFileFormat->setCurrentIndex(1);  // PNG
        return *app;
    }
};

// The panel's message shows the grid of the rows stored before (1); the wall takes the
// rows field (2), which only a confirmed panel stores.
TEST_F(WallWindowTest, VideoWallPanelShowsTheStoredGridAndTheWallTakesTheRowsField) {
    for (const auto& [typed, written, storedRows] :
         {std::tuple{"", "", 1}, {"a.v1", "a.v1.png", 2}}) {  // "": the panel is cancelled
        LaunchWithSample(1).textFieldRowsInVideoWall->setText("2");
        app->OnExportVideoWallFromVideo();
        ASSERT_NO_FATAL_FAILURE(ExpectPanel(Panel(), "Export Image Wall...",
                                            QFileDialog::AcceptSave, {"PNG (*.png)"}, "png"));
        EXPECT_EQ(PanelMessage(),
                  "Select Video Wall File Name / Path\n\nNumber of Images in Video Wall = 4\nVideo "
                  "Wall Image Width = 640, Height = 120\nEach Image Width  = 160, Height = 120");
        EXPECT_EQ(NameField(), "sample");
        const QString folder = MakeTempDir("video-wall"), wall = folder + "/" + written;
        AnswerPanel(Panel(), *typed ? folder + "/" + typed : QString());
        EXPECT_EQ(FilesIn(folder), *written ? QStringList{written} : QStringList());
        EXPECT_EQ(Recorded().openedURLs, *written ? QStringList{wall} : QStringList());
        EXPECT_EQ(QImage(wall).size(), *written ? QSize(320, 240) : QSize(0, 0));
        EXPECT_EQ(AppSettings().GetRowsInVideoWall(), storedRows);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
        Recorded().openedURLs.clear();
    }
}

// Only the files of this run's export, not the others in its folder, which would stop a wall
// made from the folder's listing.
TEST_F(WallWindowTest, WallFromImagesTakesTheFilesOfThisRunsExport) {
    AppSettings().SetBaseFolder(MakeTempDir("wall-base"));
    LaunchWithSample(3).OnExportImages();
    Messages();
    ASSERT_NE(app->pArrayOfExportedFiles, nullptr);
    const auto tiles = app->pArrayOfExportedFiles->size();
    ASSERT_GE(tiles, 2);
    ASSERT_TRUE(Filled({10, 10}, Qt::red).save(Stored("LastFolder").toString() + "/0 other.png"));
    app->OnExportVideoWall();
    EXPECT_TRUE(Messages().empty());
    ASSERT_NE(Panel(), nullptr);
    const QString wall = MakeTempDir("wall-of-export") + "/wall.png";
    AnswerPanel(Panel(), wall);
    const auto columns = (tiles + 2) / 3;
    EXPECT_EQ(QImage(wall).size(), QSize(160 * columns, 120 * ((tiles + columns - 1) / columns)));
}

TEST_F(WallWindowTest, WallFromImagesIsWrittenInTheFormatSettingUnderTheNameAsTyped) {
    const QString folder = MakeTempDir("two-images");
    for (const char* name : {"Frame 2.png", "Frame 10.png"})
        ASSERT_TRUE(Filled({40, 30}, Qt::red).save(folder + "/" + name));
    AppSettings().SetStringValue(folder, "LastFolder");
    for (const auto& [format, suggested, typed, magic] :
         {std::tuple{3, "Video Wall.jpg", "wall.png", "\xFF\xD8\xFF"},
          {1, "Video Wall.bmp", "wall", "BM"}}) {
        AppSettings().SetSelectedFileFormat(format);
        LaunchWithSample(3).OnExportVideoWall();
        ASSERT_NO_FATAL_FAILURE(
            ExpectPanel(Panel(), "Saving Image Wall...", QFileDialog::AcceptSave));
        EXPECT_EQ(NameField(), suggested);
        const QString wall = MakeTempDir("typed-wall") + "/" + typed;
        AnswerPanel(Panel(), wall);
        EXPECT_TRUE(ReadTestFile(wall).startsWith(magic)) << typed;
        EXPECT_EQ(QImage(wall).size(), QSize(40, 60));
        EXPECT_EQ(Recorded().openedURLs.takeLast(), wall);
    }
}

class MovieWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        AppSettings().SetFrameDelayDuringExport(0.000001);
        Launch();
    }
    QFileDialog* Run(void (AppDelegate::*command)(), const QString& videoField) {
        app->textFieldFilePath->setText(videoField);
        (app.get()->*command)();
        return Panel();
    }
    static constexpr auto kFromImages = &AppDelegate::OnExportVideoFromImages;
    static constexpr auto kFromVideo = &AppDelegate::OnExportVideoFromVideo;
};

// From frames written as an export writes them (72 dpi: the movie takes the size in points of
// its first frame), or from the video. A name typed without ".mp4" gets it.
TEST_F(MovieWindowTest, ConfirmedPanelWritesTheMovieAndOpensIt) {
    const QString frames = MakeTempDir("movie-frames");
    const QByteArray png = EncodeImage(Filled({40, 30}, Qt::darkCyan), ImageFileType::Png, 1.0f);
    for (const char* name : {"Frame 1.png", "Frame 2.png", "Frame 10.png"})
        ASSERT_TRUE(WriteFileData(frames + "/" + name, png, nullptr));
    AppSettings().SetStringValue(frames, "LastFolder");
    for (const auto& [command, typed, written, size] :
         {std::tuple{kFromImages, "", "", QSizeF()},  // "": the panel is cancelled
          {kFromImages, "movie", "movie.mp4", QSizeF(40, 30)},
          {kFromVideo, "copy.mov", "copy.mov.mp4", QSizeF(320, 240)}}) {
        SCOPED_TRACE(typed);
        QFileDialog* panel = Run(command, SampleVideo());
        ASSERT_NO_FATAL_FAILURE(ExpectPanel(panel, "Exporting Video...", QFileDialog::AcceptSave,
                                            {"MPEG-4 Movie (*.mp4)"}, "mp4"));
        EXPECT_EQ(command == kFromVideo,
                  PanelMessage().contains("Number of Frames in Video:\t240\r\n"
                                          "Dimensions of each Frame: 320 X 240"));
        const QString folder = MakeTempDir("confirmed-movie"), movie = folder + "/" + written;
        panel->setDirectory(folder);
        AnswerPanel(panel, *typed ? folder + "/" + typed : QString());
        EXPECT_TRUE(Messages().empty());
        EXPECT_EQ(FilesIn(folder), *written ? QStringList{written} : QStringList());
        EXPECT_EQ(Recorded().openedURLs, *written ? QStringList{movie} : QStringList());
        if (!*written) continue;
        VideoFileProcessor made;
        made.OpenVideoFile(movie);
        EXPECT_EQ(made.GetVideoDimensions(), size);
        Recorded().openedURLs.clear();
    }
}

// The texts of the last two are checked with the main window's export.
TEST_F(MovieWindowTest, RefusalsShowTheirMessageAndNoPanel) {
    for (const auto& [command, videoField, title] :
         {std::tuple{kFromImages, SampleVideo(), "Video Export Aborted"},
          {kFromVideo, QString(), "Select a Video File"},
          {kFromVideo, SampleVideo() + ".gone", "File Not Found"}}) {
        EXPECT_EQ(Run(command, videoField), nullptr);
        const MessageBoxShown message = OnlyMessage();
        EXPECT_EQ(message.title, title);
        EXPECT_TRUE(command == kFromVideo ||
                    message.text ==
                        "Please Export Images from a Video and then try Aagin.\n\nThe "
                        "Video is Created by Loading Image Files from the Last Folder.")
            << message.text.toStdString();
    }
}

using GifAndInfoWindowTest = WindowTest;

// Cancelling either panel ends the command silently.
TEST_F(GifAndInfoWindowTest, GifCommandAsksForTheFileThenTheFolderAndWritesTheFrames) {
    AppSettings().SetSelectedFileFormat(4);  // PNG
    Launch();
    const QString chosen = MakeTempDir("window-gif");
    for (const int cancelled : {1, 2, 0}) {
        app->OnExtractImagesFromGIFFile();
        ASSERT_NO_FATAL_FAILURE(
            ExpectPanel(Panel(), "Select GIF File", QFileDialog::AcceptOpen, {"GIF (*.gif)"}));
        AnswerPanel(Panel(), cancelled == 1 ? QString() : PartyGif());
        if (cancelled == 1) continue;
        ASSERT_NO_FATAL_FAILURE(
            ExpectPanel(Panel(), "Select Folder to Export Images", QFileDialog::AcceptOpen));
        EXPECT_EQ(Panel()->fileMode(), QFileDialog::Directory);
        AnswerPanel(Panel(), cancelled == 2 ? QString() : chosen);
        EXPECT_EQ(Panel(), nullptr);
    }
    EXPECT_EQ(FilesIn(chosen + "/party").size(), 12);
    EXPECT_EQ(Recorded().openedURLs, QStringList{chosen + "/party"});
    EXPECT_TRUE(Messages().empty());
}

// Of a video whose name is not ASCII: the report is written in UTF-8.
TEST_F(GifAndInfoWindowTest, ReportIsShownTitledWithTheFileNameOrSavedAndOpened) {
    const QString video = MakeTempDir("window-info") + "/Café ☕.mp4";
    ASSERT_TRUE(QFile::copy(SampleVideo(), video));
    VideoFileProcessor processor;
    processor.OpenVideoFile(video);
    const QString report = processor.GetVideoInfo();
    ASSERT_TRUE(report.contains(video));
    Launch(video).OnHelpVideo();
    const MessageBoxShown shown = OnlyMessage();
    EXPECT_EQ(shown.title, "Café ☕.mp4");
    EXPECT_EQ(shown.text, report);

    app->OnExportVideoInfo();
    ASSERT_NO_FATAL_FAILURE(
        ExpectPanel(Panel(), "Saving Video Info...", QFileDialog::AcceptSave, {}, "txt"));
    EXPECT_EQ(PanelMessage(), "Please select a path to save Video Information as Text File.");
    EXPECT_EQ(NameField(), "Café ☕.txt");
    const QString target = MakeTempDir("window-info") + "/report.txt";
    AnswerPanel(Panel(), target);
    EXPECT_EQ(ReadTestFile(target), report.toUtf8());
    EXPECT_EQ(Recorded().openedURLs, QStringList{target});
}

constexpr long long kHighestQualityTag = 2;

// Long and large enough that the window sees the progress between start and end.
QString LongVideo() {
    return MakeVideo("convert-long.mp4",
                     "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=12 "
                     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
}

class ConversionWindowTest : public WindowTest {
  protected:
    void SetUp() override { Launch(); }
    void Start(const QString& video, long long tag) {
        app->textFieldFilePath->setText(video);
        app->popupButtonVideoFormat->setCurrentIndex(app->popupButtonVideoFormat->findData(tag));
        app->OnExportVideo();
    }
    bool IsIdle() const {
        return app->buttonExportVideo->isEnabled() && app->popupButtonVideoFormat->isEnabled() &&
               app->progressIndicatorVideoExport->isHidden() &&
               app->textFieldPercentage->isHidden();
    }
    // Answers every percentage text shown until the window is restored.
    QStringList PumpUntilRestored() {
        QStringList texts;
        QElapsedTimer clock;
        clock.start();
        while (!IsIdle() && clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const QString text = app->textFieldPercentage->text();
            if (texts.isEmpty() || texts.last() != text) texts << text;
        }
        EXPECT_TRUE(IsIdle()) << "the window was not restored";
        return texts;
    }
};

TEST_F(ConversionWindowTest, ControlsAreHeldWhileTheProgressAdvancesAndTheFolderOpens) {
    Start(LongVideo(), kHighestQualityTag);
    EXPECT_FALSE(app->buttonExportVideo->isEnabled() || app->popupButtonVideoFormat->isEnabled() ||
                 app->progressIndicatorVideoExport->isHidden() ||
                 app->textFieldPercentage->isHidden());
    EXPECT_EQ(app->progressIndicatorVideoExport->value(), 0);
    EXPECT_EQ(AppSettings().GetSelectedVideoFileFormat(), kHighestQualityTag);

    QList<double> percentages;
    for (const QString& text : PumpUntilRestored())
        if (!text.isEmpty()) percentages << text.chopped(2).toDouble();
    EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
    ASSERT_GE(percentages.size(), 3) << "no progress between start and end";
    EXPECT_EQ(app->textFieldPercentage->text(), "100.00 %");
    EXPECT_EQ(app->progressIndicatorVideoExport->value(), 100);

    ASSERT_EQ(Recorded().openedURLs.size(), 1);
    EXPECT_TRUE(
        QFileInfo(Recorded().openedURLs.first() + "/HighestQuality convert-long.mov").isFile());
    EXPECT_TRUE(Messages().empty());
}

// The folder made for the movie is shown, and left empty; one that cannot be made is not.
TEST_F(ConversionWindowTest, ProblemsAreToldAndTheWindowRestored) {
    constexpr long long kAppleM4ATag = 10;
    for (const auto& [video, tag, baseFolder, title, folderMade] :
         {std::tuple{SilentVideo(), kAppleM4ATag, "", "Video Conversion Aborted", true},
          {SampleVideo(), kHighestQualityTag, "/proc", "Video Conversion Failed", false},
          {TestHome() + "/gone.mp4", kHighestQualityTag, "", "File Not Found", false}}) {
        SCOPED_TRACE(title);
        Recorded().openedURLs.clear();
        AppSettings().SetBaseFolder(baseFolder);
        Start(video, tag);
        PumpUntilRestored();
        EXPECT_EQ(OnlyMessage().title, title);
        ASSERT_EQ(Recorded().openedURLs.size(), folderMade ? 1 : 0);
        EXPECT_TRUE(!folderMade || QDir(Recorded().openedURLs.first()).isEmpty());
    }
}

TEST_F(ConversionWindowTest, ClosingTheWindowMidwayCancelsTheConversion) {
    constexpr long long k1280x720Tag = 5;  // a title no other test writes
    Start(LongVideo(), k1280x720Tag);
    app.reset();  // joins the worker, which cancels at its next progress report
    const QString movies = TestHome() + "/Videos/Stillpress Files";
    for (const QString& folder : QDir(movies).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_FALSE(QFileInfo::exists(movies + "/" + folder + "/1280x720 convert-long.mov"));
}

}  // namespace
