#include "settings/AppSettings.h"

#include <QHash>
#include <cmath>
#include <limits>

#include "platform/StandardFolders.h"
#include "settings/SettingsSchema.h"

namespace {

// Process-wide layers below and above the stored values (main thread only).
QHash<QString, QVariant>& RegisteredDefaults() {
    static QHash<QString, QVariant> values;
    return values;
}

QHash<QString, QVariant>& Overrides() {
    static QHash<QString, QVariant> values;
    return values;
}

long long ToInteger(const QVariant& value) {
    bool ok = false;
    const long long integer = value.toLongLong(&ok);
    if (ok) return integer;
    const double real = value.toDouble(&ok);
    if (!ok || !std::isfinite(real)) return 0;
    if (std::fabs(real) >= 9.2e18)
        return real < 0 ? std::numeric_limits<long long>::min()
                        : std::numeric_limits<long long>::max();
    return static_cast<long long>(real);
}

double ToDouble(const QVariant& value) {
    bool ok = false;
    const double real = value.toDouble(&ok);
    return ok ? real : 0.0;
}

QString ToText(const QVariant& value) {
    if (!value.isValid() || value.metaType().id() == QMetaType::QVariantList ||
        value.metaType().id() == QMetaType::QVariantMap)
        return QString();
    return value.toString();
}

}  // namespace

AppSettings::AppSettings() : m_pUserDefaults(std::make_unique<QSettings>("Quonex", "Stillpress")) {}

void AppSettings::DoRegisterDefaults() {
    RegisteredDefaults().clear();
    for (const SettingSpec& setting : kSettings) {
        if (!setting.registeredDefault) continue;
        const double value = *setting.registeredDefault;
        RegisteredDefaults()[setting.key] = setting.type == SettingType::Integer
                                                ? QVariant(static_cast<long long>(value))
                                                : QVariant(value);
    }
}

void AppSettings::SetOverride(const QString& key, const QVariant& value) {
    Overrides()[key] = value;
}
void AppSettings::ClearOverrides() {
    Overrides().clear();
}
void AppSettings::ClearRegisteredDefaults() {
    RegisteredDefaults().clear();
}

QVariant AppSettings::Lookup(const QString& key) const {
    if (auto found = Overrides().constFind(key); found != Overrides().constEnd()) return *found;
    const QVariant stored = m_pUserDefaults->value(key);
    if (stored.isValid()) return stored;
    return RegisteredDefaults().value(key);
}

long long AppSettings::GetIntegerValue(const QString& key) const {
    return ToInteger(Lookup(key));
}
void AppSettings::SetIntegerValue(long long value, const QString& key) {
    m_pUserDefaults->setValue(key, value);
}
double AppSettings::GetDoubleValue(const QString& key) const {
    return ToDouble(Lookup(key));
}
void AppSettings::SetDoubleValue(double value, const QString& key) {
    m_pUserDefaults->setValue(key, value);
}
QString AppSettings::GetStringValue(const QString& key) const {
    QString text = ToText(Lookup(key));
    return text.isNull() ? QString("") : text;
}
void AppSettings::SetStringValue(const QString& value, const QString& key) {
    m_pUserDefaults->setValue(key, value);
}

// Reads a stored number through its row's read conversion. Whole numbers are converted only
// when the conversion changes them, so that every stored integer is read exactly.
double AppSettings::ReadNumber(const char* key) const {
    const SettingSpec& setting = Setting(key);
    const double stored = GetDoubleValue(key);
    return setting.read ? setting.read(stored) : stored;
}
long long AppSettings::ReadWholeNumber(const char* key) const {
    const SettingSpec& setting = Setting(key);
    const long long stored = GetIntegerValue(key);
    if (setting.read == nullptr) return stored;
    const double read = setting.read(static_cast<double>(stored));
    return read == static_cast<double>(stored) ? stored : std::llround(read);
}

long long AppSettings::GetSelectedFileFormat() const {
    return ReadWholeNumber(SettingKey::FileFormat);
}
void AppSettings::SetSelectedFileFormat(long long v) {
    SetIntegerValue(v, SettingKey::FileFormat);
}
long long AppSettings::GetSelectedVideoFileFormat() const {
    return ReadWholeNumber(SettingKey::VideoFileFormat);
}
void AppSettings::SetSelectedVideoFileFormat(long long v) {
    SetIntegerValue(v, SettingKey::VideoFileFormat);
}
double AppSettings::GetFrameInterval() const {
    return ReadNumber(SettingKey::FrameInterval);
}
void AppSettings::SetFrameInterval(double v) {
    SetDoubleValue(v, SettingKey::FrameInterval);
}
long long AppSettings::GetDisclosureButtonState() const {
    return ReadWholeNumber(SettingKey::DisclosureButtonState);
}
void AppSettings::SetDisclosureButtonState(long long v) {
    SetIntegerValue(v, SettingKey::DisclosureButtonState);
}
double AppSettings::GetImageSizePercentage() const {
    return ReadNumber(SettingKey::ImageSizePercentage);
}
void AppSettings::SetImageSizePercentage(double v) {
    SetDoubleValue(v, SettingKey::ImageSizePercentage);
}
long long AppSettings::GetTransparency() const {
    return ReadWholeNumber(SettingKey::Transparency);
}
void AppSettings::SetTransparency(long long v) {
    SetIntegerValue(v == 0 ? 60 : v, SettingKey::Transparency);
}
long long AppSettings::GetRowsInVideoWall() const {
    return ReadWholeNumber(SettingKey::RowsInVideoWall);
}
void AppSettings::SetRowsInVideoWall(long long v) {
    SetIntegerValue(v, SettingKey::RowsInVideoWall);
}
long long AppSettings::GetCompressionFactor() const {
    return ReadWholeNumber(SettingKey::CompressionFactor);
}
void AppSettings::SetCompressionFactor(long long v) {
    SetIntegerValue(v, SettingKey::CompressionFactor);
}
long long AppSettings::GetAddTimeIntervalToImages() const {
    return ReadWholeNumber(SettingKey::AddTimeIntervalToImages);
}
void AppSettings::SetAddTimeIntervalToImages(long long v) {
    SetIntegerValue(v, SettingKey::AddTimeIntervalToImages);
}
double AppSettings::GetFrameDelayDuringExport() const {
    return ReadNumber(SettingKey::FrameDelayDuringExport);
}
void AppSettings::SetFrameDelayDuringExport(double v) {
    SetDoubleValue(v, SettingKey::FrameDelayDuringExport);
}
double AppSettings::GetFrameRateForExportedVideo() const {
    return ReadNumber(SettingKey::FrameRateForExportedVideo);
}
void AppSettings::SetFrameRateForExportedVideo(double v) {
    SetDoubleValue(v, SettingKey::FrameRateForExportedVideo);
}
QString AppSettings::GetLastVideo() const {
    const QString path = GetStringValue(SettingKey::LastVideo);
    return FileExistsAtPath(path) ? path : QString("");
}
void AppSettings::SetLastVideo(const QString& v) {
    SetStringValue(v, SettingKey::LastVideo);
}
QString AppSettings::GetOutputImageFileNameParameter1() const {
    return GetStringValue(SettingKey::OutputImageFileNameParameter1);
}
void AppSettings::SetOutputImageFileNameParameter1(const QString& v) {
    SetStringValue(v, SettingKey::OutputImageFileNameParameter1);
}
long long AppSettings::GetOutputImageFileNameAppendDuration() const {
    return ReadWholeNumber(SettingKey::OutputImageFileNameAppendDuration);
}
void AppSettings::SetOutputImageFileNameAppendDuration(long long v) {
    SetIntegerValue(v, SettingKey::OutputImageFileNameAppendDuration);
}
long long AppSettings::GetOutputImageAsGreyScale() const {
    return ReadWholeNumber(SettingKey::OutputImageAsGreyScale);
}
void AppSettings::SetOutputImageAsGreyScale(long long v) {
    SetIntegerValue(v, SettingKey::OutputImageAsGreyScale);
}
long long AppSettings::GetOutputImageAppendFileName() const {
    return ReadWholeNumber(SettingKey::OutputImageAppendFileName);
}
void AppSettings::SetOutputImageAppendFileName(long long v) {
    SetIntegerValue(v, SettingKey::OutputImageAppendFileName);
}
long long AppSettings::GetOutputImageAsDisplayed() const {
    return ReadWholeNumber(SettingKey::OutputImageAsDisplayed);
}
void AppSettings::SetOutputImageAsDisplayed(long long v) {
    SetIntegerValue(v, SettingKey::OutputImageAsDisplayed);
}
double AppSettings::GetFrom() const {
    return ReadNumber(SettingKey::From);
}
void AppSettings::SetFrom(double v) {
    SetDoubleValue(v, SettingKey::From);
}
double AppSettings::GetTo() const {
    return ReadNumber(SettingKey::To);
}
void AppSettings::SetTo(double v) {
    SetDoubleValue(v, SettingKey::To);
}
QString AppSettings::GetBaseFolder() const {
    return GetStringValue(SettingKey::BaseFolder);
}
void AppSettings::SetBaseFolder(const QString& v) {
    SetStringValue(v, SettingKey::BaseFolder);
}

// The colour is kept as its "#AARRGGBB" text; anything else reads as no colour.
std::optional<QColor> AppSettings::GetTimeColor() const {
    const QVariant stored = Lookup(SettingKey::TimeColorData);
    if (!stored.isValid()) return std::nullopt;
    const QString text = QString::fromLatin1(stored.toByteArray()).trimmed();
    if (!text.startsWith('#')) return std::nullopt;
    const QColor colour = QColor::fromString(text);
    if (!colour.isValid()) return std::nullopt;
    return colour;
}
void AppSettings::SetTimeColor(const QColor& colour) {
    m_pUserDefaults->setValue(SettingKey::TimeColorData, colour.name(QColor::HexArgb).toLatin1());
}

long long AppSettings::GetAddWatermark() const {
    return GetIntegerValue(SettingKey::AddWatermark);
}
void AppSettings::SetAddWatermark(long long v) {
    SetIntegerValue(v, SettingKey::AddWatermark);
}
QString AppSettings::GetWatermarkFilePath() const {
    return GetStringValue(SettingKey::WatermarkFilePath);
}
void AppSettings::SetWatermarkFilePath(const QString& v) {
    SetStringValue(v, SettingKey::WatermarkFilePath);
}
long long AppSettings::GetAlignment() const {
    return GetIntegerValue(SettingKey::Alignment);
}
void AppSettings::SetAlignment(long long v) {
    SetIntegerValue(v, SettingKey::Alignment);
}
