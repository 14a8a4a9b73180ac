#pragma once
// Every persisted setting, one row each: its key, its type, the default registered for it,
// how a stored number is read, and the range the headless commands accept for it. The store
// (AppSettings), the settings sheet, the window and the headless options all read this table;
// a key is written nowhere else (use the SettingKey constants). Any thread; constant.

#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace SettingKey {
inline constexpr const char* FileFormat = "FileFormat";
inline constexpr const char* VideoFileFormat = "VideoFileFormat";
inline constexpr const char* FrameInterval = "dblFrameInterval";
inline constexpr const char* DisclosureButtonState = "DisclosureButtonState";
inline constexpr const char* ImageSizePercentage = "ImageSizePercentage";
inline constexpr const char* Transparency = "Transparency";
inline constexpr const char* RowsInVideoWall = "RowsInVideoWall";
inline constexpr const char* CompressionFactor = "CompressionFactor";
inline constexpr const char* AddTimeIntervalToImages = "AddTimeIntervalToImages";
inline constexpr const char* FrameDelayDuringExport = "FrameDelayDuringExport";
inline constexpr const char* FrameRateForExportedVideo = "FrameRateForExportedVideo";
inline constexpr const char* LastVideo = "LastVideo";
inline constexpr const char* LastFolder = "LastFolder";
inline constexpr const char* OutputImageFileNameParameter1 = "OutputImageFileNameParameter1";
inline constexpr const char* OutputImageFileNameAppendDuration =
    "OutputImageFileNameAppendDuration";
inline constexpr const char* OutputImageAsGreyScale = "OutputImageAsGreyScale";
inline constexpr const char* OutputImageAppendFileName = "OutputImageAppendFileName";
inline constexpr const char* OutputImageAsDisplayed = "OutputImageAsDisplayed";
inline constexpr const char* From = "dblFrom";
inline constexpr const char* To = "dblTo";
inline constexpr const char* BaseFolder = "BaseFolder";
inline constexpr const char* TimeColorData = "TimeColorData";
inline constexpr const char* AddWatermark = "AddWatermark";
inline constexpr const char* WatermarkFilePath = "WatermarkFilePath";
inline constexpr const char* Alignment = "Alignment";
inline constexpr const char* AutoDelete = "_checkBoxAutoDelete";
}  // namespace SettingKey

enum class SettingType { Integer, Double, String, ColourData };

// What a stored number becomes when read; none leaves it as stored.
using ReadConversion = double (*)(double stored);

struct SettingSpec {
    const char* key;
    SettingType type;
    std::optional<double> registeredDefault;  // registered at start-up; never stored
    ReadConversion read = nullptr;
    // The values the headless option standing for this setting accepts (none: no option or no
    // bound of its own).
    double optionLow = 0;
    double optionHigh = 0;
};

// Numbers up to this are accepted where no bound of their own makes sense.
inline constexpr double kUnboundedSetting = 1e12;

namespace settings_schema_detail {
// A stored number that is not finite (a hand-edited or corrupt store) reads as `fallback`:
// no read conversion makes it usable. Finite numbers keep their conversions however large or
// small (a run whose interval cannot move its time on stops by itself).
inline double Finite(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}
// A size or a pause: what is not a positive number reads as `fallback`.
inline double PositiveOr(double value, double fallback) {
    const double finite = Finite(value, fallback);
    return finite > 0 ? finite : fallback;
}
}  // namespace settings_schema_detail

inline constexpr auto kSettings = std::to_array<SettingSpec>({
    {SettingKey::FileFormat, SettingType::Integer, 0},
    {SettingKey::VideoFileFormat, SettingType::Integer, 0},
    {SettingKey::FrameInterval, SettingType::Double, 1.0,
     [](double v) {
         const double interval = std::fabs(settings_schema_detail::Finite(v, 1.0));
         return interval == 0.0 ? 0.1 : interval;
     },
     0.001, kUnboundedSetting},
    {SettingKey::DisclosureButtonState, SettingType::Integer, 0},
    {SettingKey::ImageSizePercentage, SettingType::Double, 100,
     [](double v) { return settings_schema_detail::PositiveOr(v, 100.0); }, 0.01, 10000},
    {SettingKey::Transparency, SettingType::Integer, 60, [](double v) { return v == 0 ? 60.0 : v; },
     1, 100},
    {SettingKey::RowsInVideoWall, SettingType::Integer, 3, [](double v) { return v < 1 ? 1.0 : v; },
     1, 1000000},
    {SettingKey::CompressionFactor, SettingType::Integer, 100, nullptr, 0, 100},
    {SettingKey::AddTimeIntervalToImages, SettingType::Integer, 1},
    {SettingKey::FrameDelayDuringExport, SettingType::Double, std::nullopt,
     [](double v) { return settings_schema_detail::PositiveOr(v, 0.05); }, 0, 3600},
    {SettingKey::FrameRateForExportedVideo, SettingType::Double, std::nullopt,
     [](double v) {
         const double stored = settings_schema_detail::Finite(v, 10.0);
         const double rate = stored == 0.0 ? 10.0 : stored;
         return rate < 1 ? 1.0 : rate;
     },
     1, 1000},
    {SettingKey::LastVideo, SettingType::String, std::nullopt},
    {SettingKey::LastFolder, SettingType::String, std::nullopt},
    {SettingKey::OutputImageFileNameParameter1, SettingType::String, std::nullopt},
    {SettingKey::OutputImageFileNameAppendDuration, SettingType::Integer, std::nullopt},
    {SettingKey::OutputImageAsGreyScale, SettingType::Integer, std::nullopt},
    {SettingKey::OutputImageAppendFileName, SettingType::Integer, std::nullopt},
    {SettingKey::OutputImageAsDisplayed, SettingType::Integer, std::nullopt},
    {SettingKey::From, SettingType::Double, std::nullopt, [](double v) { return std::fabs(v); }, 0,
     kUnboundedSetting},
    {SettingKey::To, SettingType::Double, std::nullopt, [](double v) { return std::fabs(v); }, 0,
     kUnboundedSetting},
    {SettingKey::BaseFolder, SettingType::String, std::nullopt},
    {SettingKey::TimeColorData, SettingType::ColourData, std::nullopt},
    {SettingKey::AddWatermark, SettingType::Integer, std::nullopt},
    {SettingKey::WatermarkFilePath, SettingType::String, std::nullopt},
    {SettingKey::Alignment, SettingType::Integer, std::nullopt},
    {SettingKey::AutoDelete, SettingType::Integer, std::nullopt},
});

// The row of a key; nullptr for a key the table does not have.
constexpr const SettingSpec* FindSetting(std::string_view key) {
    for (const SettingSpec& setting : kSettings)
        if (key == setting.key) return &setting;
    return nullptr;
}
// The row of a key named by a SettingKey constant, which the table always has.
inline const SettingSpec& Setting(const char* key) {
    return *FindSetting(key);
}
