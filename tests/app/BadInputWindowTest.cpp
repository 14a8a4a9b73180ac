// The window's commands over a representative part of the bad input corpus, driven offscreen
// as the user would: every command ends with a message or a real file, and the files already
// in the places it writes to stay as they were.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/ImageWatermarkWindowController.h"
#include "platform/MediaAsset.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
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

class BadInputWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        AppSettings settings;
        settings.DoRegisterDefaults();
        settings.SetFrameDelayDuringExport(0.000001);
        base = MakeTempDir("window-base");
        WriteTestFile(base + "/sentinel.txt", kSentinel);
        settings.SetBaseFolder(base);
        settings.SetSelectedFileFormat(kPngCode);
        SharedWorkspaceRecording().openedURLs.clear();
    }
    void TearDown() override {
        EXPECT_EQ(ReadTestFile(base + "/sentinel.txt"), kSentinel);
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetSettingsStore();
    }
    static RecordingWorkspace& SharedWorkspaceRecording() {
        return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
    }

    AppDelegate& Launch() {
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
        return *app;
    }
    QFileDialog* Panel() const { return app->window->findChild<QFileDialog*>(); }
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
        return CloseMessageBoxes(app->window);
    }

    // A completed export must have written files (images, in whatever format is stored).
    void ExpectExportWroteImagesIfCompleted(const std::vector<MessageBoxShown>& shown) {
        for (const MessageBoxShown& message : shown) {
            if (!message.title.contains("has Completed")) continue;
            const QDir folder(AppSettings().GetStringValue("LastFolder"));
            EXPECT_FALSE(folder.entryList(QDir::Files | QDir::Hidden).isEmpty())
                << "completion reported without images";
        }
    }

    QString base;
    std::unique_ptr<AppDelegate> app;
};

class BadVideoWindowTest : public BadInputWindowTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(BadVideoWindowTest, SummaryAndEveryVideoCommandEndWithAMessageOrARealFile) {
    const CorpusItem& video = Item(GetParam());
    Launch();
    app->textFieldFilePath->setText(video.path);
    app->MainWindow->DisplayFileInfo();
    for (const MessageBoxShown& shown : CloseMessageBoxes(app->window))
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

TEST_F(BadInputWindowTest, FolderCommandsOverBadLastFoldersEndWithAMessageOrARealFile) {
    Launch();
    for (const char* name : {"junk, hidden, empty, mixed sizes", "no images at all", "empty folder",
                             "a file, not a folder"}) {
        SCOPED_TRACE(name);
        AppSettings().SetStringValue(Item(name).path, "LastFolder");
        app->pArrayOfExportedFiles.reset();
        for (const WindowCommand& command : kFolderCommands)
            for (const MessageBoxShown& message : Drive(command))
                EXPECT_FALSE(message.title.isEmpty());
    }
}

TEST_F(BadInputWindowTest, GifFramesOfBadGifsEndWithAMessageOrFrames) {
    Launch();
    for (const CorpusItem& gif : BadInputCorpus()) {
        // A line break cannot be typed into the panel's name field.
        if (gif.kind != CorpusKind::Gif || gif.path.contains('\n')) continue;
        SCOPED_TRACE(gif.name.toStdString());
        const QString folder = MakeTempDir("window-gif");
        const QString frames = folder + "/" + QFileInfo(gif.path).completeBaseName();
        QDir().mkpath(frames);
        WriteTestFile(frames + "/sentinel.txt", kSentinel);
        app->OnExtractImagesFromGIFFile();
        AnswerPanel(Panel(), gif.path);
        if (Panel() != nullptr) AnswerPanel(Panel(), folder);
        const std::vector<MessageBoxShown> shown = CloseMessageBoxes(app->window);
        const qsizetype written = QDir(frames).entryList(QDir::Files).size() - 1;
        EXPECT_TRUE(written > 0 || !shown.empty()) << "neither frames nor a message";
        EXPECT_EQ(ReadTestFile(frames + "/sentinel.txt"), kSentinel);
    }
}

TEST_F(BadInputWindowTest, BadWatermarksAreDescribedAndExportsStillWriteImages) {
    for (const CorpusItem& mark : BadInputCorpus()) {
        if (mark.kind != CorpusKind::Watermark) continue;
        SCOPED_TRACE(mark.name.toStdString());
        AppSettings settings;
        settings.SetWatermarkFilePath(mark.path);
        settings.SetAddWatermark(1);
        settings.SetLastVideo(CorpusGoodVideo());
        Launch();
        app->OnImageWatermark();
        ImageWatermarkWindowController* sheet = app->m_pImageWatermarkController;
        ASSERT_NE(sheet, nullptr);
        // The sheet says what the file is, or why it cannot be used.
        EXPECT_FALSE(sheet->textFieldImageDimensions->text().isEmpty());
        sheet->OnOK();
        ExpectExportWroteImagesIfCompleted(Drive(kVideoCommands[0]));
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
    AppSettings().SetLastVideo(CorpusGoodVideo());
    AppSettings().SetBaseFolder(base);
    Launch();
    CloseMessageBoxes(app->window);
    AppSettings().SetStringValue(CorpusGoodImageFolder(), "LastFolder");
    for (const WindowCommand& command : kVideoCommands)
        ExpectExportWroteImagesIfCompleted(Drive(command));
    for (const WindowCommand& command : kFolderCommands) Drive(command);
}

}  // namespace
