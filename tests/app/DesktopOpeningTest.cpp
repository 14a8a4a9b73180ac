// On a desktop that cannot open files, folders or links (no application set up for them),
// each command that hands something to the desktop says what it could not open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSettings>
#include <functional>

#include "app/AppHelper.h"
#include "app/ImageWatermarkWindowController.h"
#include "platform/StandardFolders.h"
#include "support/AppFixtures.h"

namespace {

class DesktopOpeningTest : public WindowTest {
  protected:
    void TearDown() override { Recorded().refuseToOpen = false; }
    void Click(const char* button) const {
        app->window->findChild<QAbstractButton*>(button)->click();
    }
};

TEST_F(DesktopOpeningTest, EveryCommandThatOpensSomethingReportsAFailure) {
    const QString lastFolder = MakeTempDir("unopened-last");
    QSettings("Quonex", "Stillpress").setValue("LastFolder", lastFolder);
    const QString mark = MakeTempDir("unopened-mark") + "/mark.png";
    ASSERT_TRUE(QImage(30, 20, QImage::Format_ARGB32).save(mark));
    AppSettings().SetWatermarkFilePath(mark);
    Launch(SampleVideo()).OnImageWatermark();
    ImageWatermarkWindowController* sheet = app->m_pImageWatermarkController;
    Recorded().refuseToOpen = true;
    const auto link = [](AppHelper::Link link) { return AppHelper::AddressOf(link); };
    const std::tuple<std::function<void()>, QWidget*, QString> cases[] = {
        {[this] { Click("buttonOpenVideoFile"); }, app->window, SampleVideo()},
        {[this] { Click("buttonOpenLastFolder"); }, app->window, lastFolder},
        {[this] { app->OnMenuItemHelp(); }, app->window, link(AppHelper::Link::HomePage)},
        {[this] { app->OnCaptureScreenshotToDesktopImage(); }, app->window,
         UserDesktopDirectory() + "/Stillpress by Quonex.png"},
        {[sheet] { sheet->OnOpenWatermarkImageFilePath(); }, sheet, mark},
        // The file browser shows a file by opening its folder.
        {[sheet] { sheet->OnLocateWatermark(); }, sheet, QFileInfo(mark).absolutePath()},
    };
    for (const auto& [act, window, what] : cases) {
        act();
        const MessageBoxShown shown = CloseOnlyMessageBox(window);
        EXPECT_EQ(shown.title, "Could Not Open") << what.toStdString();
        EXPECT_TRUE(shown.text.contains("\n\n" + what + "\n\n")) << shown.text.toStdString();
        EXPECT_TRUE(shown.windowModal);
    }
    EXPECT_TRUE(Recorded().openedURLs.isEmpty() && Recorded().selectedFiles.isEmpty());
    sheet->OnCancel();
}

// The folder a finished export shows: the export still completes, and the failure is told.
TEST_F(DesktopOpeningTest, AnExportsFolderThatCannotBeShownIsReported) {
    AppSettings().SetBaseFolder(MakeTempDir("unopened-export"));
    Launch(SampleVideo());
    app->textFieldTo->setText("1");
    Recorded().refuseToOpen = true;
    app->OnExportImages();
    QCoreApplication::processEvents();  // the report is posted
    const QString folder = Stored("LastFolder").toString();
    QStringList titles;
    for (const MessageBoxShown& shown : Messages()) {
        titles << shown.title;
        if (shown.title == "Could Not Open") {
            EXPECT_TRUE(shown.text.contains(folder));
        }
    }
    EXPECT_TRUE(titles.contains("Could Not Open")) << titles.join('|').toStdString();
    EXPECT_EQ(FilesIn(folder).size(), 1);
}

}  // namespace
