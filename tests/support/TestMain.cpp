// Every test process gets its own home, settings store and user folders, and an offscreen
// application; every test starts and ends with an empty store and workspace record.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/Workspace.h"
#include "support/Fixtures.h"

namespace {
QString g_strHome;

class FreshStatePerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { ResetTestState(); }
    // After the fixture is gone: what it closed is deleted before the next test starts.
    void OnTestEnd(const ::testing::TestInfo&) override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetTestState();
    }
};
}  // namespace

QString TestHome() {
    return g_strHome;
}

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + "/stillpress-test-XXXXXX");
    if (!home.isValid()) return 3;
    g_strHome = home.path();
    const QByteArray homePath = QFile::encodeName(g_strHome);
    setenv("HOME", homePath.constData(), 1);
    setenv("XDG_CONFIG_HOME", (homePath + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", (homePath + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (homePath + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", homePath.constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const char* folder : {"Pictures", "Videos", "Desktop"}) QDir(g_strHome).mkpath(folder);

    QApplication application(argc, argv);  // widgets, fonts and painting need one
    SetSharedWorkspace(std::make_shared<RecordingWorkspace>());
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStatePerTest);
    return RUN_ALL_TESTS();
}
