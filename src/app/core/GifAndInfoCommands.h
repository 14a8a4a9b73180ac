#pragma once
// The GIF frames command and the two video information commands after their panels: shared
// by the main window and the headless command. Runs on the caller's thread.

#include <QString>
#include <optional>

#include "gif/GifFrameExtraction.h"

class MessagePresenter;

// Extracts the frames of `gifPath` into its folder below `folderPath` (created and shown).
// A still GIF leaves the folder empty without a word; an unreadable GIF, one too large to
// decode safely or whose frames all fail to decode, and frames that could not be saved, are
// told through `messages`.
GifExtractionOutcome RunExtractGifFramesCommand(const QString& gifPath, const QString& folderPath,
                                                MessagePresenter& messages);

// The report of the video at `videoPath` after the export command's file check (the same
// messages); nullopt when there is no such file or it is not readable media.
std::optional<QString> MakeVideoInfoReport(const QString& videoPath, MessagePresenter& messages);

// Writes the report to `targetPath` as UTF-8 (an ASCII report is plain ASCII) with its CR LF
// lines and opens the file. When it cannot be written, says so and answers false; nothing is
// opened then.
bool SaveVideoInfoReport(const QString& report, const QString& targetPath,
                         MessagePresenter& messages);

// The name the save panel suggests: the video's name without folder and last extension.
QString VideoInfoSuggestedName(const QString& videoPath);

namespace GifAndInfoMessages {
inline constexpr const char* kNotAGifTitle = "Not a GIF File";
inline constexpr const char* kGifRefusedTitle = "GIF Frame Extraction Aborted";
inline constexpr const char* kGifFramesNotSavedTitle = "Some GIF Frames Not Saved";
inline constexpr const char* kReportNotSavedTitle = "Video Information Not Saved";
}  // namespace GifAndInfoMessages
