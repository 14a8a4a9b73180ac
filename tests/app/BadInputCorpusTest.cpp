// Every headless command over the corpus of bad inputs, each run as a child process with a
// timeout: it ends in time, without a signal or a sanitizer report, says what went wrong in
// "Title: text" form, answers 0 only when it wrote something real, and leaves the files
// already in the places it writes to as they were. The outcomes also go to a table in the
// build tree (bad-input-outcomes.md).
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QSettings>
#include <atomic>
#include <map>
#include <thread>

#include "support/AppFixtures.h"
#include "support/BadInputCorpus.h"

namespace {

constexpr int kTimeoutMs = 60000;
const QByteArray kSentinel = "sentinel: the user's own file\n";
const QByteArray kRegularFile = "a regular file\n";  // as the corpus makes it
const QByteArray kPreviousOutput = "the user's earlier output\n";
const QStringList kCommands{"export-images",
                            "wall-from-video",
                            "wall-from-images",
                            "movie-from-images",
                            "reencode",
                            "gif-frames",
                            "info",
                            "convert"};

// One command over one input, with the place it writes to and what it said.
struct CommandRun {
    const CorpusItem* item = nullptr;
    QString command;
    QString folder;  // holds the sentinel; the output folder or base folder
    QString target;  // the earlier output the command is asked to replace, or empty
    QStringList arguments;
    QByteArray environment;  // XDG_CONFIG_HOME for the child; empty: the test's own
    int status = -1;
    double seconds = 0;
    CliResult result;
};

// The valid input a command reads when the corpus item is not its kind of input.
QString InputFor(const QString& command, const CorpusItem& item) {
    const bool fits = (item.kind == CorpusKind::Video && !command.endsWith("-from-images") &&
                       command != "gif-frames") ||
                      (item.kind == CorpusKind::ImageFolder && command.endsWith("-from-images")) ||
                      (item.kind == CorpusKind::Gif && command == "gif-frames");
    if (fits) return item.path;
    if (command.endsWith("-from-images")) return CorpusGoodImageFolder();
    return command == "gif-frames" ? CorpusGoodGif() : CorpusGoodVideo();
}

// The arguments that keep a run small (the settings file case leaves all to the settings).
QStringList ArgumentsFor(CommandRun& run) {
    const QString input = InputFor(run.command, *run.item);
    const bool settings = run.item->kind == CorpusKind::SettingsFile;
    const QString base = run.item->kind == CorpusKind::BaseFolder ? run.item->path : run.folder;
    const QString c = run.command;
    QStringList arguments{c, input};
    if (c == "export-images" || c == "convert") arguments << "--base-folder" << base;
    if (c == "wall-from-video" || c.endsWith("-from-images") || c == "reencode")
        arguments << run.target;
    if (c == "gif-frames") arguments << run.folder;
    if (c == "info") arguments << "--output" << run.target;
    if (settings) return arguments;
    if (c == "export-images" || c == "wall-from-video")
        arguments << "--interval"
                  << "0.5";
    if (c == "export-images" || c.startsWith("wall") || c == "gif-frames")
        arguments << "--format"
                  << "png";
    if (c == "movie-from-images" || c == "reencode")
        arguments << "--frame-delay"
                  << "0.000001";
    if (c == "convert")
        arguments << "--preset"
                  << "0";
    if (run.item->kind == CorpusKind::Watermark) arguments << "--watermark" << run.item->path;
    return arguments;
}

QStringList CommandsFor(CorpusKind kind) {
    switch (kind) {
        case CorpusKind::Video:
            return {"export-images", "wall-from-video", "reencode", "info", "convert"};
        case CorpusKind::ImageFolder:
            return {"wall-from-images", "movie-from-images"};
        case CorpusKind::Gif:
            return {"gif-frames"};
        case CorpusKind::Watermark:
            return {"export-images", "wall-from-video"};
        case CorpusKind::BaseFolder:
            return {"export-images", "convert"};
        case CorpusKind::SettingsFile:
            break;
    }
    return kCommands;
}

QString TargetName(const QString& command) {
    if (command.startsWith("wall")) return "wall.png";
    if (command == "info") return "info.txt";
    return command.contains("movie") || command == "reencode" ? "movie.mp4" : QString();
}

// Made on this thread: the folder, its sentinel and the earlier output.
CommandRun PrepareRun(const CorpusItem& item, const QString& command) {
    CommandRun run;
    run.item = &item;
    run.command = command;
    run.folder = MakeTempDir("run") + "/" + OddName(" out");
    QDir().mkpath(run.folder);
    WriteTestFile(run.folder + "/sentinel.txt", kSentinel);
    if (!TargetName(command).isEmpty())
        run.target = WriteTestFile(run.folder + "/" + TargetName(command), kPreviousOutput);
    if (command == "gif-frames") {
        const QString frames =
            run.folder + "/" + QFileInfo(InputFor(command, item)).completeBaseName();
        QDir().mkpath(frames);
        WriteTestFile(frames + "/sentinel.txt", kSentinel);
    }
    if (item.kind == CorpusKind::BaseFolder && QFileInfo(item.path).isDir())
        WriteTestFile(item.path + "/sentinel.txt", kSentinel);
    if (item.kind == CorpusKind::SettingsFile) run.environment = QFile::encodeName(item.path);
    run.arguments = ArgumentsFor(run);
    return run;
}

// Runs on a worker thread: the environment is set by the caller for the settings runs.
void Execute(CommandRun& run) {
    QElapsedTimer clock;
    clock.start();
    QByteArray out, err;
    run.status = RunProgram(STILLPRESS_CLI, run.arguments, &out, &err, kTimeoutMs);
    run.seconds = clock.elapsed() / 1000.0;
    run.result = {run.status, QString::fromUtf8(out).trimmed(), QString::fromUtf8(err), out};
}

void ExecuteAll(std::vector<CommandRun>& runs, bool withGarbageSettings) {
    std::atomic<size_t> next = 0;
    const auto worker = [&] {
        for (size_t index; (index = next++) < runs.size();)
            if (!runs[index].environment.isEmpty() == withGarbageSettings) Execute(runs[index]);
    };
    std::thread first(worker), second(worker);
    first.join();
    second.join();
}

std::vector<CommandRun>& Runs() {
    static std::vector<CommandRun> runs;
    return runs;
}

// The first line of the command's own: libpng prints its errors itself (Qt's PNG reader
// gives it no error function), before the command's message.
QString FirstLine(const QString& text) {
    for (const QString& line : text.split('\n'))
        if (!line.trimmed().isEmpty() && !line.startsWith("libpng ")) return line.trimmed();
    return {};
}

// Counts what an exit status 0 claims was written; empty when nothing real was.
QString WrittenSummary(const CommandRun& run) {
    const QString written = run.result.out;  // one path, which may hold a line break
    const QFileInfo file(written);
    if (run.command == "export-images" || run.command == "gif-frames") {
        const QStringList images = QDir(written).entryList(
            {"*.png", "*.tiff", "*.bmp", "*.gif", "*.jpg", "*.jp2"}, QDir::Files | QDir::Hidden);
        return images.isEmpty() ? QString() : QString("%1 images").arg(images.size());
    }
    if (run.command.startsWith("wall")) {
        const QSize size = QImageReader(written).size();
        return size.isEmpty() ? QString()
                              : QString("%1x%2 wall").arg(size.width()).arg(size.height());
    }
    if (run.command == "info")
        return file.size() > 0 ? QString("report of %1 bytes").arg(file.size()) : QString();
    QByteArray frames;
    RunProgram("ffprobe",
               {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                "stream=nb_read_packets", "-of", "csv=p=0", written},
               &frames);
    const int count = frames.trimmed().toInt();
    return count > 0 ? QString("movie of %1 frames").arg(count) : QString();
}

QString Cell(const CommandRun& run) {
    if (run.status == -2) return "timeout";
    if (run.status < 0) return QString("crash (%1)").arg(run.status);
    if (run.status == 0) return "exit 0, " + WrittenSummary(run);
    const QString line = FirstLine(run.result.err);
    return QString("exit %1: %2").arg(run.status).arg(line.section(": ", 0, 0));
}

void ExpectFilesKept(const CommandRun& run) {
    EXPECT_EQ(ReadTestFile(run.folder + "/sentinel.txt"), kSentinel);
    if (!run.target.isEmpty() && run.status != 0) {
        EXPECT_EQ(ReadTestFile(run.target), kPreviousOutput) << "an earlier output was destroyed";
    }
    if (run.command == "gif-frames") {
        const QString name = QFileInfo(run.arguments[1]).completeBaseName();
        EXPECT_EQ(ReadTestFile(run.folder + "/" + name + "/sentinel.txt"), kSentinel);
    }
    // A base folder path through a regular file must leave that file as it was.
    const QString base = run.item->path;
    if (run.item->kind != CorpusKind::BaseFolder) return;
    if (QFileInfo(base).isDir()) {
        EXPECT_EQ(ReadTestFile(base + "/sentinel.txt"), kSentinel);
    } else {
        EXPECT_EQ(ReadTestFile(base.endsWith("/sub") ? base.chopped(4) : base), kRegularFile);
    }
}

void ExpectWellBehaved(const CommandRun& run) {
    SCOPED_TRACE(
        (run.item->name + " / " + run.command + "\nstderr: " + run.result.err).toStdString());
    ASSERT_GE(run.status, 0) << "no exit status: crashed, hung or did not start";
    EXPECT_LE(run.status, 2);
    for (const char* report : {"runtime error", "AddressSanitizer", "LeakSanitizer"})
        EXPECT_FALSE(run.result.err.contains(report));
    if (run.status == 0) {
        EXPECT_FALSE(WrittenSummary(run).isEmpty()) << "success without output";
    } else {
        EXPECT_TRUE(FirstLine(run.result.err).contains(": ")) << "no \"Title: text\" message";
    }
    ExpectFilesKept(run);
}

QString KindName(CorpusKind kind) {
    static const std::map<CorpusKind, QString> names{{CorpusKind::Video, "Video"},
                                                     {CorpusKind::ImageFolder, "ImageFolder"},
                                                     {CorpusKind::Gif, "Gif"},
                                                     {CorpusKind::Watermark, "Watermark"},
                                                     {CorpusKind::BaseFolder, "BaseFolder"},
                                                     {CorpusKind::SettingsFile, "SettingsFile"}};
    return names.at(kind);
}

// One line per run, and the table of outcomes: inputs down, commands across.
void WriteOutcomes(const std::vector<CommandRun>& runs) {
    QByteArray lines, table = "| Input | " + kCommands.join(" | ").toUtf8() + " |\n|---|";
    for (qsizetype column = 0; column < kCommands.size(); ++column) table += "---|";
    std::map<const CorpusItem*, QHash<QString, QString>> cells;
    for (const CommandRun& run : runs) {
        lines += QString("%1\t%2\t%3\t%4\t%5\n")
                     .arg(run.item->name.simplified(), run.command)
                     .arg(run.status)
                     .arg(run.seconds, 0, 'f', 2)
                     .arg(FirstLine(run.status == 0 ? run.result.out : run.result.err))
                     .toUtf8();
        cells[run.item][run.command] = Cell(run);
    }
    for (const CorpusItem& item : BadInputCorpus()) {
        table += "\n| " + item.name.simplified().toUtf8() + " |";
        for (const QString& command : kCommands)
            table += " " + cells[&item].value(command, "").toUtf8() + " |";
    }
    const QString folder = QString(STILLPRESS_FIXTURE_DIR) + "/..";
    WriteTestFile(folder + "/bad-input-outcomes.tsv", lines);
    WriteTestFile(folder + "/bad-input-outcomes.md", table + "\n");
}

class BadInputCorpusTest : public ::testing::TestWithParam<CorpusKind> {
  protected:
    static void SetUpTestSuite() {
        std::vector<CommandRun>& runs = Runs();
        for (const CorpusItem& item : BadInputCorpus())
            for (const QString& command : CommandsFor(item.kind))
                runs.push_back(PrepareRun(item, command));
        ExecuteAll(runs, false);
        // The children inherit the environment; the settings runs all share one file.
        const QByteArray home = qgetenv("XDG_CONFIG_HOME");
        for (const CorpusItem& item : BadInputCorpus())
            if (item.kind == CorpusKind::SettingsFile)
                qputenv("XDG_CONFIG_HOME", QFile::encodeName(item.path));
        ExecuteAll(runs, true);
        qputenv("XDG_CONFIG_HOME", home);
        WriteOutcomes(runs);
    }
};

TEST_P(BadInputCorpusTest, EveryCommandEndsClearlyAndKeepsTheUsersFiles) {
    for (const CommandRun& run : Runs())
        if (run.item->kind == GetParam()) ExpectWellBehaved(run);
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputCorpusTest,
                         ::testing::Values(CorpusKind::Video, CorpusKind::ImageFolder,
                                           CorpusKind::Gif, CorpusKind::Watermark,
                                           CorpusKind::BaseFolder, CorpusKind::SettingsFile),
                         [](const auto& info) { return KindName(info.param).toStdString(); });

}  // namespace
