// Commands whose work arrives in later versions. They are on the menus and buttons already,
// so each says so instead of doing nothing when chosen.
#include "app/AppDelegate.h"

void AppDelegate::ShowNotYetAvailable(const QString& command) {
    DisplayMessageBox("Not Available Yet",
                      QString("%1 comes in a later version of Stillpress.\n\nUntil then you can "
                              "Export Images and open them from the [Last Folder].")
                          .arg(command));
}

void AppDelegate::OnExportVideo() {
    ShowNotYetAvailable("The Conversion of the Video With an Export Preset");
}
