#include "platform/NewFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "platform/OutputFile.h"
#include "platform/StandardFolders.h"

namespace {

constexpr qsizetype kUsualNameLimit = 255;
// Enough for every run one clock second can start; beyond it something else is wrong.
constexpr int kMostNumberedNames = 1000;

qsizetype EncodedSize(const QString& text) {
    return QFile::encodeName(text).size();
}

// The longest leading part of `text` that takes at most `bytes` bytes of UTF-8 (the file
// names' encoding), never splitting a character.
QString CutToFit(const QString& text, qsizetype bytes) {
    qsizetype end = 0, used = 0;
    while (end < text.size()) {
        const char16_t unit = text[end].unicode();
        const bool pair =
            QChar::isHighSurrogate(unit) && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const qsizetype size = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (used + size > bytes) break;
        used += size;
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

}  // namespace

qsizetype FileNameLimit(const QString& folder) {
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : kUsualNameLimit;
}

QString FittedName(const QString& before, const QString& shortened, const QString& after,
                   qsizetype limit) {
    // Names are made for every frame: most fit whole, and cost one encoding.
    const qsizetype fixed = EncodedSize(before + after);
    if (fixed + EncodedSize(shortened) <= limit) return before + shortened + after;
    return before + CutToFit(shortened, limit - fixed) + after;
}

NewFolder MakeNewFolder(const QString& parent, const QString& shortened, const QString& whole) {
    CreateDirectoryWithParents(parent);
    const qsizetype limit = FileNameLimit(parent);
    NewFolder made{parent + '/' + FittedName({}, shortened, whole, limit), {}};
    for (int number = 1; number <= kMostNumberedNames; ++number) {
        const QString counter = number == 1 ? QString() : ' ' + QString::number(number);
        const QString path = parent + '/' + FittedName({}, shortened, whole + counter, limit);
        // mkdir of the last level alone: of two processes asking for one name, one gets it.
        if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0) return {path, {}};
        if (const int code = errno; code != EEXIST) {
            made.error = path + ": " + ErrnoText(code);
            return made;
        }
    }
    made.error = QString("%1: this name and its numbered names up to %2 are all taken")
                     .arg(made.path)
                     .arg(kMostNumberedNames);
    return made;
}
