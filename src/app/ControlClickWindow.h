#pragma once
// The main window: accepts a dropped video file, shows the video's icon and one-line
// summary, resets the time range to the whole video, and hints at the context menu on a
// control-click.
//
// The window does not own the fields it is handed (SetParameters, setTextFieldFrom/To): they
// are its own child widgets, made from the window's .ui resource by AppDelegate, which owns
// the window. Main thread only.

#include <QMainWindow>
#include <QPointer>
#include <QSizeF>
#include <QString>

#include "app/Controls.h"

class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;

class ControlClickWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit ControlClickWindow(QWidget* parent = nullptr);

    // The drop itself: exactly one local file with a supported extension is taken into the
    // path field and summarised; anything else is refused silently (false).
    bool performDragOperation(const QMimeData* data);
    // Expects the extension already lower-cased: "avi", "mov" and "mp4" are supported.
    static bool IsSupportedFileExtension(const QString& extension);

    void DisplayIconOfFilePath(const QString& path);
    // Shows the summary of the video in the path field and resets From and To to the whole
    // video; answers its dimensions, or (0, 0) when there is no file or no readable duration.
    QSizeF DisplayFileInfo();

    void SetParameters(QLineEdit* filePath, QLineEdit* videoDuration, QLabel* fileTypeIcon);
    QLineEdit* TextFieldFrom() const;
    void setTextFieldFrom(QLineEdit* field);
    QLineEdit* TextFieldTo() const;
    void setTextFieldTo(QLineEdit* field);
    // The menu that a right-click pops up.
    void SetContextMenu(QMenu* menu);

    // Window-modal, non-blocking message box with a plain "OK" button on this window.
    void DisplayMessageBox(const QString& title, const QString& text);

  signals:
    // Emitted when the user closes the window, before it hides: the last moment to read
    // the controls.
    void windowWillClose();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QPointer<QLineEdit> textFieldFilePath;
    QPointer<QLineEdit> textFieldVideoDuration;
    QPointer<QLabel> imageViewFileType;
    QPointer<QLineEdit> _TextFieldFrom;
    QPointer<QLineEdit> _TextFieldTo;
    QPointer<QMenu> m_pContextMenu;
};
