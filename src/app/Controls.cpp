#include "app/Controls.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <charconv>

namespace {

// The text after leading blanks and one '+', which std::from_chars does not take.
QByteArray NumberText(const QLineEdit* field) {
    QByteArray text = field->text().trimmed().toLatin1();
    if (text.startsWith('+')) text.remove(0, 1);
    return text;
}

}  // namespace

double DoubleValueOf(const QLineEdit* field) {
    const QByteArray text = NumberText(field);
    double value = 0;
    const auto [end, error] = std::from_chars(text.constData(), text.constData() + text.size(),
                                              value, std::chars_format::general);
    return error == std::errc() ? value : 0.0;
}

long long IntegerValueOf(const QLineEdit* field) {
    const QByteArray text = NumberText(field);
    long long value = 0;
    const auto [end, error] =
        std::from_chars(text.constData(), text.constData() + text.size(), value);
    return error == std::errc() ? value : 0;
}

void SetDoubleValue(QLineEdit* field, double value) {
    field->setText(QString::number(value, 'f', QLocale::FloatingPointShortest));
}

void SetIntegerValue(QLineEdit* field, long long value) {
    field->setText(QString::number(value));
}

QMessageBox* OpenMessageSheet(QWidget* parent, const QString& title, const QString& text,
                              const QString& buttonTitle) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(QStringLiteral("Stillpress"));
    box->setIcon(QMessageBox::Information);
    box->setText(title);
    box->setInformativeText(text);
    box->addButton(buttonTitle, QMessageBox::AcceptRole);
    box->open();
    return box;
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
