// The conversion by export preset from the main window and from stillpress-cli: the controls
// while a conversion runs, its progress, the folder opened, and the messages of the
// conversions that cannot run or fail.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

constexpr long long kHighestQualityTag = 2;
constexpr long long kAppleM4ATag = 10;
constexpr int kPatienceMs = 120000;

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

// Long and large enough that the window sees the progress between start and end.
QString LongVideo() {
    return MakeVideo("convert-long.mp4",
                     {"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30:duration=12", "-c:v",
                      "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

QString SilentVideo() {
    return MakeVideo("convert-silent.mp4",
                     {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-c:v",
                      "libx264", "-pix_fmt", "yuv420p"});
}

class ConversionWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        AppSettings::ClearRegisteredDefaults();
        Recorded().openedURLs.clear();
        app = std::make_unique<AppDelegate>();
        app->applicationDidFinishLaunching();
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Start(const QString& video, long long tag) {
        app->textFieldFilePath->setText(video);
        app->popupButtonVideoFormat->setCurrentIndex(app->popupButtonVideoFormat->findData(tag));
        app->OnExportVideo();
    }
    bool IsIdle() const {
        return app->buttonExportVideo->isEnabled() && app->popupButtonVideoFormat->isEnabled() &&
               app->progressIndicatorVideoExport->isHidden() &&
               app->textFieldPercentage->isHidden();
    }
    // Runs the event loop until the window is restored; answers every percentage text shown.
    QStringList PumpUntilRestored() {
        QStringList texts;
        QElapsedTimer clock;
        clock.start();
        while (!IsIdle() && clock.elapsed() < kPatienceMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const QString text = app->textFieldPercentage->text();
            if (texts.isEmpty() || texts.last() != text) texts << text;
        }
        EXPECT_TRUE(IsIdle()) << "the window was not restored";
        return texts;
    }
    std::unique_ptr<AppDelegate> app;
};

TEST_F(ConversionWindowTest, PopupTitlesComeFromThePresetNames) {
    const QComboBox* popup = app->popupButtonVideoFormat;
    ASSERT_EQ(popup->count(), 13);
    for (auto [tag, title] : {std::pair{kHighestQualityTag, "HighestQuality"},
                              {kAppleM4ATag, "Apple M4A"},
                              {5LL, "1280x720"}})
        EXPECT_EQ(popup->itemText(popup->findData(tag)), title);
}

TEST_F(ConversionWindowTest, ControlsAreHeldWhileTheProgressAdvancesAndTheFolderOpens) {
    const QString video = LongVideo();
    Start(video, kHighestQualityTag);
    EXPECT_FALSE(app->buttonExportVideo->isEnabled() || app->popupButtonVideoFormat->isEnabled() ||
                 app->progressIndicatorVideoExport->isHidden() ||
                 app->textFieldPercentage->isHidden());
    EXPECT_EQ(app->progressIndicatorVideoExport->value(), 0);
    EXPECT_EQ(AppSettings().GetSelectedVideoFileFormat(), kHighestQualityTag);
    EXPECT_EQ(app->m_pExtraFileName, "HighestQuality");

    QList<double> percentages;
    for (const QString& text : PumpUntilRestored())
        if (!text.isEmpty()) percentages << text.chopped(2).toDouble();
    EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
    ASSERT_GE(percentages.size(), 3) << "no progress between start and end";
    EXPECT_EQ(app->textFieldPercentage->text(), "100.00 %");
    EXPECT_EQ(app->progressIndicatorVideoExport->value(), 100);

    ASSERT_EQ(Recorded().openedURLs.size(), 1);
    const QString folder = Recorded().openedURLs.first();
    EXPECT_TRUE(QFileInfo(folder + "/HighestQuality convert-long.mov").isFile());
    EXPECT_TRUE(CloseMessageBoxes(app->window).empty());
}

struct WindowProblemCase {
    const char* name;
    QString (*video)();
    long long tag;
    const char* baseFolder;
    const char* title;
};

class ConversionWindowProblemTest : public ConversionWindowTest,
                                    public ::testing::WithParamInterface<WindowProblemCase> {};

const WindowProblemCase kWindowProblems[] = {
    {"SoundPresetOnSilentVideo", SilentVideo, kAppleM4ATag, "", "Video Conversion Aborted"},
    {"UnwritableFolder", SampleVideo, kHighestQualityTag, "/proc", "Video Conversion Failed"},
};

TEST_P(ConversionWindowProblemTest, SaysSoRestoresTheWindowAndLeavesNoFile) {
    const WindowProblemCase& c = GetParam();
    AppSettings().SetBaseFolder(c.baseFolder);
    Start(c.video(), c.tag);
    PumpUntilRestored();
    const MessageBoxShown shown = CloseOnlyMessageBox(app->window);
    EXPECT_EQ(shown.title, c.title);
    ASSERT_EQ(Recorded().openedURLs.size(), 1);
    EXPECT_TRUE(QDir(Recorded().openedURLs.first()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Problems, ConversionWindowProblemTest,
                         ::testing::ValuesIn(kWindowProblems),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionWindowTest, MissingVideoStartsNothing) {
    Start(TestHome() + "/gone.mp4", kHighestQualityTag);
    EXPECT_TRUE(IsIdle());
    EXPECT_FALSE(CloseOnlyMessageBox(app->window).title.isEmpty());
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
}

TEST_F(ConversionWindowTest, ClosingTheWindowMidwayCancelsTheConversion) {
    constexpr long long k1280x720Tag = 5;  // a title no other test writes
    Start(LongVideo(), k1280x720Tag);
    app.reset();  // joins the worker, which cancels at its next progress report
    const QString movies = TestHome() + "/Videos/Stillpress Files";
    for (const QString& folder : QDir(movies).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_FALSE(QFileInfo::exists(movies + "/" + folder + "/1280x720 convert-long.mov"));
}

struct CliCase {
    const char* name;
    QStringList arguments;  // after "convert VIDEO"
    int status;
    const char* ending;  // of the last line of stdout, or of stderr's first line
};

class ConversionCliTest : public ::testing::TestWithParam<CliCase> {
  protected:
    void SetUp() override { ResetSettingsStore(); }
};

const CliCase kCliCases[] = {
    {"ByTitle", {"--preset", "Apple M4A"}, 0, "/Apple M4A sample.mov"},
    {"ByName", {"--preset", "AVAssetExportPreset640x480"}, 0, "/640x480 sample.mov"},
    {"ByTag", {"--preset", "11"}, 0, "/Passthrough sample.mov"},
    {"UnknownPreset", {"--preset", "Huge"}, 2, "not \"Huge\""},
    {"UnwritableFolder", {"--preset", "2", "--base-folder", "/proc"}, 1, ""},
};

TEST_P(ConversionCliTest, ConvertsAndAnswersWithTheStatusOfTheOtherCommands) {
    const CliCase& c = GetParam();
    const CliResult result = RunCli(QStringList{"convert", SampleVideo()} + c.arguments);
    ASSERT_EQ(result.status, c.status) << result.err.toStdString();
    if (c.status == 0) {
        EXPECT_TRUE(result.LastLine().endsWith(c.ending));
        EXPECT_TRUE(QFileInfo(result.LastLine()).isFile());
    } else {
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_TRUE(result.err.split('\n').first().contains(c.ending)) << result.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, ConversionCliTest, ::testing::ValuesIn(kCliCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConversionCliListTest, ListsThePresetsAndRefusesWhatCannotRun) {
    ResetSettingsStore();
    const CliResult list = RunCli({"convert", "--list-presets"});
    EXPECT_EQ(list.status, 0);
    const QStringList lines = list.out.split('\n');
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[10], "AVAssetExportPresetAppleM4A\tApple M4A");

    const CliResult silent =
        RunCli({"convert", SilentVideo(), "--preset", "AVAssetExportPresetAppleM4A"});
    EXPECT_EQ(silent.status, 2);
    EXPECT_TRUE(silent.err.startsWith("Video Conversion Aborted: ")) << silent.err.toStdString();
    EXPECT_EQ(RunCli({"convert", TestHome() + "/gone.mp4"}).status, 2);
    EXPECT_EQ(RunCli({"convert"}).status, 2);
}

}  // namespace
