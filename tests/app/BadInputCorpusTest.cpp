// Every command over the corpus of bad inputs ends in time, without a signal or a sanitizer
// report, says "Title: text", answers 0 only when it wrote something, and keeps the user's files.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <atomic>
#include <thread>

#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

constexpr int kTimeoutMs = 60000;
const QByteArray kSentinel = "sentinel: the user's own file\n";
const QByteArray kRegularFile = "a regular file\n";  // as the corpus makes it
const QByteArray kPreviousOutput = "the user's earlier output\n";

// A command, the kind of input it reads, where it writes ("BASE": a base folder it makes its
// own folder in, "FOLDER": the folder given, "TARGET": the file given, which holds an earlier
// output), and the options that keep a run small.
struct Command {
    QString name;
    CorpusKind input;
    QStringList output;
    QString target;
    QStringList options;
    bool watermark = false;  // takes --watermark
};

const QStringList kPng{"--format", "png"}, kFast{"--frame-delay", "0.000001"};
const QStringList kSteps = QStringList{"--interval", "0.5"} + kPng;
const Command kCommands[] = {
    {"export-images", CorpusKind::Video, {"--base-folder", "BASE"}, "", kSteps, true},
    {"wall-from-video", CorpusKind::Video, {"TARGET"}, "wall.png", kSteps, true},
    {"wall-from-images", CorpusKind::ImageFolder, {"TARGET"}, "wall.png", kPng},
    {"movie-from-images", CorpusKind::ImageFolder, {"TARGET"}, "movie.mp4", kFast},
    {"reencode", CorpusKind::Video, {"TARGET"}, "movie.mp4", kFast},
    {"gif-frames", CorpusKind::Gif, {"FOLDER"}, "", kPng},
    {"info", CorpusKind::Video, {"--output", "TARGET"}, "info.txt", {}},
    {"convert", CorpusKind::Video, {"--base-folder", "BASE"}, "", {"--preset", "0"}},
};

bool Takes(const Command& command, CorpusKind kind) {
    return kind == command.input || kind == CorpusKind::SettingsFile ||
           (kind == CorpusKind::Watermark && command.watermark) ||
           (kind == CorpusKind::BaseFolder && command.output.contains("BASE"));
}

struct CommandRun {
    const CorpusItem* item = nullptr;
    const Command* command = nullptr;
    QString folder;  // holds the sentinel; the output folder or base folder
    QString target;  // the earlier output the command is asked to replace, or empty
    QStringList arguments;
    CliResult result;
};

// The settings file case leaves all options to the settings.
CommandRun PrepareRun(const CorpusItem& item, const Command& command) {
    CommandRun run{&item, &command, MakeTempDir("run") + "/" + OddName(" out"), {}, {}, {}};
    QDir().mkpath(run.folder);
    WriteTestFile(run.folder + "/sentinel.txt", kSentinel);
    if (!command.target.isEmpty())
        run.target = WriteTestFile(run.folder + "/" + command.target, kPreviousOutput);
    const QString input = item.kind == command.input                 ? item.path
                          : command.input == CorpusKind::ImageFolder ? CorpusGoodImageFolder()
                          : command.input == CorpusKind::Gif         ? CorpusGoodGif()
                                                                     : CorpusGoodVideo();
    if (command.output.contains("FOLDER")) {
        const QString frames = run.folder + "/" + QFileInfo(input).completeBaseName();
        QDir().mkpath(frames);
        WriteTestFile(frames + "/sentinel.txt", kSentinel);
    }
    const QString base = item.kind == CorpusKind::BaseFolder ? item.path : run.folder;
    run.arguments = QStringList{command.name, input};
    for (const QString& part : command.output)
        run.arguments << (part == "BASE"     ? base
                          : part == "FOLDER" ? run.folder
                          : part == "TARGET" ? run.target
                                             : part);
    if (item.kind == CorpusKind::SettingsFile) return run;
    run.arguments << command.options;
    if (item.kind == CorpusKind::Watermark) run.arguments << "--watermark" << item.path;
    return run;
}

// Runs them on two threads. The children inherit the environment, so the runs with the
// garbage settings file (as XDG_CONFIG_HOME) go last, all together.
void ExecuteAll(std::vector<CommandRun>& runs) {
    const QByteArray home = qgetenv("XDG_CONFIG_HOME");
    for (const bool garbageSettings : {false, true}) {
        std::atomic<size_t> next = 0;
        const auto worker = [&] {
            for (size_t index; (index = next++) < runs.size();) {
                CommandRun& run = runs[index];
                if ((run.item->kind == CorpusKind::SettingsFile) != garbageSettings) continue;
                run.result = RunCli(run.arguments, kTimeoutMs);
            }
        };
        std::thread first(worker), second(worker);
        first.join();
        second.join();
        for (const CorpusItem& item : BadInputCorpus())
            if (item.kind == CorpusKind::SettingsFile)
                qputenv("XDG_CONFIG_HOME", QFile::encodeName(item.path));
    }
    qputenv("XDG_CONFIG_HOME", home);
}

void ExpectWellBehaved(const CommandRun& run) {
    SCOPED_TRACE(
        (run.item->name + " / " + run.command->name + "\nstderr: " + run.result.err).toStdString());
    ASSERT_GE(run.result.status, 0) << "no exit status: crashed, hung or did not start";
    EXPECT_LE(run.result.status, 2);
    for (const char* report : {"runtime error", "AddressSanitizer", "LeakSanitizer"})
        EXPECT_FALSE(run.result.err.contains(report));
    if (run.result.status == 0) {
        // Something real: images in the folder, or a file that replaced the earlier output.
        const QString written = run.result.out;  // one path, which may hold a line break
        const QByteArray content = ReadTestFile(written);
        EXPECT_TRUE(
            QFileInfo(written).isDir()
                ? !QDir(written).entryList({"*.png", "*.tiff", "*.jpg"}, QDir::Files).isEmpty()
                : !content.isEmpty() && content != kPreviousOutput)
            << "success without output";
    } else {
        // libpng prints its errors itself (Qt's PNG reader gives it no error function), before
        // the command's own message.
        const QStringList lines = run.result.err.split('\n', Qt::SkipEmptyParts);
        const auto own = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
            return !line.startsWith("libpng ");
        });
        EXPECT_TRUE(own != lines.end() && own->contains(": ")) << "no \"Title: text\" message";
    }
    EXPECT_EQ(ReadTestFile(run.folder + "/sentinel.txt"), kSentinel);
    if (!run.target.isEmpty() && run.result.status != 0) {
        EXPECT_EQ(ReadTestFile(run.target), kPreviousOutput) << "an earlier output was destroyed";
    }
    if (run.command->name == "gif-frames") {
        const QString name = QFileInfo(run.arguments[1]).completeBaseName();
        EXPECT_EQ(ReadTestFile(run.folder + "/" + name + "/sentinel.txt"), kSentinel);
    }
    // A base folder path through a regular file must leave that file as it was.
    if (run.item->kind == CorpusKind::BaseFolder) {
        EXPECT_EQ(ReadTestFile(QString(run.item->path).remove("/sub")), kRegularFile);
    }
}

TEST(BadInputCorpusTest, EveryCommandEndsClearlyAndKeepsTheUsersFiles) {
    std::vector<CommandRun> runs;
    for (const CorpusItem& item : BadInputCorpus())
        for (const Command& command : kCommands)
            if (Takes(command, item.kind)) runs.push_back(PrepareRun(item, command));
    ExecuteAll(runs);
    for (const CommandRun& run : runs) ExpectWellBehaved(run);
}

using BadInputWindowTest = WindowTest;

// QSettings rereads a file changed behind its back at its next sync. Every command that reads
// the video or the last folder runs, its save panel answered with a new file.
TEST_F(BadInputWindowTest, GarbageSettingsStartTheWindowAndItsCommandsEnd) {
    QSettings store("Quonex", "Stillpress");
    store.sync();
    WriteTestFile(store.fileName(), GarbageSettingsText());
    store.sync();
    const QString base = MakeTempDir("window-base");
    WriteTestFile(base + "/sentinel.txt", kSentinel);
    AppSettings().SetBaseFolder(base);
    Launch(CorpusGoodVideo());
    Messages();
    AppSettings().SetStringValue(CorpusGoodImageFolder(), "LastFolder");
    for (auto command : {&AppDelegate::OnExportImages, &AppDelegate::OnExportVideoWallFromVideo,
                         &AppDelegate::OnExportVideoFromVideo, &AppDelegate::OnExportVideoInfo,
                         &AppDelegate::OnExportVideo, &AppDelegate::OnExportVideoWall,
                         &AppDelegate::OnExportVideoFromImages}) {
        (app.get()->*command)();
        if (QFileDialog* panel = Panel()) AnswerPanel(panel, MakeTempDir("target") + "/out");
        QElapsedTimer clock;
        clock.start();
        while (!app->buttonExportVideo->isEnabled() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(app->buttonExportVideo->isEnabled()) << "the conversion did not end";
        for (const MessageBoxShown& message : Messages()) EXPECT_FALSE(message.title.isEmpty());
    }
    EXPECT_EQ(ReadTestFile(base + "/sentinel.txt"), kSentinel);
}

}  // namespace
