#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <cmath>
#include <limits>

#include "media/VideoFileProcessor.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

// Stored zeros and negatives read as usable values, as values that were never stored do.
TEST(AppSettingsTest, ReadConversions) {
    AppSettings settings;
    EXPECT_EQ(settings.GetTransparency(), 60);  // unregistered: never zero
    EXPECT_EQ(settings.GetCompressionFactor(), 0);
    settings.SetTransparency(0);
    EXPECT_EQ(settings.GetIntegerValue("Transparency"), 60);
    settings.SetTransparency(-5);
    EXPECT_EQ(settings.GetTransparency(), -5);
    settings.SetFrameInterval(-2.5);
    EXPECT_DOUBLE_EQ(settings.GetFrameInterval(), 2.5);
    settings.SetFrameInterval(0);
    EXPECT_DOUBLE_EQ(settings.GetFrameInterval(), 0.1);
    settings.SetTo(-7.5);
    EXPECT_DOUBLE_EQ(settings.GetTo(), 7.5);
    for (long long rows : {0LL, -4LL}) {
        settings.SetRowsInVideoWall(rows);
        EXPECT_EQ(settings.GetRowsInVideoWall(), 1);
    }
}

// Every finite stored number reads through its conversion, however far it lies outside the
// ranges the headless options accept; only values that are not finite read as the defaults.
// Text is what a hand-edited store holds.
TEST(AppSettingsTest, StoredNumbersReadThroughTheirConversions) {
    using Getter = double (AppSettings::*)() const;
    struct Case {
        const char* key;
        Getter getter;
        QVariant stored;
        double read;
    };
    const Getter interval = &AppSettings::GetFrameInterval,
                 size = &AppSettings::GetImageSizePercentage,
                 delay = &AppSettings::GetFrameDelayDuringExport,
                 rate = &AppSettings::GetFrameRateForExportedVideo;
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"dblFrameInterval", interval, -0.0005, 0.0005},
        {"dblFrameInterval", interval, "1e-300", 1e-300},
        {"dblFrameInterval", interval, -inf, 1.0},
        {"ImageSizePercentage", size, 20000.0, 20000},
        {"ImageSizePercentage", size, -10.0, 100},
        {"ImageSizePercentage", size, inf, 100},
        {"FrameDelayDuringExport", delay, 1e-7, 1e-7},
        {"FrameDelayDuringExport", delay, -1.0, 0.05},
        {"FrameDelayDuringExport", delay, std::nan(""), 0.05},
        {"FrameRateForExportedVideo", rate, 0.5, 1},
        {"FrameRateForExportedVideo", rate, 0.0, 10},
        {"FrameRateForExportedVideo", rate, "inf", 10},
    };
    AppSettings settings;
    settings.DoRegisterDefaults();
    for (const Case& c : cases) {
        QSettings("Quonex", "Stillpress").setValue(c.key, c.stored);
        EXPECT_EQ((settings.*c.getter)(), c.read)
            << c.key << " " << c.stored.toString().toStdString();
    }
}

// A stored interval too small to move the time on at the end of the range takes the range's
// first step and ends, however the steps would crawl from 0.
TEST(AppSettingsTest, ATinyStoredIntervalStillEndsTheExport) {
    AppSettings settings;
    settings.DoRegisterDefaults();
    settings.SetAddTimeIntervalToImages(0);
    settings.SetBaseFolder(MakeTempDir("base"));
    settings.SetFrom(0);
    settings.SetTo(0.5);
    settings.SetFrameInterval(1e-300);
    VideoFileProcessor processor;
    processor.OpenVideoFile(SampleVideo());
    std::shared_ptr<QStringList> files;
    processor.DoExportAllImages(files);
    EXPECT_EQ(files->size(), 1);
    EXPECT_EQ(processor.GetFailedFrameCount(), 0);
}

TEST(AppSettingsTest, LastVideoMustStillExist) {
    AppSettings settings;
    const QString path = WriteTestFile(MakeTempDir("last-video") + "/clip.mp4", "");
    settings.SetLastVideo(path);
    EXPECT_EQ(settings.GetLastVideo(), path);
    QFile::remove(path);
    EXPECT_EQ(settings.GetLastVideo(), "");
    EXPECT_EQ(settings.GetStringValue("LastVideo"), path);
}

TEST(AppSettingsTest, GenericValuesRoundTripAndPersistAndOverridesAreNotStored) {
    {
        AppSettings writer;
        writer.SetIntegerValue(-9223372036854775807LL, "Big");
        writer.SetDoubleValue(0.30000000000000004, "Real");
        writer.SetStringValue("Grüße \"quoted\" ; = [x]", "Text");
        writer.SetTimeColor(QColor(10, 20, 30, 40));
    }
    AppSettings reader;  // a second store sees the values at once
    EXPECT_EQ(reader.GetIntegerValue("Big"), -9223372036854775807LL);
    EXPECT_EQ(reader.GetDoubleValue("Real"), 0.30000000000000004);
    EXPECT_EQ(reader.GetStringValue("Text"), "Grüße \"quoted\" ; = [x]");
    EXPECT_EQ(reader.GetTimeColor(), QColor(10, 20, 30, 40));
    // Overrides answer without being stored.
    reader.SetSelectedFileFormat(4);
    AppSettings::SetOverride("FileFormat", 1LL);
    EXPECT_EQ(reader.GetSelectedFileFormat(), 1);
    AppSettings::ClearOverrides();
    EXPECT_EQ(reader.GetSelectedFileFormat(), 4);
}

TEST(AppSettingsTest, GarbageValuesReadAsZeroThenConvert) {
    QSettings raw("Quonex", "Stillpress");
    raw.setValue("dblFrameInterval", "fast");
    raw.setValue("RowsInVideoWall", QStringList{"a", "b"});
    raw.setValue("FileFormat", "2.9");
    raw.setValue("TimeColorData", QByteArray("\x01\x02garbage"));
    AppSettings settings;
    settings.DoRegisterDefaults();
    EXPECT_DOUBLE_EQ(settings.GetFrameInterval(), 0.1);
    EXPECT_EQ(settings.GetRowsInVideoWall(), 1);
    EXPECT_EQ(settings.GetSelectedFileFormat(), 2);
    EXPECT_FALSE(settings.GetTimeColor().has_value());
}

}  // namespace
