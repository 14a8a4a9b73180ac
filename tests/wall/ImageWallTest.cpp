#include <gtest/gtest.h>

#include <QDir>

#include "app/core/WallCommands.h"
#include "platform/ImageFiles.h"
#include "settings/AppSettings.h"
#include "support/Fixtures.h"
#include "wall/WallLayout.h"

namespace {

const QList<QColor> kColours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::white};

class ImageWallTest : public ::testing::Test {
  protected:
    void SetUp() override { AppSettings().SetSelectedFileFormat(4); }

    std::vector<int> Collect(const QStringList& names, const QList<QSize>& sizes = {},
                             std::shared_ptr<QStringList> exported = nullptr) {
        for (int index = 0; index < names.size(); ++index)
            Filled(sizes.value(index, {40, 30}), kColours[index]).save(folder + "/" + names[index]);
        std::vector<int> order;
        if (const auto wall = CollectWallImages(folder, exported, messages))
            for (const QImage& image : wall->images)
                order.push_back(kColours.indexOf(QColor(image.pixel(0, 0))));
        return order;
    }

    RecordedMessages messages;
    QString folder = MakeTempDir("image-wall");
};

TEST_F(ImageWallTest, FiveImagesInTwoRowsFillTheTopRowFirst) {
    QList<QImage> images;
    for (int index = 0; index < 5; ++index) images << Filled(QSize(100, 50), kColours[index]);
    ASSERT_TRUE(MakeImageWall(images, folder + "/wall.png", 2, messages));
    EXPECT_EQ(Recorded().openedURLs, QStringList{folder + "/wall.png"});
    const QImage wall = LoadImageFile(folder + "/wall.png").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(wall.size(), QSize(300, 100));
    for (int index = 0; index < 6; ++index)  // the sixth cell is the white background
        EXPECT_EQ(wall.copy((index % 3) * 100, (index / 3) * 50, 100, 50),
                  Filled(QSize(100, 50), kColours[index]))
            << "cell " << index;
}

// Nothing to draw and a failed save: VideoWallTest's, which go through the same checks.
TEST_F(ImageWallTest, AWallTooWideForItsFormatSaysSoAndOpensNothing) {
    AppSettings().SetSelectedFileFormat(3);
    const QImage wide = Filled(QSize(40000, 1), Qt::red);
    EXPECT_FALSE(MakeImageWall({wide, wide}, folder + "/wide.jpg", 1, messages));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith("Video Wall Creation Aborted: "));
    EXPECT_TRUE(messages.shown[0].contains("at most 65500 pixels"))
        << messages.shown[0].toStdString();
    EXPECT_TRUE(Recorded().openedURLs.isEmpty());
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(ImageWallTest, TheFolderIsTakenInNumericCaseSensitiveOrderSkippingNonImages) {
    WriteTestFile(folder + "/0 notes.txt", "not an image");
    QDir(folder).mkdir("Frame 0.png");
    EXPECT_EQ(Collect({"Frame 1.png", "Frame 10.png", "Frame 2.png", "frame 3.png", ".hidden.png"}),
              (std::vector<int>{4, 0, 2, 1, 3}));
    EXPECT_EQ(QDir::currentPath(), QDir(folder).canonicalPath());
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ImageWallTest, TheExportedListWinsAndItsDeletedFilesAreSkipped) {
    const auto exported = std::make_shared<QStringList>(
        QStringList{folder + "/b.png", folder + "/deleted.png", folder + "/a.png"});
    EXPECT_EQ(Collect({"b.png", "a.png", "c.png"}, {{40, 30}, {40, 30}, {9, 9}}, exported),
              (std::vector<int>{0, 1}));
}

TEST_F(ImageWallTest, OtherDimensionsStopAtTheFirstDifferentImageAndOpenIt) {
    EXPECT_TRUE(Collect({"a.png", "b.png", "c.png", "d.png"},
                        {{640, 360}, {640, 360}, {640, 480}, {640, 480}})
                    .empty());
    EXPECT_EQ(Recorded().openedURLs, QStringList{folder + "/c.png"});
    EXPECT_EQ(messages.shown,
              QStringList{"Video Wall Creation Aborted: Dimensions of File [c.png] is Not Exactly "
                          "the Same as the Dimensions of First Image File Found.\n\nPlease Make "
                          "Sure all the Image Files have Exact Same Dimensions to Continue.\n\n"
                          "First File Details\n\nName : a.png\nDimensions : 640 X 360\n\nDetails "
                          "of Image with Different Dimensions:\n\nName : c.png\nDimensions : 640 X "
                          "480"});
}

TEST_F(ImageWallTest, NoFolderOrNoImagesAbortWithTheirMessage) {
    WriteTestFile(folder + "/notes.txt", "text");
    EXPECT_FALSE(CollectWallImages(folder + "/notes.txt", nullptr, messages));
    EXPECT_FALSE(CollectWallImages(folder, nullptr, messages));
    EXPECT_EQ(messages.shown,
              (QStringList{"Video Wall Creation Aborted: Please Export Images from a Video and "
                           "then try Aagin.\n\nThe Video Wall is Created by Loading Image Files "
                           "from the Last Folder.",
                           "Video Wall Creation Aborted: No Image Files Found in the given below "
                           "Folder to Create Video Wall.\n\n" +
                               folder +
                               "\n\nSelect a Video, Export Images from them to Continue with "
                               "Video Wall Creation."}));
}

TEST(WallTargetPath, TheFormatsExtensionIsAddedOnce) {
    const std::tuple<QString, long long, QString> cases[] = {
        {"/w/a", 3, "/w/a.jpg"},       {"/w/a.jpg", 3, "/w/a.jpg"},
        {"/w/a.JPG", 3, "/w/a.JPG"},   {"/w/a.jpeg", 3, "/w/a.jpeg.jpg"},
        {"/w/a.jpeg", 5, "/w/a.jpeg"}, {"/w/a", 6, ""},
    };
    for (const auto& [chosen, format, target] : cases)
        EXPECT_EQ(WallTargetPath(chosen, format), target) << chosen.toStdString();
}

}  // namespace
