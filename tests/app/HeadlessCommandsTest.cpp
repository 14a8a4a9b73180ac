// The headless commands of stillpress-cli, run as processes: what each writes, prints and keeps,
// and the exit status and message of every refusal and failed write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <thread>

#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "support/AppFixtures.h"

namespace {

QList<QJsonObject> JsonLines(const CliResult& result) {
    QList<QJsonObject> objects;
    for (const QString& line : result.out.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        objects << QJsonDocument::fromJson(line.toUtf8(), &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    }
    return objects;
}

QStringList Strings(const QJsonValue& array) {
    QStringList strings;
    for (const QJsonValue& value : array.toArray()) strings << value.toString();
    return strings;
}

TEST(HeadlessCommands, HelpVersionAndUsageErrorsFollowTheConventions) {
    const CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.rawOut, "stillpress-cli " STILLPRESS_VERSION "\n");
    for (const QStringList& arguments : {QStringList{"--help"}, {"-h"}, {"help"}}) {
        const CliResult help = RunCli(arguments);
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(
            help.out.startsWith("Usage: stillpress-cli export-images VIDEO... [options]\n"));
        EXPECT_TRUE(help.err.isEmpty());
    }
    // A command's help: its synopsis and its own options only, the same both ways.
    const CliResult help = RunCli({"reencode", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.rawOut, RunCli({"help", "reencode"}).rawOut);
    EXPECT_TRUE(help.out.startsWith("Usage: stillpress-cli reencode VIDEO OUTPUT.mp4 [options]\n"));
    for (const char* option : {"--frame-delay S", "--as-displayed, --no-as-displayed", "--json"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    for (const char* other : {"--format", "--frame-rate", "wall-from-video"})
        EXPECT_FALSE(help.out.contains(other)) << other;
    EXPECT_TRUE(RunCli({"export-images", "-h"})
                    .out.contains("  --watermark-place PLACE             where the watermark goes: "
                                  "top-left|top-right|bottom-left|bottom-right|center, or their "
                                  "places 0 to 4\n"));
}

// Two videos in one run, the first unreadable: the other is still exported, each has its
// result line (the unreadable one only in JSON) and the worst exit status wins.
TEST(HeadlessCommands, SeveralVideosAreEachExportedAndReportedInOrder) {
    const QString base = MakeTempDir("cli-several");
    const QString text = WriteTestFile(MakeTempDir("cli-several-text") + "/notes.mp4", "text");
    CliResult result = RunCli({"export-images", text, SampleVideo(), "--interval", "2", "--format",
                               "png", "--base-folder", base, "--json"});
    EXPECT_EQ(result.status, 2);
    QList<QJsonObject> objects = JsonLines(result);
    ASSERT_EQ(objects.size(), 2);
    EXPECT_EQ(objects[0]["video"].toString(), text);
    EXPECT_EQ(objects[0]["exitStatus"].toInt(), 2);
    EXPECT_TRUE(objects[0]["message"].toString().startsWith("Could Not Read Video Duration: "));
    EXPECT_FALSE(objects[0].contains("folder"));
    const QString folder = objects[1]["folder"].toString();
    EXPECT_TRUE(folder.startsWith(base + "/Stillpress Files/sample ")) << folder.toStdString();
    QStringList paths;
    for (const char* name : {"1.png", "2.png", "3.png", "4.png"}) paths << folder + "/" + name;
    EXPECT_EQ(Strings(objects[1]["files"]), paths);
    EXPECT_EQ(FilesIn(folder).size(), 4);
    EXPECT_EQ(objects[1]["failedFrames"].toInt(-1), 0);
    EXPECT_EQ(objects[1]["cancelled"], QJsonValue(false));

    // Walls, one per video, named after it; the plain lines name only what was written.
    const QString walls = MakeTempDir("cli-walls") + "/made";
    const QString other = MakeTempDir("cli-walls-copy") + "/other.mp4";
    QFile::copy(SampleVideo(), other);
    result = RunCli({"wall-from-video", "--output-folder", walls, SampleVideo(), text, other,
                     "--format", "bmp", "--interval", "4"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, walls + "/sample.bmp\n" + walls + "/other.bmp");
    EXPECT_EQ(FilesIn(walls), (QStringList{"other.bmp", "sample.bmp"}));
}

TEST(HeadlessCommands, ExportImagesWritesTheFramesAndRemembersOnlyTheFolder) {
    const QString base = MakeTempDir("cli-base");
    AppSettings().SetSelectedFileFormat(1);  // saved choice: BMP
    CliResult result =
        RunCli({"export-images", SampleVideo(), "--interval", "2", "--base-folder", base});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    const QString folder = result.LastLine();
    EXPECT_TRUE(folder.startsWith(base + "/Stillpress Files/sample "));
    EXPECT_EQ(FilesIn(folder), (QStringList{"1.bmp", "2.bmp", "3.bmp", "4.bmp"}));
    QSettings("Quonex", "Stillpress").sync();
    EXPECT_EQ(Stored("LastFolder").toString(), folder);
    EXPECT_FALSE(Stored("BaseFolder").isValid());  // options are for this run only
    EXPECT_FALSE(Stored("dblFrameInterval").isValid());

    result = RunCli({"export-images", SampleVideo(), "--from", "1", "--to", "3", "--format",
                     "jpeg2000", "--prefix", "shot", "--append-name", "--base-folder",
                     MakeTempDir("cli-named"), "--size", "50"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(FilesIn(result.LastLine()), (QStringList{"shot1.jpeg", "shot2.jpeg"}));

    // Spaces, quotes and a leading dash in the video's path; the default format.
    ResetSettingsStore();
    const QString odd = MakeTempDir("cli-odd") + "/-a \"quoted\" 'name' ü";
    QDir().mkpath(odd);
    ASSERT_TRUE(QFile::copy(SampleVideo(), odd + "/-clip.mp4"));
    result =
        RunCli({"export-images", "--to", "1", "--base-folder", base, "--", odd + "/-clip.mp4"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.LastLine().startsWith(base + "/Stillpress Files/-clip "));
    EXPECT_EQ(FilesIn(result.LastLine()), QStringList{"1.tiff"});

    // A range without a step completes, with an empty folder that becomes the last one.
    result =
        RunCli({"export-images", SampleVideo(), "--from", "3", "--to", "3", "--base-folder", base});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo(result.LastLine()).isDir() && FilesIn(result.LastLine()).isEmpty());
    EXPECT_TRUE(
        result.err.startsWith("Process To Extract Image Files from Selected Video File "
                              "has Completed: "));
    QSettings("Quonex", "Stillpress").sync();
    EXPECT_EQ(Stored("LastFolder").toString(), result.LastLine());
}

// A video named up to the file system's limit exports: the folder's and the images' names are
// cut to fit it (the cutting itself, at character boundaries: FrameNaming and RunFolders).
TEST(HeadlessCommands, LongVideoNamesAreCutToFitTheFileSystem) {
    const QString videos = MakeTempDir("cli-long-names");
    // The video's name, that of the run folder before its time, and the image's when appended.
    for (const auto& [stem, folderStem, named] :
         {std::tuple{QString("clip567890"), QString("clip567890"), QString("clip5678901.tiff")},
          {QString(250, 'v'), QString(246, 'v'), QString(249, 'v') + "1.tiff"}}) {
        const QString video = videos + "/" + stem + ".mp4";
        ASSERT_TRUE(QFile::link(SampleVideo(), video));
        for (const QString& image : {QString("1.tiff"), named}) {
            const CliResult result = RunCli(
                {"export-images", video, "--to", "1", "--base-folder", MakeTempDir("cli-long"),
                 image == named ? "--append-name" : "--no-append-name"});
            ASSERT_EQ(result.status, 0) << result.err.toStdString();
            EXPECT_TRUE(QRegularExpression("/" + folderStem + " \\d\\d \\d\\d \\d\\d$")
                            .match(result.LastLine())
                            .hasMatch())
                << result.LastLine().toStdString();
            EXPECT_EQ(FilesIn(result.LastLine()), QStringList{image});
        }
    }
    const CliResult converted = RunCli({"convert", videos + "/" + QString(250, 'v') + ".mp4",
                                        "--preset", "Passthrough", "--base-folder", videos});
    ASSERT_EQ(converted.status, 0) << converted.err.toStdString();
    EXPECT_EQ(QFileInfo(converted.LastLine()).fileName(),
              "Passthrough " + QString(239, 'v') + ".mov");
}

// Runs of same-named videos started in one second, by two commands or by the window and a
// command, never share a folder: each names its own, which holds all of its images.
class SameSecondRunsTest : public WindowTest {
  protected:
    // A headless export of a video's first 3 s on a thread of its own, so that two can start
    // together (RunProgram spawns without vfork, which ThreadSanitizer follows).
    struct BackgroundExport {
        BackgroundExport(const QString& video, const QString& base)
            : thread([this, video, base] {
                  result = RunCli({"export-images", video, "--to", "3", "--interval", "1",
                                   "--format", "tiff", "--base-folder", base});
              }) {}
        QString PrintedFolder() {
            thread.join();
            EXPECT_EQ(result.status, 0) << result.err.toStdString();
            return result.LastLine();
        }
        CliResult result;
        std::jthread thread;
    };
    static qsizetype Subfolders(const QString& parent) {
        return QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }
};

TEST_F(SameSecondRunsTest, SameNamedVideosGetFoldersOfTheirOwn) {
    const QString base = MakeTempDir("same-second"), runs = base + "/Stillpress Files";
    const QString videos[] = {MakeTempDir("trip") + "/clip.mp4", MakeTempDir("work") + "/clip.mp4"};
    for (const QString& video : videos) ASSERT_TRUE(QFile::link(SampleVideo(), video));
    AppSettings().SetBaseFolder(base);
    Launch(videos[0]);
    app->textFieldTo->setText("3");
    const QRegularExpression name("^clip (\\d\\d \\d\\d \\d\\d)( 2)?$");
    for (const bool window : {false, true}) {
        bool sameSecond = false;
        for (int attempt = 0; attempt < 3 && !sameSecond; ++attempt) {
            QThread::msleep(1020 - QDateTime::currentMSecsSinceEpoch() % 1000);  // a second begins
            const qsizetype made = Subfolders(runs);
            BackgroundExport second(videos[1], base);
            QString folders[2];
            if (window) {
                // The command starts slower: the window asks for the name it has just taken.
                for (QDeadlineTimer limit(60000); Subfolders(runs) == made && !limit.hasExpired();)
                    QThread::msleep(2);
                app->OnExportImages();
                folders[0] = QFileInfo(Recorded().openedURLs.last()).absoluteFilePath();
                EXPECT_TRUE(OnlyMessage().text.contains("\n\n" + folders[0] + "\n\n"));
            } else {
                folders[0] = BackgroundExport(videos[0], base).PrintedFolder();
            }
            folders[1] = second.PrintedFolder();
            ASSERT_NE(folders[0], folders[1]);
            QString seconds[2];
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(FilesIn(folders[k]), (QStringList{"1.tiff", "2.tiff", "3.tiff"}));
                const QRegularExpressionMatch match = name.match(QFileInfo(folders[k]).fileName());
                ASSERT_TRUE(match.hasMatch()) << folders[k].toStdString();
                seconds[k] = match.captured(1);
            }
            sameSecond = seconds[0] == seconds[1];
        }
        EXPECT_TRUE(sameSecond) << "the runs never began in one second; window: " << window;
    }
}

// Each command prints the path of what it wrote, and its --json object names the same file;
// the options reach what is written. (A movie's frames: the bad input corpus's good inputs.)
TEST(HeadlessCommands, EachCommandPrintsWhatItWroteAndItsJsonNamesIt) {
    const QString folder = MakeTempDir("cli-out");
    const QString images = MakeTempDir("cli-images");
    for (int k = 0; k < 3; ++k)
        Filled({40, 30}, Qt::red).save(QString("%1/%2.png").arg(images).arg(k));
    const std::tuple<QStringList, QString, QSize> cases[] = {
        // arguments, the end of the one line printed, the size of the image written
        {{"wall-from-video", SampleVideo(), folder + "/wall", "--interval", "2", "--rows", "3",
          "--format", "png", "--size", "50"},
         folder + "/wall.png",
         {320, 240}},  // 2 x 2 of 160 x 120
        {{"wall-from-images", images, folder + "/w.out", "--rows", "1", "--format", "bmp"},
         folder + "/w.out",
         {120, 30}},
        {{"movie-from-images", images, folder + "/m.mp4"}, folder + "/m.mp4", {}},
        {{"info", SampleVideo(), "--output", folder + "/r.txt"}, folder + "/r.txt", {}},
        {{"convert", SampleVideo(), "--preset", "Apple M4A"}, "/Apple M4A sample.mov", {}},
        {{"convert", SampleVideo(), "--preset", "AVAssetExportPreset640x480"},
         "/640x480 sample.mov",
         {}},
        {{"convert", SampleVideo(), "--preset", "11"}, "/Passthrough sample.mov", {}},
        {{"gif-frames", PartyGif(), folder, "--format", "bmp"}, folder + "/party", {}},
    };
    for (const auto& [arguments, written, size] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = RunCli(arguments);
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        EXPECT_TRUE(result.rawOut.endsWith((written + "\n").toUtf8()) && !result.out.contains('\n'))
            << result.out.toStdString();
        EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
        EXPECT_TRUE(QFileInfo::exists(result.out));
        EXPECT_TRUE(!size.isValid() || LoadImageFile(result.out).size() == size);
        const QList<QJsonObject> objects = JsonLines(RunCli(arguments + QStringList{"--json"}));
        ASSERT_EQ(objects.size(), 1);
        const QString named = objects[0][QFileInfo(written).isDir() ? "folder" : "file"].toString();
        EXPECT_TRUE(named.endsWith(written) && QFileInfo::exists(named)) << named.toStdString();
        EXPECT_EQ(objects[0]["exitStatus"].toInt(-1), 0);
        EXPECT_TRUE(arguments[0] != "gif-frames" || objects[0]["writtenFrames"].toInt() == 12);
    }
    EXPECT_TRUE(ReadTestFile(folder + "/w.out").startsWith("BM"));
    EXPECT_TRUE(QFileInfo(folder + "/party/12.bmp").isFile());
    EXPECT_FALSE(Stored("RowsInVideoWall").isValid());

    const CliResult result = RunCli({"convert", "--list-presets"});
    EXPECT_EQ(result.status, 0);
    const QStringList lines = result.out.split('\n');
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[10], "AVAssetExportPresetAppleM4A\tApple M4A");
    const QList<QJsonObject> objects = JsonLines(RunCli({"convert", "--list-presets", "--json"}));
    ASSERT_EQ(objects.size(), 1);
    const QJsonArray list = objects[0]["presets"].toArray();
    ASSERT_EQ(list.size(), 13);
    EXPECT_EQ(list[10].toObject(),
              (QJsonObject{{"name", "AVAssetExportPresetAppleM4A"}, {"title", "Apple M4A"}}));
}

// The report printed, and as JSON fields that match its lines. (Saved: the window's report test.)
TEST(HeadlessCommands, InfoPrintsTheReportAndItsJsonHasItsFields) {
    VideoFileProcessor processor;
    processor.OpenVideoFile(SampleVideo());
    const QString report = processor.GetVideoInfo();
    const CliResult printed = RunCli({"info", SampleVideo()});
    EXPECT_EQ(printed.rawOut, (report + "\r\n").toUtf8());
    EXPECT_TRUE(printed.err.isEmpty()) << printed.err.toStdString();
    const QList<QJsonObject> info = JsonLines(RunCli({"info", SampleVideo(), "--json"}));
    ASSERT_EQ(info.size(), 1);
    const QJsonObject& fields = info[0];
    EXPECT_EQ(QSize(fields["width"].toInt(), fields["height"].toInt()), QSize(320, 240));
    EXPECT_EQ(fields["path"].toString(), QFileInfo(SampleVideo()).absoluteFilePath());
    EXPECT_EQ(fields["playable"], QJsonValue(true));
    for (const QString& line :
         {"\r\nMD5\t" + fields["md5"].toString() + "\r\n",
          QString("\r\nFile Size (in Bytes) :\t%1\r\n").arg(fields["fileSize"].toInteger()),
          QString::asprintf("\r\nDuration\t%0.2f Seconds", fields["duration"].toDouble()),
          QString::asprintf("\r\nFrame Rate:\t%f\r\n", fields["frameRate"].toDouble()),
          "\r\nEstimated Data Rate :\t" + fields["dataRate"].toString(),
          QString("\r\nTrack Count:\t%1\r\n").arg(fields["trackCount"].toInt())})
        EXPECT_TRUE(report.contains(line)) << line.toStdString();
    const QStringList metadata = Strings(fields["metadata"]);
    EXPECT_FALSE(metadata.isEmpty());
    EXPECT_TRUE(report.endsWith("\r\n" + metadata.join("\r\n"))) << report.toStdString();
}

TEST(HeadlessCommands, RefusalsExitTwoAndFailedWritesExitOne) {
    const QString empty = MakeTempDir("cli-empty");
    const QString images = MakeTempDir("cli-one-image");
    Filled({8, 8}, Qt::red).save(images + "/a.png");
    const QString text = WriteTestFile(MakeTempDir("cli-text") + "/notes.mov", "plain text");
    const QString gifFolder = MakeTempDir("cli-gif-out");
    const QString slow = MakeVideo("cli-slow.mp4",
                                   "-f lavfi -i testsrc2=size=64x48:rate=1/2:duration=4 -c:v "
                                   "libx264 -pix_fmt yuv420p");
    const QString sample = SampleVideo(), out = empty + "/w.png", movie = empty + "/m.mp4";
    const QString noWall = "Video Wall Creation Aborted: ", noMovie = "Video Export Aborted: ";
    const QString usage = "\n\nUsage: stillpress-cli ";
    ExpectCliOutcomes({
        // Usage errors: one line naming what is wrong, then the command's synopsis alone.
        {{}, 2, "Usage:"},
        {{"bogus"}, 2, "stillpress-cli: unknown command bogus" + usage + "export-images"},
        {{"reencode", "a.mp4", "b.mp4", "--frames"},
         2,
         "stillpress-cli: unknown option --frames" + usage +
             "reencode VIDEO OUTPUT.mp4 [options]\n"},
        {{"wall-from-images", images},
         2,
         "stillpress-cli: name the wall file to write" + usage +
             "wall-from-images FOLDER OUTPUT [options]\n"},
        {{"convert", "--list-presets", "--preset", "1"},
         2,
         "stillpress-cli: unknown option --preset" + usage +
             "convert VIDEO [options]\n       stillpress-cli convert --list-presets [options]\n"},
        {{"wall-from-video", "a.mp4", "b.mp4", "c.mp4"},
         2,
         "stillpress-cli: too many arguments; unexpected \"c.mp4\""},
        {{"export-images"}, 2, "name the video"},
        {{"export-images", ""}, 2, "Select a Video File: "},
        {{"export-images", text + ".missing"}, 2, "File Not Found: "},
        {{"export-images", sample, "--format", "webp"}, 2, "--format takes one of"},
        {{"export-images", sample, "--interval"}, 2, "--interval needs a value"},
        {{"export-images", sample, "--frame-delay", "1"}, 2, "unknown option --frame-delay"},
        {{"wall-from-video", sample, out, "--from", "5", "--to", "5"}, 2, noWall + "No Images in"},
        {{"wall-from-video", sample, out, "--to", "100"}, 2, "Invalid Export To: "},
        {{"wall-from-images", images, empty + "/no/w.png"}, 1, noWall + "The Image Wall could not"},
        {{"movie-from-images", empty + "/gone", movie}, 2, noMovie + "Please Export"},
        {{"movie-from-images", empty, movie},
         2,
         noMovie + "No Image Files Found to Create the Video."},
        {{"movie-from-images", images, empty + "/missing/m.mp4"},
         1,
         "Video Export Failed: Invalid parameter not satisfying: videoWriter (cannot create the "
         "file: No such file or directory)"},
        {{"movie-from-images", images, movie, "--frame-rate", "0.5"}, 2, "--frame-rate takes"},
        {{"reencode", slow, movie}, 2, noMovie + "The Frame Rate of this Video is 0.5"},
        {{"reencode", text, movie}, 2, noMovie + "Stillpress Could not read Video Information"},
        {{"reencode", SoundOnly(), movie}, 2, noMovie + "The Selected File has no video track"},
        {{"gif-frames", empty + "/gone.gif", gifFolder}, 2, "GIF File Not Found: "},
        {{"gif-frames", sample, gifFolder}, 2, "Not a GIF File: "},
        {{"gif-frames", PartyGif()}, 2, "stillpress-cli: name the folder"},
        {{"info", "-gone.mp4"}, 2, "File Not Found: "},  // a name, though it starts with "-"
        {{"info", sample, "--output", empty + "/none/r.txt"},
         1,
         "Video Information Not Saved: The Video Information could not be Saved to " + empty +
             "/none/r.txt.\n\n"},
        {{"convert", sample, "--preset", "Huge"}, 2, "not \"Huge\""},
    });
    EXPECT_TRUE(QDir(empty).isEmpty());
    EXPECT_FALSE(Stored("LastFolder").isValid());

    const QString blocked = MakeTempDir("cli-blocked");
    WriteTestFile(blocked + "/Stillpress Files", "");  // a file where the folder should go
    const CliResult result =
        RunCli({"export-images", sample, "--to", "2", "--base-folder", blocked});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("Some Image Files Could Not Be Written: 2 Image File(s)"))
        << result.err.toStdString();
}

// Pipes, devices and folders are refused before they are opened; a pipe among images is skipped.
TEST(HeadlessCommands, PipesDevicesAndFoldersAreRefusedBeforeTheyAreOpened) {
    const QString dir = MakeTempDir("cli-special"), base = MakeTempDir("cli-special-base");
    const auto makeFifo = [](const QString& path) {
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
        return path;
    };
    const QString pipe = makeFifo(dir + "/pipe.mp4"), watermark = makeFifo(dir + "/mark.png");
    const std::pair<const char*, QStringList> commands[] = {
        {"info", {}},
        {"export-images", {"--base-folder", base}},
        {"convert", {"--base-folder", base}},
        {"wall-from-video", {dir + "/out"}},
        {"reencode", {dir + "/out"}},
        {"gif-frames", {dir + "/out"}},
    };
    std::vector<CliCase> cases;
    for (const auto& [input, kind] : {std::pair{pipe, "a named pipe"},
                                      {QString("/dev/zero"), "a device"},
                                      {MakeTempDir("cli-special-folder.mp4"), "a folder"}}) {
        for (const auto& [command, output] : commands)
            cases.push_back({QStringList{command, input} + output, 2,
                             input + " is not a regular file (it is " + kind + ")."});
    }
    const QString images = MakeTempDir("cli-images-with-pipe");
    Filled({8, 8}, Qt::red).save(images + "/a.png");
    makeFifo(images + "/b.png");
    cases.push_back({{"wall-from-images", images, base + "-wall.png"}, 0, ""});
    cases.push_back({{"export-images", SampleVideo(), "--watermark", watermark},
                     2,
                     "Watermark Not Loaded: " + watermark});
    ExpectCliOutcomes(cases);
    EXPECT_TRUE(QDir(base).isEmpty()) << QDir(base).entryList().join(' ').toStdString();
    EXPECT_EQ(
        QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{"mark.png", "pipe.mp4"}));
}

}  // namespace
