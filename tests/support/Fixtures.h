#pragma once
// Test fixtures: a private home for each test process, and videos made with the ffmpeg
// command (cached in the build tree, so each is made once per build).

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <ostream>
#include <vector>

#include "app/core/MessagePresenter.h"
#include "platform/Workspace.h"

// The temporary home folder of this test process (HOME, XDG_CONFIG_HOME and the user's
// Pictures/Videos/Desktop folders all live below it).
QString TestHome();

// Removes every stored setting and override, so a test starts from an empty store.
void ResetSettingsStore();
// Run before and after every test: an empty store without registered defaults, a workspace
// that has opened and selected nothing, and no log observer.
void ResetTestState();
// Every stored key and value; the stored value of one key.
QVariantMap StoreContents();
QVariant Stored(const QString& key);

// The shared workspace of the tests, which records what it was asked to open or select.
RecordingWorkspace& Recorded();

// The messages a command showed, as "Title: text".
struct RecordedMessages : MessagePresenter {
    void DisplayMessageBox(const QString& title, const QString& text) override {
        shown << title + ": " + text;
    }
    QStringList shown;
};

// Writes `data` to `path` (a new or replaced file) and answers the path.
QString WriteTestFile(const QString& path, const QByteArray& data);
// The whole content of a file; empty when it cannot be read.
QByteArray ReadTestFile(const QString& path);

// A fresh empty directory below the test home.
QString MakeTempDir(const QString& name);
// The names of the files in a folder, sorted.
QStringList FilesIn(const QString& folder);

// Makes (once) a video with `ffmpeg -y <args> <output>`, named `name` in the fixture folder.
// `args` are the ffmpeg arguments before the output path. Fails the test when ffmpeg fails.
QString MakeVideo(const QString& name, const QStringList& args);
// The same with the arguments in one string, separated by single spaces.
inline QString MakeVideo(const QString& name, const char* args) {
    return MakeVideo(name, QString(args).split(' '));
}

// The bundled sample: 320 x 240, 30 fps, 8 s, with AAC sound.
QString SampleVideo();
// 1 s of 64 x 48 pictures at 10 fps without sound; 1 s of AAC sound without pictures; a GIF
// of 12 frames of 64 x 48 at 10 fps.
QString SilentVideo();
QString SoundOnly();
QString PartyGif();
// 1 s of 320 x 240 pictures at 25 fps whose rotate tag turns them by `degrees` (a multiple of
// 90) for display; 0 gives the untagged video.
QString RotatedVideo(int degrees);
// An opaque image of one colour at 72 dots per inch (a pixel per point).
QImage Filled(QSize size, const QColor& colour);

// Runs a program and returns its exit code; stdout/stderr captured when pointers given.
int RunProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 300000);

// Every frame the reference decoder shows, in presentation order, as RGB32 images (converted
// by ffmpeg to rgb24 with the stream's tagged matrix), with presentation times in seconds
// measured from the first frame.
struct ReferenceFrames {
    std::vector<QImage> images;
    std::vector<double> times;
};
ReferenceFrames DecodeWithReference(const QString& video, int width, int height);

// Largest per-channel difference and the mean absolute difference between two images of
// the same size (RGB only).
struct ImageDifference {
    int maxDifference = 0;
    double meanDifference = 0;
};
ImageDifference CompareImages(const QImage& a, const QImage& b);

// Largest channel difference over the pixels whose neighbourhood is one flat colour in the
// reference; chroma subsampling makes edges differ by design. Fails when too few are flat.
int MaxDifferenceOnFlatAreas(const QImage& image, const QImage& reference);

// Index of the reference frame closest to `image` (smallest mean difference).
int ClosestFrame(const ReferenceFrames& reference, const QImage& image);

class QWidget;

// What a message box showed: its main text (the title), informative text and button texts.
struct MessageBoxShown {
    QString title;
    QString text;
    QStringList buttons;
    bool windowModal = false;
};

// Closes every visible message box below `window` and answers what they showed, oldest first.
std::vector<MessageBoxShown> CloseMessageBoxes(QWidget* window);
// Closes the one message box below `window`; fails the test (answering an empty one) when
// there is not exactly one.
MessageBoxShown CloseOnlyMessageBox(QWidget* window);

// Lets GoogleTest print Qt strings as text when an expectation fails.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
