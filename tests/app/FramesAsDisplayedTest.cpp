// Frames as players show them, asked for by the stored setting or the commands' flags: the
// images, the wall's tiles, the re-encoded movie and the window's expected size all follow
// the displayed size; without it, the coded size.
#include <gtest/gtest.h>

#include "platform/ImageFiles.h"
#include "platform/ImageGenerator.h"
#include "platform/MediaAsset.h"
#include "support/AppFixtures.h"

namespace {

constexpr QSize kCoded(320, 240), kShown(240, 320);

QImage FirstFrame(const QString& video, bool asShown) {
    const auto asset = MediaAsset::Open(video);
    ImageGenerator generator(*asset);
    generator.setAppliesPreferredTrackTransform(asShown);
    return generator.copyCGImageAtTime(kCMTimeZero);
}

// The first frame of what a command wrote, or a null image.
QImage WrittenFrame(const QString& command, const QStringList& flags) {
    const QString out = MakeTempDir("as-displayed-" + command);
    QStringList arguments{command, RotatedVideo(90)};
    if (command == "export-images") arguments += QStringList{"--base-folder", out, "--to", "0.5"};
    if (command == "wall-from-video")
        arguments += QStringList{out + "/wall", "--rows", "1", "--interval", "5"};
    if (command == "reencode")
        arguments += QStringList{out + "/movie.mp4", "--frame-delay", "0.000001"};
    const CliResult result = RunCli(arguments + flags);
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    const QString written = result.LastLine();
    if (command == "reencode") return FirstFrame(written, false);
    if (command == "export-images") return LoadImageFile(written + "/1.tiff");
    return LoadImageFile(written);
}

struct Case {
    const char* command;
    long long stored;  // the saved setting
    const char* flag;  // null: none
    QSize expected;
};

const Case kCases[] = {
    {"export-images", 0, nullptr, kCoded},   {"export-images", 0, "--as-displayed", kShown},
    {"export-images", 1, nullptr, kShown},   {"export-images", 1, "--no-as-displayed", kCoded},
    {"wall-from-video", 1, nullptr, kShown}, {"reencode", 0, "--as-displayed", kShown},
};

class FramesAsDisplayedTest : public testing::TestWithParam<Case> {
  protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override { ResetTestState(); }
};

TEST_P(FramesAsDisplayedTest, FollowTheSettingUnlessAFlagSaysOtherwise) {
    AppSettings().SetOutputImageAsDisplayed(GetParam().stored);
    const QStringList flags = GetParam().flag ? QStringList{GetParam().flag} : QStringList{};
    const QImage written = WrittenFrame(GetParam().command, flags);
    ASSERT_EQ(written.size(), GetParam().expected);
    const QImage frame = FirstFrame(RotatedVideo(90), GetParam().expected == kShown);
    EXPECT_LT(CompareImages(written, frame).meanDifference, 3.0);
    EXPECT_EQ(Stored("OutputImageAsDisplayed").toLongLong(),
              GetParam().stored);  // flags do not stick
}

INSTANTIATE_TEST_SUITE_P(Commands, FramesAsDisplayedTest, testing::ValuesIn(kCases),
                         [](const auto& info) {
                             QString name =
                                 QString(info.param.command).remove('-') +
                                 (info.param.stored ? "Stored" : "") +
                                 QString(info.param.flag ? info.param.flag : "").remove('-');
                             return name.toStdString();
                         });

}  // namespace
