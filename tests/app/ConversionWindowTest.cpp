// The conversion by export preset from the main window: the controls while a conversion runs,
// its progress, the folder opened, and the messages of the conversions that cannot run or fail.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>

#include "support/AppFixtures.h"

namespace {

constexpr long long kHighestQualityTag = 2;
constexpr long long kAppleM4ATag = 10;

// Long and large enough that the window sees the progress between start and end.
QString LongVideo() {
    return MakeVideo("convert-long.mp4",
                     "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=12 "
                     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
}

class ConversionWindowTest : public WindowTest {
  protected:
    void SetUp() override { Launch(); }
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
        while (!IsIdle() && clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const QString text = app->textFieldPercentage->text();
            if (texts.isEmpty() || texts.last() != text) texts << text;
        }
        EXPECT_TRUE(IsIdle()) << "the window was not restored";
        return texts;
    }
};

TEST_F(ConversionWindowTest, ControlsAreHeldWhileTheProgressAdvancesAndTheFolderOpens) {
    Start(LongVideo(), kHighestQualityTag);
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
    EXPECT_TRUE(
        QFileInfo(Recorded().openedURLs.first() + "/HighestQuality convert-long.mov").isFile());
    EXPECT_TRUE(Messages().empty());
}

// The folder made for the movie is shown, and left empty; a missing video makes none, and
// one that cannot be made (below /proc) is not shown.
TEST_F(ConversionWindowTest, ProblemsAreToldAndTheWindowRestored) {
    const struct {
        QString video;
        long long tag;
        const char* baseFolder;
        const char* title;
        bool folderMade;
    } cases[] = {
        {SilentVideo(), kAppleM4ATag, "", "Video Conversion Aborted", true},
        {SampleVideo(), kHighestQualityTag, "/proc", "Video Conversion Failed", false},
        {TestHome() + "/gone.mp4", kHighestQualityTag, "", "File Not Found", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        Recorded().openedURLs.clear();
        AppSettings().SetBaseFolder(c.baseFolder);
        Start(c.video, c.tag);
        PumpUntilRestored();
        EXPECT_EQ(OnlyMessage().title, c.title);
        ASSERT_EQ(Recorded().openedURLs.size(), c.folderMade ? 1 : 0);
        EXPECT_TRUE(!c.folderMade || QDir(Recorded().openedURLs.first()).isEmpty());
    }
}

TEST_F(ConversionWindowTest, ClosingTheWindowMidwayCancelsTheConversion) {
    constexpr long long k1280x720Tag = 5;  // a title no other test writes
    Start(LongVideo(), k1280x720Tag);
    app.reset();  // joins the worker, which cancels at its next progress report
    const QString movies = TestHome() + "/Videos/Stillpress Files";
    for (const QString& folder : QDir(movies).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_FALSE(QFileInfo::exists(movies + "/" + folder + "/1280x720 convert-long.mov"));
}

}  // namespace
