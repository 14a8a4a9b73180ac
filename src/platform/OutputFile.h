#pragma once
// Output files that never leave a half-written file behind and never destroy the file they
// were meant to replace.
//
// A ReplacingFile is written under a hidden temporary name in the folder of its final path
// and renamed over that path by Commit(); when it is destroyed uncommitted (a failure, a
// cancel) the temporary file is removed and whatever was at the path before stays as it was.
// A replaced file keeps its permissions, and a file that replaces another is flushed to the
// disk before the rename and its folder after it, so that a power cut cannot leave an empty
// file where the replaced one was (new files are not: a run of frames would wait on the disk
// for every one of them, and a power cut loses no earlier file of theirs). Every creation and write
// consults the write-fault hook (platform/WriteFaults.h). Owned by its writer; one thread at a
// time.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

struct AVIOContext;

class ReplacingFile {
  public:
    // Creates the temporary file; on failure isOpen() is false and error() says why.
    explicit ReplacingFile(QString path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return m_iDescriptor >= 0; }
    const QString& path() const { return m_strPath; }
    // The reason of the first failure (e.g. "No space left on device"); empty when none.
    const QString& error() const { return m_strError; }
    // The errno of that failure; 0 when none.
    int errorCode() const { return m_iErrorCode; }

    // Writes all of `size` bytes at the current position; false (see error()) when not.
    bool Write(const char* data, qint64 size);
    // Moves the write position; the new position, or -1 (see error()).
    qint64 Seek(qint64 offset, int whence);
    // Reads up to `size` bytes at `offset` without moving the write position: the count read
    // (less at the end of the file), or -1 (see error()).
    qint64 ReadAt(qint64 offset, char* data, qint64 size);
    // Closes the file and renames it over the path; false (see error()) when any write, the
    // close or the rename failed, and then the temporary file is gone. False too when a
    // replacement's folder could not be flushed to the disk after the rename.
    bool Commit();

  private:
    bool Replaces() const { return m_iReplacedMode >= 0; }
    bool Fail(int code);
    void Close();
    void MoveIntoPlace();
    void Discard();

    QString m_strPath;
    QByteArray m_TemporaryPath;  // native encoding; empty once committed or discarded
    int m_iDescriptor = -1;
    int m_iReplacedMode = -1;  // the permission bits of the file being replaced, if any
    QString m_strError;
    int m_iErrorCode = 0;
};

// A ReplacingFile behind an FFmpeg I/O context, for muxers. Owned by its muxer's owner, who
// hands context() to the muxer (as its `pb`) and must clear the muxer's `pb` before the
// output is destroyed.
class MuxerOutput {
  public:
    // Throws std::runtime_error with the reason when the file cannot be created.
    explicit MuxerOutput(const QString& path);
    ~MuxerOutput();
    MuxerOutput(const MuxerOutput&) = delete;
    MuxerOutput& operator=(const MuxerOutput&) = delete;

    AVIOContext* context() const { return m_pContext; }
    // Up to `size` bytes of the file from `offset` (fewer at its end), once what FFmpeg still
    // buffers is written. Throws std::runtime_error with the reason when they cannot be read.
    QByteArray ReadBack(qint64 offset, qint64 size);
    // Flushes what FFmpeg buffers and commits the file; false with error() when any of it
    // (or an earlier write) failed.
    bool Commit();
    QString error() const;

  private:
    // Writes what FFmpeg buffers; false with error() when any write so far failed.
    bool Flush();
    static int WritePacket(void* opaque, const uint8_t* data, int size);
    static int64_t SeekTo(void* opaque, int64_t offset, int whence);

    std::unique_ptr<ReplacingFile> m_pFile;
    AVIOContext* m_pContext = nullptr;
    QString m_strError;  // a failure FFmpeg met that the file did not
};

// The errno's text as the C library gives it ("No space left on device").
QString ErrnoText(int code);

// A device, pipe or folder at the path: it cannot be replaced, only written into (or refused),
// and is never read as a file.
bool IsSpecialFile(const QString& path);
