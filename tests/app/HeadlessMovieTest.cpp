#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "support/AppFixtures.h"

namespace {

const QString kSample = SampleVideo();

TEST(HeadlessMovie, BothMoviesAreWrittenAndTheirPathPrintedLast) {
    ResetSettingsStore();
    const QString images = MakeTempDir("cli-movie-images");
    for (int k = 0; k < 3; ++k)
        QImage(40, 30, QImage::Format_RGB32).save(QString("%1/%2.png").arg(images).arg(k));
    const QString out = MakeTempDir("cli-movie-out");
    const QStringList commands[] = {
        {"movie-from-images", images, out + "/a.mp4", "--frame-rate", "10", "--frame-delay",
         "0.000001"},
        {"reencode", kSample, out + "/b.mp4", "--frame-delay", "0.000001"},
    };
    for (const QStringList& arguments : commands) {
        const CliResult result = RunCli(arguments);
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        EXPECT_EQ(result.out.split('\n').last(), arguments[2]);
        EXPECT_TRUE(ReadTestFile(arguments[2]).mid(4, 4) == "ftyp");
    }
}

TEST(HeadlessMovie, RefusalsExitTwoAndFailedWritesExitOne) {
    ResetSettingsStore();
    const QString empty = MakeTempDir("cli-movie-empty");
    const QString images = MakeTempDir("cli-movie-one");
    QImage(8, 8, QImage::Format_RGB32).save(images + "/a.png");
    const QString slow =
        MakeVideo("cli-slow.mp4", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=1/2:duration=4",
                                   "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    const QString out = empty + "/m.mp4";
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"movie-from-images", empty + "/gone", out}, 2, "Video Export Aborted: Please Export"},
        {{"movie-from-images", empty, out}, 2, "Video Export Aborted: No Image Files Found"},
        {{"movie-from-images", images, out, "--frame-rate", "0.5"}, 2, "--frame-rate takes"},
        {{"movie-from-images", images, empty + "/missing/m.mp4"},
         1,
         "Video Export Failed: Invalid parameter not satisfying: videoWriter"},
        {{"reencode", slow, out}, 2, "Video Export Aborted: The Frame Rate of this Video is 0.5"},
        {{"reencode", empty + "/none.mp4", out}, 2, "File Not Found"},
        {{"reencode", kSample, out, "--frame-rate", "5"}, 2, "unknown option --frame-rate"},
        {{"export-images", kSample, "--frame-delay", "1"}, 2, "unknown option --frame-delay"},
    };
    for (const auto& [arguments, status, expected] : cases) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, status) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(expected)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_TRUE(QDir(empty).isEmpty());
}

}  // namespace
