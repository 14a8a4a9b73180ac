#pragma once
// The video information report (VideoFileProcessor::GetVideoInfo, defined in
// VideoInfoReport.cpp) and the texts and container facts it is made of. Any thread; no
// shared state.
//
// Where the report's values come from in FFmpeg's view of the file:
//   Created           the container's "creation_time" tag (else the first video stream's)
//   Playable          some audio or video stream has a decoder in this FFmpeg
//   Protected Content some stream carries encryption information (CENC, encrypted AVI/ASF)
//   Lyrics            the container's "lyrics" tag, or one in a language ("lyrics-eng")
//   metadata lines    the container's other tags, in the file's order; the MP4 brand tags
//                     (major_brand, minor_version, compatible_brands) describe the file
//                     type rather than the video and are left out, like the two above

#include <QString>
#include <QStringList>

// The decimal byte count of a file size: "Zero KB", "1 byte", "532 bytes", "12 KB",
// "1.2 MB", "1.23 GB" (1 KB = 1000 bytes; whole KB, one decimal for MB, two above; trailing
// zeros dropped; a figure that rounds to 1000 moves up a unit).
QString ByteCountText(long long bytes);

// Seconds after the start of 1970 as the UTC clock text "HH:mm:ss": the fraction dropped,
// a day or more wrapping round (25 hours reads 01:00:00). "00:00:00" for a non-finite value.
QString ClockTextOfSeconds(double seconds);

struct ContainerFacts {
    QString creationDate;  // empty when the file has none
    bool playable = false;
    bool hasProtectedContent = false;
    QString lyrics;
    QStringList metadataValues;  // non-empty values only
};

// Empty facts (not playable) when the file cannot be read as media.
ContainerFacts ReadContainerFacts(const QString& path);
