#pragma once
// stillpress-cli's command lines, read by QCommandLineParser with the options of the table
// (HeadlessOptions.h): the program's own options, then a command's options, operands and
// values. Main thread.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <stdexcept>

struct CommandSpec;
struct CommandForm;

// A command line that cannot be run: one line naming what is wrong, and the command whose
// synopsis follows it (empty: the program's).
class HeadlessUsageError : public std::runtime_error {
  public:
    HeadlessUsageError(const QString& message, QString command)
        : std::runtime_error(message.toStdString()), command(std::move(command)) {}
    QString command;
};

struct ParsedArguments {
    const CommandSpec* command = nullptr;
    const CommandForm* form = nullptr;
    QStringList operands;
    // The last value of each option given, by its name in the table, as read: a double, a
    // long long (whole numbers, switches, the places of choices and presets), a string, or
    // true for a flag.
    QHash<QString, QVariant> values;

    bool IsSet(const QString& name) const { return values.contains(name); }
    std::optional<double> Number(const QString& name) const;
    std::optional<QString> Text(const QString& name) const;
};

// Reads the arguments after the command's name. When --help is among them nothing else is
// checked. Throws HeadlessUsageError.
ParsedArguments ParseCommandArguments(const CommandSpec& command, const QStringList& arguments);

// Stores the values of the options that stand for settings as overrides for this run.
void ApplySettingOverrides(const ParsedArguments& parsed);

// The program's own options, up to the command; `rest` starts with the command's name.
struct ProgramArguments {
    QStringList options;  // by name
    QStringList rest;
};
ProgramArguments ParseProgramArguments(const QStringList& arguments);
