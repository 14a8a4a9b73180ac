#include "platform/DiagnosticLog.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {
std::mutex g_LogMutex;
std::function<void(const QString&)> g_fnObserver;
std::atomic<bool> g_bToStandardError{true};
}  // namespace

void LogLine(const QString& line) {
    const QByteArray text = line.toUtf8();
    // The text goes in as an argument, never as the format.
    syslog(LOG_NOTICE, "%s", text.constData());
    std::lock_guard lock(g_LogMutex);
    if (g_bToStandardError) std::fprintf(stderr, "%s\n", text.constData());
    if (g_fnObserver) g_fnObserver(line);
}

void SetLogObserver(std::function<void(const QString&)> observer) {
    std::lock_guard lock(g_LogMutex);
    g_fnObserver = std::move(observer);
}

void SetLogToStandardError(bool enabled) {
    g_bToStandardError = enabled;
}
