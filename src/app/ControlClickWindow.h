#pragma once
// The main window: accepts a dropped video file, shows the video's one-line summary and a
// preview of the frame at From as it will be exported (the file's icon until that frame is
// decoded, and where there is none), resets the time range to the whole video, and hints at
// the context menu on a control-click.
//
// The window does not own the fields it is handed (SetParameters, setTextFieldFrom/To): they
// are its own child widgets, made from the window's .ui resource by AppDelegate, which owns
// the window. Drops on its text fields are judged by the window's own rules, never inserted
// as text (RouteFieldDropsToWindow). It owns its FramePreview, whose decodes run off the
// main thread; everything else, and every member function, is main thread only.

#include <QMainWindow>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include "app/Controls.h"
#include "app/FramePreview.h"

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
    // The same rule for files named otherwise (on the command line): false when refused.
    bool OpenFiles(const QStringList& paths);
    // Expects the extension already lower-cased: "avi", "mov" and "mp4" are supported.
    static bool IsSupportedFileExtension(const QString& extension);
    // Sends what is dragged over or dropped on any of the window's text fields to the
    // window's drop rules. Call once its fields are made.
    void RouteFieldDropsToWindow();

    void DisplayIconOfFilePath(const QString& path);
    // Shows the summary of the video in the path field and resets From and To to the whole
    // video; answers the size its frames are taken at, or (0, 0) when there is no file or no
    // readable duration. The icon shows until the preview of the frame at From is ready.
    QSizeF DisplayFileInfo();
    // Asks again for the preview of the summarised video's frame at From (after a change of
    // From, or of the settings that say how frames are taken); it follows shortly.
    void RefreshPreview();

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
    // The drag and drop events of the text fields (RouteFieldDropsToWindow).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ReportUnreadableVideo(const QString& problem);
    // A null frame (none at From) puts the file's icon back.
    void ShowPreview(const QImage& frame);

    QPointer<QLineEdit> textFieldFilePath;
    QPointer<QLineEdit> textFieldVideoDuration;
    QPointer<QLabel> imageViewFileType;
    QPointer<QLineEdit> _TextFieldFrom;
    QPointer<QLineEdit> _TextFieldTo;
    QPointer<QMenu> m_pContextMenu;
    QString m_strPreviewVideo;  // the summarised video; empty when none
    FramePreview m_oPreview;    // a child of the window, destroyed before it
};
