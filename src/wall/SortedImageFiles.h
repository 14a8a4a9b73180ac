#pragma once
// The order in which the files of a folder become wall tiles or movie frames. Any thread.

#include <QStringList>

// Ascending, with runs of digits compared by their numeric value ("Frame 2" before
// "Frame 10") and everything else character by character, case-sensitively (upper-case
// letters first). Nothing is filtered out.
QStringList GetSortedImageFiles(const QStringList& names);
