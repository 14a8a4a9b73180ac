#include "extract/FrameNaming.h"

#include <QFileInfo>

#include "platform/DurationText.h"

QString FrameNaming::NameFor(double time, long long counter) const {
    const QString number = QString::number(counter);
    const QString head = folder + '/';
    // The prefix is text of a file name: a '/' in it ("../x") would write outside the folder.
    const QString name = QString(prefix).replace('/', '-');
    if (appendFileName && appendDuration) return head + name + DurationText(time) + number;
    if (appendFileName) return head + name + number;
    if (appendDuration) return head + DurationText(time) + ' ' + number;
    return head + number;
}

QString FileNameWithoutExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.left(dot) : name;
}
