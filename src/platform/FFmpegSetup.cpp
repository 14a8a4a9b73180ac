#include "platform/FFmpegSetup.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QString>
#include <cstdarg>
#include <mutex>
#include <string>

#include "platform/DiagnosticLog.h"

namespace {

// Corrupt files make the decoders complain at error level; we report failures ourselves,
// so anything chattier is left out of the log.
constexpr int kLoggedLevel = AV_LOG_ERROR;
// FFmpeg formats no longer lines than this; a longer one is cut.
constexpr int kPieceBytes = 1024;
// A line FFmpeg never ends is logged once it is this long.
constexpr size_t kLongestLine = 4096;

// FFmpeg may log from its own threads and builds a line in several calls, so each thread
// keeps the part of a line it has so far and whether the next piece starts a line.
void ForwardToDiagnosticLog(void* context, int level, const char* format, va_list arguments) {
    if (level > av_log_get_level()) return;
    thread_local std::string line;
    thread_local int startsLine = 1;
    char piece[kPieceBytes];
    if (av_log_format_line2(context, level, format, arguments, piece, sizeof piece, &startsLine) <
        0)
        return;
    line += piece;
    const bool ended = !line.empty() && line.back() == '\n';
    if (!ended && line.size() < kLongestLine) return;
    if (ended) line.pop_back();
    if (!line.empty()) LogLine("FFmpeg: " + QString::fromStdString(line));
    line.clear();
}

}  // namespace

void EnsureFFmpegReady() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(kLoggedLevel);
        av_log_set_callback(&ForwardToDiagnosticLog);
    });
}
