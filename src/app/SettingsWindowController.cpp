#include "app/SettingsWindowController.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/AppDelegate.h"
#include "app/Controls.h"
#include "platform/DurationText.h"
#include "settings/AppSettings.h"
#include "ui_SettingsWindowController.h"

namespace {

long long CompressionFactorFrom(const QLineEdit* field) {
    const double value = std::trunc(DoubleValueOf(field));
    if (value <= 0) return 0;
    return value >= 100 ? 100 : static_cast<long long>(value);
}

long long StateOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

// Each group lays out its own form, whose label column is as wide as its widest label: the
// widest label of all in every group lines the check boxes and fields up from group to group.
void AlignLabelColumns(const QWidget& sheet) {
    QList<QWidget*> labels;
    for (const QFormLayout* form : sheet.findChildren<QFormLayout*>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            const QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
            if (label && label->widget()) labels << label->widget();
        }
    }
    int widest = 0;
    for (const QWidget* label : labels) widest = std::max(widest, label->sizeHint().width());
    for (QWidget* label : labels) label->setMinimumWidth(widest);
}

}  // namespace

SettingsWindowController::SettingsWindowController(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::SettingsWindowController>()) {
    m_pUi->setupUi(this);
    BindOutlets();
    BindActions();
    AlignLabelColumns(*this);
    AcceptOnlyNumbers(textFieldFrameRate, NumberKind::Decimal);
    AcceptOnlyNumbers(textFieldFrameDelay, NumberKind::Decimal);
    AcceptOnlyNumbers(textFieldCompressionFactor, NumberKind::Whole);
    windowDidLoad();
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::BindOutlets() {
    textFieldParam1 = m_pUi->textFieldParam1;
    checkBoxAppendDuration = m_pUi->checkBoxAppendDuration;
    checkBoxGreyScale = m_pUi->checkBoxGreyScale;
    checkBoxAsDisplayed = m_pUi->checkBoxAsDisplayed;
    checkBoxAppendFileName = m_pUi->checkBoxAppendFileName;
    textFieldBaseFolderPath = m_pUi->textFieldBaseFolderPath;
    checkAddTimeIntervalToImages = m_pUi->checkAddTimeIntervalToImages;
    textFieldFrameRate = m_pUi->textFieldFrameRate;
    textFieldFrameDelay = m_pUi->textFieldFrameDelay;
    textFieldCompressionFactor = m_pUi->textFieldCompressionFactor;
}

void SettingsWindowController::BindActions() {
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &SettingsWindowController::OnOK);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this,
            &SettingsWindowController::OnCancel);
    connect(m_pUi->buttonSelectFolder, &QPushButton::clicked, this,
            &SettingsWindowController::OnSelectFolder);
    connect(m_pUi->buttonUseDefaultFolder, &QPushButton::clicked, this,
            &SettingsWindowController::OnUseDefaultFolder);
    connect(m_pUi->buttonTextColor, &QPushButton::clicked, this,
            &SettingsWindowController::OnSelectTextColor);
    m_pUi->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
}

void SettingsWindowController::windowDidLoad() {
    const AppSettings settings;
    checkBoxAppendFileName->setChecked(settings.GetOutputImageAppendFileName() != 0);
    textFieldParam1->setText(settings.GetOutputImageFileNameParameter1());
    checkBoxAppendDuration->setChecked(settings.GetOutputImageFileNameAppendDuration() != 0);
    // Very old systems could not put times into file names, so the box used to be disabled
    // there; every platform this build runs on can, so the box stays enabled.
    checkBoxGreyScale->setChecked(settings.GetOutputImageAsGreyScale() != 0);
    checkBoxAsDisplayed->setChecked(settings.GetOutputImageAsDisplayed() != 0);
    textFieldBaseFolderPath->setText(settings.GetBaseFolder());
    checkAddTimeIntervalToImages->setChecked(settings.GetAddTimeIntervalToImages() != 0);
    if (GetTimeFromSeconds(1.0).isEmpty()) {
        // Without time texts nothing can be drawn; unchecked, OK then stores 0.
        checkAddTimeIntervalToImages->setChecked(false);
        checkAddTimeIntervalToImages->setEnabled(false);
    }
    m_pTimeColor = settings.GetTimeColor();
    SetDoubleValue(textFieldFrameRate, settings.GetFrameRateForExportedVideo());
    SetDoubleValue(textFieldFrameDelay, settings.GetFrameDelayDuringExport());
    SetIntegerValue(textFieldCompressionFactor, settings.GetCompressionFactor());
}

void SettingsWindowController::showSheet(QWidget* parent) {
    pParentWindow = parent;
    if (parent && parentWidget() != parent) setParent(parent, windowFlags());
    setWindowModality(Qt::WindowModal);
    open();
}

void SettingsWindowController::StoreSettings() {
    AppSettings settings;
    settings.SetOutputImageAppendFileName(StateOf(checkBoxAppendFileName));
    settings.SetOutputImageFileNameParameter1(textFieldParam1->text());
    settings.SetOutputImageFileNameAppendDuration(StateOf(checkBoxAppendDuration));
    settings.SetOutputImageAsGreyScale(StateOf(checkBoxGreyScale));
    settings.SetOutputImageAsDisplayed(StateOf(checkBoxAsDisplayed));
    settings.SetBaseFolder(textFieldBaseFolderPath->text());
    settings.SetAddTimeIntervalToImages(StateOf(checkAddTimeIntervalToImages));
    // No colour was stored when the sheet opened and none was picked: storing nothing
    // keeps it that way (an invalid colour would be stored as opaque black).
    if (m_pTimeColor) settings.SetTimeColor(*m_pTimeColor);
    // Rate and delay are stored as typed; the store's getters replace values that are not
    // positive when they are read.
    settings.SetFrameRateForExportedVideo(DoubleValueOf(textFieldFrameRate));
    settings.SetFrameDelayDuringExport(DoubleValueOf(textFieldFrameDelay));
    settings.SetCompressionFactor(CompressionFactorFrom(textFieldCompressionFactor));
}

void SettingsWindowController::OnOK() {
    StoreSettings();
    setResult(QDialog::Accepted);
    CloseSheet();
}

void SettingsWindowController::OnCancel() {
    setResult(QDialog::Rejected);
    CloseSheet();
}

void SettingsWindowController::accept() {
    OnOK();
}

void SettingsWindowController::reject() {
    OnCancel();
}

void SettingsWindowController::CloseSheet() {
    // Choosers left open would outlive the sheet they write into.
    if (m_pFolderChooser) m_pFolderChooser->reject();
    if (m_pColourDialog) m_pColourDialog->reject();
    QDialog::done(result());
}

void SettingsWindowController::OnSelectFolder() {
    GetTargetFolderFromUser(this);
}

QFileDialog* SettingsWindowController::GetTargetFolderFromUser(QWidget* window) {
    QFileDialog* chooser =
        MakeSheetPanel(window, tr("Select Folder to Export Images"), QFileDialog::AcceptOpen);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setFileMode(QFileDialog::Directory);
    connect(chooser, &QFileDialog::finished, this, [this, chooser](int result) {
        if (result != QDialog::Accepted) return;
        const QString folder = chooser->selectedFiles().value(0);
        if (!folder.isEmpty()) textFieldBaseFolderPath->setText(folder);
    });
    m_pFolderChooser = chooser;
    chooser->open();
    return chooser;
}

void SettingsWindowController::OnUseDefaultFolder() {
    textFieldBaseFolderPath->setText(QString(""));
}

void SettingsWindowController::OnSelectTextColor() {
    if (m_pColourDialog) {
        m_pColourDialog->raise();
        m_pColourDialog->activateWindow();
        return;
    }
    auto* dialog = new QColorDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setWindowModality(Qt::WindowModal);
    // A new dialog starts at white; start it at the colour being edited instead, before
    // any change is reported, so that opening alone changes nothing.
    if (m_pTimeColor) dialog->setCurrentColor(*m_pTimeColor);
    const std::optional<QColor> colourBefore = m_pTimeColor;
    connect(dialog, &QColorDialog::currentColorChanged, this,
            &SettingsWindowController::changeColorForBackground);
    // Every change applies at once; the dialog's Cancel takes them back.
    connect(dialog, &QColorDialog::rejected, this,
            [this, colourBefore] { m_pTimeColor = colourBefore; });
    m_pColourDialog = dialog;
    dialog->open();
}

void SettingsWindowController::changeColorForBackground(const QColor& colour) {
    if (colour.isValid()) m_pTimeColor = colour;
}

QString SettingsWindowController::GetTimeFromSeconds(double seconds) {
    return DurationText(seconds);
}

// The delegate's settings command, kept with the sheet it opens.

void AppDelegate::OnSettings() {
    if (pSettingsController) pSettingsController->deleteLater();
    QWidget* mainWindow = GetMainWindow();
    pSettingsController = new SettingsWindowController(mainWindow);
    connect(pSettingsController, &QDialog::accepted, this, &AppDelegate::OnSettingsAccepted);
    pSettingsController->showSheet(mainWindow);
}

void AppDelegate::OnButtonClickedSettings() {
    OnSettings();
}
