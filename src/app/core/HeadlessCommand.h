#pragma once
// The headless front end: `stillpress-cli <command> [arguments]`, read as the table of
// HeadlessOptions.h says. Runs the same code as the window's commands; messages go to stderr
// as "Title: text", results to stdout, one line (or with --json one JSON object) per result.
// Main thread; needs a QGuiApplication (fonts).

#include <QStringList>
#include <QTextStream>

namespace HeadlessExit {
inline constexpr int kSuccess = 0;
inline constexpr int kSomeFilesFailed = 1;
inline constexpr int kRefused = 2;
}  // namespace HeadlessExit

// `arguments` excludes the program name. Returns the process exit status.
int RunHeadlessCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
