#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdlib>

namespace {
void Silent(QtMsgType, const QMessageLogContext&, const QString&) {}
}  // namespace

void PrepareFuzzTarget() {
    static QGuiApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qInstallMessageHandler(Silent);
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);  // lives as long as the process
    }();
    (void)application;
}

QString InputAsFile(const uint8_t* data, size_t size, const char* suffix) {
    const QString path = QString("%1/stillpress-fuzz-%2%3")
                             .arg(QDir::tempPath())
                             .arg(QCoreApplication::applicationPid())
                             .arg(suffix);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return path;
}
