#pragma once
// The parts of the two movie commands that the window and the headless command share: the
// checks and messages before a panel, the panel's texts, and the writes with their reports.
// Runs on the caller's thread.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class MessagePresenter;
class VideoFileProcessor;

// The images of the last export for a movie: the latest run's list when there was one in
// this process, else the folder's sorted listing. "Video Export Aborted" when the last
// folder is missing (nullopt).
struct MovieImages {
    QStringList images;
    QString folder;
};
std::optional<MovieImages> CollectMovieImages(const QString& lastFolder,
                                              const std::shared_ptr<QStringList>& exportedFiles,
                                              MessagePresenter& messages);

// Writes the movie with the frame rate and frame delay of the settings; reports a failure
// (no loadable image, a writer that could not be set up, a file that could not be finished)
// in a message box and answers false. A finished movie is opened.
bool MakeMovieFromImages(const MovieImages& images, const QString& outputPath,
                         MessagePresenter& messages);

// The video for a re-encode after the file check; nullptr (with a message) when the file is
// missing, cannot be read as media, has no video track or a frame rate below 1 frame per
// second.
std::unique_ptr<VideoFileProcessor> OpenVideoForReencode(const QString& videoPath,
                                                         MessagePresenter& messages);
// The save panel's message (frames, dimensions) and its proposed name ("clip-Exported").
QString ReencodePanelMessage(VideoFileProcessor& processor);
QString ReencodeProposedName(const QString& videoPath);

// Re-encodes with the frame delay of the settings; reports failures like MakeMovieFromImages.
bool MakeReencodedMovie(const QString& sourcePath, const QString& outputPath,
                        MessagePresenter& messages);

// What the two writes above came to, for callers that tell a refusal (nothing to write: no
// loadable image, a source that cannot be re-encoded) from a write that failed. The
// messages are those of MakeMovieFromImages and MakeReencodedMovie.
enum class MovieWriteResult { Written, Refused, Failed };
MovieWriteResult WriteMovieFromImages(const MovieImages& images, const QString& outputPath,
                                      MessagePresenter& messages);
MovieWriteResult WriteReencodedMovie(const QString& sourcePath, const QString& outputPath,
                                     MessagePresenter& messages);
