#include "app/core/HeadlessCommand.h"

#include <unistd.h>

#include <QHash>
#include <cmath>
#include <functional>
#include <optional>

#include "app/core/ExportImagesCommand.h"
#include "app/core/MessagePresenter.h"
#include "platform/DiagnosticLog.h"
#include "platform/MediaAsset.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"

namespace {

const char* const kUsage =
    "Usage: stillpress-cli export-images VIDEO [options]\n"
    "\n"
    "Saves the frame at every interval step of VIDEO as an image file into a new folder and\n"
    "prints that folder. Options not given come from the saved settings.\n"
    "  --from S, --to S          range in seconds (default: 0 to the video's duration)\n"
    "  --interval S              seconds between frames\n"
    "  --format F                tiff|bmp|gif|jpg|png|jpeg2000, or the codes 0-5\n"
    "  --size PERCENT            image size in percent of the video's\n"
    "  --quality 0-100           compression quality\n"
    "  --grey, --no-grey         save in grey scale\n"
    "  --time-stamp, --no-time-stamp        draw the frame's time\n"
    "  --auto-delete, --no-auto-delete      remove consecutive duplicate frames\n"
    "  --prefix TEXT             text that starts file names\n"
    "  --append-name, --no-append-name      put the name (or prefix) into file names\n"
    "  --append-time, --no-append-time      put the frame's time into file names\n"
    "  --base-folder DIR         folder that receives the export folders\n"
    "  --watermark PNG           stamp this image on every frame\n"
    "  --watermark-opacity 1-100, --watermark-place "
    "top-left|top-right|bottom-left|bottom-right|center\n"
    "  --open                    show the folder when done\n"
    "  --verbose                 diagnostic lines on stderr\n"
    "Exit status: 0 all frames written, 1 some could not be written, 2 refused.\n";

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

struct ExportArguments {
    QString video;
    bool hasVideo = false;
    std::optional<double> from;
    std::optional<double> to;
    bool open = false;
    bool verbose = false;
};

// Settings keys of the options that take a value, with how their value is read.
using ValueReader = std::function<void(const QString& option, const QString& value)>;

QHash<QString, ValueReader> ValueOptions(ExportArguments& parsed) {
    auto setting = [](const char* key, double low, double high) {
        return [key, low, high](const QString& option, const QString& value) {
            AppSettings::SetOverride(key, ParseNumber(option, value, low, high));
        };
    };
    return {
        {"--from",
         [&parsed](const QString& o, const QString& v) {
             parsed.from = ParseNumber(o, v, 0, kLargestNumber);
         }},
        {"--to", [&parsed](const QString& o,
                           const QString& v) { parsed.to = ParseNumber(o, v, 0, kLargestNumber); }},
        {"--interval", setting("dblFrameInterval", 0.001, kLargestNumber)},
        {"--size", setting("ImageSizePercentage", 0.01, 10000)},
        {"--quality", setting("CompressionFactor", 0, 100)},
        {"--watermark-opacity", setting("Transparency", 1, 100)},
        {"--format",
         [](const QString& o, const QString& v) {
             const QStringList names{"tiff", "bmp", "gif", "jpg", "png", "jpeg2000"};
             AppSettings::SetOverride("FileFormat", ParseChoice(o, v, names));
         }},
        {"--watermark-place",
         [](const QString& o, const QString& v) {
             const QStringList names{"top-left", "top-right", "bottom-left", "bottom-right",
                                     "center"};
             AppSettings::SetOverride("Alignment", ParseChoice(o, v, names));
         }},
        {"--watermark",
         [](const QString&, const QString& v) {
             AppSettings::SetOverride("AddWatermark", 1LL);
             AppSettings::SetOverride("WatermarkFilePath", v);
         }},
        {"--prefix",
         [](const QString&, const QString& v) {
             AppSettings::SetOverride("OutputImageFileNameParameter1", v);
         }},
        {"--base-folder",
         [](const QString&, const QString& v) { AppSettings::SetOverride("BaseFolder", v); }},
    };
}

const QHash<QString, QString>& FlagKeys() {
    static const QHash<QString, QString> keys{
        {"grey", "OutputImageAsGreyScale"},
        {"time-stamp", "AddTimeIntervalToImages"},
        {"auto-delete", "_checkBoxAutoDelete"},
        {"append-name", "OutputImageAppendFileName"},
        {"append-time", "OutputImageFileNameAppendDuration"},
    };
    return keys;
}

bool ParseFlag(const QString& argument, ExportArguments& parsed) {
    if (argument == "--open") return parsed.open = true;
    if (argument == "--verbose") return parsed.verbose = true;
    const bool negated = argument.startsWith("--no-");
    const QString name = argument.mid(negated ? 5 : 2);
    if (!argument.startsWith("--") || !FlagKeys().contains(name)) return false;
    AppSettings::SetOverride(FlagKeys().value(name), negated ? 0LL : 1LL);
    return true;
}

ExportArguments ParseExportArguments(const QStringList& arguments) {
    ExportArguments parsed;
    const QHash<QString, ValueReader> valueOptions = ValueOptions(parsed);
    bool optionsEnded = false;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && valueOptions.contains(argument)) {
            if (++index >= arguments.size())
                throw UsageError((argument + " needs a value").toStdString());
            valueOptions.value(argument)(argument, arguments[index]);
        } else if (!optionsEnded && argument.startsWith("--")) {
            if (!ParseFlag(argument, parsed))
                throw UsageError(("unknown option " + argument).toStdString());
        } else if (!parsed.hasVideo) {
            parsed.video = argument;
            parsed.hasVideo = true;
        } else {
            throw UsageError(
                ("one video at a time; unexpected \"" + argument + "\"").toStdString());
        }
    }
    if (!parsed.hasVideo) throw UsageError("name the video to export");
    return parsed;
}

void UseWorkspaceFor(const ExportArguments& parsed) {
    if (parsed.open)
        SetSharedWorkspace(std::make_shared<DesktopWorkspace>());
    else
        SetSharedWorkspace(std::make_shared<RecordingWorkspace>());
}

VideoFileProcessor::ProgressHandler TerminalProgress(QTextStream& err) {
    if (!isatty(STDERR_FILENO)) return {};
    return [&err](long long done, long long total) {
        err << "\rFrame " << done << " of " << total << (done == total ? "\n" : "") << Qt::flush;
        return true;
    };
}

int ExportImages(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const ExportArguments parsed = ParseExportArguments(arguments);
    SetLogToStandardError(parsed.verbose);
    UseWorkspaceFor(parsed);
    ExportImagesRequest request;
    request.videoPath = parsed.video;
    request.refuseUnreadableDuration = true;
    request.typedFrom = parsed.from.value_or(0.0);
    request.typedTo =
        parsed.to.value_or(CMTimeGetSeconds(MediaAsset::Open(parsed.video)->duration()));
    if (std::isnan(request.typedTo)) request.typedTo = 0;
    AppSettings::SetOverride("dblFrom", request.typedFrom);
    AppSettings::SetOverride("dblTo", request.typedTo);
    request.progress = TerminalProgress(err);
    StderrMessages messages(err);
    const ExportImagesOutcome outcome = RunExportImagesCommand(request, messages);
    if (outcome.status == ExportImagesOutcome::Status::Refused) return HeadlessExit::kRefused;
    out << outcome.folder << Qt::endl;
    return outcome.failedFrames > 0 ? HeadlessExit::kSomeFilesFailed : HeadlessExit::kSuccess;
}

}  // namespace

int RunHeadlessCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    if (arguments.isEmpty() || arguments.first() == "--help" || arguments.first() == "-h") {
        (arguments.isEmpty() ? err : out) << kUsage;
        return arguments.isEmpty() ? HeadlessExit::kRefused : HeadlessExit::kSuccess;
    }
    AppSettings().DoRegisterDefaults();
    try {
        if (arguments.first() == "export-images") return ExportImages(arguments.mid(1), out, err);
        throw UsageError(("unknown command " + arguments.first()).toStdString());
    } catch (const UsageError& error) {
        err << "stillpress-cli: " << error.what() << "\n\n" << kUsage << Qt::flush;
        return HeadlessExit::kRefused;
    }
}
