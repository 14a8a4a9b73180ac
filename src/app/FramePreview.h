#pragma once
// The frame of a video at a given time, decoded off the main thread exactly as an export
// takes it (turned and stretched as players show it when the settings ask for it, HDR mapped
// to SDR), scaled to fit a box. The main window shows it in place of the video's icon.
//
// Requests are debounced: each one restarts a short timer, and only when it runs out does a
// decode start, so a number typed digit by digit costs one decode. Every request makes the
// results of all earlier ones stale; a stale result is dropped, never shown.
//
// Owned by the window it serves (a QObject child that its owner may also hold as a member).
// Every member function, and frameReady, belongs to the main thread. The decodes run on a
// thread pool owned by the preview; they touch no widget and no member other than the
// atomic generation, and post their image back to the main thread. The destructor drops the
// queued decodes and waits for the running one, so no decode outlives the preview.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>

class FramePreview : public QObject {
    Q_OBJECT

  public:
    // How long a request waits for the next one before its decode starts.
    static constexpr int kDebounceMs = 150;

    explicit FramePreview(QObject* parent = nullptr);
    ~FramePreview() override;
    FramePreview(const FramePreview&) = delete;
    FramePreview& operator=(const FramePreview&) = delete;

    // Asks for the frame of `path` at `seconds`, to fit `box` (in device-independent pixels)
    // at `devicePixelRatio`. Whether it is taken as players show it is read from the settings
    // when the decode starts.
    void Request(const QString& path, double seconds, QSize box, qreal devicePixelRatio);
    // Forgets the waiting request and makes every running decode's result stale.
    void Cancel();

    // Decodes started since the preview was made; tests count them.
    int DecodesStarted() const { return m_iDecodesStarted; }

    // The frame of `path` at `seconds` as an export takes it, scaled to fit `pixels` keeping
    // its aspect; a null image when there is no frame at that time or the file cannot be
    // decoded. Blocks while it decodes; any thread.
    static QImage DecodeFrame(const QString& path, double seconds, bool asDisplayed, QSize pixels);

  signals:
    // The answer to the latest request, its device pixel ratio set; a null image when the
    // video has no frame at that time.
    void frameReady(const QImage& frame);

  private:
    struct Job {
        QString path;
        double seconds = 0;
        QSize box;
        qreal devicePixelRatio = 1;
        bool asDisplayed = false;
        quint64 generation = 0;
    };

    void StartDecode();
    static QImage DecodeJob(const Job& job);  // on a pool thread
    void Deliver(quint64 generation, const QImage& frame);

    Job m_oPending;
    int m_iDecodesStarted = 0;
    // Bumped by every request on the main thread; read by the decodes to skip stale work.
    std::atomic<quint64> m_ullGeneration{0};
    QTimer m_oDebounce;
    QThreadPool m_oPool;
};
