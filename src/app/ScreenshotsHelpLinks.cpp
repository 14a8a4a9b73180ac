// The small commands of the main window: pictures of the window for the clipboard and the
// desktop, the share menu, the help texts, the context menu and the web links. All run on
// the main thread and finish at once.
#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QToolButton>
#include <QWidget>
#include <stdexcept>

#include "app/AppDelegate.h"
#include "app/AppHelper.h"
#include "app/ControlClickWindow.h"
#include "app/Controls.h"
#include "platform/ImageFiles.h"
#include "platform/StandardFolders.h"

namespace {

const char* const kDesktopScreenshotName = "Stillpress by Quonex.png";

const char* const kHowToUseText =
    "You can Export Individual Images from a Video or Export a Video Wall Image with this "
    "Software.\n\n"
    "To Get Started, Please Follow the Given below Steps\n\n"
    "1) Select a Video File.\n"
    "2) Click on Export Images Button and Let this Software Export Individual Images from the "
    "Video.\n\n"
    "You can Right Click on the Main Screen of this Software to View Additional Features like "
    "Exporting a Video Wall, etc.\n\n"
    "To Create a Video Wall Image, You need to Export Images from a Video.\n\n"
    "Once you have Exported Images from a Video, Right Click Anywhere on the Software and from "
    "the Popup Menu, Select the Option to create Video Wall.\n\n"
    "The Images for Video Wall are Loaded from the Last Folder.\n\n"
    "Yes you can Add / Modify Images in the Last Folder for Video Wall Image Creation.";

const char* const kFrameIntervalText =
    "Value of 0.5 will Export at every 0.5 Second Interval\n\n"
    "Value of 1 will Export Images every 1 Second\n\n"
    "Value of 30 will Export Images every 30 Seconds Interval.\n\n"
    "To Export at 10 Frames (Pictures) Per Second, Enter value of 1 Divided by 10 which would "
    "be 0.1 and so on.";

void OpenLink(QWidget* window, AppHelper::Link link) {
    const QString address = AppHelper::AddressOf(link);
    if (!AppHelper::OpenURL(address)) ReportCouldNotOpen(window, address);
}

}  // namespace

// ---- Window pictures

QImage AppDelegate::windowImage() const {
    QWidget* mainWindow = GetMainWindow();
    if (!mainWindow) return {};
    // Renders the window's own widgets: works without a compositor and offscreen, and
    // never picks up other windows that overlap it.
    return mainWindow->grab().toImage();
}

bool AppDelegate::saveAsPNGImage(const QImage& image, const QString& path, QString* error) {
    QByteArray data;
    try {
        data = EncodeImage(image, ImageFileType::Png, 1.0f);
    } catch (const std::runtime_error& failure) {
        if (error) *error = QString::fromUtf8(failure.what());
        return false;
    }
    return WriteFileData(path, data, error);
}

void AppDelegate::OnCopyScreenshotToClipboard() {
    const QImage image = windowImage();
    if (image.isNull()) return;
    // A new mime data object replaces everything the clipboard held: the image is its only
    // content.
    auto* content = new QMimeData;
    content->setImageData(image);
    QGuiApplication::clipboard()->setMimeData(content);
    DisplayMessageBox("Screenshot Copied to Clipboard",
                      "You can use Command + V to Paste the Screenshot in any Image Editing or "
                      "Document Application.",
                      GetMainWindow());
}

void AppDelegate::OnCaptureScreenshotToDesktopImage() {
    const QImage image = windowImage();
    if (image.isNull()) return;
    const QString path = UserDesktopDirectory() + "/" + kDesktopScreenshotName;
    QString reason;
    if (!saveAsPNGImage(image, path, &reason)) {
        // Opening a file that was never written would only confuse the image viewer.
        DisplayMessageBox("Screenshot Not Saved",
                          QString("The Screenshot could not be Saved to the given below "
                                  "File.\n\n%1\n\n%2")
                              .arg(path, reason));
        return;
    }
    OpenOnDesktop(GetMainWindow(), path);
}

// ---- Share menu. The desktop has no share picker: the button offers the same choices as
// a menu of its own.

void AppDelegate::OnButtonShareDefault() {
    QWidget* anchor =
        buttonShareDefault ? static_cast<QWidget*>(buttonShareDefault) : GetMainWindow();
    if (!anchor) return;
    auto* menu = new QMenu(anchor);
    menu->setObjectName("shareMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The window's own commands, so that each has one name wherever it is offered.
    for (const char* name : {"actionCopyScreenshotToClipboard",
                             "actionCaptureScreenshotToDesktopImage", "-", "actionShareFacebook",
                             "actionShareGooglePlus", "actionShareTwitter", "actionShareSupport"}) {
        if (QString(name) == "-")
            menu->addSeparator();
        else if (auto* action = window ? window->findChild<QAction*>(name) : nullptr)
            menu->addAction(action);
    }
    // The menu opens on the press and takes the release, which would leave the button
    // drawn pressed.
    if (auto* button = qobject_cast<QAbstractButton*>(anchor))
        connect(menu, &QMenu::aboutToHide, button, [button] { button->setDown(false); });
    menu->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
}

// ---- Help texts and the context menu

void AppDelegate::OnButtonClickedHelp() {
    DisplayMessageBox("How to Use this Software", kHowToUseText);
}

void AppDelegate::OnHelpFrameInterval() {
    DisplayMessageBox("Time Interval between Exported Images", kFrameIntervalText);
}

void AppDelegate::OnButtonClickedLaunchContextMenu() {
    if (pContextMenu) pContextMenu->popup(QCursor::pos());
}

// ---- Links

bool AppDelegate::OpenURL(const QString& urlText) {
    return AppHelper::OpenURL(urlText);
}

void AppDelegate::OnMenuItemHelp() {
    OpenLink(window, AppHelper::Link::HomePage);
}

void AppDelegate::OnGetAutomationSoftware() {
    OpenLink(window, AppHelper::Link::AutomationSoftware);
}

void AppDelegate::OnMenuTutorials() {
    OpenLink(window, AppHelper::Link::Tutorial);
}
void AppDelegate::OnButtonClickedTutorial() {
    OpenLink(window, AppHelper::Link::Tutorial);
}
void AppDelegate::OnButtonClickedFacebook() {
    OpenLink(window, AppHelper::Link::FacebookShare);
}
void AppDelegate::OnShareFacebook() {
    OpenLink(window, AppHelper::Link::FacebookShare);
}
void AppDelegate::OnButtonClickedGooglePlus() {
    OpenLink(window, AppHelper::Link::GooglePlusShare);
}
void AppDelegate::OnShareGooglePlus() {
    OpenLink(window, AppHelper::Link::GooglePlusShare);
}
void AppDelegate::OnButtonClickedTwitter() {
    OpenLink(window, AppHelper::Link::TwitterShare);
}
void AppDelegate::OnShareTwitter() {
    OpenLink(window, AppHelper::Link::TwitterShare);
}
void AppDelegate::OnShareSupport() {
    OpenLink(window, AppHelper::Link::SupportMail);
}
