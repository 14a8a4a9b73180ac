// A full disk, as the write-fault hook or a small mounted file system makes it, met by every
// command that writes files: it says what was not written and exits 1; files written before
// stay, a file that was to be replaced is kept, and no partial or temporary file is left.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "app/core/HeadlessCommand.h"
#include "platform/ImageFiles.h"
#include "platform/WriteFaults.h"
#include "support/AppFixtures.h"

namespace {

const QString kSample = SampleVideo();
const QByteArray kOldContent = "the file that was here before";

// Every file below `folder`, hidden ones included, relative to it.
QStringList FilesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next().mid(folder.size() + 1);
    files.sort();
    return files;
}

struct FullDiskCase {
    const char* name;
    // SAMPLE: the sample video; IMAGES: a folder of images; GIF: an animated GIF; OUT: the
    // case's output folder, in which a file named as the output exists before.
    const char* command;
    const char* title;  // of the message
    qint64 bytesBeforeFailure;
    int failingFile = 0;
};

const FullDiskCase kCases[] = {
    {"Extraction", "export-images SAMPLE --interval 2 --format png --base-folder OUT",
     "Some Image Files Could Not Be Written", -1, 3},
    {"VideoWall", "wall-from-video SAMPLE OUT/wall.png --interval 2 --format png", "Wall", 1000},
    {"ImageWall", "wall-from-images IMAGES OUT/wall.png", "Wall", 0},
    {"MovieFromImages", "movie-from-images IMAGES OUT/m.mp4", "Video Export Failed", 100},
    {"Reencode", "reencode SAMPLE OUT/m.mp4", "Video Export Failed", 20000},
    {"MovieHeader", "movie-from-images IMAGES OUT/m.mp4", "Video Export Failed", -1, 1},
    {"Conversion", "convert SAMPLE --preset Passthrough --base-folder OUT",
     "Video Conversion Failed", 30000},
    {"Report", "info SAMPLE --output OUT/info.txt", "Video Information Not Saved", 10},
    {"GifFrames", "gif-frames GIF OUT --format png", "Some GIF Frames Not Saved", 0},
};

using FullDiskTest = ::testing::TestWithParam<FullDiskCase>;

TEST_P(FullDiskTest, TheCommandSaysSoAndKeepsWhatWasThere) {
    const FullDiskCase& c = GetParam();
    AppSettings().SetFrameDelayDuringExport(0.000001);
    const QString out = MakeTempDir(QString("full-disk-") + c.name);
    QStringList arguments = QString(c.command).split(' ');
    QString replaced;
    for (QString& argument : arguments) {
        if (argument == "SAMPLE") argument = kSample;
        if (argument == "GIF") argument = PartyGif();
        if (argument == "IMAGES") {
            argument = MakeTempDir("full-disk-images");
            for (int k = 0; k < 3; ++k)
                Filled({64, 48}, QColor(k * 80, 90, 200))
                    .save(QString("%1/%2.png").arg(argument).arg(k));
        }
        if (argument.startsWith("OUT")) argument.replace(0, 3, out);
        if (argument.startsWith(out + "/")) replaced = WriteTestFile(argument, kOldContent);
    }
    // The command in this process, so that the write-fault hook applies to it.
    QString outText, err;
    QTextStream outStream(&outText), errStream(&err);
    int status = -1;
    {
        const ScopedWriteFaults full({c.bytesBeforeFailure, c.failingFile});
        status = RunHeadlessCommand(arguments, outStream, errStream);
    }
    errStream.flush();
    EXPECT_EQ(status, HeadlessExit::kSomeFilesFailed) << err.toStdString();
    EXPECT_TRUE(err.contains(c.title)) << err.toStdString();
    EXPECT_TRUE(err.contains("No space left on device")) << err.toStdString();
    const QStringList left = FilesBelow(out);
    if (!replaced.isEmpty()) {
        EXPECT_EQ(left, QStringList{QFileInfo(replaced).fileName()});
        EXPECT_EQ(ReadTestFile(replaced), kOldContent);
    } else if (QString(c.name) == "Extraction") {
        ASSERT_EQ(left.size(), 2) << left.join(' ').toStdString();  // the frames before
        for (const QString& frame : left) EXPECT_FALSE(LoadImageFile(out + "/" + frame).isNull());
    } else {
        EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, FullDiskTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A real 1 MB file system filled by an extraction: the frames that fit stay whole.
TEST(FullDiskMountTest, AnExtractionOntoASmallFileSystemKeepsTheFramesThatFit) {
    const QString point = MakeTempDir("full-disk-mount");
    const QByteArray native = QFile::encodeName(point);
    if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a 1 MB tmpfs here: " << std::strerror(errno);
    const CliResult result = RunCli({"export-images", kSample, "--interval", "0.25", "--format",
                                     "bmp", "--base-folder", point, "--json"});
    const QStringList left = FilesBelow(point);
    EXPECT_EQ(result.status, HeadlessExit::kSomeFilesFailed) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("No space left on device")) << result.err.toStdString();
    EXPECT_GT(left.size(), 1);
    // The result names the frames written and, apart, those that were not, with the reason.
    const QJsonObject json = QJsonDocument::fromJson(result.LastLine().toUtf8()).object();
    QStringList written;
    for (const QJsonValue& file : json["files"].toArray())
        written << QDir(point).relativeFilePath(file.toString());
    written.sort();
    EXPECT_EQ(written, left);
    const QJsonArray failed = json["failedFiles"].toArray();
    EXPECT_FALSE(failed.isEmpty());
    EXPECT_EQ(json["failedFrames"].toInteger(), failed.size());
    EXPECT_TRUE(json["firstError"].toString().contains("No space left on device"));
    for (const QString& frame : left) {
        EXPECT_FALSE(frame.contains(".stillpress-")) << frame.toStdString();
        EXPECT_EQ(LoadImageFile(point + "/" + frame).size(), QSize(320, 240));
    }
    ::umount2(native.constData(), MNT_DETACH);
}

}  // namespace
