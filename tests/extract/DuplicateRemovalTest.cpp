#include <gtest/gtest.h>

#include <QFile>

#include "extract/ExtractTestSupport.h"
#include "platform/DiagnosticLog.h"

namespace {

class DuplicateRemovalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLogObserver([this](const QString& line) { logLines << line; });
    }
    QStringList logLines;
};

// The list still names the deleted files.
TEST_F(DuplicateRemovalTest, OnlyTheLastOfEachRunOfCopiesStays) {
    const std::tuple<QString, QStringList, QStringList> cases[] = {
        {"aaba.mkv", {"red", "red", "blue", "red"}, {"2.tiff", "3.tiff", "4.tiff"}},
        {"ten-red.mkv", QStringList(10, "red"), {"10.tiff"}},
    };
    for (const auto& [name, colours, kept] : cases) {
        const ExtractionResult result = Extract(ColourSequenceVideo(name, colours),
                                                {.to = double(colours.size()), .autoDelete = 1});
        EXPECT_EQ(result.FolderEntries(), kept);
        EXPECT_EQ(result.files->size(), colours.size());
        EXPECT_TRUE(logLines.contains("Delete File : " + result.folder + "/1.tiff"));
    }
}

TEST_F(DuplicateRemovalTest, OffOrNotExactlyOneOrTimeStampedKeepsEverything) {
    const QString video = ColourSequenceVideo("ten-red.mkv", QStringList(10, "red"));
    for (auto [autoDelete, timeStamp] : {std::pair{0LL, 0LL}, {2LL, 0LL}, {1LL, 1LL}}) {
        const ExtractionResult result =
            Extract(video, {.to = 3, .autoDelete = autoDelete, .timeStamp = timeStamp});
        EXPECT_EQ(result.FolderEntries().size(), 3) << autoDelete << " " << timeStamp;
    }
}

TEST_F(DuplicateRemovalTest, UnreadableFilesCountAsDifferent) {
    VideoFileProcessor processor;
    const QString folder = MakeTempDir("fingerprints");
    WriteTestFile(folder + "/a", "same");
    QFile::copy(folder + "/a", folder + "/b");
    EXPECT_TRUE(processor.IsSameFingerPrint(folder + "/a", folder + "/b"));
    EXPECT_FALSE(processor.IsSameFingerPrint(folder + "/missing", folder + "/b"));
    EXPECT_TRUE(logLines.contains("No Hash for File " + folder + "/missing"));
    processor.DeleteFile(folder + "/missing");
    EXPECT_TRUE(logLines.last().startsWith("Error ("));
    EXPECT_TRUE(logLines.last().endsWith("Deleting File [" + folder + "/missing]"));
}

}  // namespace
