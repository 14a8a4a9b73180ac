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
    void TearDown() override { SetLogObserver({}); }
    QStringList logLines;
};

TEST_F(DuplicateRemovalTest, OnlyTheLastOfEachRunOfCopiesStays) {
    const QString video = ColourSequenceVideo("aaba.mkv", {"red", "red", "blue", "red"});
    const ExtractionResult result = Extract(video, [](AppSettings& settings) {
        settings.SetTo(4);
        settings.SetIntegerValue(1, "_checkBoxAutoDelete");
    });
    EXPECT_EQ(result.FolderEntries(), (QStringList{"2.tiff", "3.tiff", "4.tiff"}));
    EXPECT_EQ(result.files->size(), 4);  // the list still names the deleted file
    EXPECT_TRUE(logLines.contains("Delete File : " + result.folder + "/1.tiff"));
}

TEST_F(DuplicateRemovalTest, TenCopiesLeaveTheTenth) {
    const QString video = ColourSequenceVideo("ten-red.mkv", QStringList(10, "red"));
    const ExtractionResult result = Extract(video, [](AppSettings& settings) {
        settings.SetTo(10);
        settings.SetIntegerValue(1, "_checkBoxAutoDelete");
    });
    EXPECT_EQ(result.FolderEntries(), QStringList{"10.tiff"});
    EXPECT_EQ(result.files->size(), 10);
}

TEST_F(DuplicateRemovalTest, OffOrNotExactlyOneOrTimeStampedKeepsEverything) {
    const QString video = ColourSequenceVideo("ten-red.mkv", QStringList(10, "red"));
    const std::function<void(AppSettings&)> variants[] = {
        [](AppSettings&) {},
        [](AppSettings& s) { s.SetIntegerValue(2, "_checkBoxAutoDelete"); },
        [](AppSettings& s) {
            s.SetIntegerValue(1, "_checkBoxAutoDelete");
            s.SetAddTimeIntervalToImages(1);
        },
    };
    for (const auto& variant : variants) {
        const ExtractionResult result = Extract(video, [&variant](AppSettings& settings) {
            settings.SetTo(3);
            variant(settings);
        });
        EXPECT_EQ(result.FolderEntries().size(), 3);
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
    EXPECT_EQ(processor.GetFileFingerPrint(folder + "/a"), "51037a4a37730f52c8732586d3aaa316");
    processor.DeleteFile(folder + "/missing");
    EXPECT_TRUE(logLines.last().startsWith("Error ("));
    EXPECT_TRUE(logLines.last().endsWith("Deleting File [" + folder + "/missing]"));
}

}  // namespace
