// stillpress: the application with its main window.
#include <QApplication>
#include <QFile>
#include <QStringList>

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
    // QApplication has taken its own options (-platform, -style ...) out of argv.
    QStringList files;
    for (int index = 1; index < argc; ++index) files << QFile::decodeName(argv[index]);
    delegate.applicationOpenFiles(files);
    return QApplication::exec();
}
