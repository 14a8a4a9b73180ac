#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

#include "platform/ImageFiles.h"
#include "support/AppFixtures.h"

namespace {

const QString kSample = SampleVideo();

TEST(HeadlessWall, BothWallsAreWrittenAndTheirPathPrinted) {
    ResetSettingsStore();
    const QString folder = MakeTempDir("cli-wall");
    CliResult result = RunCli({"wall-from-video", kSample, folder + "/wall", "--interval", "2",
                               "--rows", "3", "--format", "png", "--size", "50"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, folder + "/wall.png");
    EXPECT_EQ(LoadImageFile(folder + "/wall.png").size(), QSize(320, 240));  // 2 x 2 of 160 x 120
    EXPECT_FALSE(QSettings("Quonex", "Stillpress").contains("RowsInVideoWall"));

    const QString images = MakeTempDir("cli-wall-images");
    QDir().rename(folder + "/wall.png", images + "/1.png");
    result =
        RunCli({"wall-from-images", images, folder + "/w.out", "--rows", "1", "--format", "bmp"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, folder + "/w.out");
    EXPECT_TRUE(ReadTestFile(folder + "/w.out").startsWith("BM"));
}

TEST(HeadlessWall, RefusalsExitTwoAndFailedWritesExitOne) {
    ResetSettingsStore();
    const QString folder = MakeTempDir("cli-wall-refused");
    const QString images = MakeTempDir("cli-wall-one");
    QImage(8, 8, QImage::Format_RGB32).save(images + "/a.png");
    const QString out = folder + "/w";
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"wall-from-video", kSample, out, "--from", "5", "--to", "5"},
         2,
         "Video Wall Creation Aborted: No Images in Image Wall, Please Check Settings."},
        {{"wall-from-video", kSample, out, "--to", "100"}, 2, "Invalid Export To: "},
        {{"wall-from-video", kSample, out, "--size", "10000", "--interval", "0.1"},
         2,
         "more than fits in memory"},
        {{"wall-from-video", kSample}, 2, "name the wall file to write"},
        {{"wall-from-images", images, out, "--interval", "1"}, 2, "unknown option --interval"},
        {{"wall-from-images", folder, out}, 2, "No Image Files Found in the given below Folder"},
        {{"wall-from-images", images, folder + "/missing/w.png"},
         1,
         "Video Wall Creation Aborted: The Image Wall could not be saved."},
    };
    for (const auto& [arguments, status, expected] : cases) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, status) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(expected)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_TRUE(QDir(folder).isEmpty());
}

}  // namespace
