#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "extract/ExtractTestSupport.h"
#include "extract/FrameNaming.h"
#include "extract/StepSchedule.h"
#include "platform/ImageFiles.h"
#include "platform/NewFolders.h"

namespace {

std::vector<double> StepTimes(ExtractionRangeValue range, double interval) {
    std::vector<double> times;
    StepSchedule(range, interval).ForEachStep([&times](double time, long long) {
        times.push_back(time);
        return times.size() < 100000;
    });
    return times;
}

TEST(StepSchedule, RangeRulesAndAccumulatedSums) {
    auto range = ExtractionRange(2, 1, 10);  // a To below the start runs to the end
    EXPECT_EQ(std::pair(range.start, range.end), std::pair(2.0, 10.0));
    range = ExtractionRange(15, 20, 10);  // a From beyond the video starts at 0
    EXPECT_EQ(std::pair(range.start, range.end), std::pair(0.0, 10.0));
    EXPECT_EQ(StepTimes(ExtractionRange(0, 0, 10), 1).size(), 0u);
    EXPECT_EQ(StepTimes(ExtractionRange(3, 3, 10), 1).size(), 0u);
    EXPECT_EQ(StepTimes(ExtractionRange(0, 5, std::nan("")), 1).size(), 0u);
    // Too small to advance, or to move the end on (it would crawl from 0): the first step only.
    EXPECT_EQ(StepTimes(ExtractionRange(5, 6, 10), 1e-300).size(), 1u);
    EXPECT_EQ(StepTimes(ExtractionRange(0, 0.5, 10), 1e-300).size(), 1u);
    // Accumulated sums stay below the end.
    const auto tenths = StepTimes(ExtractionRange(0, 1, 10), 0.1);
    ASSERT_EQ(tenths.size(), 11u);
    EXPECT_EQ(tenths[3], 0.30000000000000004);
    EXPECT_EQ(tenths[10], 0.9999999999999999);
    const auto seconds = StepTimes(ExtractionRange(0, 10, 10), 1);
    ASSERT_EQ(seconds.size(), 10u);
    EXPECT_EQ(seconds.back(), 9);
    EXPECT_EQ(StepSchedule(ExtractionRange(0, 10, 10), 1).StepCount(), 10);
}

TEST(FrameNaming, FourPatterns) {
    const std::tuple<bool, bool, const char*> patterns[] = {{true, true, "F/clip1m 5s3"},
                                                            {true, false, "F/clip3"},
                                                            {false, true, "F/1m 5s 3"},
                                                            {false, false, "F/3"}};
    for (const auto& [prefix, duration, name] : patterns)
        EXPECT_EQ((FrameNaming{"F", "clip", prefix, duration}.NameFor(65, 3)), name);
    EXPECT_EQ(FileNameWithoutExtension("/v/a.b.mp4"), "a.b");
    EXPECT_EQ(FileNameWithoutExtension("/v/.hidden"), ".hidden");
    EXPECT_EQ(GetFileNameWithExtension("F/3", 9), "F/3");
}

// Names longer than the limit lose characters from the end of the shortened part only, never
// half of one; names that fit are left alone.
TEST(FrameNaming, TooLongNamesAreCutAtCharacterBoundaries) {
    const QString e = QString::fromUtf8("\u00E9"), smile = QString::fromUtf8("\U0001F600");
    const std::tuple<QString, qsizetype, QString> cases[] = {
        {"clip", 6, "clip12"},          // fits exactly
        {"a" + smile + "b", 6, "a12"},  // a 4-byte character goes whole
        {"a" + smile + "b", 7, "a" + smile + "12"},
        {"clip", 1, "12"},  // the counter is kept whole
    };
    for (const auto& [prefix, limit, name] : cases)
        EXPECT_EQ((FrameNaming{"F", prefix, true, false, limit}.NameFor(0, 12)), "F/" + name)
            << limit;
}

// Run folders are made, not reused: a taken name (a folder or a file) gets the next number;
// too long names are cut to the file system's limit; a folder that cannot be made says why.
TEST(RunFolders, TakenNamesAreNumberedAndLongNamesFit) {
    const QString parent = MakeTempDir("run-folders");
    const QString time = " 19 32 32";
    const QString longName = QString(300, 'v');
    WriteTestFile(parent + "/clip" + time + " 3", "");
    const std::pair<QString, QString> cases[] = {
        {"clip", "clip" + time},
        {"clip", "clip" + time + " 2"},
        {"clip", "clip" + time + " 4"},
        {longName, QString(246, 'v') + time},
        {longName, QString(244, 'v') + time + " 2"},
    };
    for (const auto& [name, expected] : cases) {
        const NewFolder made = MakeNewFolder(parent, name, time);
        EXPECT_EQ(made.path, parent + "/" + expected);
        EXPECT_TRUE(made.error.isEmpty()) << made.error.toStdString();
        EXPECT_TRUE(QFileInfo(made.path).isDir());
    }
    const QString blocked = WriteTestFile(MakeTempDir("run-blocked") + "/file", "");
    const NewFolder refused = MakeNewFolder(blocked, "clip", time);
    EXPECT_EQ(refused.path, blocked + "/clip" + time);
    EXPECT_EQ(refused.error, refused.path + ": Not a directory");
}

TEST(ExtractionRun, DefaultsWriteTheExactFrameOfEveryStep) {
    const QString video = MovingPictureVideo();
    const ExtractionResult result = Extract(video, {});
    EXPECT_TRUE(QRegularExpression("/Stillpress Files/moving-160x120-30fps \\d\\d \\d\\d \\d\\d$")
                    .match(result.folder)
                    .hasMatch())
        << result.folder.toStdString();
    QStringList expected;
    for (int n = 1; n <= 10; ++n) expected << QString("%1/%2.tiff").arg(result.folder).arg(n);
    EXPECT_EQ(*result.files, expected);
    EXPECT_EQ(result.failedFrames, 0);
    const ReferenceFrames reference = DecodeWithReference(video, 160, 120);
    for (int n = 0; n < 10; ++n) {
        const QImage image = LoadImageFile(expected[n]);
        ASSERT_EQ(image.size(), QSize(160, 120));
        EXPECT_EQ(ClosestFrame(reference, image), n * 30) << "step " << n;
        EXPECT_LT(CompareImages(reference.images[n * 30], image).meanDifference, 1.5);
    }
}

// Frames are converted and written on worker threads: whatever the path, the files hold the
// same pixels, and they are committed in step order. Every format writes its own kind of file.
TEST(ExtractionRun, DirectAndProcessedFramesMatchAndCommitInOrderInEveryFormat) {
    const QString video = MovingPictureVideo();
    // An invisible watermark sends every frame through the general image path.
    const auto invisibleWatermark = [](VideoFileProcessor& processor) {
        QImage pixel(1, 1, QImage::Format_ARGB32);
        pixel.fill(Qt::transparent);
        processor.m_pWatermarkImageUserSelected = DrawableImage(pixel);
        processor.m_iUserSelectedWaterMarkImageWidth = 1;
        processor.m_iUserSelectedWaterMarkImageHeight = 1;
    };
    const QByteArray signatures[] = {
        "II*", "BM", "GIF8", "\xFF\xD8\xFF", "\x89PNG", QByteArray("\x00\x00\x00\x0CjP  ", 8)};
    for (long long format = 0; format < 6; ++format) {
        const RunOptions options{.interval = 0.7, .format = format};
        const ExtractionResult direct = Extract(video, options);
        const ExtractionResult general = Extract(video, options, {}, invisibleWatermark);
        ASSERT_EQ(direct.files->size(), 15);
        ASSERT_EQ(direct.FolderEntries(), general.FolderEntries());
        EXPECT_TRUE(ReadTestFile(direct.files->at(1)).startsWith(signatures[format])) << format;
        EXPECT_EQ(LoadImageFile(direct.files->at(1)).size(), QSize(160, 120));
        for (qsizetype n = 0; n < direct.files->size(); ++n)
            EXPECT_EQ(CompareImages(LoadImageFile(direct.files->at(n)),
                                    LoadImageFile(general.files->at(n)))
                          .maxDifference,
                      0)
                << direct.files->at(n).toStdString();
    }
}

// Cancelling keeps exactly the frames reported so far: none written ahead by a worker stays.
TEST(ExtractionRun, CancellingKeepsOnlyTheReportedFrames) {
    std::vector<long long> reported;
    const ExtractionResult result = Extract(
        MovingPictureVideo(), {.interval = 0.1}, {}, [&reported](VideoFileProcessor& processor) {
            processor.SetProgressHandler([&reported](long long done, long long total) {
                EXPECT_EQ(total, 101);  // sums of 0.1 stay just below 10
                reported.push_back(done);
                return done < 4;
            });
        });
    EXPECT_EQ(reported, (std::vector<long long>{1, 2, 3, 4}));
    EXPECT_EQ(result.files->size(), 4);
    EXPECT_EQ(result.FolderEntries(), (QStringList{"1.tiff", "2.tiff", "3.tiff", "4.tiff"}));
}

TEST(ExtractionRun, NamesWithPrefixAndTimeText) {
    const QString video = MakeVideo(
        "long-64x48-5fps.mp4",
        "-f lavfi -i testsrc2=size=64x48:rate=5:duration=70 -c:v libx264 -preset ultrafast");
    const ExtractionResult result =
        Extract(video, {.from = 63, .to = 66, .format = 4}, [](AppSettings& settings) {
            settings.SetOutputImageFileNameParameter1("shot");
            settings.SetOutputImageAppendFileName(1);
            settings.SetOutputImageFileNameAppendDuration(1);
        });
    EXPECT_EQ(result.files->size(), 3);
    EXPECT_EQ(result.FolderEntries(),
              (QStringList{"shot1m 3s1.png", "shot1m 4s2.png", "shot1m 5s3.png"}));
}

TEST(ExtractionRun, AnUnknownFormatCodeWritesNothingAndSaysSo) {
    const ExtractionResult result = Extract(MovingPictureVideo(), {.to = 3, .format = 9});
    EXPECT_TRUE(result.FolderEntries().isEmpty());
    EXPECT_EQ(result.failedFrames, 3);
    EXPECT_TRUE(result.firstError.contains("9"));
}

TEST(ExtractionRun, StepsPastTheLastFrameAreSkippedAndKeepTheirNumbers) {
    // The container says 4 s but the picture stops after 2 s (audio runs on).
    const QString video = MakeVideo("short-picture.mkv",
                                    "-f lavfi -i testsrc2=size=64x48:rate=10:duration=2 -f lavfi "
                                    "-i sine=duration=4 -c:v libx264 -preset ultrafast -c:a aac");
    const ExtractionResult result = Extract(video, {.from = 1, .to = 100});
    EXPECT_EQ(result.FolderEntries(), (QStringList{"1.tiff"}));
    EXPECT_GE(result.files->size(), 1);
    EXPECT_EQ(result.failedFrames, 0);
}

}  // namespace
