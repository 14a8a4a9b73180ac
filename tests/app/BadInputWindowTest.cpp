// What only the window makes of bad inputs, driven offscreen as the user would: a broken
// video's summary, and a start from a garbage settings file after which every command ends
// with its message and the files already in the base folder stay as they were. (What the
// commands write or refuse is the headless commands' code, which BadInputCorpusTest runs
// over the whole corpus.)
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>

#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

const QByteArray kSentinel = "sentinel: the user's own file\n";

const CorpusItem& Item(const QString& name) {
    for (const CorpusItem& item : BadInputCorpus())
        if (item.name == name) return item;
    ADD_FAILURE() << "no corpus item " << name.toStdString();
    return BadInputCorpus().front();
}

class BadInputWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        AppSettings settings;
        settings.DoRegisterDefaults();
        settings.SetFrameDelayDuringExport(0.000001);
        base = MakeTempDir("window-base");
        WriteTestFile(base + "/sentinel.txt", kSentinel);
        settings.SetBaseFolder(base);
        settings.SetSelectedFileFormat(4);  // PNG
    }
    void TearDown() override { EXPECT_EQ(ReadTestFile(base + "/sentinel.txt"), kSentinel); }

    // Runs every command that reads the video or the last folder, answering its save panel
    // with a new file, and waits for the conversion to end.
    void RunEveryCommand() {
        for (auto command : {&AppDelegate::OnExportImages, &AppDelegate::OnExportVideoWallFromVideo,
                             &AppDelegate::OnExportVideoFromVideo, &AppDelegate::OnExportVideoInfo,
                             &AppDelegate::OnExportVideo, &AppDelegate::OnExportVideoWall,
                             &AppDelegate::OnExportVideoFromImages}) {
            (app.get()->*command)();
            if (QFileDialog* panel = Panel()) AnswerPanel(panel, MakeTempDir("target") + "/out");
            QElapsedTimer clock;
            clock.start();
            while (!app->buttonExportVideo->isEnabled() && clock.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            ASSERT_TRUE(app->buttonExportVideo->isEnabled()) << "the conversion did not end";
            for (const MessageBoxShown& message : Messages()) EXPECT_FALSE(message.title.isEmpty());
        }
    }

    QString base;
};

TEST_F(BadInputWindowTest, ABrokenVideosSummarySaysSo) {
    for (const char* broken : {"random bytes .avi", "faststart MP4 cut mid-mdat"}) {
        Launch().textFieldFilePath->setText(Item(broken).path);
        app->MainWindow->DisplayFileInfo();
        for (const MessageBoxShown& shown : Messages())
            EXPECT_EQ(shown.title, "Could Not Read Video Duration") << broken;
    }
}

// QSettings rereads a file changed behind its back at its next sync.
TEST_F(BadInputWindowTest, GarbageSettingsStartTheWindowAndItsCommandsEnd) {
    QSettings store("Quonex", "Stillpress");
    store.sync();
    WriteTestFile(store.fileName(), GarbageSettingsText());
    store.sync();
    AppSettings().SetBaseFolder(base);
    Launch(CorpusGoodVideo());
    Messages();
    AppSettings().SetStringValue(CorpusGoodImageFolder(), "LastFolder");
    RunEveryCommand();
}

}  // namespace
