// The window's pictures (to the Desktop and the clipboard), its help texts, and the addresses
// its link commands, share menu and social table open.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>

#include "app/AppHelper.h"
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

class ScreenshotsHelpLinksTest : public WindowTest {
  protected:
    void SetUp() override {
        QDir(UserDesktopDirectory()).removeRecursively();
        QDir().mkpath(UserDesktopDirectory());
        Launch();
    }
    QString DesktopScreenshotPath() const {
        return UserDesktopDirectory() + "/Stillpress by Quonex.png";
    }
};

TEST_F(ScreenshotsHelpLinksTest, DesktopScreenshotReplacesItsFileWithTheLatestPicture) {
    app->textFieldFilePath->setText("/first/video.mp4");
    app->OnCaptureScreenshotToDesktopImage();
    app->textFieldFilePath->setText("/a/much/longer/path/of/the/second/video.mov");
    app->OnCaptureScreenshotToDesktopImage();
    const QImage saved = LoadImageFile(DesktopScreenshotPath());
    const QImage expected = app->windowImage();
    ASSERT_EQ(saved.size(), app->window->size());
    EXPECT_EQ(CompareImages(saved, expected).maxDifference, 0);
    EXPECT_EQ(QDir(UserDesktopDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"Stillpress by Quonex.png"});
    EXPECT_EQ(Recorded().openedURLs,
              QStringList({DesktopScreenshotPath(), DesktopScreenshotPath()}));
    EXPECT_TRUE(Messages().empty());  // success says nothing
}

TEST_F(ScreenshotsHelpLinksTest, UnwritableDesktopScreenshotIsReportedAndNotOpened) {
    QDir().mkpath(DesktopScreenshotPath());  // a folder takes the file's name
    app->OnCaptureScreenshotToDesktopImage();
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "Screenshot Not Saved");
    EXPECT_TRUE(message.text.contains(DesktopScreenshotPath()));
    EXPECT_TRUE(QFileInfo(DesktopScreenshotPath()).isDir());  // left as it was
}

TEST_F(ScreenshotsHelpLinksTest, HelpTextsAreShownWithTheWideButton) {
    app->OnButtonClickedHelp();
    const MessageBoxShown message = OnlyMessage();
    EXPECT_EQ(message.title, "How to Use this Software");
    EXPECT_TRUE(message.text.contains("Steps\n\n1) Select a Video File.\n2) Click on Export"));
    EXPECT_TRUE(message.text.endsWith("Last Folder for Video Wall Image Creation."));
    EXPECT_EQ(message.buttons, QStringList{"                OK                "});
}

TEST_F(ScreenshotsHelpLinksTest, LinkCommandsAndTheSocialTableOpenTheirAddresses) {
    const AppHelper helper;
    for (long long outside : {-1LL, 0LL, 6LL}) helper.OpenSocialLink(outside);
    for (const char* noUrl : {"", "   ", "not a url", "relative/page.html"})
        EXPECT_FALSE(AppDelegate::OpenURL(noUrl)) << noUrl;
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    for (long long index = 1; index <= 5; ++index) helper.OpenSocialLink(index);
    for (const auto command :
         {&AppDelegate::OnMenuItemHelp, &AppDelegate::OnGetAutomationSoftware,
          &AppDelegate::OnMenuTutorials, &AppDelegate::OnButtonClickedTutorial,
          &AppDelegate::OnButtonClickedFacebook, &AppDelegate::OnShareFacebook,
          &AppDelegate::OnButtonClickedGooglePlus, &AppDelegate::OnShareGooglePlus,
          &AppDelegate::OnButtonClickedTwitter, &AppDelegate::OnShareTwitter,
          &AppDelegate::OnShareSupport})
        (app.get()->*command)();
    EXPECT_EQ(Recorded().openedURLs,
              QStringList({kTutorial, kFacebook, kGooglePlus, kTwitter, kSupport,
                           "https://www.example.com/stillpress",
                           "https://www.example.com/automation", kTutorial, kTutorial, kFacebook,
                           kFacebook, kGooglePlus, kGooglePlus, kTwitter, kTwitter, kSupport}));
}

// Its first item copies the window's picture, and only that, to the clipboard; the message
// saying so closes the menu.
TEST_F(ScreenshotsHelpLinksTest, ShareMenuCopiesThePictureAndOpensTheAddresses) {
    QGuiApplication::clipboard()->setText("earlier text");
    app->OnButtonShareDefault();
    QMenu* menu = app->buttonShareDefault->findChild<QMenu*>("shareMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().first()->text(), "Copy Screenshot to Clipboard");
    for (QAction* action : menu->actions().mid(3)) action->trigger();
    EXPECT_EQ(Recorded().openedURLs, QStringList({kFacebook, kGooglePlus, kTwitter, kSupport}));
    menu->actions().at(0)->trigger();
    const QMimeData* content = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->formats().size(), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), app->GetMainWindow()->size());
    EXPECT_EQ(OnlyMessage().title, "Screenshot Copied to Clipboard");
}

}  // namespace
