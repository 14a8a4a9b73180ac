#include "app/core/HeadlessArguments.h"

#include <QCommandLineParser>
#include <cmath>

#include "app/core/HeadlessOptions.h"
#include "settings/AppSettings.h"
#include "videoout/ExportPresets.h"

namespace {

// QCommandLineParser skips the first argument, the program's name.
QStringList WithProgramName(const QStringList& arguments) {
    return QStringList{HeadlessTable::kProgram} + arguments;
}

void AddOptions(QCommandLineParser& parser, const QStringList& names) {
    for (const QString& name : names) {
        const OptionSpec& option = *FindHeadlessOption(name);
        QStringList spellings{option.name};
        if (!option.shortName.isEmpty()) spellings.prepend(option.shortName);
        parser.addOption(QCommandLineOption(spellings, option.help, option.valueName));
        // The parser knows no negated flags: the "no-" spelling is an option of its own.
        if (option.kind == OptionKind::Switch)
            parser.addOption(QCommandLineOption("no-" + option.name, option.help));
    }
}

// The argument that gave `name`, as typed ("-clip.mp4", "--format=x" gives "--format").
QString AsWritten(const QStringList& arguments, const QString& name) {
    for (const QString& argument : arguments) {
        if (argument == "--") break;
        const QString spelled = argument.section('=', 0, 0);
        if (spelled == "-" + name || spelled == "--" + name) return spelled;
    }
    return "--" + name;
}

// The parser's own complaint in this program's words; unknown options first.
[[noreturn]] void ThrowParseError(const QCommandLineParser& parser, const QStringList& arguments,
                                  const QString& command) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        throw HeadlessUsageError("unknown option " + AsWritten(arguments, name), command);
    }
    // Only the last argument can miss its value.
    const QString last = arguments.isEmpty() ? QString() : arguments.last();
    const OptionSpec* option = FindHeadlessOption(last.mid(last.startsWith("--") ? 2 : 1));
    if (option != nullptr && !option->valueName.isEmpty())
        throw HeadlessUsageError(last + " needs a value", command);
    QString message = parser.errorText();  // "Unexpected value after '--open'."
    if (message.endsWith('.')) message.chop(1);
    throw HeadlessUsageError(message.isEmpty() ? message : message[0].toLower() + message.mid(1),
                             command);
}

double ReadNumber(const QString& option, const QString& text, double low, double high,
                  const char* what) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        throw std::invalid_argument(QString("%1 takes %2 from %3 to %4, not \"%5\"")
                                        .arg(option, what)
                                        .arg(low)
                                        .arg(high)
                                        .arg(text)
                                        .toStdString());
    return value;
}

long long ReadWholeNumber(const QString& option, const QString& text, double low, double high) {
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        throw std::invalid_argument(QString("%1 takes a whole number from %2 to %3, not \"%4\"")
                                        .arg(option)
                                        .arg(static_cast<long long>(low))
                                        .arg(static_cast<long long>(high))
                                        .arg(text)
                                        .toStdString());
    return value;
}

long long ReadChoice(const QString& option, const QString& text, const QStringList& names) {
    const qsizetype index = names.indexOf(text.toLower());
    if (index >= 0) return index;
    bool ok = false;
    const int code = text.toInt(&ok);
    if (ok && code >= 0 && code < names.size()) return code;
    throw std::invalid_argument(
        QString("%1 takes one of %2, not \"%3\"").arg(option, names.join('|'), text).toStdString());
}

// A preset by its name, its pop-up title (spaces optional) or its place in the list.
long long ReadPreset(const QString& option, const QString& text) {
    const QStringList presets = GetExportableFileTypes();
    QStringList names;
    for (const QString& preset : presets)
        names << preset.toLower() << PresetPopupTitle(preset).remove(' ').toLower();
    const qsizetype index = names.indexOf(QString(text).remove(' ').toLower());
    if (index >= 0) return index / 2;
    bool ok = false;
    const long long tag = text.toLongLong(&ok);
    if (!ok || tag < 0 || tag >= presets.size())
        throw std::invalid_argument(
            QString("%1 takes a preset (see convert --list-presets), not \"%2\"")
                .arg(option, text)
                .toStdString());
    return tag;
}

QVariant ReadValue(const OptionSpec& option, const QString& text) {
    const QString spelled = "--" + option.name;
    switch (option.kind) {
        case OptionKind::Number:
            return ReadNumber(spelled, text, option.low, option.high, "a number");
        case OptionKind::WholeNumber:
            return ReadWholeNumber(spelled, text, option.low, option.high);
        case OptionKind::Choice:
            return ReadChoice(spelled, text, option.choices);
        case OptionKind::Preset:
            return ReadPreset(spelled, text);
        default:
            return text;
    }
}

// The option behind a name the parser found: "no-grey" is the switch "grey".
const OptionSpec& FoundOption(const QString& found, bool* negated) {
    *negated = FindHeadlessOption(found) == nullptr;
    return *FindHeadlessOption(*negated ? found.mid(3) : found);
}

// Every option given, read in the order given, so that a later one wins.
QHash<QString, QVariant> ReadValues(const QCommandLineParser& parser) {
    QHash<QString, QVariant> values;
    QHash<QString, qsizetype> occurrences;
    for (const QString& found : parser.optionNames()) {
        const qsizetype occurrence = occurrences[found]++;
        bool negated = false;
        const OptionSpec& option = FoundOption(found, &negated);
        if (option.kind == OptionKind::Switch)
            values[option.name] = negated ? 0LL : 1LL;
        else if (option.valueName.isEmpty())
            values[option.name] = true;
        else
            values[option.name] = ReadValue(option, parser.values(found).at(occurrence));
    }
    return values;
}

// The form the options select, else the plain one.
const CommandForm& SelectForm(const CommandSpec& command, const QCommandLineParser& parser) {
    for (const CommandForm& form : command.forms)
        if (!form.selectingOption.isEmpty() && parser.isSet(form.selectingOption)) return form;
    for (const CommandForm& form : command.forms)
        if (form.selectingOption.isEmpty()) return form;
    return command.forms.first();
}

// Options of the command's other forms are unknown to this one.
void CheckFormOptions(const CommandForm& form, const QCommandLineParser& parser,
                      const QStringList& arguments, const QString& command) {
    for (const QString& found : parser.optionNames()) {
        bool negated = false;
        if (!form.options.contains(FoundOption(found, &negated).name))
            throw HeadlessUsageError("unknown option " + AsWritten(arguments, found), command);
    }
}

void CheckOperandCount(const CommandForm& form, const QStringList& operands,
                       const QString& command) {
    qsizetype least = 0;
    bool repeats = false;
    for (const OperandSpec& operand : form.operands) {
        least += operand.optional ? 0 : 1;
        repeats = repeats || operand.repeats;
    }
    if (!repeats && operands.size() > form.operands.size())
        throw HeadlessUsageError(
            "too many arguments; unexpected \"" + operands[form.operands.size()] + "\"", command);
    if (operands.size() < least)
        throw HeadlessUsageError("name the " + form.operands[operands.size()].what, command);
}

bool TakesSeparateValue(const QString& argument) {
    if (!argument.startsWith("--") || argument.contains('=')) return false;
    const OptionSpec* option = FindHeadlessOption(argument.mid(2));
    return option != nullptr && !option->valueName.isEmpty();
}

// QCommandLineParser reads every argument starting with "-" as an option, where this program
// reads only "--NAME" and "-h": "-clip.mp4" names a file. The operands, with everything after
// "--", are moved behind one "--" in their order.
QStringList OperandsBehindDashes(const QStringList& arguments, const QString& command) {
    QStringList options, operands;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (argument == "--") {
            operands << arguments.mid(index + 1);
            break;
        }
        if (!argument.startsWith("--") && argument != "-h") {
            operands << argument;
            continue;
        }
        options << argument;
        if (!TakesSeparateValue(argument)) continue;
        if (index + 1 == arguments.size())
            throw HeadlessUsageError(argument + " needs a value", command);
        options << arguments[++index];
    }
    return options << "--" << operands;
}

}  // namespace

std::optional<double> ParsedArguments::Number(const QString& name) const {
    if (!IsSet(name)) return std::nullopt;
    return values.value(name).toDouble();
}

std::optional<QString> ParsedArguments::Text(const QString& name) const {
    if (!IsSet(name)) return std::nullopt;
    return values.value(name).toString();
}

ParsedArguments ParseCommandArguments(const CommandSpec& command, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    AddOptions(parser, CommandOptionNames(command));
    const bool parsed =
        parser.parse(WithProgramName(OperandsBehindDashes(arguments, command.name)));
    ParsedArguments result;
    result.command = &command;
    if (parser.isSet("help")) {
        result.values["help"] = true;
        return result;
    }
    if (!parsed) ThrowParseError(parser, arguments, command.name);
    result.form = &SelectForm(command, parser);
    CheckFormOptions(*result.form, parser, arguments, command.name);
    try {
        result.values = ReadValues(parser);
    } catch (const std::invalid_argument& error) {
        throw HeadlessUsageError(error.what(), command.name);
    }
    result.operands = parser.positionalArguments();
    CheckOperandCount(*result.form, result.operands, command.name);
    return result;
}

void ApplySettingOverrides(const ParsedArguments& parsed) {
    for (auto value = parsed.values.cbegin(); value != parsed.values.cend(); ++value) {
        const OptionSpec& option = *FindHeadlessOption(value.key());
        if (!option.settingKey.isEmpty()) AppSettings::SetOverride(option.settingKey, *value);
        if (!option.enablesKey.isEmpty()) AppSettings::SetOverride(option.enablesKey, 1LL);
    }
}

ProgramArguments ParseProgramArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    // Everything from the command on is the command's to read.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    AddOptions(parser, HeadlessTable::kProgramOptions);
    if (!parser.parse(WithProgramName(arguments))) ThrowParseError(parser, arguments, {});
    ProgramArguments result;
    for (const QString& name : HeadlessTable::kProgramOptions)
        if (parser.isSet(name)) result.options << name;
    result.rest = parser.positionalArguments();
    return result;
}
