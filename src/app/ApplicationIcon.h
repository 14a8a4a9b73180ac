#pragma once
// The icon every window of the application shows: renderings of the scalable drawing at the
// sizes desktops ask for, from the window library's resource.

#include <QList>

// Makes the window library's resource available and sets the icon of every window. Call
// once a QApplication exists, on the main thread.
void InstallApplicationIcon();

// The sides (in pixels) of the square renderings the icon holds.
QList<int> ApplicationIconSides();
