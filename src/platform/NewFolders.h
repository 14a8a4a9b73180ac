#pragma once
// New folders that no other run shares, and file names that fit the file system.
//
// Names are made of a part that may be shortened (a video's name, a user's prefix) and parts
// kept whole (a time, a counter, an extension). A name that fits is left exactly as made; one
// that does not loses characters from the end of its shortened part, never half a character.
// Plain functions; any thread, any process: creating a folder is atomic in the file system.

#include <QString>

// The longest file name, in bytes, that the file system holding `folder` takes (255 on ext4);
// 255 when it does not say.
qsizetype FileNameLimit(const QString& folder);

// `before` + `shortened` + `after`, with as much of `shortened` as lets the name take at most
// `limit` bytes (none when the whole parts alone take more).
QString FittedName(const QString& before, const QString& shortened, const QString& after,
                   qsizetype limit);

struct NewFolder {
    QString path;   // the folder made; when none could be, the first name tried
    QString error;  // empty when the folder was made
};

// Makes `parent` (with its missing parents) and in it a new, empty folder named
// `shortened` + `whole`, or, when that name is taken (by a folder, a file or another process
// racing for it), the same followed by " 2", " 3" and so on. Names are fitted to the file
// system's limit. Fails with a readable reason when the folder cannot be made or every
// name is taken.
NewFolder MakeNewFolder(const QString& parent, const QString& shortened, const QString& whole);
