#pragma once
// Small conventions shared by the application's windows: message boxes and number fields.
// Main thread only.

#include <QString>

class QLineEdit;
class QMessageBox;
class QWidget;

// Every message box of the application: the title as the message text, the text as the
// informative text, one button, window-modal on `parent`. Returns at once; the box deletes
// itself when the user answers.
QMessageBox* OpenMessageSheet(QWidget* parent, const QString& title, const QString& text,
                              const QString& buttonTitle);

// The numbers of the window's text fields. Reading takes the leading number of the text and
// ignores the rest, so a half-typed "12abc" is 12 and "" or "abc" is 0; writing uses the
// shortest text that reads back as the same number. Independent of the user's locale.
double DoubleValueOf(const QLineEdit* field);
long long IntegerValueOf(const QLineEdit* field);
void SetDoubleValue(QLineEdit* field, double value);
void SetIntegerValue(QLineEdit* field, long long value);
