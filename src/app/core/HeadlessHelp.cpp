#include "app/core/HeadlessHelp.h"

#include "app/core/HeadlessOptions.h"
#include "platform/Version.h"

namespace {

using HeadlessTable::kProgram;

constexpr qsizetype kLabelWidth = 38;
constexpr qsizetype kLineWidth = 96;

const char* const kSettingsNote =
    "Options apply to that run only; the others come from the saved settings.";
const char* const kExitStatus =
    "Exit status: 0 all written, 1 some frames (or a wall, movie or conversion) could not be "
    "written, 2 refused; with several videos, the worst of theirs.";

// `text` broken into lines of at most kLineWidth characters, each starting with `indent`.
QString Wrapped(const QString& text, const QString& indent) {
    QString result, line = indent;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        if (line.size() > indent.size() && line.size() + 1 + word.size() > kLineWidth) {
            result += line + '\n';
            line = indent;
        }
        line += (line.size() > indent.size() ? " " : "") + word;
    }
    return result + line + '\n';
}

QString Sentence(const QString& text) {
    return text.left(1).toUpper() + text.mid(1) + '.';
}

QString OperandText(const OperandSpec& operand) {
    const QString text = operand.name + (operand.repeats ? "..." : "");
    return operand.optional ? "[" + text + "]" : text;
}

QString OptionLabel(const OptionSpec& option) {
    const QString label = OptionSpellings(option).join(", ");
    return option.valueName.isEmpty() ? label : label + ' ' + option.valueName;
}

// "stillpress-cli wall-from-video --output-folder DIR VIDEO... [options]"
QString FormLine(const CommandSpec& command, const CommandForm& form) {
    QStringList words{kProgram, command.name};
    if (const OptionSpec* selecting = FindHeadlessOption(form.selectingOption))
        words << OptionLabel(*selecting);
    for (const OperandSpec& operand : form.operands) words << OperandText(operand);
    if (form.options.size() > (form.selectingOption.isEmpty() ? 0 : 1)) words << "[options]";
    return words.join(' ');
}

QStringList FormLines(const CommandSpec& command) {
    QStringList lines;
    for (const CommandForm& form : command.forms) lines << FormLine(command, form);
    return lines;
}

QString UsageOf(const QStringList& lines) {
    return "Usage: " + lines.join("\n       ") + '\n';
}

QString Number(double value) {
    return QString::number(value, 'g', 12);
}

// What the option's value may be, from its range or choices.
QString ValueDetail(const OptionSpec& option) {
    switch (option.kind) {
        case OptionKind::Number:
        case OptionKind::WholeNumber:
            if (option.high >= kUnboundedSetting)
                return QString(" (at least %1)").arg(Number(option.low));
            return QString(" (%1 to %2)").arg(Number(option.low), Number(option.high));
        case OptionKind::Choice:
            return QString(": %1, or their places 0 to %2")
                .arg(option.choices.join('|'))
                .arg(option.choices.size() - 1);
        case OptionKind::Preset:
            return ": its name, its title or its place in convert --list-presets";
        default:
            return {};
    }
}

QString OptionDescription(const OptionSpec& option) {
    return option.help + ValueDetail(option);
}

QString OptionLines(const QStringList& names) {
    QString text;
    for (const QString& name : names) {
        const OptionSpec& option = *FindHeadlessOption(name);
        if (option.hidden) continue;
        const QString label = ("  " + OptionLabel(option)).leftJustified(kLabelWidth - 1);
        text += label + ' ' + OptionDescription(option) + '\n';
    }
    return text;
}

}  // namespace

QString ProgramUsage() {
    QStringList lines;
    for (const CommandSpec& command : HeadlessCommandTable()) lines << FormLines(command);
    lines << QString(kProgram) + " --help | --version";
    QString text = UsageOf(lines) + "\nCommands:\n";
    for (const CommandSpec& command : HeadlessCommandTable())
        text += "  " + command.name + '\n' + Wrapped(Sentence(command.summary), "      ");
    text += '\n' + Wrapped(kSettingsNote + QString(" \"%1 COMMAND --help\" lists the options of "
                                                   "COMMAND.")
                                               .arg(kProgram),
                           "");
    return text + OptionLines(HeadlessTable::kProgramOptions) + Wrapped(kExitStatus, "");
}

QString CommandSynopsis(const CommandSpec& command) {
    return UsageOf(FormLines(command));
}

QString CommandHelp(const CommandSpec& command) {
    QString text = CommandSynopsis(command) + '\n' + Wrapped(Sentence(command.summary), "");
    const QStringList options = CommandOptionNames(command);
    if (options.isEmpty()) return text;
    text += '\n' + Wrapped(kSettingsNote, "") + "Options:\n" + OptionLines(options);
    return text + Wrapped(kExitStatus, "");
}

// ---- The manual page.

namespace {

// Text as groff prints it: backslashes and hyphens escaped, no line read as a request.
QString Groff(QString text) {
    text.replace('\\', "\\e").replace('-', "\\-");
    if (text.startsWith('.') || text.startsWith('\'')) text.prepend("\\&");
    return text;
}

QString ManOptions() {
    QString page = ".SH OPTIONS\n";
    for (const OptionSpec& option : HeadlessOptionTable()) {
        if (option.hidden) continue;
        page += ".TP\n\\fB" + Groff(OptionSpellings(option).join(", ")) + "\\fR";
        if (!option.valueName.isEmpty()) page += " \\fI" + Groff(option.valueName) + "\\fR";
        page += '\n' + Groff(Sentence(OptionDescription(option))) + '\n';
    }
    return page;
}

QString ManCommands() {
    QString page = ".SH COMMANDS\n";
    for (const CommandSpec& command : HeadlessCommandTable()) {
        page += ".TP\n.B " + Groff(command.name) + '\n' + Groff(Sentence(command.summary)) + '\n';
        QStringList options = CommandOptionNames(command);
        options.removeIf([](const QString& name) { return FindHeadlessOption(name)->hidden; });
        if (!options.isEmpty()) page += "Options: " + Groff("--" + options.join(", --")) + ".\n";
    }
    return page;
}

const char* const kManExamples =
    ".SH EXAMPLES\n"
    "Every 2 seconds of two videos as PNG images, one result object a line:\n"
    ".PP\n"
    ".nf\n"
    ".RS\n"
    "stillpress\\-cli export\\-images \\-\\-interval 2 \\-\\-format png \\-\\-json a.mp4 b.mp4\n"
    ".RE\n"
    ".fi\n"
    ".PP\n"
    "Many videos spread over the cores, and over other machines, with GNU parallel:\n"
    ".PP\n"
    ".nf\n"
    ".RS\n"
    "parallel stillpress\\-cli export\\-images {} ::: *.mp4\n"
    "parallel \\-\\-sshlogin 8/host1,: \\-\\-transferfile {} stillpress\\-cli info {} ::: *.mp4\n"
    ".RE\n"
    ".fi\n";

}  // namespace

QString ManualPage() {
    QString page = QString(".TH STILLPRESS-CLI 1 \"\" \"Stillpress %1\" \"User Commands\"\n")
                       .arg(ApplicationVersion());
    page +=
        ".nh\n.SH NAME\nstillpress\\-cli \\- save the frames of videos as images, walls and "
        "movies, without a window\n.SH SYNOPSIS\n.nf\n";
    for (const CommandSpec& command : HeadlessCommandTable())
        for (const QString& line : FormLines(command)) page += Groff(line) + '\n';
    page += Groff(QString(kProgram) + " --help | --version") + "\n.fi\n";
    page += ".SH DESCRIPTION\n" +
            Groff(
                "Runs the commands of the Stillpress window from the command line. Messages go "
                "to the standard error as \"Title: text\"; each result (a folder, a wall, a "
                "movie, a report) is a line of the standard output, or with --json one JSON "
                "object a line. " +
                QString(kSettingsNote)) +
            '\n';
    page += ManCommands() + ManOptions();
    page += ".SH \"EXIT STATUS\"\n" + Groff(kExitStatus) + '\n';
    return page + kManExamples + ".SH \"SEE ALSO\"\n.BR stillpress (1),\n.BR parallel (1)\n";
}

// ---- The bash completion.

namespace {

QStringList Spellings(const QStringList& names) {
    QStringList spellings;
    for (const QString& name : names)
        if (const OptionSpec& option = *FindHeadlessOption(name); !option.hidden)
            spellings << OptionSpellings(option);
    return spellings;
}

// The `case "$prev"` branch that completes the value of each option taking one.
QString ValueCompletions() {
    QString text;
    for (const OptionSpec& option : HeadlessOptionTable()) {
        if (option.valueName.isEmpty() || option.hidden) continue;
        QString reply = "return 0";  // numbers and texts: nothing to offer
        if (!OptionChoices(option).isEmpty())
            reply = "COMPREPLY=($(compgen -W \"" + OptionChoices(option).join(' ') +
                    "\" -- \"$cur\")); return 0";
        else if (option.kind == OptionKind::File)
            reply = "compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\")); return 0";
        else if (option.kind == OptionKind::Folder)
            reply = "compopt -o filenames; COMPREPLY=($(compgen -d -- \"$cur\")); return 0";
        text += "        --" + option.name + ") " + reply + " ;;\n";
    }
    return text;
}

QString CommandWords() {
    QStringList names;
    for (const CommandSpec& command : HeadlessCommandTable()) names << command.name;
    QString text = "        \"\") words=\"" +
                   (names + Spellings(HeadlessTable::kProgramOptions)).join(' ') + "\" ;;\n";
    text += "        help) words=\"" + names.join(' ') + "\" ;;\n";
    for (const CommandSpec& command : HeadlessCommandTable())
        if (command.name != "help")
            text += "        " + command.name + ") words=\"" +
                    Spellings(CommandOptionNames(command)).join(' ') + "\" ;;\n";
    return text;
}

}  // namespace

QString BashCompletion() {
    return "# bash completion for stillpress-cli " + ApplicationVersion() +
           ", made by stillpress-cli --print-bash-completion\n"
           "_stillpress_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local command= word words\n"
           "    for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
           "        [[ $word == -* ]] || { command=$word; break; }\n"
           "    done\n"
           "    case $prev in\n" +
           ValueCompletions() +
           "    esac\n"
           "    case $command in\n" +
           CommandWords() +
           "    esac\n"
           "    if [[ -z $command || $command == help || $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    else\n"
           "        compopt -o filenames\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -F _stillpress_cli stillpress-cli\n";
}
