#include "app/core/HeadlessCommand.h"

#include <unistd.h>

#include <QFileInfo>
#include <QHash>
#include <cmath>
#include <functional>
#include <optional>

#include "app/core/ConversionCommand.h"
#include "app/core/ExportImagesCommand.h"
#include "app/core/GifAndInfoCommands.h"
#include "app/core/MessagePresenter.h"
#include "app/core/MovieCommands.h"
#include "app/core/WallCommands.h"
#include "platform/DiagnosticLog.h"
#include "platform/ImageFiles.h"
#include "platform/MediaAsset.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"
#include "videoout/ExportPresets.h"
#include "wall/WallLayout.h"

namespace {

const char* const kUsage =
    "Usage: stillpress-cli export-images VIDEO [options]\n"
    "       stillpress-cli wall-from-video VIDEO OUTPUT [options]\n"
    "       stillpress-cli wall-from-images FOLDER OUTPUT [--rows N] [--format F]\n"
    "       stillpress-cli movie-from-images FOLDER OUTPUT.mp4 [--frame-rate R] [--frame-delay S]\n"
    "       stillpress-cli reencode VIDEO OUTPUT.mp4 [--frame-delay S] [--as-displayed]\n"
    "       stillpress-cli gif-frames GIF FOLDER [--format F]\n"
    "       stillpress-cli info VIDEO [--output FILE]\n"
    "       stillpress-cli convert VIDEO [--preset NAME]\n"
    "       stillpress-cli convert --list-presets\n"
    "\n"
    "export-images saves the frame at every interval step of VIDEO as an image file into a new\n"
    "folder and prints that folder. wall-from-video tiles those frames into one image, written\n"
    "to OUTPUT with the format's extension added unless OUTPUT ends in it. wall-from-images\n"
    "tiles the equally sized images of FOLDER into one image written to OUTPUT as given.\n"
    "movie-from-images writes the images of FOLDER (in name order) as the frames of an H.264\n"
    "movie; reencode writes every frame of VIDEO into a new H.264 movie at its frame rate.\n"
    "gif-frames writes every frame of an animated GIF as 1.F, 2.F, ... into the folder named\n"
    "after the GIF in FOLDER and prints that folder (a still GIF leaves it empty). info prints\n"
    "the video information report (CR LF lines), or writes it to FILE and prints FILE.\n"
    "convert converts the whole of VIDEO through an export preset into \"TITLE NAME.mov\" in a\n"
    "new folder under the Videos folder and prints that file; --list-presets prints the\n"
    "presets, one \"NAME<tab>TITLE\" a line.\n"
    "The walls and movies print the written file. Options not given come from the saved\n"
    "settings.\n"
    "  --from S, --to S          range in seconds (default: 0 to the video's duration)\n"
    "  --interval S              seconds between frames\n"
    "  --format F                tiff|bmp|gif|jpg|png|jpeg2000, or the codes 0-5\n"
    "  --size PERCENT            image size in percent of the video's\n"
    "  --rows N                  rows of a wall (it gets ceil(images / N) columns)\n"
    "  --frame-rate R            frames per second of a movie from images (at least 1)\n"
    "  --frame-delay S           pause after handing each frame to the movie writer\n"
    "  --quality 0-100           compression quality\n"
    "  --grey, --no-grey         save in grey scale\n"
    "  --as-displayed, --no-as-displayed    turn, mirror and stretch frames as players do\n"
    "  --time-stamp, --no-time-stamp        draw the frame's time\n"
    "  --auto-delete, --no-auto-delete      remove consecutive duplicate frames\n"
    "  --prefix TEXT             text that starts file names\n"
    "  --append-name, --no-append-name      put the name (or prefix) into file names\n"
    "  --append-time, --no-append-time      put the frame's time into file names\n"
    "  --base-folder DIR         folder that receives the export folders\n"
    "  --watermark PNG           stamp this image on every frame\n"
    "  --watermark-opacity 1-100, --watermark-place "
    "top-left|top-right|bottom-left|bottom-right|center\n"
    "  --preset NAME             export preset: its name, its title or its place 0-12\n"
    "  --open                    show the folder or wall when done\n"
    "  --verbose                 diagnostic lines on stderr\n"
    "Exit status: 0 all written, 1 some (or the wall or movie) could not be written, 2 refused.\n";

constexpr double kLargestNumber = 1e12;

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

class StderrMessages : public MessagePresenter {
  public:
    explicit StderrMessages(QTextStream& err) : m_Err(err) {}
    void DisplayMessageBox(const QString& title, const QString& text) override {
        m_Err << title << ": " << text << Qt::endl;
    }

  private:
    QTextStream& m_Err;
};

double ParseNumber(const QString& option, const QString& text, double low, double high) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        throw UsageError(QString("%1 takes a number from %2 to %3, not \"%4\"")
                             .arg(option)
                             .arg(low)
                             .arg(high)
                             .arg(text)
                             .toStdString());
    return value;
}

long long ParseChoice(const QString& option, const QString& text, const QStringList& names) {
    const qsizetype index = names.indexOf(text.toLower());
    if (index >= 0) return index;
    bool ok = false;
    const int code = text.toInt(&ok);
    if (ok && code >= 0 && code < names.size()) return code;
    throw UsageError(
        QString("%1 takes one of %2, not \"%3\"").arg(option, names.join('|'), text).toStdString());
}

// What a command takes: the operands in order (named in the message when one is missing) and
// the options it accepts, flags by their name without "--" or "--no-".
struct CommandSyntax {
    QStringList operands;
    QStringList options;
};

struct ParsedArguments {
    QStringList operands;
    std::optional<double> from;
    std::optional<double> to;
    std::optional<QString> output;
    std::optional<QString> watermark;
    bool open = false;
    bool verbose = false;
    bool listPresets = false;
};

// Settings keys of the options that take a value, with how their value is read.
using ValueReader = std::function<void(const QString& option, const QString& value)>;

ValueReader NumberSetting(const char* key, double low, double high) {
    return [key, low, high](const QString& option, const QString& value) {
        AppSettings::SetOverride(key, ParseNumber(option, value, low, high));
    };
}

ValueReader WholeNumberSetting(const char* key, long long low, long long high) {
    return [key, low, high](const QString& option, const QString& value) {
        bool ok = false;
        const long long number = value.toLongLong(&ok);
        if (!ok || number < low || number > high)
            throw UsageError(QString("%1 takes a whole number from %2 to %3, not \"%4\"")
                                 .arg(option)
                                 .arg(low)
                                 .arg(high)
                                 .arg(value)
                                 .toStdString());
        AppSettings::SetOverride(key, number);
    };
}

// A preset by its name, its pop-up title (spaces optional) or its tag.
ValueReader PresetSetting() {
    return [](const QString& option, const QString& value) {
        const QStringList presets = GetExportableFileTypes();
        QStringList names;
        for (const QString& preset : presets)
            names << preset.toLower() << PresetPopupTitle(preset).remove(' ').toLower();
        const qsizetype index = names.indexOf(QString(value).remove(' ').toLower());
        if (index >= 0) return AppSettings::SetOverride("VideoFileFormat", index / 2);
        bool ok = false;
        const long long tag = value.toLongLong(&ok);
        if (!ok || tag < 0 || tag >= presets.size())
            throw UsageError(QString("%1 takes a preset (see convert --list-presets), not \"%2\"")
                                 .arg(option, value)
                                 .toStdString());
        AppSettings::SetOverride("VideoFileFormat", tag);
    };
}

ValueReader ChoiceSetting(const char* key, QStringList names) {
    return [key, names](const QString& option, const QString& value) {
        AppSettings::SetOverride(key, ParseChoice(option, value, names));
    };
}

QHash<QString, ValueReader> ValueOptions(ParsedArguments& parsed) {
    return {
        {"from",
         [&parsed](const QString& o, const QString& v) {
             parsed.from = ParseNumber(o, v, 0, kLargestNumber);
         }},
        {"to", [&parsed](const QString& o,
                         const QString& v) { parsed.to = ParseNumber(o, v, 0, kLargestNumber); }},
        {"output", [&parsed](const QString&, const QString& v) { parsed.output = v; }},
        {"interval", NumberSetting("dblFrameInterval", 0.001, kLargestNumber)},
        {"size", NumberSetting("ImageSizePercentage", 0.01, 10000)},
        {"quality", NumberSetting("CompressionFactor", 0, 100)},
        {"watermark-opacity", NumberSetting("Transparency", 1, 100)},
        {"rows", WholeNumberSetting("RowsInVideoWall", 1, 1000000)},
        {"frame-rate", NumberSetting("FrameRateForExportedVideo", 1, 1000)},
        {"frame-delay", NumberSetting("FrameDelayDuringExport", 0, 3600)},
        {"format", ChoiceSetting("FileFormat", ImageFormatCliNames())},
        {"watermark-place", ChoiceSetting("Alignment", {"top-left", "top-right", "bottom-left",
                                                        "bottom-right", "center"})},
        {"watermark",
         [&parsed](const QString&, const QString& v) {
             parsed.watermark = v;
             AppSettings::SetOverride("AddWatermark", 1LL);
             AppSettings::SetOverride("WatermarkFilePath", v);
         }},
        {"prefix",
         [](const QString&, const QString& v) {
             AppSettings::SetOverride("OutputImageFileNameParameter1", v);
         }},
        {"preset", PresetSetting()},
        {"base-folder",
         [](const QString&, const QString& v) { AppSettings::SetOverride("BaseFolder", v); }},
    };
}

const QHash<QString, QString>& FlagKeys() {
    static const QHash<QString, QString> keys{
        {"grey", "OutputImageAsGreyScale"},
        {"as-displayed", "OutputImageAsDisplayed"},
        {"time-stamp", "AddTimeIntervalToImages"},
        {"auto-delete", "_checkBoxAutoDelete"},
        {"append-name", "OutputImageAppendFileName"},
        {"append-time", "OutputImageFileNameAppendDuration"},
    };
    return keys;
}

// Flags that are no setting of their own.
const QStringList kFrontEndFlags{"open", "verbose"};

bool ParseFlag(const QString& name, bool negated, ParsedArguments& parsed) {
    if (!negated && name == "open") return parsed.open = true;
    if (!negated && name == "verbose") return parsed.verbose = true;
    if (!negated && name == "list-presets") return parsed.listPresets = true;
    if (!FlagKeys().contains(name)) return false;
    AppSettings::SetOverride(FlagKeys().value(name), negated ? 0LL : 1LL);
    return true;
}

// Reads one option at `index` (moving past its value); false for one the command does not take.
bool ParseOption(const QStringList& arguments, qsizetype& index, const CommandSyntax& syntax,
                 ParsedArguments& parsed) {
    const QString& argument = arguments[index];
    const bool negated = argument.startsWith("--no-");
    const QString name = argument.mid(negated ? 5 : 2);
    if (!syntax.options.contains(name)) return false;
    const QHash<QString, ValueReader> valueOptions = ValueOptions(parsed);
    if (negated || !valueOptions.contains(name)) return ParseFlag(name, negated, parsed);
    if (++index >= arguments.size()) throw UsageError((argument + " needs a value").toStdString());
    valueOptions.value(name)(argument, arguments[index]);
    return true;
}

ParsedArguments ParseArguments(const QStringList& arguments, const CommandSyntax& syntax) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith("--")) {
            if (!ParseOption(arguments, index, syntax, parsed))
                throw UsageError(("unknown option " + argument).toStdString());
        } else if (parsed.operands.size() < syntax.operands.size()) {
            parsed.operands << argument;
        } else {
            throw UsageError(("too many arguments; unexpected \"" + argument + "\"").toStdString());
        }
    }
    if (parsed.operands.size() < syntax.operands.size())
        throw UsageError(("name the " + syntax.operands[parsed.operands.size()]).toStdString());
    return parsed;
}

// Options of the movie commands alone.
const QStringList kMovieOptions{"frame-rate", "frame-delay"};

CommandSyntax ExportImagesSyntax() {
    ParsedArguments unused;
    QStringList options = ValueOptions(unused).keys() + FlagKeys().keys() + kFrontEndFlags;
    for (const QString& option : kMovieOptions) options.removeAll(option);
    options.removeAll("output");  // the report's
    options.removeAll("preset");  // the conversion's
    return {{"video to export"}, options};
}

CommandSyntax WallFromVideoSyntax() {
    return {{"video", "wall file to write"},
            QStringList{"from", "to", "interval", "rows", "size", "format", "grey", "time-stamp",
                        "as-displayed", "watermark", "watermark-opacity", "watermark-place"} +
                kFrontEndFlags};
}

CommandSyntax WallFromImagesSyntax() {
    return {{"folder of images", "wall file to write"},
            QStringList{"rows", "format"} + kFrontEndFlags};
}

CommandSyntax MovieFromImagesSyntax() {
    return {{"folder of images", "movie file to write"}, kMovieOptions + kFrontEndFlags};
}

CommandSyntax ReencodeSyntax() {
    return {{"video", "movie file to write"},
            QStringList{"frame-delay", "as-displayed"} + kFrontEndFlags};
}

// Diagnostics and the desktop as the options ask.
void PrepareFrontEnd(const ParsedArguments& parsed) {
    SetLogToStandardError(parsed.verbose);
    if (parsed.open)
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
TypedRange ApplyTypedRange(const ParsedArguments& parsed, const QString& video) {
    TypedRange range;
    range.from = parsed.from.value_or(0.0);
    range.to = parsed.to.value_or(CMTimeGetSeconds(MediaAsset::Open(video)->duration()));
    if (std::isnan(range.to)) range.to = 0;
    AppSettings::SetOverride("dblFrom", range.from);
    AppSettings::SetOverride("dblTo", range.to);
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
bool WatermarkLoads(const ParsedArguments& parsed, MessagePresenter& messages) {
    if (!parsed.watermark || !LoadImageFile(*parsed.watermark).isNull()) return true;
    messages.DisplayMessageBox("Watermark Not Loaded",
                               *parsed.watermark + " could not be read as an image.");
    return false;
}

int ExportImages(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, ExportImagesSyntax());
    PrepareFrontEnd(parsed);
    StderrMessages messages(err);
    if (!WatermarkLoads(parsed, messages)) return HeadlessExit::kRefused;
    ExportImagesRequest request;
    request.videoPath = parsed.operands[0];
    request.refuseUnreadableDuration = true;
    const TypedRange range = ApplyTypedRange(parsed, request.videoPath);
    request.typedFrom = range.from;
    request.typedTo = range.to;
    request.progress = TerminalProgress(err);
    const ExportImagesOutcome outcome = RunExportImagesCommand(request, messages);
    if (outcome.status == ExportImagesOutcome::Status::Refused) return HeadlessExit::kRefused;
    if (outcome.status == ExportImagesOutcome::Status::NothingWritten)
        return HeadlessExit::kSomeFilesFailed;
    out << outcome.folder << Qt::endl;
    return outcome.failedFrames > 0 ? HeadlessExit::kSomeFilesFailed : HeadlessExit::kSuccess;
}

// A wall that failed was refused when it was never going to be drawn; otherwise its file
// could not be written.
int WallFailureStatus(bool refused) {
    return refused ? HeadlessExit::kRefused : HeadlessExit::kSomeFilesFailed;
}

int WallFromVideo(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, WallFromVideoSyntax());
    PrepareFrontEnd(parsed);
    const TypedRange range = ApplyTypedRange(parsed, parsed.operands[0]);
    StderrMessages messages(err);
    if (!WatermarkLoads(parsed, messages)) return HeadlessExit::kRefused;
    const auto processor =
        OpenVideoForWall(parsed.operands[0], range.from, range.to, messages, true);
    if (!processor) return HeadlessExit::kRefused;
    // As in the window: the panel's message first, which also lays out the grid.
    const bool noTiles = processor->GetWallInfo() == kNoImagesInWallText;
    const auto formatCode = static_cast<long long>(processor->GetSelectedImageFileFormat());
    const bool refused =
        noTiles || !WallSizeProblem(processor->m_oSizeOfImageWall, formatCode).isEmpty();
    const QString target = WallTargetPath(parsed.operands[1], formatCode);
    if (!MakeVideoWall(*processor, target, messages)) return WallFailureStatus(refused);
    out << target << Qt::endl;
    return HeadlessExit::kSuccess;
}

int WallFromImages(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, WallFromImagesSyntax());
    PrepareFrontEnd(parsed);
    // Resolved before collecting the images makes the folder the current one.
    const QString target = QFileInfo(parsed.operands[1]).absoluteFilePath();
    StderrMessages messages(err);
    const auto collected = CollectWallImages(parsed.operands[0], nullptr, messages);
    if (!collected) return HeadlessExit::kRefused;
    const long long rows = AppSettings().GetRowsInVideoWall();
    const QSizeF wallSize =
        WallSize(ComputeWallGrid(collected->images.size(), rows), collected->images.first().size());
    const bool refused =
        !WallSizeProblem(wallSize, AppSettings().GetSelectedFileFormat()).isEmpty();
    if (!MakeImageWall(collected->images, target, rows, messages))
        return WallFailureStatus(refused);
    out << target << Qt::endl;
    return HeadlessExit::kSuccess;
}

int MovieExitStatus(MovieWriteResult result, const QString& written, QTextStream& out) {
    switch (result) {
        case MovieWriteResult::Written:
            out << written << Qt::endl;
            return HeadlessExit::kSuccess;
        case MovieWriteResult::Refused:
            return HeadlessExit::kRefused;
        case MovieWriteResult::Failed:
            break;
    }
    return HeadlessExit::kSomeFilesFailed;
}

int MovieFromImages(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, MovieFromImagesSyntax());
    PrepareFrontEnd(parsed);
    // Resolved before collecting the images makes the folder the current one.
    const QString target = QFileInfo(parsed.operands[1]).absoluteFilePath();
    const QString folder = QFileInfo(parsed.operands[0]).absoluteFilePath();
    StderrMessages messages(err);
    const auto images = CollectMovieImages(folder, nullptr, messages);
    if (!images) return HeadlessExit::kRefused;
    return MovieExitStatus(WriteMovieFromImages(*images, target, messages), target, out);
}

int Reencode(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, ReencodeSyntax());
    PrepareFrontEnd(parsed);
    const QString target = QFileInfo(parsed.operands[1]).absoluteFilePath();
    StderrMessages messages(err);
    if (!OpenVideoForReencode(parsed.operands[0], messages)) return HeadlessExit::kRefused;
    return MovieExitStatus(WriteReencodedMovie(parsed.operands[0], target, messages), target, out);
}

CommandSyntax GifFramesSyntax() {
    return {{"GIF file", "folder to write the frames into"},
            QStringList{"format"} + kFrontEndFlags};
}

CommandSyntax InfoSyntax() {
    return {{"video"}, QStringList{"output"} + kFrontEndFlags};
}

int GifFrames(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, GifFramesSyntax());
    PrepareFrontEnd(parsed);
    const QString gif = QFileInfo(parsed.operands[0]).absoluteFilePath();
    StderrMessages messages(err);
    // The window's panel offers only existing files; here the name is typed. What exists but
    // is no regular file (a pipe, a device, a folder) the extraction refuses with its reason.
    if (!QFileInfo::exists(gif)) {
        messages.DisplayMessageBox("GIF File Not Found", "There is no file at " + gif + ".");
        return HeadlessExit::kRefused;
    }
    const GifExtractionOutcome outcome =
        RunExtractGifFramesCommand(gif, QFileInfo(parsed.operands[1]).absoluteFilePath(), messages);
    using Status = GifExtractionOutcome::Status;
    if (outcome.status == Status::NotReadable || outcome.status == Status::Refused)
        return HeadlessExit::kRefused;
    out << outcome.folder << Qt::endl;
    return outcome.failedFrames > 0 ? HeadlessExit::kSomeFilesFailed : HeadlessExit::kSuccess;
}

CommandSyntax ConvertSyntax() {
    return {{"video to convert"}, QStringList{"preset", "base-folder"} + kFrontEndFlags};
}

CommandSyntax ListPresetsSyntax() {
    return {{}, {"list-presets"}};
}

int ListPresets(const QStringList& arguments, QTextStream& out) {
    ParseArguments(arguments, ListPresetsSyntax());
    for (const QString& preset : GetExportableFileTypes())
        out << preset << '\t' << PresetPopupTitle(preset) << '\n';
    out << Qt::flush;
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

int ConversionExitStatus(const ConversionOutcome& outcome, QTextStream& out) {
    switch (outcome.status) {
        case ConversionOutcome::Status::Converted:
            out << outcome.outputPath << Qt::endl;
            return HeadlessExit::kSuccess;
        case ConversionOutcome::Status::Refused:
            return HeadlessExit::kRefused;
        case ConversionOutcome::Status::Failed:
        case ConversionOutcome::Status::Cancelled:
            break;
    }
    return HeadlessExit::kSomeFilesFailed;
}

// The stored preset of the window's pop-up may be from a newer version, or garbage.
int RefuseUnknownPreset(long long tag, MessagePresenter& messages) {
    messages.DisplayMessageBox(
        "Unknown Export Preset",
        QString("The stored preset %1 is not one of the %2 presets. Choose one with --preset "
                "(see convert --list-presets).")
            .arg(tag)
            .arg(GetExportableFileTypes().size()));
    return HeadlessExit::kRefused;
}

int Convert(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    if (arguments.contains("--list-presets")) return ListPresets(arguments, out);
    const ParsedArguments parsed = ParseArguments(arguments, ConvertSyntax());
    PrepareFrontEnd(parsed);
    StderrMessages messages(err);
    const QString video = QFileInfo(parsed.operands[0]).absoluteFilePath();
    if (!DoesVideoFileExists(video, messages)) return HeadlessExit::kRefused;
    const long long tag = AppSettings().GetSelectedVideoFileFormat();
    ConversionRequest request;
    request.videoPath = video;
    request.presetName = PresetNameForTag(tag);
    if (request.presetName.isEmpty()) return RefuseUnknownPreset(tag, messages);
    request.popupTitle = PresetPopupTitle(request.presetName);
    request.progress = TerminalConversionProgress(err);
    const ConversionOutcome outcome = RunConversionCommand(request, messages);
    if (request.progress) err << '\n' << Qt::flush;
    return ConversionExitStatus(outcome, out);
}

int Info(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ParsedArguments parsed = ParseArguments(arguments, InfoSyntax());
    PrepareFrontEnd(parsed);
    StderrMessages messages(err);
    const std::optional<QString> report = MakeVideoInfoReport(parsed.operands[0], messages);
    if (!report) return HeadlessExit::kRefused;
    if (!parsed.output) {
        out << *report << "\r\n" << Qt::flush;
        return HeadlessExit::kSuccess;
    }
    const QString target = QFileInfo(*parsed.output).absoluteFilePath();
    if (!SaveVideoInfoReport(*report, target, messages)) return HeadlessExit::kSomeFilesFailed;
    out << target << Qt::endl;
    return HeadlessExit::kSuccess;
}

}  // namespace

int RunHeadlessCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    if (arguments.isEmpty() || arguments.first() == "--help" || arguments.first() == "-h") {
        (arguments.isEmpty() ? err : out) << kUsage;
        return arguments.isEmpty() ? HeadlessExit::kRefused : HeadlessExit::kSuccess;
    }
    AppSettings().DoRegisterDefaults();
    try {
        const QString command = arguments.first();
        if (command == "export-images") return ExportImages(arguments.mid(1), out, err);
        if (command == "wall-from-video") return WallFromVideo(arguments.mid(1), out, err);
        if (command == "wall-from-images") return WallFromImages(arguments.mid(1), out, err);
        if (command == "movie-from-images") return MovieFromImages(arguments.mid(1), out, err);
        if (command == "reencode") return Reencode(arguments.mid(1), out, err);
        if (command == "gif-frames") return GifFrames(arguments.mid(1), out, err);
        if (command == "info") return Info(arguments.mid(1), out, err);
        if (command == "convert") return Convert(arguments.mid(1), out, err);
        throw UsageError(("unknown command " + arguments.first()).toStdString());
    } catch (const UsageError& error) {
        err << "stillpress-cli: " << error.what() << "\n\n" << kUsage << Qt::flush;
        return HeadlessExit::kRefused;
    }
}
