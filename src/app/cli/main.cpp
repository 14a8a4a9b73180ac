// stillpress-cli: the headless commands.
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "app/core/HeadlessCommand.h"
#include "platform/DiagnosticLog.h"

namespace {
// Qt's own warnings are diagnostics: they go where the diagnostic lines go.
void ForwardQtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    LogLine(message);
}
}  // namespace

int main(int argc, char** argv) {
    SetLogToStandardError(false);  // --verbose turns it on
    qInstallMessageHandler(ForwardQtMessage);
    // Fonts and painting need a GUI application, but never a window.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int status = RunHeadlessCommand(arguments, out, err);
    out.flush();
    err.flush();
    return status;
}
