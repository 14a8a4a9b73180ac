#include "app/ControlClickWindow.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QStyle>
#include <QTimeZone>
#include <QUrl>
#include <cmath>

#include "media/VideoFileProcessor.h"
#include "platform/MediaAsset.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"

namespace {

// "HH:mm:ss" of a date that many seconds after 1970 in UTC: hours wrap at 24 and the
// fraction of a second is dropped, as in the summary line of every video.
QString ClockText(double seconds) {
    const QDateTime date =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds), QTimeZone::utc());
    return date.toString("HH:mm:ss");
}

QString SummaryLine(double duration, float frameRate, QSizeF dimensions) {
    const QString seconds = QString::asprintf("%ld Seconds", static_cast<long>(duration));
    return QString::asprintf("%s / %s, %0.2f fps, Dimensions : %ld X %ld",
                             ClockText(duration).toUtf8().constData(), seconds.toUtf8().constData(),
                             static_cast<double>(frameRate), static_cast<long>(dimensions.width()),
                             static_cast<long>(dimensions.height()));
}

// What a player does with the picture that its size does not tell: its HDR transfer and turn.
QString PictureNotes(const MediaAsset* asset) {
    if (asset == nullptr || !asset->hasVideoTrack()) return {};
    QStringList notes;
    if (asset->transfer() == sdr::Transfer::Pq) notes << "HDR (PQ)";
    if (asset->transfer() == sdr::Transfer::Hlg) notes << "HDR (HLG)";
    const int degrees = asset->preferredTransform().degrees();
    if (degrees != 0) notes << QString("rotated %1°").arg(degrees);
    return notes.isEmpty() ? QString() : ", " + notes.join(", ");
}

// The single local file a drop carries, or an empty string.
QString SingleDroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    return urls.first().toLocalFile();
}

}  // namespace

ControlClickWindow::ControlClickWindow(QWidget* parent) : QMainWindow(parent), m_oPreview(this) {
    setAcceptDrops(true);
    connect(&m_oPreview, &FramePreview::frameReady, this, &ControlClickWindow::ShowPreview);
}

bool ControlClickWindow::IsSupportedFileExtension(const QString& extension) {
    return extension == "avi" || extension == "mov" || extension == "mp4";
}

bool ControlClickWindow::performDragOperation(const QMimeData* data) {
    const QString path = SingleDroppedFile(data);
    return !path.isEmpty() && OpenFiles({path});
}

bool ControlClickWindow::OpenFiles(const QStringList& paths) {
    if (paths.size() != 1) return false;
    const QString& path = paths.first();
    if (!IsSupportedFileExtension(QFileInfo(path).suffix().toLower())) return false;
    textFieldFilePath->setText(path);
    DisplayFileInfo();
    return true;
}

void ControlClickWindow::RouteFieldDropsToWindow() {
    for (QLineEdit* field : findChildren<QLineEdit*>()) field->installEventFilter(this);
}

void ControlClickWindow::DisplayIconOfFilePath(const QString& path) {
    QIcon icon = SharedWorkspace().iconForFile(path);
    // Without an icon theme the desktop has no icon to give; a generic file still shows
    // that something was chosen.
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
    const QSize size = imageViewFileType->size();
    imageViewFileType->setPixmap(icon.pixmap(size, devicePixelRatio()));
}

QSizeF ControlClickWindow::DisplayFileInfo() {
    const QString path = textFieldFilePath->text();
    // The frame of an earlier video must not land on this one's icon.
    m_oPreview.Cancel();
    m_strPreviewVideo.clear();
    if (!FileExistsAtPath(path)) return {0, 0};
    DisplayIconOfFilePath(path);
    VideoFileProcessor processor;
    processor.OpenVideoFile(path);
    // An unreadable file has no valid duration; it reads as 0 like an empty one.
    const double seconds = processor.GetVideoDurationInSeconds();
    const double duration = std::isfinite(seconds) ? seconds : 0.0;
    textFieldVideoDuration->setText(
        SummaryLine(duration, processor.GetFrameRate(), processor.GetVideoDimensions()) +
        PictureNotes(processor.m_pAsset.get()));
    textFieldVideoDuration->setCursorPosition(0);
    if (!(duration > 0)) {
        ReportUnreadableVideo(processor.GetVideoProblem());
        return {0, 0};
    }
    m_strPreviewVideo = path;
    SetDoubleValue(_TextFieldFrom, 0.0);
    SetDoubleValue(_TextFieldTo, duration);
    RefreshPreview();  // From may have been 0 already
    return processor.GetFrameDimensions();
}

void ControlClickWindow::ReportUnreadableVideo(const QString& problem) {
    DisplayMessageBox("Could Not Read Video Duration",
                      "Stillpress Could not read Video Information from Selected Video "
                      "File.\n\nMake sure you can Play / View Thumbnail of the selected "
                      "Video File and then try Again." +
                          (problem.isEmpty() ? QString() : "\n\n" + problem));
}

void ControlClickWindow::RefreshPreview() {
    if (m_strPreviewVideo.isEmpty() || !imageViewFileType || !_TextFieldFrom) return;
    m_oPreview.Request(m_strPreviewVideo, DoubleValueOf(_TextFieldFrom), imageViewFileType->size(),
                       devicePixelRatio());
}

void ControlClickWindow::ShowPreview(const QImage& frame) {
    if (!imageViewFileType) return;
    if (frame.isNull()) return DisplayIconOfFilePath(m_strPreviewVideo);
    imageViewFileType->setPixmap(QPixmap::fromImage(frame));
}

void ControlClickWindow::SetParameters(QLineEdit* filePath, QLineEdit* videoDuration,
                                       QLabel* fileTypeIcon) {
    textFieldFilePath = filePath;
    textFieldVideoDuration = videoDuration;
    imageViewFileType = fileTypeIcon;
}

QLineEdit* ControlClickWindow::TextFieldFrom() const {
    return _TextFieldFrom;
}

void ControlClickWindow::setTextFieldFrom(QLineEdit* field) {
    if (_TextFieldFrom) disconnect(_TextFieldFrom, nullptr, this, nullptr);
    _TextFieldFrom = field;
    // Every change counts, typed or set: the preview always shows the frame at From.
    if (field) connect(field, &QLineEdit::textChanged, this, &ControlClickWindow::RefreshPreview);
}

QLineEdit* ControlClickWindow::TextFieldTo() const {
    return _TextFieldTo;
}

void ControlClickWindow::setTextFieldTo(QLineEdit* field) {
    _TextFieldTo = field;
}

void ControlClickWindow::SetContextMenu(QMenu* menu) {
    m_pContextMenu = menu;
}

void ControlClickWindow::DisplayMessageBox(const QString& title, const QString& text) {
    OpenMessageSheet(this, title, text, QStringLiteral("OK"));
}

// Every drag is welcome while it moves over the window; what it carries is judged at the drop.
void ControlClickWindow::dragEnterEvent(QDragEnterEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ControlClickWindow::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ControlClickWindow::dropEvent(QDropEvent* event) {
    if (performDragOperation(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

// A field would take the text file browsers put beside a dropped file's address, and tell
// the browser the file was moved; the window's rules take only a video, as a copy.
bool ControlClickWindow::eventFilter(QObject* watched, QEvent* event) {
    if (qobject_cast<QLineEdit*>(watched) == nullptr)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
            dragEnterEvent(static_cast<QDragEnterEvent*>(event));
            return true;
        case QEvent::DragMove:
            dragMoveEvent(static_cast<QDragMoveEvent*>(event));
            return true;
        case QEvent::Drop:
            dropEvent(static_cast<QDropEvent*>(event));
            return true;
        default:
            return QMainWindow::eventFilter(watched, event);
    }
}

void ControlClickWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->modifiers().testFlag(Qt::ControlModifier)) {
        DisplayMessageBox("Right Click Menu",
                          "The Right Click Menu can be Displayed by either\n\nClicking on the Top "
                          "Left Round Button\n\nor\n\nby doing Right Click (with 2 Button Mouse).");
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void ControlClickWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (m_pContextMenu == nullptr) return QMainWindow::contextMenuEvent(event);
    m_pContextMenu->popup(event->globalPos());
    event->accept();
}

void ControlClickWindow::closeEvent(QCloseEvent* event) {
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}
