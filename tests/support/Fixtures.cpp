#include "support/Fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <cerrno>
#include <cmath>
#include <vector>

#include "platform/DiagnosticLog.h"
#include "settings/AppSettings.h"

void ResetSettingsStore() {
    AppSettings::ClearOverrides();
    QSettings("Quonex", "Stillpress").clear();
}

void ResetTestState() {
    ResetSettingsStore();
    AppSettings::ClearRegisteredDefaults();
    Recorded().openedURLs.clear();
    Recorded().selectedFiles.clear();
    SetLogObserver({});
}

QVariantMap StoreContents() {
    QSettings store("Quonex", "Stillpress");
    QVariantMap contents;
    for (const QString& key : store.allKeys()) contents[key] = store.value(key);
    return contents;
}

QVariant Stored(const QString& key) {
    return QSettings("Quonex", "Stillpress").value(key);
}

RecordingWorkspace& Recorded() {
    return dynamic_cast<RecordingWorkspace&>(SharedWorkspace());
}

QString SampleVideo() {
    return QString(STILLPRESS_SOURCE_DIR) + "/samples/sample.mp4";
}

QString SilentVideo() {
    return MakeVideo("silent.mp4",
                     "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v "
                     "libx264 -pix_fmt yuv420p");
}

QString SoundOnly() {
    return MakeVideo("sound-only.m4a", "-f lavfi -i sine=duration=1 -c:a aac");
}

QString PartyGif() {
    return MakeVideo("party.gif", "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1.2");
}

QString RotatedVideo(int degrees) {
    const QString upright = MakeVideo("upright.mp4",
                                      "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 "
                                      "-c:v libx264 -pix_fmt yuv420p");
    if (degrees == 0) return upright;
    return MakeVideo(
        QString("rotated-%1.mp4").arg(degrees),
        {"-i", upright, "-c", "copy", "-metadata:s:v:0", QString("rotate=%1").arg(degrees)});
}

QImage Filled(QSize size, const QColor& colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    return image;
}

QString WriteTestFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    EXPECT_EQ(file.write(data), data.size());
    return path;
}

QByteArray ReadTestFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString MakeTempDir(const QString& name) {
    static int counter = 0;
    const QString path = QString("%1/tmp/%2-%3").arg(TestHome(), name).arg(++counter);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

namespace {

// ThreadSanitizer runs the programs the tests start (the command-line tool) five to fifteen
// times slower, on a loaded machine more: their deadlines stretch with them.
#ifdef __SANITIZE_THREAD__
constexpr int kSlowdown = 10;
#else
constexpr int kSlowdown = 1;
#endif

// Reads the child's two pipes until both close; false when the deadline passes first.
bool ReadUntilClosed(int outFd, int errFd, QByteArray* out, QByteArray* err, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    pollfd fds[] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    QByteArray* sinks[] = {out, err};
    int open = 2;
    while (open > 0) {
        const int left = timeoutMs - static_cast<int>(clock.elapsed());
        if (left <= 0) return false;
        if (poll(fds, 2, left) < 0 && errno != EINTR) return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0 && sinks[i]) sinks[i]->append(buffer, count);
            if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

}  // namespace

// Started with posix_spawn, not QProcess: Qt starts children with vfork semantics (clone with
// CLONE_VM and this thread's TLS), so the child's libc calls ran ThreadSanitizer's interceptors
// on this thread's own state, and from then on it missed this thread's locking.
int RunProgram(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err,
               int timeoutMs) {
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& arg : args) words.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
    if (pipe2(errPipe, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    pid_t child = 0;
    const int started = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    const bool finished =
        started == 0 && ReadUntilClosed(outPipe[0], errPipe[0], out, err, timeoutMs * kSlowdown);
    close(outPipe[0]);
    close(errPipe[0]);
    if (started != 0) return -1;
    if (!finished) kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (!finished) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

QString MakeVideo(const QString& name, const QStringList& args) {
    const QString folder = STILLPRESS_FIXTURE_DIR;
    QDir().mkpath(folder);
    const QString path = folder + "/" + name;
    if (QFile::exists(path)) return path;
    const QString partial = folder + "/partial-" + name;
    QByteArray err;
    const int code = RunProgram(
        "ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} << args << partial,
        nullptr, &err);
    EXPECT_EQ(code, 0) << "ffmpeg could not make " << name.toStdString() << ": "
                       << err.toStdString();
    QFile::rename(partial, path);
    return path;
}

static std::vector<double> ReferenceFrameTimes(const QString& video) {
    QByteArray out;
    RunProgram("ffprobe",
               {"-v", "error", "-select_streams", "v:0", "-show_entries",
                "frame=best_effort_timestamp_time", "-of", "csv=p=0", video},
               &out);
    std::vector<double> times;
    for (const QByteArray& line : out.split('\n')) {
        bool ok = false;
        // Frames with side data print extra (empty) fields after the time: "0.000000,".
        const double value = line.split(',').front().trimmed().toDouble(&ok);
        if (ok) times.push_back(value);
    }
    if (!times.empty()) {
        const double first = times.front();
        for (double& time : times) time -= first;
    }
    return times;
}

ReferenceFrames DecodeWithReference(const QString& video, int width, int height) {
    ReferenceFrames reference;
    reference.times = ReferenceFrameTimes(video);
    QByteArray raw;
    // Exact conversion (no approximated rounding or chroma), as a frame grabber should do it.
    RunProgram("ffmpeg",
               {"-v", "error", "-i", video, "-map", "0:v:0", "-vsync", "passthrough", "-sws_flags",
                "accurate_rnd+full_chroma_int+full_chroma_inp+bitexact", "-f", "rawvideo",
                "-pix_fmt", "rgb24", "-"},
               &raw);
    const qsizetype frameBytes = qsizetype(width) * height * 3;
    for (qsizetype offset = 0; offset + frameBytes <= raw.size(); offset += frameBytes) {
        QImage rgb(reinterpret_cast<const uchar*>(raw.constData() + offset), width, height,
                   width * 3, QImage::Format_RGB888);
        reference.images.push_back(rgb.convertToFormat(QImage::Format_RGB32));
    }
    return reference;
}

ImageDifference CompareImages(const QImage& a, const QImage& b) {
    ImageDifference difference;
    if (a.size() != b.size()) {
        difference.maxDifference = 256;
        difference.meanDifference = 256;
        return difference;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            for (int d : {qRed(p[column]) - qRed(q[column]), qGreen(p[column]) - qGreen(q[column]),
                          qBlue(p[column]) - qBlue(q[column])}) {
                difference.maxDifference = std::max(difference.maxDifference, std::abs(d));
                sum += std::abs(d);
            }
        }
    }
    difference.meanDifference = sum / (3.0 * x.width() * x.height());
    return difference;
}

int MaxDifferenceOnFlatAreas(const QImage& image, const QImage& reference) {
    const int radius = 4;
    int largest = 0, flat = 0, sampled = 0;
    for (int y = radius; y < reference.height() - radius; y += 3) {
        for (int x = radius; x < reference.width() - radius; x += 3, ++sampled) {
            QImage plain(2 * radius + 1, 2 * radius + 1, QImage::Format_RGB32);
            plain.fill(reference.pixel(x, y));
            if (reference.copy(x - radius, y - radius, plain.width(), plain.height()) != plain)
                continue;
            ++flat;
            const auto at = [x, y](const QImage& from) { return from.copy(x, y, 1, 1); };
            largest = std::max(largest, CompareImages(at(image), at(reference)).maxDifference);
        }
    }
    EXPECT_GT(flat, sampled / 2) << "too few flat areas to compare";
    return largest;
}

int ClosestFrame(const ReferenceFrames& reference, const QImage& image) {
    int best = -1;
    double bestMean = 1e9;
    for (size_t index = 0; index < reference.images.size(); ++index) {
        const double mean = CompareImages(reference.images[index], image).meanDifference;
        if (mean < bestMean) {
            bestMean = mean;
            best = static_cast<int>(index);
        }
    }
    return best;
}

std::vector<MessageBoxShown> CloseMessageBoxes(QWidget* window) {
    std::vector<MessageBoxShown> shown;
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (!box->isVisible()) continue;
        MessageBoxShown message{
            box->text(), box->informativeText(), {}, box->windowModality() == Qt::WindowModal};
        for (QAbstractButton* button : box->buttons()) message.buttons << button->text();
        shown.push_back(message);
        box->done(0);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shown;
}

MessageBoxShown CloseOnlyMessageBox(QWidget* window) {
    const std::vector<MessageBoxShown> shown = CloseMessageBoxes(window);
    EXPECT_EQ(shown.size(), 1u);
    return shown.size() == 1 ? shown.front() : MessageBoxShown{};
}
