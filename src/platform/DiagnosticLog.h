#pragma once
// Diagnostic lines: one line each, to stderr and to syslog. Any thread.

#include <QString>
#include <functional>

void LogLine(const QString& line);

// Receives every line as well (tests read them); pass an empty function to stop.
void SetLogObserver(std::function<void(const QString&)> observer);
// Whether lines also go to stderr (the headless command keeps stderr for messages).
void SetLogToStandardError(bool enabled);
