// The About box of the Help menu: this build's version, the FFmpeg libraries and Qt it runs
// with, and the licence.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>

#include "support/AppFixtures.h"

namespace {

// What the ffmpeg command says of the same shared libraries: its release, and the version
// each library was loaded at ("libavcodec     59. 37.100 / 59. 37.100", built / loaded),
// as "libavcodec 59.37.100".
QStringList FFmpegCommandVersions() {
    QByteArray out;
    EXPECT_EQ(RunProgram("ffmpeg", {"-version"}, &out), 0);
    QStringList versions;
    static const QRegularExpression release("^ffmpeg version (\\S+)");
    static const QRegularExpression library(
        "^(lib\\w+) +\\d+\\. *\\d+\\. *\\d+ / +(\\d+)\\. *(\\d+)\\. *(\\d+)$");
    for (const QString& line : QString::fromUtf8(out).split('\n')) {
        if (const auto match = release.match(line); match.hasMatch())
            versions << "FFmpeg " + match.captured(1);
        if (const auto match = library.match(line.trimmed()); match.hasMatch())
            versions << QString("%1 %2.%3.%4")
                            .arg(match.captured(1), match.captured(2), match.captured(3),
                                 match.captured(4));
    }
    return versions;
}

QAction* HelpMenuItem(const QMainWindow* window, const QString& text) {
    const auto* menu = window->findChild<QMenu*>("menuHelp");
    if (menu == nullptr) return nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

class AboutBoxTest : public WindowTest {};

TEST_F(AboutBoxTest, HelpMenuShowsVersionsAndLicence) {
    Launch();
    QAction* about = HelpMenuItem(app->window, "About Stillpress");
    ASSERT_NE(about, nullptr);
    about->trigger();  // returns at once: the box is a sheet, not a nested event loop
    const auto* box = app->window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "About Stillpress");
    const MessageBoxShown shown = OnlyMessage();
    EXPECT_EQ(shown.title, "Stillpress " STILLPRESS_VERSION);
    EXPECT_TRUE(shown.windowModal);
    EXPECT_EQ(shown.buttons, QStringList{"OK"});

    const QStringList fromCommand = FFmpegCommandVersions();
    QStringList expected{"Qt " + QString(qVersion()),
                         "Licence: GNU General Public License, version 2 or later"};
    for (const char* library : {"FFmpeg ", "libavformat ", "libavcodec ", "libavfilter ",
                                "libswscale ", "libswresample ", "libavutil "}) {
        const QStringList found = fromCommand.filter(QRegularExpression("^" + QString(library)));
        ASSERT_EQ(found.size(), 1) << library << fromCommand.join(", ").toStdString();
        expected << found.front();
    }
    for (const QString& text : expected)
        EXPECT_TRUE(shown.text.contains(text)) << text.toStdString() << "\nin\n"
                                               << shown.text.toStdString();
}

}  // namespace
