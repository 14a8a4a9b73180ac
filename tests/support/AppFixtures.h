#pragma once
// Fixtures of the application tests: the headless command run as a process, the bundled
// sample, and answering the window's file panels.

#include <QCoreApplication>
#include <QFileDialog>
#include <QString>
#include <QStringList>

#include "support/Fixtures.h"

// The bundled sample: 320 x 240, 30 fps, 8 s.
inline QString SampleVideo() {
    return QString(STILLPRESS_SOURCE_DIR) + "/samples/sample.mp4";
}

struct CliResult {
    int status = -1;
    QString out;  // trimmed
    QString err;
    QByteArray rawOut;  // stdout exactly as written
    QString LastLine() const { return out.split('\n').last(); }
};

inline CliResult RunCli(const QStringList& arguments) {
    QByteArray out, err;
    const int status = RunProgram(STILLPRESS_CLI, arguments, &out, &err);
    return {status, QString::fromUtf8(out).trimmed(), QString::fromUtf8(err), out};
}

// Answers a panel with `path` (its accept button) or cancels it (empty path).
inline void AnswerPanel(QFileDialog* panel, const QString& path) {
    if (path.isEmpty()) {
        panel->reject();
    } else {
        panel->selectFile(path);
        static_cast<QDialog*>(panel)->accept();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
