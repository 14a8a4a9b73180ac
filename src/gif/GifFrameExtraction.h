#pragma once
// Saving every frame of an animated GIF as a numbered image file (1.png, 2.png, ...) in a
// folder named after the GIF. The caller's thread; nothing is kept between runs.

#include <QString>

// The folder the frames of `gifPath` go to: `folderPath` joined with the GIF's name without
// its last extension (a.b.gif gives a.b).
QString GifOutputFolder(const QString& gifPath, const QString& folderPath);

struct GifExtractionOutcome {
    enum class Status {
        Written,      // every frame handed over was tried; see failedFrames
        StillImage,   // fewer than 2 frames: a still picture is not split
        NotReadable,  // not a GIF we can read
        Refused,      // no regular file, too large to decode safely, or no frame decodes;
                      // `reason` says why
    };
    Status status = Status::NotReadable;
    QString folder;
    long long writtenFrames = 0;
    long long failedFrames = 0;
    QString reason;  // the refusal, or the first frame's write error
};

// Refuses a path that is no regular file (a named pipe, a device, a folder) before anything
// is made. Otherwise creates the output folder (with any missing parents), shows it through
// the shared workspace before any frame is written, then writes each composited frame n
// (from 1) as "<n>.<ext>" in the image format selected in the settings, replacing files of
// the same name.
GifExtractionOutcome ExtractGIFFiles(const QString& gifPath, const QString& folderPath);
