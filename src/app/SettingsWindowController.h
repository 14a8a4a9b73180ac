#pragma once
// The settings sheet: edits the output options that are not on the main window (file
// naming, grey scale, frames as players show them, the drawn time and its colour, the base folder,
// the frame rate and delay of written movies, the image compression quality).
//
// The sheet reads every value from a fresh AppSettings when it is made and writes all of
// them back only on OK; until then edits live in the controls and in m_pTimeColor. Each
// opening makes a new controller (AppDelegate::OnSettings keeps the last one). Its number
// fields take only numbers (Controls.h), and its forms share one label width. The sheet
// owns its controls, the folder chooser and the colour dialog it opens; it does not own its
// parent window. Main thread only.

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

class QCheckBox;
class QColorDialog;
class QFileDialog;
class QLineEdit;

namespace Ui {
class SettingsWindowController;
}

class SettingsWindowController : public QDialog {
    Q_OBJECT

  public:
    // Builds the controls and fills them from the settings store (windowDidLoad).
    explicit SettingsWindowController(QWidget* parent = nullptr);
    ~SettingsWindowController() override;

    // Attaches the sheet to `parent`, window-modal, and returns at once.
    void showSheet(QWidget* parent);
    void CloseSheet();

    // Opens the non-blocking folder chooser on `window`; OK puts the chosen folder into the
    // base folder field. Answers the chooser, which deletes itself when it closes.
    QFileDialog* GetTargetFolderFromUser(QWidget* window);
    // Called by the colour dialog at every colour change.
    void changeColorForBackground(const QColor& colour);

    // The abbreviated time text of a number of seconds; the sheet uses it only to check
    // that frame times can be drawn at all.
    static QString GetTimeFromSeconds(double seconds);

    // Enter and Escape land here as well as on the buttons.
    void accept() override;
    void reject() override;

  public slots:
    void OnOK();
    void OnCancel();
    void OnSelectFolder();
    void OnUseDefaultFolder();
    void OnSelectTextColor();

  public:
    // Fields.
    std::optional<QColor> m_pTimeColor;  // none when no colour was ever chosen
    QPointer<QWidget> pParentWindow;

    // Outlets, owned by the sheet.
    QLineEdit* textFieldParam1 = nullptr;
    QCheckBox* checkBoxAppendDuration = nullptr;
    QCheckBox* checkBoxGreyScale = nullptr;
    QCheckBox* checkBoxAsDisplayed = nullptr;
    QCheckBox* checkBoxAppendFileName = nullptr;
    QLineEdit* textFieldBaseFolderPath = nullptr;
    QCheckBox* checkAddTimeIntervalToImages = nullptr;
    QLineEdit* textFieldFrameRate = nullptr;
    QLineEdit* textFieldFrameDelay = nullptr;
    QPointer<QLineEdit> textFieldCompressionFactor;  // held weakly

  private:
    void BindOutlets();
    void BindActions();
    void windowDidLoad();
    void StoreSettings();

    std::unique_ptr<Ui::SettingsWindowController> m_pUi;
    QPointer<QColorDialog> m_pColourDialog;
    QPointer<QFileDialog> m_pFolderChooser;
};
