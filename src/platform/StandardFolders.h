#pragma once
// The user's standard folders, absolute paths without a trailing slash. Any thread.

#include <QString>

QString UserPicturesDirectory();
QString UserMoviesDirectory();  // the Videos folder
QString UserDesktopDirectory();

// True when something (file or folder) exists at `path`.
bool FileExistsAtPath(const QString& path);
// True when `path` names an existing directory.
bool DirectoryExistsAtPath(const QString& path);
// Creates the directory with all missing parents; true when it exists afterwards.
bool CreateDirectoryWithParents(const QString& path);
