#pragma once
// The export presets that the video conversion offers, by name, what each of them makes, and
// their pop-up titles. A preset's position in GetExportableFileTypes() is its tag, so the list
// keeps one order from start-up to conversion. Stateless; any thread.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/Exporter.h"

QStringList GetExportableFileTypes();

// The preset's name as the pop-up lists it: every "AVAssetExportPreset" removed, then every
// "Apple" followed by a space ("AVAssetExportPresetAppleM4A" becomes "Apple M4A").
QString PresetPopupTitle(const QString& presetName);

// What the named preset makes; nullopt for a name that is no preset of ours.
std::optional<ExportPreset> FindExportPreset(const QString& presetName);

// `when` as the conversion's comments name it: the locale's medium date and short time
// ("Dec 7, 2026, 6:59 PM" in en_US, "07.12.2026, 18:59" in de_DE) in the zone of `when`.
QString ConversionCommentTime(const QDateTime& when, const QLocale& locale);
