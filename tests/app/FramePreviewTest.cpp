// The main window's preview of the frame at From: what it shows and when, the summary's notes,
// a window that goes while a decode runs; and frames as players show them, there and written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QThread>
#include <functional>

#include "app/FramePreview.h"
#include "app/SettingsWindowController.h"
#include "platform/ImageFiles.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/AppFixtures.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    return true;
}

void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

QString CentreColour(const QImage& frame) {
    const QColor c = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    if (c.red() > 200 && c.green() < 60 && c.blue() < 60) return "red";
    if (c.blue() > 200 && c.red() < 60 && c.green() < 60) return "blue";
    return "other";
}

class FramePreviewTest : public WindowTest {
  protected:
    // The icon is what the label shows before any frame is decoded.
    void LaunchWith(const QString& video) {
        Launch(video);
        icon = Shown();
        ASSERT_FALSE(icon.isNull());
    }
    // 1 s of red, then 1 s of blue, 64 x 48 at 10 fps; shown once its first frame is.
    void LaunchWithRedThenBlue() {
        LaunchWith(MakeVideo(
            "red-then-blue.mp4",
            "-f lavfi -i color=red:size=64x48:rate=10:duration=1 -f lavfi -i "
            "color=blue:size=64x48:rate=10:duration=1 -filter_complex [0][1]concat=n=2:v=1 "
            "-c:v libx264 -pix_fmt yuv420p"));
        ASSERT_TRUE(WaitUntil([this] { return Showing() == "red"; })) << Showing().toStdString();
    }
    QImage Shown() const { return app->imageViewFileType->pixmap().toImage(); }
    QString Showing() const { return Shown() == icon ? "icon" : CentreColour(Shown()); }
    QString Shape() const {
        if (Shown() == icon) return "icon";
        return Shown().width() > Shown().height() ? "landscape" : "portrait";
    }
    FramePreview* Preview() const { return app->window->findChild<FramePreview*>(); }

    QImage icon;
};

// Typed key by key, a little apart as a quick typist presses them but closer than the pause,
// From starts one decode after the pause.
TEST_F(FramePreviewTest, ShowsTheFrameAtFromAfterThePauseAndTheIconWhereThereIsNone) {
    LaunchWithRedThenBlue();
    EXPECT_EQ(Shown().size(), QSize(48, 36));  // 64 x 48 fitted into the 48 x 48 label
    const int before = Preview()->DecodesStarted();
    for (const QString key : {"\b", "1", ".", "5"}) {
        QKeyEvent press(QEvent::KeyPress, key == "\b" ? Qt::Key_Backspace : 0, Qt::NoModifier,
                        key == "\b" ? QString() : key);
        QCoreApplication::sendEvent(app->textFieldFrom, &press);
        RunEventsFor(FramePreview::kDebounceMs / 4);
    }
    EXPECT_EQ(app->textFieldFrom->text(), "1.5");
    EXPECT_TRUE(WaitUntil([this] { return Showing() == "blue"; }));
    RunEventsFor(2 * FramePreview::kDebounceMs);
    EXPECT_EQ(Preview()->DecodesStarted(), before + 1);
    // Each step shows something else than the one before, so the wait sees its own answer.
    for (const auto& [from, expected] :
         {std::pair{"2", "icon"}, {"0.4", "red"}, {"-1", "icon"}}) {  // the end, before the first
        app->textFieldFrom->setText(from);
        EXPECT_TRUE(WaitUntil([&] { return Showing() == expected; }))
            << from << " shows " << Showing().toStdString();
    }
}

TEST_F(FramePreviewTest, AnOlderDecodeNeverReplacesANewerPreview) {
    LaunchWithRedThenBlue();
    FramePreview* preview = Preview();
    bool replaced = false;
    QStringList deliveredAfterwards;
    QObject::connect(preview, &FramePreview::frameReady, app->window, [&](const QImage& frame) {
        if (replaced) deliveredAfterwards << CentreColour(frame);
    });
    const int before = preview->DecodesStarted();
    app->textFieldFrom->setText("1.5");
    ASSERT_TRUE(WaitUntil([&] { return preview->DecodesStarted() > before; }));
    QThread::msleep(100);  // the blue decode is under way or posted, not yet delivered
    app->textFieldFrom->setText("0.5");
    replaced = true;
    ASSERT_TRUE(WaitUntil([&] { return !deliveredAfterwards.isEmpty(); }));
    RunEventsFor(2 * FramePreview::kDebounceMs);
    EXPECT_EQ(deliveredAfterwards, QStringList{"red"});
    EXPECT_EQ(Showing(), "red");
}

// Every video gets a preview; a rotated one is turned as ffplay does once OK on the settings
// sheet asks for frames as players show them, and so are the expected dimensions.
TEST_F(FramePreviewTest, SummaryNotesHdrAndRotationAndOkOnTheSheetTurnsThePreview) {
    const std::pair<QString, QString> videos[] = {
        {MakeVideo("hdr-pq.mp4",
                   "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 -c:v libx265 -x265-params "
                   "log-level=error -pix_fmt yuv420p10le -color_trc smpte2084 -color_primaries "
                   "bt2020 -colorspace bt2020nc"),
         "Dimensions : 64 X 48, HDR (PQ)"},
        {RotatedVideo(90), "Dimensions : 320 X 240, rotated 270°"},
    };
    for (const auto& [video, ending] : videos) {
        LaunchWith(video);
        EXPECT_TRUE(app->textFieldVideoDuration->text().endsWith(ending))
            << app->textFieldVideoDuration->text().toStdString();
        EXPECT_TRUE(WaitUntil([this] { return Shape() == "landscape"; }))
            << video.toStdString() << " shows " << Shape().toStdString();
    }
    const QString title = "Export Image Files From Video File - Expected Dimensions of Image(s) : ";
    EXPECT_EQ(app->nsboxExportImages->title(), title + "320 X 240");
    for (const auto& [asDisplayed, dimensions, shape] :
         {std::tuple{true, "240 X 320", "portrait"}, {false, "320 X 240", "landscape"}}) {
        app->OnButtonClickedSettings();
        app->pSettingsController->checkBoxAsDisplayed->setChecked(asDisplayed);
        app->pSettingsController->OnOK();
        EXPECT_EQ(app->nsboxExportImages->title(), title + dimensions);
        EXPECT_TRUE(WaitUntil([&] { return Shape() == shape; }))
            << shape << " but " << Shape().toStdString();
    }
}

TEST_F(FramePreviewTest, TheWindowMayGoWhileADecodeWaitsOrRuns) {
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "running" : "waiting");
        LaunchWithRedThenBlue();
        app->textFieldFrom->setText("1.5");
        const QPointer<FramePreview> preview = Preview();
        if (running) {
            const int before = preview->DecodesStarted();
            ASSERT_TRUE(WaitUntil([&] { return preview->DecodesStarted() > before; }));
        }
        app->window->close();
        app.reset();
        EXPECT_TRUE(preview.isNull());
        RunEventsFor(2 * FramePreview::kDebounceMs);  // whatever was posted is dropped
    }
}

QImage FirstFrame(const QString& video, bool asShown) {
    const auto asset = MediaAsset::Open(video);
    ImageGenerator generator(*asset);
    generator.setAppliesPreferredTrackTransform(asShown);
    return generator.copyCGImageAtTime(kCMTimeZero);
}

// Frames as players show them, asked for by the stored setting or the commands' flags, which do
// not stick: images, wall tiles and re-encoded movies follow the displayed size.
TEST(FramesAsDisplayedTest, FollowTheSettingUnlessAFlagSaysOtherwise) {
    const QSize coded(320, 240), shown(240, 320);
    const QStringList exportImages{"export-images", "--base-folder", "OUT", "--to", "0.5"};
    const std::tuple<QStringList, long long, QSize> cases[] = {
        // the command and its options after the video (OUT: a new folder), the stored setting
        {exportImages + QStringList{"--as-displayed"}, 0, shown},
        {exportImages, 1, shown},
        {exportImages + QStringList{"--no-as-displayed"}, 1, coded},
        {{"wall-from-video", "OUT/wall", "--rows", "1", "--interval", "5"}, 1, shown},
        {{"reencode", "OUT/movie.mp4", "--frame-delay", "0.000001", "--as-displayed"}, 0, shown},
    };
    for (const auto& [command, stored, expected] : cases) {
        SCOPED_TRACE(command.join(' ').toStdString() + (stored ? " stored" : ""));
        AppSettings().SetOutputImageAsDisplayed(stored);
        const QString out = MakeTempDir("as-displayed");
        QStringList arguments{command.first(), RotatedVideo(90)};
        for (const QString& argument : command.mid(1))
            arguments << QString(argument).replace("OUT", out);
        const CliResult result = RunCli(arguments);
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        const QImage image = command.first() == "reencode" ? FirstFrame(result.LastLine(), false)
                             : command.first() == "export-images"
                                 ? LoadImageFile(result.LastLine() + "/1.tiff")
                                 : LoadImageFile(result.LastLine());
        ASSERT_EQ(image.size(), expected);
        const QImage frame = FirstFrame(RotatedVideo(90), expected == shown);
        EXPECT_LT(CompareImages(image, frame).meanDifference, 3.0);
        EXPECT_EQ(Stored("OutputImageAsDisplayed").toLongLong(), stored);
    }
}

}  // namespace
