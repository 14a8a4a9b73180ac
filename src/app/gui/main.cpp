// stillpress: the application with its main window.
#include <QApplication>
#include <QIcon>

#include "app/AppDelegate.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Stillpress");
    QApplication::setOrganizationName("Quonex");
    QApplication::setWindowIcon(QIcon(":/icons/stillpress.svg"));
    QApplication::setQuitOnLastWindowClosed(true);
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
