#pragma once
// Fixtures of the application tests: the headless command run as a process, the main window
// launched as at start-up, and answering its file panels.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "platform/DiagnosticLog.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

struct CliResult {
    int status = -1;
    QString out;  // trimmed
    QString err;
    QByteArray rawOut;  // stdout exactly as written
    QString LastLine() const { return out.split('\n').last(); }
};

inline CliResult RunCli(const QStringList& arguments, int timeoutMs = 300000) {
    QByteArray out, err;
    const int status = RunProgram(STILLPRESS_CLI, arguments, &out, &err, timeoutMs);
    return {status, QString::fromUtf8(out).trimmed(), QString::fromUtf8(err), out};
}

// A command line and how it ends: its exit status and a text of its error output. A failing
// command prints nothing on its standard output.
struct CliCase {
    QStringList arguments;
    int status;
    QString err;
};

inline void ExpectCliOutcomes(const std::vector<CliCase>& cases) {
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult result = RunCli(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.err.contains(c.err)) << result.err.toStdString();
        EXPECT_TRUE(c.status == 0 || result.out.isEmpty()) << result.out.toStdString();
    }
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

// Expects one of the program's panels: a window-modal sheet of Qt's own dialog, whose save
// panels can make folders. Empty filters or suffix are not checked.
inline void ExpectPanel(const QFileDialog* panel, const QString& title,
                        QFileDialog::AcceptMode mode, const QStringList& filters = {},
                        const QString& suffix = {}) {
    ASSERT_NE(panel, nullptr) << title.toStdString();
    EXPECT_EQ(panel->windowTitle(), title);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(panel->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(panel->testOption(QFileDialog::ReadOnly));
    EXPECT_EQ(panel->acceptMode(), mode);
    EXPECT_TRUE(filters.isEmpty() || panel->nameFilters() == filters)
        << panel->nameFilters().join(';').toStdString();
    EXPECT_TRUE(suffix.isEmpty() || panel->defaultSuffix() == suffix)
        << panel->defaultSuffix().toStdString();
}

// A test of the main window. Launch() starts it as the program does; it is closed when the
// test ends.
class WindowTest : public ::testing::Test {
  protected:
    ~WindowTest() override { SetLogObserver({}); }  // before the window goes
    // A non-empty `lastVideo` is stored first, as if chosen in an earlier session.
    AppDelegate& Launch(const QString& lastVideo = {}) {
        if (!lastVideo.isEmpty()) AppSettings().SetLastVideo(lastVideo);
        app.reset();
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
        return *app;
    }
    QFileDialog* Panel() const { return app->window->findChild<QFileDialog*>(); }
    QString PanelMessage() const { return Panel()->findChild<QLabel*>("panelMessage")->text(); }
    QString NameField() const { return Panel()->findChild<QLineEdit*>("fileNameEdit")->text(); }
    std::vector<MessageBoxShown> Messages() const { return CloseMessageBoxes(app->window); }
    MessageBoxShown OnlyMessage() const { return CloseOnlyMessageBox(app->window); }

    std::unique_ptr<AppDelegate> app;
};
