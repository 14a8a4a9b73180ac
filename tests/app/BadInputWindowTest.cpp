// The window over a representative part of the bad input corpus, driven offscreen as the user
// would: its summary and every video command end with a message or a real file, and the files
// already in the places they write to stay as they were. (The folder and GIF commands run the
// same code as the headless ones, which BadInputCorpusTest takes over the whole corpus.)
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImageReader>
#include <QPushButton>
#include <QSettings>

#include "app/ImageWatermarkWindowController.h"
#include "platform/MediaAsset.h"
#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

const QByteArray kSentinel = "sentinel: the user's own file\n";
const QByteArray kPreviousOutput = "the user's earlier output\n";
constexpr long long kPngCode = 4;
constexpr int kPatienceMs = 60000;

const CorpusItem& Item(const QString& name) {
    for (const CorpusItem& item : BadInputCorpus())
        if (item.name == name) return item;
    ADD_FAILURE() << "no corpus item " << name.toStdString();
    return BadInputCorpus().front();
}

// True when `path` holds what its name promises: an image, a movie or a text.
bool IsRealOutput(const QString& path) {
    if (path.endsWith(".png")) return !QImageReader(path).size().isEmpty();
    if (path.endsWith(".txt")) return QFileInfo(path).size() > 0;
    return MediaAsset::Open(path)->hasVideoTrack();
}

struct WindowCommand {
    const char* name;
    void (AppDelegate::*run)();
    const char* target;  // the name the save panel is answered with; empty: no save panel
};

const WindowCommand kVideoCommands[] = {
    {"export images", &AppDelegate::OnExportImages, ""},
    {"wall from video", &AppDelegate::OnExportVideoWallFromVideo, "wall.png"},
    {"movie from video", &AppDelegate::OnExportVideoFromVideo, "movie.mp4"},
    {"info", &AppDelegate::OnExportVideoInfo, "info.txt"},
    {"conversion", &AppDelegate::OnExportVideo, ""},
};
const WindowCommand kFolderCommands[] = {
    {"wall from images", &AppDelegate::OnExportVideoWall, "wall.png"},
    {"movie from images", &AppDelegate::OnExportVideoFromImages, "movie.mp4"},
};

class BadInputWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        AppSettings settings;
        settings.DoRegisterDefaults();
        settings.SetFrameDelayDuringExport(0.000001);
        base = MakeTempDir("window-base");
        WriteTestFile(base + "/sentinel.txt", kSentinel);
        settings.SetBaseFolder(base);
        settings.SetSelectedFileFormat(kPngCode);
    }
    void TearDown() override { EXPECT_EQ(ReadTestFile(base + "/sentinel.txt"), kSentinel); }

    // The conversion runs on a worker; the window is restored when it ends.
    void WaitUntilIdle() const {
        QElapsedTimer clock;
        clock.start();
        while (!app->buttonExportVideo->isEnabled() && clock.elapsed() < kPatienceMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(app->buttonExportVideo->isEnabled()) << "the conversion did not end";
    }

    // Runs the command, answers its save panel with a file holding an earlier output, and
    // checks that the file is either kept or replaced by a real output.
    std::vector<MessageBoxShown> Drive(const WindowCommand& command) {
        SCOPED_TRACE(command.name);
        const QString target = MakeTempDir("window-target") + "/" + command.target;
        if (*command.target) WriteTestFile(target, kPreviousOutput);
        (app.get()->*command.run)();
        if (QFileDialog* panel = Panel(); panel && *command.target) {
            panel->setOption(QFileDialog::DontConfirmOverwrite);  // as if Replace was pressed
            AnswerPanel(panel, target);
        }
        WaitUntilIdle();
        if (*command.target && ReadTestFile(target) != kPreviousOutput) {
            EXPECT_TRUE(IsRealOutput(target)) << "a broken output replaced the earlier file";
        }
        return Messages();
    }

    // A completed export must have written files (images, in whatever format is stored).
    void ExpectExportWroteImagesIfCompleted(const std::vector<MessageBoxShown>& shown) {
        for (const MessageBoxShown& message : shown) {
            if (!message.title.contains("has Completed")) continue;
            const QDir folder(Stored("LastFolder").toString());
            EXPECT_FALSE(folder.entryList(QDir::Files | QDir::Hidden).isEmpty())
                << "completion reported without images";
        }
    }

    QString base;
};

class BadVideoWindowTest : public BadInputWindowTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(BadVideoWindowTest, SummaryAndEveryVideoCommandEndWithAMessageOrARealFile) {
    const CorpusItem& video = Item(GetParam());
    Launch();
    app->textFieldFilePath->setText(video.path);
    app->MainWindow->DisplayFileInfo();
    for (const MessageBoxShown& shown : Messages())
        EXPECT_EQ(shown.title, "Could Not Read Video Duration");
    app->textFieldFrameInterval->setText("0.5");
    for (const WindowCommand& command : kVideoCommands) {
        const std::vector<MessageBoxShown> shown = Drive(command);
        for (const MessageBoxShown& message : shown) EXPECT_FALSE(message.title.isEmpty());
        ExpectExportWroteImagesIfCompleted(shown);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadVideoWindowTest,
                         ::testing::Values("empty .mp4", "random bytes .avi", "text .mov",
                                           "MP4 cut before its moov", "faststart MP4 cut mid-mdat",
                                           "audio only .mp4", "time scale 0 (1/1024 fps)",
                                           "MJPEG AVI claiming 30000x30000"));

// The sheet says what the file is, or why it cannot be used, without loading a bomb.
TEST_F(BadInputWindowTest, BadWatermarksAreDescribed) {
    for (const CorpusItem& mark : BadInputCorpus()) {
        if (mark.kind != CorpusKind::Watermark) continue;
        SCOPED_TRACE(mark.name.toStdString());
        AppSettings settings;
        settings.SetWatermarkFilePath(mark.path);
        settings.SetAddWatermark(1);
        Launch(CorpusGoodVideo()).OnImageWatermark();
        ImageWatermarkWindowController* sheet = app->m_pImageWatermarkController;
        ASSERT_NE(sheet, nullptr);
        EXPECT_FALSE(sheet->textFieldImageDimensions->text().isEmpty());
        sheet->OnCancel();
    }
}

// QSettings rereads a file changed behind its back at its next sync.
void ReplaceStoreWith(const QByteArray& text) {
    QSettings store("Quonex", "Stillpress");
    store.sync();
    WriteTestFile(store.fileName(), text);
    store.sync();
}

TEST_F(BadInputWindowTest, GarbageSettingsStartTheWindowAndItsCommandsEnd) {
    ReplaceStoreWith(GarbageSettingsText());
    AppSettings().SetBaseFolder(base);
    Launch(CorpusGoodVideo());
    Messages();
    AppSettings().SetStringValue(CorpusGoodImageFolder(), "LastFolder");
    for (const WindowCommand& command : kVideoCommands)
        ExpectExportWroteImagesIfCompleted(Drive(command));
    for (const WindowCommand& command : kFolderCommands) Drive(command);
}

}  // namespace
