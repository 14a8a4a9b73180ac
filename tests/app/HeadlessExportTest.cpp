#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include "settings/AppSettings.h"
#include "support/AppFixtures.h"

namespace {

class HeadlessExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSettingsStore();
        base = MakeTempDir("cli-base");
    }
    QString base;
};

TEST_F(HeadlessExportTest, ExportsTheSampleAndRemembersTheFolder) {
    AppSettings().SetSelectedFileFormat(1);  // saved choice: BMP
    const CliResult result =
        RunCli({"export-images", SampleVideo(), "--interval", "2", "--base-folder", base});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QString folder = result.LastLine();
    EXPECT_TRUE(folder.startsWith(base + "/Stillpress Files/sample "));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{"1.bmp", "2.bmp", "3.bmp", "4.bmp"}));
    EXPECT_TRUE(result.err.contains(
        "Process To Extract Image Files from Selected Video File has Completed: "));
    QSettings stored("Quonex", "Stillpress");
    stored.sync();
    EXPECT_EQ(stored.value("LastFolder").toString(), folder);
    EXPECT_FALSE(stored.contains("BaseFolder"));  // options are for this run only
    EXPECT_FALSE(stored.contains("dblFrameInterval"));
}

TEST_F(HeadlessExportTest, OptionsChooseFormatRangeAndNames) {
    const CliResult result =
        RunCli({"export-images", SampleVideo(), "--from", "1", "--to", "3", "--format", "jpeg2000",
                "--prefix", "shot", "--append-name", "--base-folder", base, "--size", "50"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QString folder = result.LastLine();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{"shot1.jpeg", "shot2.jpeg"}));
    EXPECT_EQ(ReadTestFile(folder + "/shot1.jpeg").left(12),
              QByteArray("\x00\x00\x00\x0CjP  \r\n\x87\n", 12));
}

TEST_F(HeadlessExportTest, RefusalsPrintTheirMessageAndExitTwo) {
    const QString text = WriteTestFile(MakeTempDir("cli-text") + "/notes.mov", "plain text");
    const QString bomb = QString(STILLPRESS_SOURCE_DIR) +
                         "/tests/fuzz/regressions/video/y4m-declaring-16000x16000.y4m";
    const std::pair<QStringList, QString> cases[] = {
        {{"export-images", bomb}, "\n\nThe video's pictures are 16000 x 16000 pixels"},
        {{"wall-from-video", bomb, text + ".png"}, "16000 x 16000 pixels"},
        {{"export-images", ""}, "Select a Video File: "},
        {{"export-images", text + ".missing"}, "File Not Found: "},
        {{"export-images", text}, "Could Not Read Video Duration: "},
        {{"export-images", SampleVideo(), "--to", "100"}, "Invalid Export To: "},
        {{"export-images", SampleVideo(), "--from", "100"}, "Invalid Export From: "},
        {{"export-images", SampleVideo(), "--format", "webp"}, "--format takes one of"},
        {{"export-images", SampleVideo(), "--interval"}, "--interval needs a value"},
        {{"export-images", SampleVideo(), "--bogus"}, "unknown option --bogus"},
        {{"export-images"}, "name the video"},
        {{}, "Usage:"},
    };
    for (const auto& [arguments, expected] : cases) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(expected)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
    QSettings stored("Quonex", "Stillpress");
    EXPECT_FALSE(stored.contains("LastFolder"));
}

TEST_F(HeadlessExportTest, FramesThatCannotBeWrittenExitOne) {
    WriteTestFile(base + "/Stillpress Files", "");  // a file where the folder should go
    const CliResult result =
        RunCli({"export-images", SampleVideo(), "--to", "2", "--base-folder", base});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("Some Image Files Could Not Be Written: 2 Image File(s)"))
        << result.err.toStdString();
}

TEST_F(HeadlessExportTest, PathsWithSpacesQuotesAndALeadingDash) {
    const QString folder = MakeTempDir("cli-odd") + "/-a \"quoted\" 'name' ü";
    QDir().mkpath(folder);
    const QString video = folder + "/-clip.mp4";
    ASSERT_TRUE(QFile::copy(SampleVideo(), video));
    const CliResult result =
        RunCli({"export-images", "--to", "1", "--base-folder", base, "--", video});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.LastLine().startsWith(base + "/Stillpress Files/-clip "));
    EXPECT_EQ(QDir(result.LastLine()).entryList(QDir::Files), QStringList{"1.tiff"});
}

}  // namespace
