#include "platform/StandardFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString Standard(QStandardPaths::StandardLocation location, const char* fallback) {
    QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty()) path = QDir::homePath() + "/" + fallback;
    return QDir::cleanPath(path);
}
}  // namespace

QString UserPicturesDirectory() {
    return Standard(QStandardPaths::PicturesLocation, "Pictures");
}
QString UserMoviesDirectory() {
    return Standard(QStandardPaths::MoviesLocation, "Videos");
}
QString UserDesktopDirectory() {
    return Standard(QStandardPaths::DesktopLocation, "Desktop");
}

bool FileExistsAtPath(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool DirectoryExistsAtPath(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool CreateDirectoryWithParents(const QString& path) {
    return !path.isEmpty() && QDir().mkpath(path) && QFileInfo(path).isDir();
}
