// What the headless commands make of inputs that are not plain videos: named pipes, devices
// and folders, files without a video track, and a range that holds no step.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>

#include "support/AppFixtures.h"

namespace {

// A refusal must come at once; a command blocked on its input is killed at this point.
constexpr int kPromptMs = 30000;

QString MakeFifo(const QString& path) {
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
    return path;
}

// The command line that hands `input` to `command`, writing below `base` or to `out`.
QStringList Invocation(const QString& command, const QString& input, const QString& base,
                       const QString& out) {
    if (command == "info") return {command, input};
    if (command == "export-images" || command == "convert")
        return {command, input, "--base-folder", base};
    return {command, input, out};
}

TEST(HeadlessInputs, PipesDevicesAndFoldersAreRefusedBeforeTheyAreOpened) {
    const QString dir = MakeTempDir("cli-special");
    const QString base = MakeTempDir("cli-special-base");
    const QString pipe = MakeFifo(dir + "/pipe.mp4");
    const QString watermark = MakeFifo(dir + "/mark.png");
    const QString folder = MakeTempDir("cli-special-folder.mp4");
    std::vector<CliCase> cases;
    for (const auto& [input, kind] : {std::pair{pipe, "a named pipe"},
                                      {QString("/dev/zero"), "a device"},
                                      {folder, "a folder"}}) {
        for (const char* command :
             {"info", "export-images", "wall-from-video", "reencode", "convert", "gif-frames"})
            cases.push_back({Invocation(command, input, base, dir + "/out"), 2,
                             input + " is not a regular file (it is " + kind + ")."});
    }
    // Images are read only from regular files too: a pipe among them is passed over.
    const QString images = MakeTempDir("cli-images-with-pipe");
    Filled({8, 8}, Qt::red).save(images + "/a.png");
    MakeFifo(images + "/b.png");
    cases.push_back({{"wall-from-images", images, base + "-wall.png"}, 0, ""});
    cases.push_back({{"export-images", SampleVideo(), "--watermark", watermark},
                     2,
                     "Watermark Not Loaded: " + watermark});
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult result = RunCli(c.arguments, kPromptMs);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.err.contains(c.err)) << result.err.toStdString();
    }
    // Nothing was made for them: no folder of images, conversion, wall or GIF frames.
    EXPECT_TRUE(QDir(base).isEmpty()) << QDir(base).entryList().join(' ').toStdString();
    EXPECT_EQ(
        QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{"mark.png", "pipe.mp4"}));
}

TEST(HeadlessInputs, TheReencodeTellsUnreadableFilesAndMissingPicturesFromSlowRates) {
    const QString dir = MakeTempDir("cli-reencode-kinds");
    const QString text = WriteTestFile(dir + "/notes.mp4", "plain text, not a movie");
    const QString slow = MakeVideo("cli-slow.mp4",
                                   "-f lavfi -i testsrc2=size=64x48:rate=1/2:duration=4 -c:v "
                                   "libx264 -pix_fmt yuv420p");
    const QString movie = dir + "/m.mp4";
    const QString aborted = "Video Export Aborted: ";
    ExpectCliOutcomes({
        {{"reencode", text, movie},
         2,
         aborted + "Stillpress Could not read Video Information from Selected Video File."},
        {{"reencode", SoundOnly(), movie}, 2, aborted + "The Selected File has no video track"},
        {{"reencode", slow, movie}, 2, aborted + "The Frame Rate of this Video is 0.5"},
    });
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"notes.mp4"});  // no movie
}

// (The window's view of the same runs, and of a run that could read nothing, is checked in
// MainWindowTest.)
TEST(HeadlessInputs, ARangeWithoutStepsCompletesWithNoFilesAndBecomesTheLastFolder) {
    const QString base = MakeTempDir("cli-empty-range");
    const CliResult result =
        RunCli({"export-images", SampleVideo(), "--from", "3", "--to", "3", "--base-folder", base});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QString folder = result.LastLine();
    EXPECT_TRUE(folder.startsWith(base + "/Stillpress Files/sample ")) << folder.toStdString();
    EXPECT_TRUE(QFileInfo(folder).isDir() && FilesIn(folder).isEmpty());
    EXPECT_TRUE(
        result.err.startsWith("Process To Extract Image Files from Selected Video File "
                              "has Completed: "));
    QSettings("Quonex", "Stillpress").sync();
    EXPECT_EQ(Stored("LastFolder").toString(), folder);
}

}  // namespace
