#pragma once
// The one typed access path to every persisted option, over the per-user settings store
// (QSettings, organisation "Quonex", application "Stillpress").
//
// An AppSettings holds no values of its own: any number of instances see the same values at
// once. Registered defaults and run overrides are process-wide and never written to storage;
// a stored value wins over a registered default, an override wins over both.
// A stored frame interval, image size, frame delay or movie frame rate that is not finite
// reads as its default; every finite one goes through its read conversion.
// Use from one thread at a time (the main thread in the application).

#include <QByteArray>
#include <QColor>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class AppSettings {
  public:
    AppSettings();

    // Registers the fallback values of the settings table; stored values always win over them.
    void DoRegisterDefaults();

    // Values that answer instead of the stored ones for the rest of the process, without
    // being stored (the headless command's options). Writes still go to storage.
    static void SetOverride(const QString& key, const QVariant& value);
    static void ClearOverrides();
    // Forgets the registered defaults (tests start from a fresh process state).
    static void ClearRegisteredDefaults();

    long long GetIntegerValue(const QString& key) const;
    void SetIntegerValue(long long value, const QString& key);
    double GetDoubleValue(const QString& key) const;
    void SetDoubleValue(double value, const QString& key);
    QString GetStringValue(const QString& key) const;  // never null
    void SetStringValue(const QString& value, const QString& key);

    long long GetSelectedFileFormat() const;
    void SetSelectedFileFormat(long long value);
    long long GetSelectedVideoFileFormat() const;
    void SetSelectedVideoFileFormat(long long value);
    double GetFrameInterval() const;
    void SetFrameInterval(double value);
    long long GetDisclosureButtonState() const;
    void SetDisclosureButtonState(long long value);
    double GetImageSizePercentage() const;
    void SetImageSizePercentage(double value);
    long long GetTransparency() const;
    void SetTransparency(long long value);
    long long GetRowsInVideoWall() const;
    void SetRowsInVideoWall(long long value);
    long long GetCompressionFactor() const;
    void SetCompressionFactor(long long value);
    long long GetAddTimeIntervalToImages() const;
    void SetAddTimeIntervalToImages(long long value);
    double GetFrameDelayDuringExport() const;
    void SetFrameDelayDuringExport(double value);
    double GetFrameRateForExportedVideo() const;
    void SetFrameRateForExportedVideo(double value);
    QString GetLastVideo() const;
    void SetLastVideo(const QString& value);
    QString GetOutputImageFileNameParameter1() const;
    void SetOutputImageFileNameParameter1(const QString& value);
    long long GetOutputImageFileNameAppendDuration() const;
    void SetOutputImageFileNameAppendDuration(long long value);
    long long GetOutputImageAsGreyScale() const;
    void SetOutputImageAsGreyScale(long long value);
    long long GetOutputImageAppendFileName() const;
    void SetOutputImageAppendFileName(long long value);
    // 1: frames are turned, mirrored and stretched to square pixels as players show them.
    long long GetOutputImageAsDisplayed() const;
    void SetOutputImageAsDisplayed(long long value);
    double GetFrom() const;
    void SetFrom(double value);
    double GetTo() const;
    void SetTo(double value);
    QString GetBaseFolder() const;
    void SetBaseFolder(const QString& value);
    std::optional<QColor> GetTimeColor() const;
    void SetTimeColor(const QColor& colour);
    long long GetAddWatermark() const;
    void SetAddWatermark(long long value);
    QString GetWatermarkFilePath() const;
    void SetWatermarkFilePath(const QString& value);
    long long GetAlignment() const;
    void SetAlignment(long long value);

  private:
    QVariant Lookup(const QString& key) const;  // override, stored, registered, or invalid
    double ReadNumber(const char* key) const;
    long long ReadWholeNumber(const char* key) const;

    std::unique_ptr<QSettings> m_pUserDefaults;
};
