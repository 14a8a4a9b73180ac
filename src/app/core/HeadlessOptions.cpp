#include "app/core/HeadlessOptions.h"

#include "platform/ImageFormats.h"
#include "settings/SettingsSchema.h"
#include "videoout/ExportPresets.h"

namespace {

using Kind = OptionKind;

QList<OptionSpec> MakeOptionTable() {
    return {
        {.name = "from",
         .kind = Kind::Number,
         .valueName = "S",
         .help = "start of the range in seconds, by default 0",
         .low = Setting(SettingKey::From).optionLow,
         .high = Setting(SettingKey::From).optionHigh},
        {.name = "to",
         .kind = Kind::Number,
         .valueName = "S",
         .help = "end of the range in seconds, by default the video's duration",
         .low = Setting(SettingKey::To).optionLow,
         .high = Setting(SettingKey::To).optionHigh},
        {.name = "interval",
         .kind = Kind::Number,
         .valueName = "S",
         .help = "seconds between frames",
         .settingKey = SettingKey::FrameInterval},
        {.name = "format",
         .kind = Kind::Choice,
         .valueName = "F",
         .help = "image file format",
         .settingKey = SettingKey::FileFormat,
         .choices = ImageFormatCliNames()},
        {.name = "size",
         .kind = Kind::Number,
         .valueName = "PERCENT",
         .help = "image size in percent of the video's",
         .settingKey = SettingKey::ImageSizePercentage},
        {.name = "quality",
         .kind = Kind::Number,
         .valueName = "Q",
         .help = "compression quality",
         .settingKey = SettingKey::CompressionFactor},
        {.name = "rows",
         .kind = Kind::WholeNumber,
         .valueName = "N",
         .help = "rows of a wall (it gets ceil(images / N) columns)",
         .settingKey = SettingKey::RowsInVideoWall},
        {.name = "frame-rate",
         .kind = Kind::Number,
         .valueName = "R",
         .help = "frames per second of a movie from images",
         .settingKey = SettingKey::FrameRateForExportedVideo},
        {.name = "frame-delay",
         .kind = Kind::Number,
         .valueName = "S",
         .help = "pause in seconds after handing each frame to the movie writer",
         .settingKey = SettingKey::FrameDelayDuringExport},
        {.name = "grey",
         .kind = Kind::Switch,
         .help = "save in grey scale",
         .settingKey = SettingKey::OutputImageAsGreyScale},
        {.name = "as-displayed",
         .kind = Kind::Switch,
         .help = "turn, mirror and stretch frames as players do",
         .settingKey = SettingKey::OutputImageAsDisplayed},
        {.name = "time-stamp",
         .kind = Kind::Switch,
         .help = "draw the frame's time on it",
         .settingKey = SettingKey::AddTimeIntervalToImages},
        {.name = "auto-delete",
         .kind = Kind::Switch,
         .help = "remove consecutive duplicate frames",
         .settingKey = SettingKey::AutoDelete},
        {.name = "prefix",
         .kind = Kind::Text,
         .valueName = "TEXT",
         .help = "text that starts file names",
         .settingKey = SettingKey::OutputImageFileNameParameter1},
        {.name = "append-name",
         .kind = Kind::Switch,
         .help = "put the video's name (or the prefix) into file names",
         .settingKey = SettingKey::OutputImageAppendFileName},
        {.name = "append-time",
         .kind = Kind::Switch,
         .help = "put the frame's time into file names",
         .settingKey = SettingKey::OutputImageFileNameAppendDuration},
        {.name = "base-folder",
         .kind = Kind::Folder,
         .valueName = "DIR",
         .help = "folder that receives the new folders of exports and conversions",
         .settingKey = SettingKey::BaseFolder},
        {.name = "watermark",
         .kind = Kind::File,
         .valueName = "PNG",
         .help = "stamp this image on every frame",
         .settingKey = SettingKey::WatermarkFilePath,
         .enablesKey = SettingKey::AddWatermark},
        {.name = "watermark-opacity",
         .kind = Kind::Number,
         .valueName = "PERCENT",
         .help = "opacity of the watermark",
         .settingKey = SettingKey::Transparency},
        {.name = "watermark-place",
         .kind = Kind::Choice,
         .valueName = "PLACE",
         .help = "where the watermark goes",
         .settingKey = SettingKey::Alignment,
         .choices = {"top-left", "top-right", "bottom-left", "bottom-right", "center"}},
        {.name = "output-folder",
         .kind = Kind::Folder,
         .valueName = "DIR",
         .help = "write one wall per video into DIR, named after the video (made when missing)"},
        {.name = "output",
         .kind = Kind::File,
         .valueName = "FILE",
         .help = "write the report to FILE (UTF-8, CR LF lines) and print FILE"},
        {.name = "preset",
         .kind = Kind::Preset,
         .valueName = "NAME",
         .help = "export preset",
         .settingKey = SettingKey::VideoFileFormat},
        {.name = "list-presets", .help = "print the presets, one \"NAME<tab>TITLE\" a line"},
        {.name = "open", .help = "show the result on the desktop when done"},
        {.name = "json",
         .help = "print the result as one JSON object a line instead of the plain line"},
        {.name = "verbose", .help = "diagnostic lines on stderr"},
        {.name = "help", .help = "print this help and exit", .shortName = "h"},
        {.name = "version", .help = "print the version and exit"},
        {.name = "print-man-page", .hidden = true},
        {.name = "print-bash-completion", .hidden = true},
    };
}

// Every command takes these after its own.
const QStringList kCommon{"json", "verbose", "help"};
const QStringList kRange{"from", "to", "interval"};
const QStringList kWatermark{"watermark", "watermark-opacity", "watermark-place"};

const OperandSpec kVideo{.name = "VIDEO", .what = "video"};
const OperandSpec kVideos{.name = "VIDEO", .what = "video to export", .repeats = true};
const OperandSpec kImageFolder{.name = "FOLDER", .what = "folder of images"};
const OperandSpec kWallFile{.name = "OUTPUT", .what = "wall file to write"};
const OperandSpec kMovieFile{.name = "OUTPUT.mp4", .what = "movie file to write"};

QList<CommandSpec> MakeCommandTable() {
    const QStringList wallOptions =
        kRange + QStringList{"rows", "size", "format", "grey", "time-stamp", "as-displayed"} +
        kWatermark + QStringList{"open"} + kCommon;
    return {
        {"export-images",
         "saves the frame at every interval step of each VIDEO as an image file into a new "
         "folder of its own below the base folder, and prints that folder",
         {{{kVideos},
           "",
           kRange +
               QStringList{"format", "size", "quality", "grey", "time-stamp", "auto-delete",
                           "prefix", "append-name", "append-time", "base-folder"} +
               kWatermark + QStringList{"as-displayed", "open"} + kCommon}}},
        {"wall-from-video",
         "tiles the frames an export would save into one image, written to OUTPUT with the "
         "format's extension added unless OUTPUT ends in it; with --output-folder, one wall "
         "per VIDEO into DIR",
         {{{kVideo, kWallFile}, "", wallOptions},
          {{{.name = "VIDEO", .what = "video", .repeats = true}},
           "output-folder",
           wallOptions + QStringList{"output-folder"}}}},
        {"wall-from-images",
         "tiles the equally sized images of FOLDER (in name order) into one image, written to "
         "OUTPUT as given",
         {{{kImageFolder, kWallFile}, "", QStringList{"rows", "format", "open"} + kCommon}}},
        {"movie-from-images",
         "writes the images of FOLDER (in name order) as the frames of an H.264 movie",
         {{{kImageFolder, kMovieFile},
           "",
           QStringList{"frame-rate", "frame-delay", "open"} + kCommon}}},
        {"reencode",
         "writes every frame of VIDEO into a new H.264 movie at its frame rate",
         {{{kVideo, kMovieFile},
           "",
           QStringList{"frame-delay", "as-displayed", "open"} + kCommon}}},
        {"gif-frames",
         "writes every frame of an animated GIF as 1.F, 2.F, ... into the folder named after "
         "the GIF in FOLDER and prints that folder (a still GIF leaves it empty)",
         {{{{.name = "GIF", .what = "GIF file"},
            {.name = "FOLDER", .what = "folder to write the frames into"}},
           "",
           QStringList{"format", "open"} + kCommon}}},
        {"info",
         "prints the video information report (CR LF lines), or writes it to FILE and prints "
         "FILE",
         {{{kVideo}, "", QStringList{"output", "open"} + kCommon}}},
        {"convert",
         "converts the whole of VIDEO through an export preset into \"TITLE NAME.mov\" in a new "
         "folder below the base folder (~/Videos/Stillpress Files by default) and prints that "
         "file",
         {{{{.name = "VIDEO", .what = "video to convert"}},
           "",
           QStringList{"preset", "base-folder", "open"} + kCommon},
          {{}, "list-presets", QStringList{"list-presets"} + kCommon}}},
        {"help",
         "prints this usage, or the synopsis and options of COMMAND",
         {{{{.name = "COMMAND", .what = "command", .optional = true, .kind = OperandKind::Command}},
           "",
           {}}}},
    };
}

// A number standing for a setting accepts the range the settings table gives it.
QList<OptionSpec> WithSettingRanges(QList<OptionSpec> options) {
    for (OptionSpec& option : options) {
        const bool number = option.kind == Kind::Number || option.kind == Kind::WholeNumber;
        if (!number || option.settingKey.isEmpty()) continue;
        const SettingSpec* setting = FindSetting(option.settingKey.toStdString());
        if (setting == nullptr) continue;
        option.low = setting->optionLow;
        option.high = setting->optionHigh;
    }
    return options;
}

}  // namespace

const QList<OptionSpec>& HeadlessOptionTable() {
    static const QList<OptionSpec> table = WithSettingRanges(MakeOptionTable());
    return table;
}

const QList<CommandSpec>& HeadlessCommandTable() {
    static const QList<CommandSpec> table = MakeCommandTable();
    return table;
}

const OptionSpec* FindHeadlessOption(const QString& name) {
    for (const OptionSpec& option : HeadlessOptionTable())
        if (option.name == name || (!option.shortName.isEmpty() && option.shortName == name))
            return &option;
    return nullptr;
}

const CommandSpec* FindHeadlessCommand(const QString& name) {
    for (const CommandSpec& command : HeadlessCommandTable())
        if (command.name == name) return &command;
    return nullptr;
}

QStringList CommandOptionNames(const CommandSpec& command) {
    QStringList names;
    for (const OptionSpec& option : HeadlessOptionTable())
        for (const CommandForm& form : command.forms)
            if (form.options.contains(option.name) && !names.contains(option.name))
                names << option.name;
    return names;
}

QStringList OptionSpellings(const OptionSpec& option) {
    QStringList spellings;
    if (!option.shortName.isEmpty()) spellings << "-" + option.shortName;
    spellings << "--" + option.name;
    if (option.kind == OptionKind::Switch) spellings << "--no-" + option.name;
    return spellings;
}

QStringList OptionChoices(const OptionSpec& option) {
    if (option.kind == OptionKind::Preset) return GetExportableFileTypes();
    return option.choices;
}
