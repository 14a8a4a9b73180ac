#pragma once
// A corpus of bad inputs, made by the tests themselves (ffmpeg, QImage and byte patches) into
// a temporary folder once per test process, one for each kind of failure: missing, empty,
// truncated, not a video, unreadable or huge images, an odd path name, a base folder below a
// regular file and a settings file full of garbage. (Folders, pipes and devices given as
// inputs: HeadlessCommandsTest; random damage: the fuzz targets.)

#include <QString>
#include <vector>

enum class CorpusKind {
    Video,         // for the commands that read a video
    ImageFolder,   // for the commands that read a folder of images
    Gif,           // for gif-frames
    Watermark,     // a PNG stamped by export-images --watermark
    BaseFolder,    // a base folder for the commands that make their own folder
    SettingsFile,  // a settings file (its folder is the XDG_CONFIG_HOME to use)
};

struct CorpusItem {
    QString name;  // short, for messages and the outcome table
    CorpusKind kind;
    QString path;
};

// Every item, made on the first call.
const std::vector<CorpusItem>& BadInputCorpus();

// Valid inputs the bad ones are made from and the odd names and settings are used with:
// a 2 s 160 x 120 video at 10 fps, a folder of four equally sized PNGs and a 20-frame GIF.
QString CorpusGoodVideo();
QString CorpusGoodImageFolder();
QString CorpusGoodGif();

// A PNG of a few bytes whose valid header claims `side` x `side` RGBA pixels.
QByteArray PngClaiming(quint32 side);

// A name with spaces, both quotes, a newline, non-ASCII letters and a leading dash.
QString OddName(const QString& suffix);

// The text of the garbage settings file: wrong types, absurd and non-finite numbers,
// malformed lines.
QByteArray GarbageSettingsText();
