#include "extract/FrameNaming.h"

#include <QFileInfo>

#include "platform/DurationText.h"
#include "platform/NewFolders.h"

QString FrameNaming::NameFor(double time, long long counter) const {
    const QString number = QString::number(counter);
    const QString head = folder + '/';
    if (!appendFileName)
        return head + (appendDuration ? DurationText(time) + ' ' : QString()) + number;
    // The prefix is text of a file name: a '/' in it ("../x") would write outside the folder.
    const QString name = QString(prefix).replace('/', '-');
    return head +
           FittedName({}, name, appendDuration ? DurationText(time) + number : number, nameLimit);
}

QString FileNameWithoutExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.left(dot) : name;
}
