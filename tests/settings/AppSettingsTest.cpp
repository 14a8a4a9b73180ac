#include <gtest/gtest.h>

#include <QSettings>
#include <cmath>
#include <limits>

#include "settings/AppSettings.h"

namespace {

// Every finite stored number reads through its conversion, however far it lies outside the
// ranges the headless options accept; zeros, negatives and values that are not finite read as
// usable values. Text is what a hand-edited store holds.
TEST(AppSettingsTest, StoredNumbersReadThroughTheirConversions) {
    AppSettings settings;
    EXPECT_EQ(settings.GetTransparency(), 60);  // unregistered: never zero
    EXPECT_EQ(settings.GetCompressionFactor(), 0);
    settings.SetTransparency(-5);
    EXPECT_EQ(settings.GetTransparency(), -5);
    settings.SetRowsInVideoWall(-4);  // (0 is the window test's)
    EXPECT_EQ(settings.GetRowsInVideoWall(), 1);
    using Getter = double (AppSettings::*)() const;
    const Getter interval = &AppSettings::GetFrameInterval,
                 size = &AppSettings::GetImageSizePercentage,
                 delay = &AppSettings::GetFrameDelayDuringExport,
                 rate = &AppSettings::GetFrameRateForExportedVideo, to = &AppSettings::GetTo;
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<const char*, Getter, QVariant, double> cases[] = {
        {"dblFrameInterval", interval, -0.0005, 0.0005},
        {"dblFrameInterval", interval, "1e-300", 1e-300},
        {"dblFrameInterval", interval, -inf, 1.0},  // (0: the garbage test's)
        {"dblTo", to, -7.5, 7.5},
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
    settings.DoRegisterDefaults();
    for (const auto& [key, getter, stored, read] : cases) {
        QSettings("Quonex", "Stillpress").setValue(key, stored);
        EXPECT_EQ((settings.*getter)(), read) << key << " " << stored.toString().toStdString();
    }
}

TEST(AppSettingsTest, GenericValuesRoundTripAndPersist) {
    {
        AppSettings writer;
        writer.SetIntegerValue(-9223372036854775807LL, "Big");
        writer.SetDoubleValue(0.30000000000000004, "Real");
        writer.SetStringValue("Grüße \"quoted\" ; = [x]", "Text");
    }
    AppSettings reader;  // a second store sees the values at once
    EXPECT_EQ(reader.GetIntegerValue("Big"), -9223372036854775807LL);
    EXPECT_EQ(reader.GetDoubleValue("Real"), 0.30000000000000004);
    EXPECT_EQ(reader.GetStringValue("Text"), "Grüße \"quoted\" ; = [x]");
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
