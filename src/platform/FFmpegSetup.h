#pragma once
// The process-wide FFmpeg settings, made once: only errors are logged, and they go to the
// diagnostic log (platform/DiagnosticLog.h) as "FFmpeg: ..." lines rather than to stderr.
//
// Every code path that opens media or hands pictures to FFmpeg calls EnsureFFmpegReady()
// first; any thread may call it, any number of times.

void EnsureFFmpegReady();
