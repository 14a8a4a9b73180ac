#pragma once
// The table of stillpress-cli's commands and options: their operands, each option's kind of
// value, range, choices, the setting it stands for and its help. The parser, the usage and
// help texts, the man page and the bash completion are all made from it, so they cannot
// disagree. Any thread; the table never changes.

#include <QList>
#include <QString>
#include <QStringList>

#include "settings/SettingsSchema.h"

enum class OptionKind {
    Flag,         // --open
    Switch,       // --grey and --no-grey: on or off for this run
    Number,       // a finite number from low to high
    WholeNumber,  // a whole number from low to high
    Choice,       // one of `choices` by name (any case) or by its place in them
    Preset,       // an export preset by name, pop-up title or place in the preset list
    Text,
    File,
    Folder,
};

struct OptionSpec {
    QString name;  // without "--"
    OptionKind kind = OptionKind::Flag;
    QString valueName{};  // how the help names the value; empty for flags and switches
    QString help{};
    // The setting the value stands in for during this run; empty for the options the
    // commands read themselves.
    QString settingKey{};
    double low = 0;
    double high = 0;
    QStringList choices{};
    QString shortName{};  // "h" for -h
    // A setting turned on by giving the option at all (a watermark file asks for the
    // watermark).
    QString enablesKey{};
    bool hidden = false;  // left out of the help, the man page and the completion
};

enum class OperandKind { Path, Command };

struct OperandSpec {
    QString name;  // "VIDEO"
    QString what;  // "video to export": named when it is missing
    bool repeats = false;
    bool optional = false;
    OperandKind kind = OperandKind::Path;
};

// One way of calling a command. A form with a selecting option is the one used when that
// option is given (`convert --list-presets`); the other form otherwise.
struct CommandForm {
    QList<OperandSpec> operands;
    QString selectingOption{};
    QStringList options{};  // names into the option table
};

struct CommandSpec {
    QString name;
    QString summary;  // what it does, for the help and the man page
    QList<CommandForm> forms;
};

namespace HeadlessTable {
inline constexpr const char* kProgram = "stillpress-cli";
// Options that only the program itself takes, before any command.
inline const QStringList kProgramOptions{"help", "version", "print-man-page",
                                         "print-bash-completion"};
}  // namespace HeadlessTable

const QList<OptionSpec>& HeadlessOptionTable();
const QList<CommandSpec>& HeadlessCommandTable();

// By name (long or short); nullptr when there is none.
const OptionSpec* FindHeadlessOption(const QString& name);
const CommandSpec* FindHeadlessCommand(const QString& name);

// Every option a command takes in any of its forms, in table order.
QStringList CommandOptionNames(const CommandSpec& command);
// The names an option is given by on the command line: "--grey" and "--no-grey", "-h" and
// "--help".
QStringList OptionSpellings(const OptionSpec& option);

// The choices an option's value is completed from: the names of a choice, the presets' names.
QStringList OptionChoices(const OptionSpec& option);
