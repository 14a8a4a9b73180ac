// The "About Stillpress" box of the Help menu.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QtGlobal>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/Controls.h"
#include "platform/LibraryVersions.h"
#include "platform/Version.h"

namespace {

// The FFmpeg build links libx264 and libx265, which are under the GPL, so the program as a
// whole is too.
const char* const kLicence = "GNU General Public License, version 2 or later";

QString AboutText() {
    return QStringLiteral(
               "Saves the exact frames of a video as image files.\n\n"
               "FFmpeg %1 (%2)\nQt %3\n\nLicence: %4")
        .arg(FFmpegVersion(), FFmpegLibraryVersions().join(QStringLiteral(", ")),
             QString::fromLatin1(qVersion()), QString::fromLatin1(kLicence));
}

}  // namespace

void AppDelegate::OnAbout() {
    QMessageBox* box = OpenMessageSheet(window, "Stillpress " + ApplicationVersion(), AboutText(),
                                        QStringLiteral("OK"));
    box->setWindowTitle(QStringLiteral("About Stillpress"));
    if (const QIcon icon = QApplication::windowIcon(); !icon.isNull())
        box->setIconPixmap(icon.pixmap(64));
}
