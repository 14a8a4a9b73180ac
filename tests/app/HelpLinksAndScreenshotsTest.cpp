// The Help menu and message boxes, the window's pictures, the addresses the link commands, share
// menu and social table open, and what a command says when the desktop cannot open its result.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QSettings>
#include <QToolButton>
#include <functional>

#include "app/AppHelper.h"
#include "app/ImageWatermarkWindowController.h"
#include "platform/ImageFiles.h"
#include "platform/StandardFolders.h"
#include "support/AppFixtures.h"

namespace {

const QString kTutorial = "https://www.example.com/stillpress/tutorial";
const QString kFacebook =
    "https://www.facebook.com/sharer/sharer.php?u=https%3A%2F%2Fwww.example.com%2Fstillpress";
const QString kGooglePlus =
    "https://plus.google.com/share?url=https%3A%2F%2Fwww.example.com%2Fstillpress";
const QString kSupport = "mailto:support@example.com";
const QString kTwitter =
    "https://twitter.com/intent/tweet?url=https%3A%2F%2Fwww.example.com%2Fstillpress";
const QString kScreenshot = "/Stillpress by Quonex.png";  // on the Desktop

class HelpLinksTest : public WindowTest {
  protected:
    void SetUp() override {
        QDir(UserDesktopDirectory()).removeRecursively();
        QDir().mkpath(UserDesktopDirectory());
        Launch();
    }
    void TearDown() override { Recorded().refuseToOpen = false; }
};

// Message boxes are wide enough that sentences fit and paths stay on one line.
TEST_F(HelpLinksTest, HelpAndAboutBoxesShowTheirTextsAndFitThem) {
    app->OnButtonClickedHelp();
    MessageBoxShown shown = OnlyMessage();
    EXPECT_EQ(shown.title, "How to Use this Software");
    EXPECT_TRUE(shown.text.contains("Steps\n\n1) Select a Video File.\n2) Click on Export"));
    EXPECT_TRUE(shown.text.endsWith("Last Folder for Video Wall Image Creation."));
    EXPECT_EQ(shown.buttons, QStringList{"                OK                "});

    const QList<QAction*> help = app->window->findChild<QMenu*>("menuHelp")->actions();
    const auto about = std::find_if(help.begin(), help.end(), [](const QAction* action) {
        return action->text() == "About Stillpress";
    });
    ASSERT_NE(about, help.end());
    (*about)->trigger();  // returns at once: the box is a sheet, not a nested event loop
    EXPECT_EQ(app->window->findChild<QMessageBox*>()->windowTitle(), "About Stillpress");
    shown = OnlyMessage();
    EXPECT_EQ(shown.title, "Stillpress " STILLPRESS_VERSION);
    EXPECT_TRUE(shown.windowModal);
    EXPECT_EQ(shown.buttons, QStringList{"OK"});
    EXPECT_TRUE(shown.text.contains("Qt " + QString(qVersion())));
    EXPECT_TRUE(shown.text.contains("Licence: GNU General Public License, version 2 or later"));
    // What the ffmpeg command says of the same shared libraries: its release, and the version
    // each was loaded at ("libavcodec     59. 37.100 / 59. 37.100", built / loaded).
    QByteArray out;
    ASSERT_EQ(RunProgram("ffmpeg", {"-version"}, &out), 0);
    const auto release = QRegularExpression("^ffmpeg version (\\S+)").match(out);
    ASSERT_TRUE(release.hasMatch());
    EXPECT_TRUE(shown.text.contains("FFmpeg " + release.captured(1)));
    const QRegularExpression library(
        "^ *(libav(?:format|codec|filter|util)|libsw(?:scale|resample))"
        " +\\d+\\. *\\d+\\. *\\d+ / +(\\d+)\\. *(\\d+)\\. *(\\d+)$",
        QRegularExpression::MultilineOption);
    int libraries = 0;
    for (auto it = library.globalMatch(out); it.hasNext(); ++libraries) {
        const auto match = it.next();
        const QString version =
            QString("%1 %2.%3.%4")
                .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4));
        EXPECT_TRUE(shown.text.contains(version)) << version.toStdString();
    }
    EXPECT_EQ(libraries, 6) << out.toStdString();

    const QString path = TestHome() + "/Pictures/Stillpress Files/Holiday Clip 2024-07-14 00h01m";
    app->DisplayMessageBox("Title", "Two short sentences.\n\n" + path + "\n\nAnd one more.");
    const auto* box = app->window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_GE(box->width(), 420);
    const auto* text = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    EXPECT_GE(text->width(), text->fontMetrics().horizontalAdvance(path));
    EXPECT_TRUE(box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    Messages();
}

TEST_F(HelpLinksTest, DesktopScreenshotReplacesItsFileWithTheLatestPicture) {
    app->textFieldFilePath->setText("/first/video.mp4");
    app->OnCaptureScreenshotToDesktopImage();
    app->textFieldFilePath->setText("/a/much/longer/path/of/the/second/video.mov");
    app->OnCaptureScreenshotToDesktopImage();
    const QString screenshot = UserDesktopDirectory() + kScreenshot;
    const QImage saved = LoadImageFile(screenshot);
    ASSERT_EQ(saved.size(), app->window->size());
    EXPECT_EQ(CompareImages(saved, app->windowImage()).maxDifference, 0);
    EXPECT_EQ(QDir(UserDesktopDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{kScreenshot.mid(1)});
    EXPECT_EQ(Recorded().openedURLs, QStringList({screenshot, screenshot}));
    EXPECT_TRUE(Messages().empty());  // success says nothing

    QFile::remove(screenshot);
    QDir().mkpath(screenshot);  // a folder takes the file's name
    Recorded().openedURLs.clear();
    app->OnCaptureScreenshotToDesktopImage();
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "Screenshot Not Saved");
    EXPECT_TRUE(message.text.contains(screenshot));
    EXPECT_TRUE(QFileInfo(screenshot).isDir());  // left as it was
}

// The share menu's first item copies the window's picture, and only that, to the clipboard.
TEST_F(HelpLinksTest, LinkCommandsShareMenuAndSocialTableOpenTheirAddresses) {
    const AppHelper helper;
    for (long long outside : {-1LL, 0LL, 6LL}) helper.OpenSocialLink(outside);
    for (const char* noUrl : {"", "   ", "not a url", "relative/page.html"})
        EXPECT_FALSE(AppDelegate::OpenURL(noUrl)) << noUrl;
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    for (long long index = 1; index <= 5; ++index) helper.OpenSocialLink(index);
    for (const auto command :
         {&AppDelegate::OnMenuItemHelp, &AppDelegate::OnGetAutomationSoftware,
          &AppDelegate::OnMenuTutorials, &AppDelegate::OnButtonClickedTutorial,
          &AppDelegate::OnButtonClickedFacebook, &AppDelegate::OnButtonClickedGooglePlus,
          &AppDelegate::OnButtonClickedTwitter})
        (app.get()->*command)();
    app->OnButtonShareDefault();
    QMenu* menu = app->buttonShareDefault->findChild<QMenu*>("shareMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().first()->text(), "Copy Screenshot to Clipboard");
    for (QAction* action : menu->actions().mid(3)) action->trigger();
    EXPECT_EQ(Recorded().openedURLs,
              QStringList({kTutorial, kFacebook, kGooglePlus, kTwitter, kSupport,
                           "https://www.example.com/stillpress",
                           "https://www.example.com/automation", kTutorial, kTutorial, kFacebook,
                           kGooglePlus, kTwitter, kFacebook, kGooglePlus, kTwitter, kSupport}));
    QGuiApplication::clipboard()->setText("earlier text");
    menu->actions().at(0)->trigger();
    const QMimeData* content = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->formats().size(), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), app->GetMainWindow()->size());
    EXPECT_EQ(OnlyMessage().title, "Screenshot Copied to Clipboard");
}

// On a desktop that cannot open files, folders or links (no application set up for them).
TEST_F(HelpLinksTest, EveryCommandThatOpensSomethingReportsAFailure) {
    const QString lastFolder = MakeTempDir("unopened-last");
    QSettings("Quonex", "Stillpress").setValue("LastFolder", lastFolder);
    const QString mark = MakeTempDir("unopened-mark") + "/mark.png";
    ASSERT_TRUE(QImage(30, 20, QImage::Format_ARGB32).save(mark));
    AppSettings().SetWatermarkFilePath(mark);
    Launch(SampleVideo()).OnImageWatermark();
    ImageWatermarkWindowController* sheet = app->m_pImageWatermarkController;
    Recorded().refuseToOpen = true;
    const auto click = [this](const char* button) {
        return [this, button] { app->window->findChild<QAbstractButton*>(button)->click(); };
    };
    const std::tuple<std::function<void()>, QWidget*, QString> cases[] = {
        {click("buttonOpenVideoFile"), app->window, SampleVideo()},
        {click("buttonOpenLastFolder"), app->window, lastFolder},
        {[this] { app->OnMenuItemHelp(); }, app->window,
         AppHelper::AddressOf(AppHelper::Link::HomePage)},
        {[this] { app->OnCaptureScreenshotToDesktopImage(); }, app->window,
         UserDesktopDirectory() + kScreenshot},
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

    // The folder a finished export shows: the export still completes, and the failure is told.
    AppSettings().SetBaseFolder(MakeTempDir("unopened-export"));
    app->textFieldTo->setText("1");
    app->OnExportImages();
    QCoreApplication::processEvents();  // the report is posted
    const QString folder = Stored("LastFolder").toString();
    EXPECT_NE(folder, lastFolder);
    QStringList titles;
    for (const MessageBoxShown& shown : Messages()) {
        titles << shown.title;
        EXPECT_TRUE(shown.title != "Could Not Open" || shown.text.contains(folder));
    }
    EXPECT_TRUE(titles.contains("Could Not Open")) << titles.join('|').toStdString();
    EXPECT_EQ(FilesIn(folder).size(), 1);
}

}  // namespace
