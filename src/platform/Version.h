#pragma once
// The version of this build, as the build system states it (CMake's project version).

#include <QString>

inline QString ApplicationVersion() {
    return QStringLiteral(STILLPRESS_VERSION);
}
