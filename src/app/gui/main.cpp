// stillpress: the application with its main window.
#include <QApplication>

#include "app/AppDelegate.h"
#include "app/ApplicationIcon.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Stillpress");
    QApplication::setOrganizationName("Quonex");
    InstallApplicationIcon();
    QApplication::setQuitOnLastWindowClosed(true);
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
