#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include "settings/AppSettings.h"
#include "support/Fixtures.h"

namespace {

// The defaults the main window shows are checked with the window.
TEST(AppSettingsTest, FirstRunReadsTheRegisteredDefaults) {
    AppSettings settings;
    settings.DoRegisterDefaults();
    EXPECT_EQ(settings.GetTransparency(), 60);
    EXPECT_EQ(settings.GetCompressionFactor(), 100);
    EXPECT_EQ(settings.GetAddTimeIntervalToImages(), 1);
    EXPECT_DOUBLE_EQ(settings.GetFrameDelayDuringExport(), 0.05);
    EXPECT_DOUBLE_EQ(settings.GetFrameRateForExportedVideo(), 10.0);
    for (const QString& text :
         {settings.GetLastVideo(), settings.GetBaseFolder(),
          settings.GetOutputImageFileNameParameter1(), settings.GetWatermarkFilePath(),
          settings.GetStringValue("LastFolder")}) {
        EXPECT_TRUE(text.isEmpty());
        EXPECT_FALSE(text.isNull());
    }
    EXPECT_EQ(settings.GetOutputImageAppendFileName(), 0);
    EXPECT_EQ(settings.GetOutputImageFileNameAppendDuration(), 0);
    EXPECT_EQ(settings.GetOutputImageAsGreyScale(), 0);
    EXPECT_EQ(settings.GetOutputImageAsDisplayed(), 0);
    EXPECT_EQ(settings.GetAddWatermark(), 0);
    EXPECT_EQ(settings.GetAlignment(), 0);
    EXPECT_FALSE(settings.GetTimeColor().has_value());
}

// Stored zeros and negatives read as usable values, as values that were never stored do.
TEST(AppSettingsTest, ReadConversions) {
    AppSettings settings;
    EXPECT_EQ(settings.GetTransparency(), 60);  // unregistered: never zero
    EXPECT_EQ(settings.GetCompressionFactor(), 0);
    settings.SetTransparency(0);
    EXPECT_EQ(settings.GetIntegerValue("Transparency"), 60);
    settings.SetIntegerValue(0, "Transparency");
    EXPECT_EQ(settings.GetTransparency(), 60);
    settings.SetTransparency(-5);
    EXPECT_EQ(settings.GetTransparency(), -5);
    settings.SetFrameInterval(-2.5);
    EXPECT_DOUBLE_EQ(settings.GetFrameInterval(), 2.5);
    settings.SetFrameInterval(0);
    EXPECT_DOUBLE_EQ(settings.GetFrameInterval(), 0.1);
    settings.SetFrom(-3);
    EXPECT_DOUBLE_EQ(settings.GetFrom(), 3);
    settings.SetTo(-7.5);
    EXPECT_DOUBLE_EQ(settings.GetTo(), 7.5);
    for (long long rows : {0LL, -4LL}) {
        settings.SetRowsInVideoWall(rows);
        EXPECT_EQ(settings.GetRowsInVideoWall(), 1);
    }
    for (auto [stored, read] : {std::pair{0.5, 1.0}, {0.0, 10.0}, {-3.0, 1.0}, {25.0, 25.0}}) {
        settings.SetFrameRateForExportedVideo(stored);
        EXPECT_DOUBLE_EQ(settings.GetFrameRateForExportedVideo(), read) << stored;
    }
    for (double delay : {0.0, -1.0}) {
        settings.SetFrameDelayDuringExport(delay);
        EXPECT_DOUBLE_EQ(settings.GetFrameDelayDuringExport(), 0.05);
    }
    for (double size : {0.0, -10.0}) {
        settings.SetImageSizePercentage(size);
        EXPECT_DOUBLE_EQ(settings.GetImageSizePercentage(), 100.0);
    }
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
    EXPECT_EQ(reader.GetStringValue("NeverWritten"), "");
    QSettings("Quonex", "Stillpress").sync();
    EXPECT_TRUE(QFile::exists(TestHome() + "/.config/Quonex/Stillpress.conf"));
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
