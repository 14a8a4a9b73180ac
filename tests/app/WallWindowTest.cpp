// The two image wall commands of the main window, driven as the user would: the save panels,
// their messages, the rows setting and the walls written and opened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>

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
    struct Case {
        QString typed, written;  // empty: the panel is cancelled
        long long storedRows;
    };
    for (const Case& answer : {Case{"", "", 1}, Case{"a.v1", "a.v1.png", 2}}) {
        LaunchWithSample(1).textFieldRowsInVideoWall->setText("2");
        app->OnExportVideoWallFromVideo();
        ASSERT_NO_FATAL_FAILURE(ExpectPanel(Panel(), "Export Image Wall...",
                                            QFileDialog::AcceptSave, {"PNG (*.png)"}, "png"));
        EXPECT_EQ(PanelMessage(),
                  "Select Video Wall File Name / Path\n\nNumber of Images in Video Wall = 4\nVideo "
                  "Wall Image Width = 640, Height = 120\nEach Image Width  = 160, Height = 120");
        EXPECT_EQ(NameField(), "sample");
        const QString folder = MakeTempDir("video-wall");
        AnswerPanel(Panel(), answer.typed.isEmpty() ? QString() : folder + "/" + answer.typed);
        const QString wall = folder + "/" + answer.written;
        const QStringList written = FilesIn(folder);
        EXPECT_EQ(written, answer.written.isEmpty() ? QStringList() : QStringList{answer.written});
        EXPECT_EQ(Recorded().openedURLs, written.isEmpty() ? QStringList() : QStringList{wall});
        EXPECT_EQ(QImage(wall).size(), written.isEmpty() ? QSize(0, 0) : QSize(320, 240));
        EXPECT_EQ(AppSettings().GetRowsInVideoWall(), answer.storedRows);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
        Recorded().openedURLs.clear();
    }
}

TEST_F(WallWindowTest, WallFromImagesTakesTheFilesOfThisRunsExport) {
    AppSettings().SetBaseFolder(MakeTempDir("wall-base"));
    LaunchWithSample(3).OnExportImages();
    Messages();
    ASSERT_NE(app->pArrayOfExportedFiles, nullptr);
    const auto tiles = app->pArrayOfExportedFiles->size();
    ASSERT_GE(tiles, 2);
    // Listed first in the folder, it would stop a wall made from the folder's listing.
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
    struct Case {
        long long format;
        QString suggested, typed;
        QByteArray magic;
    };
    for (const Case& saved : {Case{3, "Video Wall.jpg", "wall.png", "\xFF\xD8\xFF"},
                              Case{1, "Video Wall.bmp", "wall", "BM"}}) {
        AppSettings().SetSelectedFileFormat(saved.format);
        LaunchWithSample(3).OnExportVideoWall();
        ASSERT_NO_FATAL_FAILURE(
            ExpectPanel(Panel(), "Saving Image Wall...", QFileDialog::AcceptSave));
        EXPECT_EQ(NameField(), saved.suggested);
        const QString wall = MakeTempDir("typed-wall") + "/" + saved.typed;
        AnswerPanel(Panel(), wall);
        EXPECT_TRUE(ReadTestFile(wall).startsWith(saved.magic)) << saved.typed.toStdString();
        EXPECT_EQ(QImage(wall).size(), QSize(40, 60));
        EXPECT_EQ(Recorded().openedURLs.takeLast(), wall);
    }
}

}  // namespace
