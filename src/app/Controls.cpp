#include "app/Controls.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QValidator>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/Workspace.h"

namespace {

// Integers are kept below this magnitude: converting a larger double is undefined.
constexpr double kIntegerLimit = 0x1p63;

// The user's decimal mark where it is not the C locale's '.', else empty.
QString UserDecimalMark() {
    const QString mark = QLocale().decimalPoint();
    return mark == QStringLiteral(".") ? QString() : mark;
}

// No exponent, no grouping: in German "1.234" is 1.234, as everywhere, and letters never
// make a number.
QString NumberPattern(NumberKind kind) {
    if (kind == NumberKind::Whole) return QStringLiteral("[+-]?[0-9]+");
    const QString user = UserDecimalMark();
    const QString mark =
        user.isEmpty() ? QStringLiteral("\\.") : "(?:\\.|" + QRegularExpression::escape(user) + ")";
    return QStringLiteral("[+-]?(?:[0-9]+(?:%1[0-9]*)?|%1[0-9]+)").arg(mark);
}

// The value of a text that matches the pattern, read exactly and independently of the C
// library's locale; none when it is beyond the range of a double.
std::optional<double> ValueOfNumber(QString number) {
    if (const QString user = UserDecimalMark(); !user.isEmpty()) number.replace(user, ".");
    QByteArray text = number.toLatin1();
    if (text.startsWith('+')) text.remove(0, 1);  // which std::from_chars does not take
    double value = 0;
    const char* end = text.constData() + text.size();
    const auto [last, error] =
        std::from_chars(text.constData(), end, value, std::chars_format::fixed);
    if (error != std::errc() || last != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> LeadingNumber(const QLineEdit* field) {
    const QRegularExpression pattern(NumberPattern(NumberKind::Decimal));
    const QRegularExpressionMatch match =
        pattern.match(field->text().trimmed(), 0, QRegularExpression::NormalMatch,
                      QRegularExpression::AnchorAtOffsetMatchOption);
    return match.hasMatch() ? ValueOfNumber(match.captured()) : std::nullopt;
}

class NumberValidator : public QValidator {
  public:
    NumberValidator(NumberKind kind, QObject* parent) : QValidator(parent), m_Kind(kind) {}

    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(NumberPattern(m_Kind)));
        const QRegularExpressionMatch match =
            pattern.match(input, 0, QRegularExpression::PartialPreferCompleteMatch);
        if (match.hasPartialMatch()) return Intermediate;  // "-", or "," before its digits
        if (!match.hasMatch()) return Invalid;
        const std::optional<double> value = ValueOfNumber(input);
        const bool fits =
            value && (m_Kind == NumberKind::Decimal || std::fabs(*value) < kIntegerLimit);
        return fits ? Acceptable : Invalid;
    }

  private:
    NumberKind m_Kind;
};

}  // namespace

double DoubleValueOf(const QLineEdit* field) {
    return LeadingNumber(field).value_or(0.0);
}

long long IntegerValueOf(const QLineEdit* field) {
    const double value = std::trunc(LeadingNumber(field).value_or(0.0));
    return std::fabs(value) < kIntegerLimit ? static_cast<long long>(value) : 0;
}

void SetDoubleValue(QLineEdit* field, double value) {
    field->setText(QString::number(value, 'f', QLocale::FloatingPointShortest));
}

void SetIntegerValue(QLineEdit* field, long long value) {
    field->setText(QString::number(value));
}

void AcceptOnlyNumbers(QLineEdit* field, NumberKind kind) {
    field->setValidator(new NumberValidator(kind, field));
}

namespace {

constexpr int kMessageBoxMinimumWidth = 420;

// The width of the longest line of the label that is a path or an address alone, which
// reads best unbroken; 0 when there is none.
int WidestPathLine(const QLabel& label) {
    int widest = 0;
    for (const QString& line : label.text().split('\n')) {
        const QString item = line.trimmed();
        if (QDir::isAbsolutePath(item) || item.contains(QStringLiteral("://")))
            widest = std::max(widest, label.fontMetrics().horizontalAdvance(item));
    }
    return widest;
}

// How wide the text column may grow: Qt breaks words anywhere once a message box passes its
// hard limit (the screen's width on screens up to 1024 px, else 480 px less and at most
// 1000 px), of which the margins and the icon's columns take their share.
int WidestTextColumn(const QMessageBox& box, const QGridLayout& grid, int textColumn) {
    const QScreen* screen = box.screen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    int width = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
    width -= grid.contentsMargins().left() + grid.contentsMargins().right();
    for (int column = 0; column < textColumn; ++column) {
        const QLayoutItem* item = grid.itemAtPosition(0, column);
        width -= (item ? item->minimumSize().width() : 0) + std::max(grid.horizontalSpacing(), 0);
    }
    return width;
}

// Qt sizes a message box to its title, so that two sentences wrap over five lines and a
// path breaks at every '/'. Two empty rows below the button give the box its minimum width
// and the text column room for a path on a line of its own. Call after the last change
// of text or icon, which lay the box out anew.
void WidenMessageBox(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const auto* text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (grid == nullptr || text == nullptr) return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(text), &row, &column, &rowSpan, &columnSpan);
    const QMargins margins = grid->contentsMargins();
    const int boxWidth = kMessageBoxMinimumWidth - margins.left() - margins.right();
    const int pathWidth = std::min(WidestPathLine(*text), WidestTextColumn(box, *grid, column));
    const int firstRow = grid->rowCount();
    grid->addItem(new QSpacerItem(boxWidth, 0), firstRow, 0, 1, grid->columnCount());
    grid->addItem(new QSpacerItem(pathWidth, 0), firstRow + 1, column);
}

// What the user is told could not be opened.
QString KindOfItem(const QString& pathOrUrl) {
    const QFileInfo item(pathOrUrl);
    if (item.isDir()) return QStringLiteral("Folder");
    return item.exists() ? QStringLiteral("File") : QStringLiteral("Link");
}

}  // namespace

QMessageBox* OpenMessageSheet(QWidget* parent, const QString& title, const QString& text,
                              const QString& buttonTitle) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(QStringLiteral("Stillpress"));
    box->setIcon(QMessageBox::Information);
    box->setText(title);
    box->setInformativeText(text);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->addButton(buttonTitle, QMessageBox::AcceptRole);
    WidenMessageBox(*box);
    box->open();
    return box;
}

void ReportCouldNotOpen(QWidget* window, const QString& pathOrUrl) {
    OpenMessageSheet(window, QStringLiteral("Could Not Open"),
                     QStringLiteral("The Desktop could not Open the given below %1.\n\n%2\n\nMake "
                                    "sure an Application for it is Set Up and then try Again.")
                         .arg(KindOfItem(pathOrUrl), pathOrUrl),
                     QStringLiteral("OK"));
}

bool OpenOnDesktop(QWidget* window, const QString& pathOrUrl) {
    if (SharedWorkspace().openURL(pathOrUrl)) return true;
    ReportCouldNotOpen(window, pathOrUrl);
    return false;
}

bool ShowInFileBrowser(QWidget* window, const QString& path) {
    if (SharedWorkspace().selectFile(path)) return true;
    ReportCouldNotOpen(window, QFileInfo(path).absolutePath());
    return false;
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

QFileDialog* MakeSheetPanel(QWidget* window, const QString& title, QFileDialog::AcceptMode mode) {
    auto* panel = new QFileDialog(window, title);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAcceptMode(mode);
    if (mode == QFileDialog::AcceptSave) panel->setFileMode(QFileDialog::AnyFile);
    return panel;
}

void AddPanelMessage(QFileDialog* panel, const QString& message) {
    auto* label = new QLabel(message, panel);
    label->setObjectName("panelMessage");
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
}
