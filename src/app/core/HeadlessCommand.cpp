#include "app/core/HeadlessCommand.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "app/core/ConversionCommand.h"
#include "app/core/ExportImagesCommand.h"
#include "app/core/GifAndInfoCommands.h"
#include "app/core/HeadlessArguments.h"
#include "app/core/HeadlessHelp.h"
#include "app/core/HeadlessOptions.h"
#include "app/core/MessagePresenter.h"
#include "app/core/MovieCommands.h"
#include "app/core/WallCommands.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageFiles.h"
#include "platform/MediaAsset.h"
#include "platform/Version.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "settings/SettingsSchema.h"
#include "videoout/ExportPresets.h"
#include "wall/WallLayout.h"

namespace {

// Messages on stderr; the first is kept for the run's JSON result.
class StderrMessages : public MessagePresenter {
  public:
    explicit StderrMessages(QTextStream& err) : m_Err(err) {}
    void DisplayMessageBox(const QString& title, const QString& text) override {
        m_Err << title << ": " << text << Qt::endl;
        if (m_First.isEmpty()) m_First = title + ": " + text;
    }
    const QString& First() const { return m_First; }

  private:
    QTextStream& m_Err;
    QString m_First;
};

// What one run (of one video, with several) came to: its exit status, the plain result line
// (none for a run that wrote nothing) and the fields of its JSON object.
struct RunResult {
    int status = HeadlessExit::kRefused;
    QString line;
    QJsonObject fields;
};

RunResult Written(const QString& file, QJsonObject fields = {}) {
    fields["file"] = file;
    return {HeadlessExit::kSuccess, file, fields};
}

RunResult Unwritten(int status) {
    return {status, {}, {}};
}

// A command's run: what was parsed, where results and messages go.
struct Run {
    const ParsedArguments& parsed;
    QTextStream& out;
    QTextStream& err;
    bool Json() const { return parsed.IsSet("json"); }
    std::optional<double> Number(const QString& name) const { return parsed.Number(name); }
};

// Prints the result, as its line or as one JSON object a line, and answers its exit status.
int Report(const Run& run, RunResult result, const StderrMessages& messages) {
    if (run.Json()) {
        result.fields["exitStatus"] = result.status;
        if (result.status != HeadlessExit::kSuccess && !messages.First().isEmpty())
            result.fields["message"] = messages.First();
        run.out << QJsonDocument(result.fields).toJson(QJsonDocument::Compact) << Qt::endl;
    } else if (!result.line.isEmpty()) {
        run.out << result.line << Qt::endl;
    }
    return result.status;
}

// Runs `one` for each item, reporting each in order; the worst exit status wins.
int ForEach(const Run& run, const QStringList& items,
            const std::function<RunResult(const QString&, MessagePresenter&)>& one) {
    int worst = HeadlessExit::kSuccess;
    for (const QString& item : items) {
        StderrMessages messages(run.err);
        worst = std::max(worst, Report(run, one(item, messages), messages));
    }
    return worst;
}

int ReportOne(const Run& run, const std::function<RunResult(MessagePresenter&)>& one) {
    StderrMessages messages(run.err);
    return Report(run, one(messages), messages);
}

// Diagnostics and the desktop as the options ask.
void PrepareFrontEnd(const ParsedArguments& parsed) {
    SetLogToStandardError(parsed.IsSet("verbose"));
    if (parsed.IsSet("open"))
        SetSharedWorkspace(std::make_shared<DesktopWorkspace>());
    else
        SetSharedWorkspace(std::make_shared<RecordingWorkspace>());
    SetOpenFailureReporter([](const QString& item) {
        QTextStream(stderr) << "Could Not Open: The Desktop could not Open " << item << Qt::endl;
    });
}

struct TypedRange {
    double from = 0;
    double to = 0;
};

// From and To as if typed in the window (To defaults to the video's duration), stored for
// this run.
TypedRange ApplyTypedRange(const Run& run, const QString& video) {
    TypedRange range;
    range.from = run.Number("from").value_or(0.0);
    range.to = run.Number("to").value_or(CMTimeGetSeconds(MediaAsset::Open(video)->duration()));
    if (std::isnan(range.to)) range.to = 0;
    AppSettings::SetOverride(SettingKey::From, range.from);
    AppSettings::SetOverride(SettingKey::To, range.to);
    return range;
}

VideoFileProcessor::ProgressHandler TerminalProgress(QTextStream& err) {
    if (!isatty(STDERR_FILENO)) return {};
    return [&err](long long done, long long total) {
        err << "\rFrame " << done << " of " << total << (done == total ? "\n" : "") << Qt::flush;
        return true;
    };
}

// A watermark asked for that cannot be loaded would be left out without a word (the
// window's stored one is, as before).
bool WatermarkLoads(const Run& run) {
    const std::optional<QString> watermark = run.parsed.Text("watermark");
    if (!watermark || !LoadImageFile(*watermark).isNull()) return true;
    StderrMessages(run.err).DisplayMessageBox("Watermark Not Loaded",
                                              *watermark + " could not be read as an image.");
    return false;
}

int ExportStatus(const ExportImagesOutcome& outcome) {
    using Status = ExportImagesOutcome::Status;
    if (outcome.status == Status::Refused) return HeadlessExit::kRefused;
    if (outcome.status == Status::Completed) return HeadlessExit::kSuccess;
    return HeadlessExit::kSomeFilesFailed;
}

RunResult ExportOneVideo(const Run& run, const QString& video, MessagePresenter& messages) {
    ExportImagesRequest request;
    request.videoPath = video;
    request.refuseUnreadableDuration = true;
    const TypedRange range = ApplyTypedRange(run, video);
    request.typedFrom = range.from;
    request.typedTo = range.to;
    request.progress = TerminalProgress(run.err);
    const ExportImagesOutcome outcome = RunExportImagesCommand(request, messages);
    RunResult result{ExportStatus(outcome), {}, {{"video", video}}};
    if (outcome.status == ExportImagesOutcome::Status::Refused) return result;
    result.fields["folder"] = outcome.folder;
    QStringList written = outcome.files ? *outcome.files : QStringList();
    const QSet<QString> failed(outcome.failedFiles.cbegin(), outcome.failedFiles.cend());
    written.removeIf([&failed](const QString& path) { return failed.contains(path); });
    result.fields["files"] = QJsonArray::fromStringList(written);
    result.fields["failedFiles"] = QJsonArray::fromStringList(outcome.failedFiles);
    result.fields["failedFrames"] = outcome.failedFrames;
    result.fields["firstError"] = outcome.firstError;
    result.fields["cancelled"] = outcome.status == ExportImagesOutcome::Status::Cancelled;
    if (outcome.status != ExportImagesOutcome::Status::NothingWritten) result.line = outcome.folder;
    return result;
}

int ExportImages(const Run& run) {
    if (!WatermarkLoads(run)) return HeadlessExit::kRefused;
    return ForEach(run, run.parsed.operands, [&run](const QString& video, MessagePresenter& m) {
        return ExportOneVideo(run, video, m);
    });
}

// A wall that failed was refused when it was never going to be drawn; otherwise its file
// could not be written.
int WallFailureStatus(bool refused) {
    return refused ? HeadlessExit::kRefused : HeadlessExit::kSomeFilesFailed;
}

RunResult WallOfVideo(const Run& run, const QString& video, const QString& output,
                      MessagePresenter& messages) {
    const TypedRange range = ApplyTypedRange(run, video);
    const auto processor = OpenVideoForWall(video, range.from, range.to, messages, true);
    if (!processor) return {};
    // As in the window: the panel's message first, which also lays out the grid.
    const bool noTiles = processor->GetWallInfo() == kNoImagesInWallText;
    const auto formatCode = static_cast<long long>(processor->GetSelectedImageFileFormat());
    const bool refused =
        noTiles || !WallSizeProblem(processor->m_oSizeOfImageWall, formatCode).isEmpty();
    const QString target = WallTargetPath(output, formatCode);
    if (!MakeVideoWall(*processor, target, messages)) return Unwritten(WallFailureStatus(refused));
    return Written(target, {{"video", video}});
}

// With --output-folder, each video's wall is named after the video in that folder.
int WallFromVideo(const Run& run) {
    if (!WatermarkLoads(run)) return HeadlessExit::kRefused;
    const std::optional<QString> folder = run.parsed.Text("output-folder");
    if (!folder)
        return ReportOne(run, [&run](MessagePresenter& m) {
            return WallOfVideo(run, run.parsed.operands[0], run.parsed.operands[1], m);
        });
    QDir().mkpath(*folder);
    return ForEach(run, run.parsed.operands,
                   [&run, &folder](const QString& video, MessagePresenter& m) {
                       const QString name = QFileInfo(video).completeBaseName();
                       return WallOfVideo(run, video, QDir(*folder).filePath(name), m);
                   });
}

RunResult WallOfImages(const Run& run, MessagePresenter& messages) {
    // Resolved before collecting the images makes the folder the current one.
    const QString target = QFileInfo(run.parsed.operands[1]).absoluteFilePath();
    const auto collected = CollectWallImages(run.parsed.operands[0], nullptr, messages);
    if (!collected) return {};
    const long long rows = AppSettings().GetRowsInVideoWall();
    const QSizeF wallSize =
        WallSize(ComputeWallGrid(collected->images.size(), rows), collected->images.first().size());
    const bool refused =
        !WallSizeProblem(wallSize, AppSettings().GetSelectedFileFormat()).isEmpty();
    if (!MakeImageWall(collected->images, target, rows, messages))
        return Unwritten(WallFailureStatus(refused));
    return Written(target);
}

RunResult MovieResult(MovieWriteResult written, const QString& target) {
    switch (written) {
        case MovieWriteResult::Written:
            return Written(target);
        case MovieWriteResult::Refused:
            return Unwritten(HeadlessExit::kRefused);
        case MovieWriteResult::Failed:
            break;
    }
    return Unwritten(HeadlessExit::kSomeFilesFailed);
}

RunResult MovieOfImages(const Run& run, MessagePresenter& messages) {
    // Resolved before collecting the images makes the folder the current one.
    const QString target = QFileInfo(run.parsed.operands[1]).absoluteFilePath();
    const QString folder = QFileInfo(run.parsed.operands[0]).absoluteFilePath();
    const auto images = CollectMovieImages(folder, nullptr, messages);
    if (!images) return {};
    return MovieResult(WriteMovieFromImages(*images, target, messages), target);
}

RunResult Reencoded(const Run& run, MessagePresenter& messages) {
    const QString& video = run.parsed.operands[0];
    const QString target = QFileInfo(run.parsed.operands[1]).absoluteFilePath();
    if (!OpenVideoForReencode(video, messages)) return {};
    return MovieResult(WriteReencodedMovie(video, target, messages), target);
}

RunResult GifFrames(const Run& run, MessagePresenter& messages) {
    const QString gif = QFileInfo(run.parsed.operands[0]).absoluteFilePath();
    // The window's panel offers only existing files; here the name is typed. What exists but
    // is no regular file (a pipe, a device, a folder) the extraction refuses with its reason.
    if (!QFileInfo::exists(gif)) {
        messages.DisplayMessageBox("GIF File Not Found", "There is no file at " + gif + ".");
        return {};
    }
    const GifExtractionOutcome outcome = RunExtractGifFramesCommand(
        gif, QFileInfo(run.parsed.operands[1]).absoluteFilePath(), messages);
    using Status = GifExtractionOutcome::Status;
    if (outcome.status == Status::NotReadable || outcome.status == Status::Refused) return {};
    const int status =
        outcome.failedFrames > 0 ? HeadlessExit::kSomeFilesFailed : HeadlessExit::kSuccess;
    return {status,
            outcome.folder,
            {{"folder", outcome.folder},
             {"writtenFrames", outcome.writtenFrames},
             {"failedFrames", outcome.failedFrames},
             {"firstError", outcome.failedFrames > 0 ? outcome.reason : QString()}}};
}

int ListPresets(const Run& run) {
    QJsonArray presets;
    for (const QString& preset : GetExportableFileTypes()) {
        if (!run.Json()) run.out << preset << '\t' << PresetPopupTitle(preset) << '\n';
        presets.append(QJsonObject{{"name", preset}, {"title", PresetPopupTitle(preset)}});
    }
    if (run.Json())
        run.out << QJsonDocument(QJsonObject{{"presets", presets}}).toJson(QJsonDocument::Compact)
                << '\n';
    run.out << Qt::flush;
    return HeadlessExit::kSuccess;
}

std::function<bool(float)> TerminalConversionProgress(QTextStream& err) {
    if (!isatty(STDERR_FILENO)) return {};
    // Called on this thread: the conversion blocks it.
    return [&err](float progress) {
        err << "\rConverted " << ConversionPercentageText(progress) << Qt::flush;
        return true;
    };
}

RunResult ConversionResult(const ConversionOutcome& outcome) {
    switch (outcome.status) {
        case ConversionOutcome::Status::Converted:
            return Written(outcome.outputPath);
        case ConversionOutcome::Status::Refused:
            return Unwritten(HeadlessExit::kRefused);
        case ConversionOutcome::Status::Failed:
        case ConversionOutcome::Status::Cancelled:
            break;
    }
    return Unwritten(HeadlessExit::kSomeFilesFailed);
}

RunResult Converted(const Run& run, MessagePresenter& messages) {
    const QString video = QFileInfo(run.parsed.operands[0]).absoluteFilePath();
    if (!DoesVideoFileExists(video, messages)) return {};
    const long long tag = AppSettings().GetSelectedVideoFileFormat();
    ConversionRequest request;
    request.videoPath = video;
    request.presetName = PresetNameForTag(tag);
    // The stored preset of the window's pop-up may be from a newer version, or garbage.
    if (request.presetName.isEmpty()) {
        messages.DisplayMessageBox(
            "Unknown Export Preset",
            QString("The stored preset %1 is not one of the %2 presets. Choose one with --preset "
                    "(see convert --list-presets).")
                .arg(tag)
                .arg(GetExportableFileTypes().size()));
        return {};
    }
    request.popupTitle = PresetPopupTitle(request.presetName);
    request.progress = TerminalConversionProgress(run.err);
    const ConversionOutcome outcome = RunConversionCommand(request, messages);
    if (request.progress) run.err << '\n' << Qt::flush;
    return ConversionResult(outcome);
}

int Convert(const Run& run) {
    if (run.parsed.IsSet("list-presets")) return ListPresets(run);
    return ReportOne(run, [&run](MessagePresenter& m) { return Converted(run, m); });
}

// ---- The report as JSON fields.

// The report's labelled lines in their order, and the field each becomes. Any other line,
// from the first that is not one of these on, is a metadata item.
struct ReportField {
    const char* label;  // before the tab, without " :" or ":"
    const char* field;
    enum Kind { Text, Number, Whole, YesNo, Dimensions } kind;
};
constexpr ReportField kReportFields[] = {
    {"Path", "path", ReportField::Text},
    {"Duration", "duration", ReportField::Number},  // "12.00 Seconds, 00:00:12"
    {"Dimensions", "", ReportField::Dimensions},    // "320 X 240"
    {"Timescale", "timescale", ReportField::Whole},
    {"MD5", "md5", ReportField::Text},
    {"File Size", "fileSizeText", ReportField::Text},
    {"File Size (in Bytes)", "fileSize", ReportField::Whole},
    {"Created", "created", ReportField::Text},
    {"Playable", "playable", ReportField::YesNo},
    {"Has Protected Content", "protectedContent", ReportField::YesNo},
    {"Track Count", "trackCount", ReportField::Whole},
    {"Frame Rate", "frameRate", ReportField::Number},
    {"Estimated Data Rate", "dataRate", ReportField::Text},  // "12 KB per second."
    {"Lyrics", "lyrics", ReportField::Text},
};

void AddReportField(const ReportField& field, const QString& value, QJsonObject& fields) {
    const QString first = value.section(' ', 0, 0);
    switch (field.kind) {
        case ReportField::Text:
            fields[field.field] = value;
            break;
        case ReportField::Number:
            fields[field.field] = first.toDouble();
            break;
        case ReportField::Whole:
            fields[field.field] = first.toLongLong();
            break;
        case ReportField::YesNo:
            fields[field.field] = value == "Yes";
            break;
        case ReportField::Dimensions:
            fields["width"] = first.toLongLong();
            fields["height"] = value.section(' ', 2, 2).toLongLong();
            break;
    }
}

QJsonObject ReportFields(const QString& report) {
    QJsonObject fields;
    QJsonArray metadata;
    size_t next = 0;  // the first label the next line may have
    for (const QString& line : report.split("\r\n").mid(1)) {
        const QString label = line.section('\t', 0, 0).remove(QRegularExpression(" ?:$"));
        size_t index = next;
        while (index < std::size(kReportFields) && label != kReportFields[index].label) ++index;
        if (!metadata.isEmpty() || index == std::size(kReportFields) || !line.contains('\t')) {
            metadata.append(line);
            continue;
        }
        AddReportField(kReportFields[index], line.section('\t', 1), fields);
        next = index + 1;
    }
    fields["metadata"] = metadata;
    return fields;
}

RunResult Information(const Run& run, MessagePresenter& messages) {
    const std::optional<QString> report = MakeVideoInfoReport(run.parsed.operands[0], messages);
    if (!report) return {};
    RunResult result{HeadlessExit::kSuccess, *report + "\r", ReportFields(*report)};
    const std::optional<QString> output = run.parsed.Text("output");
    if (!output) return result;
    result.line = QFileInfo(*output).absoluteFilePath();
    if (!SaveVideoInfoReport(*report, result.line, messages))
        return Unwritten(HeadlessExit::kSomeFilesFailed);
    result.fields["file"] = result.line;
    return result;
}

// ---- Dispatch.

using CommandRunner = std::function<int(const Run&)>;

template <RunResult (*One)(const Run&, MessagePresenter&)>
int Single(const Run& run) {
    return ReportOne(run, [&run](MessagePresenter& messages) { return One(run, messages); });
}

const QHash<QString, CommandRunner>& CommandRunners() {
    static const QHash<QString, CommandRunner> runners{
        {"export-images", ExportImages},
        {"wall-from-video", WallFromVideo},
        {"wall-from-images", Single<WallOfImages>},
        {"movie-from-images", Single<MovieOfImages>},
        {"reencode", Single<Reencoded>},
        {"gif-frames", Single<GifFrames>},
        {"info", Single<Information>},
        {"convert", Convert},
    };
    return runners;
}

const CommandSpec& CommandNamed(const QString& name) {
    const CommandSpec* command = FindHeadlessCommand(name);
    if (command == nullptr) throw HeadlessUsageError("unknown command " + name, {});
    return *command;
}

// `help` and `help COMMAND`.
int PrintHelp(const QStringList& arguments, QTextStream& out) {
    const ParsedArguments parsed = ParseCommandArguments(CommandNamed("help"), arguments);
    out << (parsed.operands.isEmpty() ? ProgramUsage()
                                      : CommandHelp(CommandNamed(parsed.operands.first())))
        << Qt::flush;
    return HeadlessExit::kSuccess;
}

int RunCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const CommandSpec& command = CommandNamed(arguments.first());
    if (command.name == "help") return PrintHelp(arguments.mid(1), out);
    const ParsedArguments parsed = ParseCommandArguments(command, arguments.mid(1));
    if (parsed.IsSet("help")) {
        out << CommandHelp(command) << Qt::flush;
        return HeadlessExit::kSuccess;
    }
    ApplySettingOverrides(parsed);
    PrepareFrontEnd(parsed);
    return CommandRunners().value(command.name)(Run{parsed, out, err});
}

// The program's own options: what each prints.
const QHash<QString, std::function<QString()>>& ProgramTexts() {
    static const QHash<QString, std::function<QString()>> texts{
        {"help", ProgramUsage},
        {"version",
         [] { return QString(HeadlessTable::kProgram) + ' ' + ApplicationVersion() + '\n'; }},
        {"print-man-page", ManualPage},
        {"print-bash-completion", BashCompletion},
    };
    return texts;
}

}  // namespace

int RunHeadlessCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    AppSettings().DoRegisterDefaults();
    try {
        const ProgramArguments program = ParseProgramArguments(arguments);
        if (!program.options.isEmpty()) {
            out << ProgramTexts().value(program.options.first())() << Qt::flush;
            return HeadlessExit::kSuccess;
        }
        if (program.rest.isEmpty()) throw HeadlessUsageError("name a command", {});
        return RunCommand(program.rest, out, err);
    } catch (const HeadlessUsageError& error) {
        const CommandSpec* command = FindHeadlessCommand(error.command);
        err << HeadlessTable::kProgram << ": " << error.what() << "\n\n"
            << (command != nullptr ? CommandSynopsis(*command) : ProgramUsage()) << Qt::flush;
        return HeadlessExit::kRefused;
    }
}
