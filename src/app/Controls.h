#pragma once
// Small conventions shared by the application's windows: message boxes and number fields.
// Main thread only.

#include <QFileDialog>
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

// The hourglass while the main thread works inside a panel's answer (walls, movies, frames),
// where no progress is shown.
class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A window-modal file panel: Qt's own, so that it is a sheet of the window on every desktop,
// and deleted once answered. Save panels take any file name.
QFileDialog* MakeSheetPanel(QWidget* window, const QString& title, QFileDialog::AcceptMode mode);
// A message below the panel's controls (the only place its grid leaves free), named
// "panelMessage".
void AddPanelMessage(QFileDialog* panel, const QString& message);
