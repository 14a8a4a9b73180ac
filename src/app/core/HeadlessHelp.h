#pragma once
// The texts stillpress-cli prints about itself, all made from the table of commands and
// options (HeadlessOptions.h): the usage, each command's synopsis and help, the manual page
// (groff, man macros) and the bash completion script. Any thread; the results never change.

#include <QString>

struct CommandSpec;

// Every command's synopsis, what each does, the program's own options and the exit statuses.
QString ProgramUsage();
// "Usage: stillpress-cli COMMAND ..." with one line for each way of calling the command.
QString CommandSynopsis(const CommandSpec& command);
// The synopsis, what the command does and the options it takes.
QString CommandHelp(const CommandSpec& command);

QString ManualPage();
QString BashCompletion();
