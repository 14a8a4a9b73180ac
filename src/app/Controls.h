#pragma once
// Small conventions shared by the application's windows: message boxes, number fields and
// handing files, folders and links to the desktop. Main thread only.

#include <QFileDialog>
#include <QString>

class QLineEdit;
class QMessageBox;
class QWidget;

// Every message box of the application: the title as the message text, the text as the
// informative text, one button, window-modal on `parent`. Returns at once; the box deletes
// itself when the user answers. It is wide enough for a few sentences and for a path on a
// line of its own, and its text can be selected and copied.
QMessageBox* OpenMessageSheet(QWidget* parent, const QString& title, const QString& text,
                              const QString& buttonTitle);

// The numbers of the window's text fields, written with a '.' or with the decimal mark of
// the user's locale ("0,5" in German), optionally signed, without exponent or grouping.
// Reading takes the leading number of the text and ignores the rest, so a half-typed "12abc"
// is 12 and "", "abc", "nan" or "inf" is 0; an integer is the number truncated, and 0 beyond
// the range of long long. Writing uses the shortest text with a '.' that reads back as the
// same number.
double DoubleValueOf(const QLineEdit* field);
long long IntegerValueOf(const QLineEdit* field);
void SetDoubleValue(QLineEdit* field, double value);
void SetIntegerValue(QLineEdit* field, long long value);

// Gives the field a validator, owned by the field, that refuses every key that would make
// its text something other than (the beginning of) such a number; whole numbers take no
// decimal mark.
enum class NumberKind { Decimal, Whole };
void AcceptOnlyNumbers(QLineEdit* field, NumberKind kind);

// Hands a file, folder or web or mail address to the desktop's application for it
// (platform/Workspace.h); when the desktop cannot, a message box on `window` names what
// could not be opened. Answers whether it was opened.
bool OpenOnDesktop(QWidget* window, const QString& pathOrUrl);
// Shows the file in the file browser, which opens its folder; a failure is reported so.
bool ShowInFileBrowser(QWidget* window, const QString& path);
// The message box of both.
void ReportCouldNotOpen(QWidget* window, const QString& pathOrUrl);

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
