#pragma once
// What the desktop does for us: opening files, folders and URLs in their default
// applications, selecting a file in the file browser, and file icons.
// The current workspace is process-wide; set it before any command runs (main thread).
// openURL and selectFile answer whether the desktop took the request: false when nothing
// on it opens that kind of file or link, which the caller reports to the user.

#include <QIcon>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Workspace {
  public:
    virtual ~Workspace() = default;
    virtual bool openURL(const QString& pathOrUrl) = 0;
    virtual bool selectFile(const QString& path) = 0;
    virtual QIcon iconForFile(const QString& path) = 0;
};

// Opens through the desktop services (never a shell).
class DesktopWorkspace : public Workspace {
  public:
    bool openURL(const QString& pathOrUrl) override;
    bool selectFile(const QString& path) override;
    QIcon iconForFile(const QString& path) override;
};

// Records what would have been opened; for tests and the headless command.
class RecordingWorkspace : public Workspace {
  public:
    bool openURL(const QString& pathOrUrl) override;
    bool selectFile(const QString& path) override;
    QIcon iconForFile(const QString& path) override;
    QStringList openedURLs;
    QStringList selectedFiles;
    // While set, every request fails and nothing is recorded, as on a desktop without
    // applications to open things.
    bool refuseToOpen = false;
};

Workspace& SharedWorkspace();
// Replaces the process-wide workspace; the default is a DesktopWorkspace.
void SetSharedWorkspace(std::shared_ptr<Workspace> workspace);

// Shows a command's result (its folder or file) through the shared workspace; when the desktop
// cannot open it, tells the process-wide reporter (the window shows a message, the headless
// command a line). Any thread: the reporter is called on the thread that asked.
bool ShowResultOnDesktop(const QString& pathOrUrl);
using OpenFailureReporter = std::function<void(const QString& pathOrUrl)>;
// Replaces the reporter (main thread, before commands run); an empty one reports nothing.
void SetOpenFailureReporter(OpenFailureReporter reporter);
