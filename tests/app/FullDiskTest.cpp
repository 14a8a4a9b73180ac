// A full disk met by every command that writes files. The command says what was not written
// and exits 1; files written before stay; a file that was to be replaced is kept as it was;
// no partial or temporary file is left. The write-fault hook fails writes as a full disk
// would; the last test fills a real small file system when one can be mounted here.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDirIterator>
#include <QImage>
#include <QTextStream>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ControlClickWindow.h"
#include "app/core/HeadlessCommand.h"
#include "platform/ImageFiles.h"
#include "platform/WriteFaults.h"
#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

const QString kSample = SampleVideo();
const QByteArray kOldContent = "the file that was here before";

struct CommandRun {
    int status = -1;
    QString err;
};

// The headless command in this process, so that the write-fault hook applies to it.
CommandRun RunInProcess(const QStringList& arguments) {
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int status = RunHeadlessCommand(arguments, outStream, errStream);
    errStream.flush();
    return {status, err};
}

// Every file below `folder`, hidden ones included, relative to it.
QStringList FilesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next().mid(folder.size() + 1);
    files.sort();
    return files;
}

QString ImageFolder() {
    static const QString folder = [] {
        const QString made = MakeTempDir("full-disk-images");
        QImage image(64, 48, QImage::Format_RGB32);
        for (int k = 0; k < 3; ++k) {
            image.fill(QColor(k * 80, 90, 200));
            image.save(QString("%1/%2.png").arg(made).arg(k));
        }
        return made;
    }();
    return folder;
}

struct FullDiskCase {
    const char* name;
    QStringList arguments;  // "OUT" stands for the case's output folder
    WriteFaultPlan plan;
    QString replaced;  // the output file (below OUT) that existed before; empty: none
    QString title;     // of the message
};

const QStringList kFast = {"--frame-delay", "0.000001"};

const FullDiskCase kCases[] = {
    {"Extraction",
     {"export-images", kSample, "--interval", "2", "--format", "png", "--base-folder", "OUT"},
     {.failingFile = 3},
     "",
     "Some Image Files Could Not Be Written"},
    {"VideoWall",
     {"wall-from-video", kSample, "OUT/wall.png", "--interval", "2", "--format", "png"},
     {.bytesBeforeFailure = 1000},
     "wall.png",
     "Wall"},
    {"ImageWall",
     {"wall-from-images", ImageFolder(), "OUT/wall.png"},
     {.bytesBeforeFailure = 0},
     "wall.png",
     "Wall"},
    {"MovieFromImages",
     QStringList{"movie-from-images", ImageFolder(), "OUT/m.mp4"} + kFast,
     {.bytesBeforeFailure = 100},
     "m.mp4",
     "Video Export Failed"},
    {"Reencode",
     QStringList{"reencode", kSample, "OUT/m.mp4"} + kFast,
     {.bytesBeforeFailure = 20000},
     "m.mp4",
     "Video Export Failed"},
    {"MovieHeader",
     QStringList{"movie-from-images", ImageFolder(), "OUT/m.mp4"} + kFast,
     {.failingFile = 1},
     "m.mp4",
     "Video Export Failed"},
    {"Conversion",
     {"convert", kSample, "--preset", "Passthrough", "--base-folder", "OUT"},
     {.bytesBeforeFailure = 30000},
     "",
     "Video Conversion Failed"},
    {"Report",
     {"info", kSample, "--output", "OUT/info.txt"},
     {.bytesBeforeFailure = 10},
     "info.txt",
     "Video Information Not Saved"},
};

class FullDiskTest : public ::testing::TestWithParam<FullDiskCase> {
  protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_P(FullDiskTest, TheCommandSaysSoAndKeepsWhatWasThere) {
    const FullDiskCase& c = GetParam();
    const QString out = MakeTempDir(QString("full-disk-") + c.name);
    if (!c.replaced.isEmpty()) WriteTestFile(out + "/" + c.replaced, kOldContent);
    QStringList arguments = c.arguments;
    arguments.replaceInStrings("OUT", out);
    CommandRun run;
    {
        const ScopedWriteFaults full(c.plan);
        run = RunInProcess(arguments);
    }
    EXPECT_EQ(run.status, HeadlessExit::kSomeFilesFailed) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(c.title)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("No space left on device")) << run.err.toStdString();
    const QStringList left = FilesBelow(out);
    if (!c.replaced.isEmpty()) {
        EXPECT_EQ(left, QStringList{c.replaced});
        EXPECT_EQ(ReadTestFile(out + "/" + c.replaced), kOldContent);
    } else if (QString(c.name) == "Extraction") {
        ASSERT_EQ(left.size(), 2) << left.join(' ').toStdString();  // the frames before
        for (const QString& frame : left) EXPECT_FALSE(LoadImageFile(out + "/" + frame).isNull());
    } else {
        EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, FullDiskTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The window tells of the report it could not save, and keeps the file it would have replaced.
TEST(FullDiskWindowTest, TheReportPanelsSaveIsToldAndTheOldFileKept) {
    ResetSettingsStore();
    AppSettings().SetLastVideo(kSample);
    auto app = std::make_unique<AppDelegate>();
    app->applicationDidFinishLaunching();
    const QString target = WriteTestFile(MakeTempDir("full-disk-window") + "/r.txt", kOldContent);
    {
        const ScopedWriteFaults full({.bytesBeforeFailure = 5});
        app->OnExportVideoInfo();
        QFileDialog* panel = app->window->findChild<QFileDialog*>();
        ASSERT_NE(panel, nullptr);
        panel->setOption(QFileDialog::DontConfirmOverwrite);  // the user has agreed to replace
        AnswerPanel(panel, target);
    }
    const MessageBoxShown shown = CloseOnlyMessageBox(app->window);
    EXPECT_TRUE(shown.text.contains("No space left on device")) << shown.text.toStdString();
    EXPECT_EQ(ReadTestFile(target), kOldContent);
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A real 1 MB file system filled by an extraction: the frames that fit stay whole.
TEST(FullDiskMountTest, AnExtractionOntoASmallFileSystemKeepsTheFramesThatFit) {
    const QString point = MakeTempDir("full-disk-mount");
    const QByteArray native = QFile::encodeName(point);
    if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a 1 MB tmpfs here: " << std::strerror(errno);
    ResetSettingsStore();
    const CliResult result = RunCli({"export-images", kSample, "--interval", "0.25", "--format",
                                     "bmp", "--base-folder", point});
    const QStringList left = FilesBelow(point);
    EXPECT_EQ(result.status, HeadlessExit::kSomeFilesFailed) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("No space left on device")) << result.err.toStdString();
    EXPECT_GT(left.size(), 1);
    for (const QString& frame : left) {
        EXPECT_FALSE(frame.contains(".stillpress-")) << frame.toStdString();
        EXPECT_EQ(LoadImageFile(point + "/" + frame).size(), QSize(320, 240));
    }
    ::umount2(native.constData(), MNT_DETACH);
}

}  // namespace
