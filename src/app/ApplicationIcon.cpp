#include "app/ApplicationIcon.h"

#include <QApplication>
#include <QIcon>

void InstallApplicationIcon() {
    // The resource is compiled into the static window library, whose unreferenced objects the
    // linker leaves out: naming its initialiser here brings it into every program that calls
    // this function. (The macro must be used outside any namespace.)
    Q_INIT_RESOURCE(stillpress);
    // The renderings themselves rather than the drawing: window managers ask for these sizes
    // and get them crisp, and the icon needs no SVG support at run time.
    QIcon icon;
    for (const int side : ApplicationIconSides())
        icon.addFile(QString(":/icons/stillpress-%1.png").arg(side), QSize(side, side));
    QApplication::setWindowIcon(icon);
    // Wayland compositors show the icon of the desktop entry of this name instead.
    QGuiApplication::setDesktopFileName("stillpress");
}

QList<int> ApplicationIconSides() {
    return {16, 32, 48, 64, 128, 256};
}
