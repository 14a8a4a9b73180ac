#pragma once
// The versions of the FFmpeg libraries this process runs with: those of the shared libraries
// loaded, which may be newer than the headers the program was built against. Any thread.

#include <QString>
#include <QStringList>

// FFmpeg's release, as its build states it ("5.1.6-0+deb12u1").
QString FFmpegVersion();
// Every FFmpeg library the program links, as "libavcodec 59.37.100" (major.minor.micro).
QStringList FFmpegLibraryVersions();
