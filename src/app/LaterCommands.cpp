// Commands whose work arrives in later versions. They are on the menus and buttons already,
// so each says so instead of doing nothing when chosen.
#include "app/AppDelegate.h"

void AppDelegate::ShowNotYetAvailable(const QString& command) {
    DisplayMessageBox("Not Available Yet",
                      QString("%1 comes in a later version of Stillpress.\n\nUntil then you can "
                              "Export Images and open them from the [Last Folder].")
                          .arg(command));
}

void AppDelegate::OnExportVideoFromImages() {
    ShowNotYetAvailable("The Movie From Exported Images");
}

void AppDelegate::OnExportVideoFromVideo() {
    ShowNotYetAvailable("The Frame by Frame Re-encoding of the Video");
}

void AppDelegate::OnImageWatermark() {
    ShowNotYetAvailable("The Image Watermark Window");
}

void AppDelegate::OnExportVideo() {
    ShowNotYetAvailable("The Conversion of the Video With an Export Preset");
}

void AppDelegate::OnExtractImagesFromGIFFile() {
    ShowNotYetAvailable("The Extraction of Frames From a GIF File");
}

void AppDelegate::OnExportVideoInfo() {
    ShowNotYetAvailable("Saving the Video Information Report");
}

void AppDelegate::OnHelpVideo() {
    ShowNotYetAvailable("The Video Information");
}
