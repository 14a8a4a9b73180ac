#pragma once
// Converts one media file through an export preset into a new file, on a thread of its own.
//
// The caller creates the exporter for a source and a preset, sets the output path, the file
// type (one of supportedFileTypes()) and the metadata, then starts it. From then on the
// exporter's thread owns the conversion; the caller may only read progress() and status(),
// ask for cancelExport(), and read error() once the status is final. The completion handler
// runs once on the exporter's thread when the status has become final. A conversion that
// fails or is cancelled removes its partial output. Destroying the exporter cancels a running
// conversion and waits for its thread. Setters: the creating thread, before the start.

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// What a preset makes of a source. File types are muxer names ("mov", "mp4", "ipod"), the
// preferred one first.
struct ExportPreset {
    enum class Kind { Video, AudioOnly, Passthrough };
    QString name;
    Kind kind = Kind::Video;
    QString videoEncoder;        // "libx264", "libx265", "prores_ks"
    QString videoQuality;        // the encoder's quality, e.g. the CRF
    QSize largestSize;           // the box the picture must fit in; empty: any size
    QString audioEncoder;        // "aac", "pcm_s16le"
    long long audioBitRate = 0;  // 0: the encoder's choice
    QStringList supportedFileTypes;
};

// One metadata entry of the output. In the key spaces of QuickTime user data ("udta") and
// iTunes metadata ("itsk") a key of four characters (such as "©cmt") is the type of the atom
// that holds the text; every other entry is a QuickTime metadata key ("mdta") named `key`.
inline constexpr char kUserDataKeySpace[] = "udta";
inline constexpr char kITunesKeySpace[] = "itsk";
struct ExportMetadataItem {
    QString keySpace;
    QString key;
    QString value;
};

class Exporter {
  public:
    enum Status : int {
        Unknown = 0,
        Waiting = 1,
        Exporting = 2,
        Completed = 3,
        Failed = 4,
        Cancelled = 5,
    };

    // nullptr, with the reason in `reason`, when the source cannot be read or has no stream
    // the preset needs (a picture for a video preset, a sound for an audio preset).
    static std::unique_ptr<Exporter> Create(const QString& sourcePath, const ExportPreset& preset,
                                            QString* reason);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    QStringList supportedFileTypes() const;
    void setOutputPath(const QString& path);
    void setOutputFileType(const QString& fileType);
    QList<ExportMetadataItem> metadata() const;
    void setMetadata(const QList<ExportMetadataItem>& items);

    // Starts the conversion thread; call once. `completion` may be empty.
    void exportAsynchronously(std::function<void()> completion);
    void cancelExport();

    // Any thread.
    float progress() const;  // 0 to 1
    Status status() const;
    QString error() const;  // empty unless the status is Failed

  private:
    class Impl;
    explicit Exporter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_pImpl;
};
