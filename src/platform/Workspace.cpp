#include "platform/Workspace.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <mutex>

namespace {

std::mutex g_WorkspaceMutex;
std::shared_ptr<Workspace> g_pWorkspace;
OpenFailureReporter g_fnReportOpenFailure;

// Only web and mail links are opened as links: a file whose name looks like one ("x:y.png",
// "smb:share") is still the local file, never handed to some other URL handler.
QUrl UrlFor(const QString& pathOrUrl) {
    const QUrl url(pathOrUrl, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool link = scheme == "http" || scheme == "https" || scheme == "mailto";
    if (url.isValid() && link && !QFileInfo::exists(pathOrUrl)) return url;
    return QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
}

}  // namespace

bool DesktopWorkspace::openURL(const QString& pathOrUrl) {
    return QDesktopServices::openUrl(UrlFor(pathOrUrl));
}

bool DesktopWorkspace::selectFile(const QString& path) {
    // File browsers differ in how they select an item; showing its folder works everywhere.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

QIcon DesktopWorkspace::iconForFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool video = suffix == "mp4" || suffix == "mov" || suffix == "avi" || suffix == "mkv";
    return QIcon::fromTheme(video ? "video-x-generic" : "text-x-generic");
}

bool RecordingWorkspace::openURL(const QString& pathOrUrl) {
    if (refuseToOpen) return false;
    openedURLs << pathOrUrl;
    return true;
}

bool RecordingWorkspace::selectFile(const QString& path) {
    if (refuseToOpen) return false;
    selectedFiles << path;
    return true;
}

QIcon RecordingWorkspace::iconForFile(const QString&) {
    return {};
}

Workspace& SharedWorkspace() {
    std::lock_guard lock(g_WorkspaceMutex);
    if (!g_pWorkspace) g_pWorkspace = std::make_shared<DesktopWorkspace>();
    return *g_pWorkspace;
}

void SetSharedWorkspace(std::shared_ptr<Workspace> workspace) {
    std::lock_guard lock(g_WorkspaceMutex);
    g_pWorkspace = std::move(workspace);
}

void SetOpenFailureReporter(OpenFailureReporter reporter) {
    std::lock_guard lock(g_WorkspaceMutex);
    g_fnReportOpenFailure = std::move(reporter);
}

bool ShowResultOnDesktop(const QString& pathOrUrl) {
    if (SharedWorkspace().openURL(pathOrUrl)) return true;
    OpenFailureReporter report;
    {
        std::lock_guard lock(g_WorkspaceMutex);
        report = g_fnReportOpenFailure;
    }
    if (report) report(pathOrUrl);
    return false;
}
