// What the headless commands make of inputs that are not regular files: named pipes, devices
// and folders. (Files without a video track: HeadlessCommandsTest's refusals.)
#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
