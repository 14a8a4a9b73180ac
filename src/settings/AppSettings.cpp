#include "settings/AppSettings.h"

#include <QHash>
#include <cmath>
#include <limits>

#include "platform/StandardFolders.h"

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

// A stored number that is not finite (a hand-edited or corrupt store) reads as `fallback`:
// no read conversion makes it usable. Finite numbers keep their conversions however large or
// small (a run whose interval cannot move its time on stops by itself).
double Finite(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
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
    RegisteredDefaults() = {
        {"FileFormat", 0LL},
        {"VideoFileFormat", 0LL},
        {"dblFrameInterval", 1.0},
        {"DisclosureButtonState", 0LL},
        {"ImageSizePercentage", 100LL},
        {"Transparency", 60LL},
        {"RowsInVideoWall", 3LL},
        {"CompressionFactor", 100LL},
        {"AddTimeIntervalToImages", 1LL},
    };
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

long long AppSettings::GetSelectedFileFormat() const {
    return GetIntegerValue("FileFormat");
}
void AppSettings::SetSelectedFileFormat(long long v) {
    SetIntegerValue(v, "FileFormat");
}
long long AppSettings::GetSelectedVideoFileFormat() const {
    return GetIntegerValue("VideoFileFormat");
}
void AppSettings::SetSelectedVideoFileFormat(long long v) {
    SetIntegerValue(v, "VideoFileFormat");
}

double AppSettings::GetFrameInterval() const {
    const double interval = std::fabs(Finite(GetDoubleValue("dblFrameInterval"), 1.0));
    return interval == 0.0 ? 0.1 : interval;
}
void AppSettings::SetFrameInterval(double v) {
    SetDoubleValue(v, "dblFrameInterval");
}

long long AppSettings::GetDisclosureButtonState() const {
    return GetIntegerValue("DisclosureButtonState");
}
void AppSettings::SetDisclosureButtonState(long long v) {
    SetIntegerValue(v, "DisclosureButtonState");
}

double AppSettings::GetImageSizePercentage() const {
    const double percentage = Finite(GetDoubleValue("ImageSizePercentage"), 100.0);
    return percentage > 0 ? percentage : 100.0;
}
void AppSettings::SetImageSizePercentage(double v) {
    SetDoubleValue(v, "ImageSizePercentage");
}

long long AppSettings::GetTransparency() const {
    const long long transparency = GetIntegerValue("Transparency");
    return transparency == 0 ? 60 : transparency;
}
void AppSettings::SetTransparency(long long v) {
    SetIntegerValue(v == 0 ? 60 : v, "Transparency");
}

long long AppSettings::GetRowsInVideoWall() const {
    const long long rows = GetIntegerValue("RowsInVideoWall");
    return rows < 1 ? 1 : rows;
}
void AppSettings::SetRowsInVideoWall(long long v) {
    SetIntegerValue(v, "RowsInVideoWall");
}

long long AppSettings::GetCompressionFactor() const {
    return GetIntegerValue("CompressionFactor");
}
void AppSettings::SetCompressionFactor(long long v) {
    SetIntegerValue(v, "CompressionFactor");
}

long long AppSettings::GetAddTimeIntervalToImages() const {
    return GetIntegerValue("AddTimeIntervalToImages");
}
void AppSettings::SetAddTimeIntervalToImages(long long v) {
    SetIntegerValue(v, "AddTimeIntervalToImages");
}

double AppSettings::GetFrameDelayDuringExport() const {
    const double delay = Finite(GetDoubleValue("FrameDelayDuringExport"), 0.05);
    return delay > 0 ? delay : 0.05;
}
void AppSettings::SetFrameDelayDuringExport(double v) {
    SetDoubleValue(v, "FrameDelayDuringExport");
}

double AppSettings::GetFrameRateForExportedVideo() const {
    const double stored = Finite(GetDoubleValue("FrameRateForExportedVideo"), 10.0);
    const double rate = stored == 0.0 ? 10.0 : stored;
    return rate < 1 ? 1.0 : rate;
}
void AppSettings::SetFrameRateForExportedVideo(double v) {
    SetDoubleValue(v, "FrameRateForExportedVideo");
}

QString AppSettings::GetLastVideo() const {
    const QString path = GetStringValue("LastVideo");
    return FileExistsAtPath(path) ? path : QString("");
}
void AppSettings::SetLastVideo(const QString& v) {
    SetStringValue(v, "LastVideo");
}

QString AppSettings::GetOutputImageFileNameParameter1() const {
    return GetStringValue("OutputImageFileNameParameter1");
}
void AppSettings::SetOutputImageFileNameParameter1(const QString& v) {
    SetStringValue(v, "OutputImageFileNameParameter1");
}
long long AppSettings::GetOutputImageFileNameAppendDuration() const {
    return GetIntegerValue("OutputImageFileNameAppendDuration");
}
void AppSettings::SetOutputImageFileNameAppendDuration(long long v) {
    SetIntegerValue(v, "OutputImageFileNameAppendDuration");
}
long long AppSettings::GetOutputImageAsGreyScale() const {
    return GetIntegerValue("OutputImageAsGreyScale");
}
void AppSettings::SetOutputImageAsGreyScale(long long v) {
    SetIntegerValue(v, "OutputImageAsGreyScale");
}
long long AppSettings::GetOutputImageAppendFileName() const {
    return GetIntegerValue("OutputImageAppendFileName");
}
void AppSettings::SetOutputImageAppendFileName(long long v) {
    SetIntegerValue(v, "OutputImageAppendFileName");
}
long long AppSettings::GetOutputImageAsDisplayed() const {
    return GetIntegerValue("OutputImageAsDisplayed");
}
void AppSettings::SetOutputImageAsDisplayed(long long v) {
    SetIntegerValue(v, "OutputImageAsDisplayed");
}

double AppSettings::GetFrom() const {
    return std::fabs(GetDoubleValue("dblFrom"));
}
void AppSettings::SetFrom(double v) {
    SetDoubleValue(v, "dblFrom");
}
double AppSettings::GetTo() const {
    return std::fabs(GetDoubleValue("dblTo"));
}
void AppSettings::SetTo(double v) {
    SetDoubleValue(v, "dblTo");
}

QString AppSettings::GetBaseFolder() const {
    return GetStringValue("BaseFolder");
}
void AppSettings::SetBaseFolder(const QString& v) {
    SetStringValue(v, "BaseFolder");
}

// The colour is kept as its "#AARRGGBB" text; anything else reads as no colour.
std::optional<QColor> AppSettings::GetTimeColor() const {
    const QVariant stored = Lookup("TimeColorData");
    if (!stored.isValid()) return std::nullopt;
    const QString text = QString::fromLatin1(stored.toByteArray()).trimmed();
    if (!text.startsWith('#')) return std::nullopt;
    const QColor colour = QColor::fromString(text);
    if (!colour.isValid()) return std::nullopt;
    return colour;
}
void AppSettings::SetTimeColor(const QColor& colour) {
    m_pUserDefaults->setValue("TimeColorData", colour.name(QColor::HexArgb).toLatin1());
}

long long AppSettings::GetAddWatermark() const {
    return GetIntegerValue("AddWatermark");
}
void AppSettings::SetAddWatermark(long long v) {
    SetIntegerValue(v, "AddWatermark");
}
QString AppSettings::GetWatermarkFilePath() const {
    return GetStringValue("WatermarkFilePath");
}
void AppSettings::SetWatermarkFilePath(const QString& v) {
    SetStringValue(v, "WatermarkFilePath");
}
long long AppSettings::GetAlignment() const {
    return GetIntegerValue("Alignment");
}
void AppSettings::SetAlignment(long long v) {
    SetIntegerValue(v, "Alignment");
}
