#pragma once
// The conversion by export preset as the window and the headless command share it: the
// preset chosen by name or tag, the conversion and the messages for what came of it.
// Runs on the caller's thread, which it blocks for the whole conversion; the window calls it
// on its worker thread, so progress, messages and the opening of the folder go through the
// request's callbacks and the presenter, which must be safe to call from that thread.

#include <QString>
#include <functional>

class MessagePresenter;

struct ConversionRequest {
    QString videoPath;
    QString presetName;  // one of GetExportableFileTypes()
    QString popupTitle;  // becomes part of the output name
    // About once a second with the progress (0 to 1); answering false cancels.
    std::function<bool(float progress)> progress;
    // Opens the output folder; empty: the shared workspace on the calling thread.
    std::function<void(const QString& folder)> openFolder;
};

struct ConversionOutcome {
    enum class Status { Converted, Refused, Failed, Cancelled };
    Status status = Status::Refused;
    // Named also when nothing was written; empty for a source that is no regular file (a
    // pipe, a device, a folder), refused before any folder was made for it.
    QString outputPath;
};

// Converts and reports a refusal (no regular file, no exporter, no file type, nothing the
// preset converts), a failure or a cancellation in a message box; a conversion that ends well
// says nothing.
ConversionOutcome RunConversionCommand(const ConversionRequest& request,
                                       MessagePresenter& messages);

// The preset at `tag` of the preset list; empty when there is none.
QString PresetNameForTag(long long tag);

// The percentage text of a progress from 0 to 1: "%3.2f %%" of the progress times 100.
QString ConversionPercentageText(float progress);
