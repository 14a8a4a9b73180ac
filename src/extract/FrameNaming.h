#pragma once
// File names of extracted frames (without extension). Plain value; any thread.

#include <QString>
#include <limits>

struct FrameNaming {
    QString folder;
    QString prefix;  // the name text, or the video's file name without extension ('/' reads as '-')
    bool appendFileName = false;
    bool appendDuration = false;
    // Bytes a name (without folder and extension) may take; the prefix is shortened to fit.
    qsizetype nameLimit = std::numeric_limits<qsizetype>::max();

    // folder/<prefix><time text><n>, folder/<prefix><n>, folder/<time text> <n> or folder/<n>.
    QString NameFor(double time, long long counter) const;
};

// The last path component without its last extension ("a.b.mp4" gives "a.b").
QString FileNameWithoutExtension(const QString& path);
