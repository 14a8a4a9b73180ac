// The application's icon: on every window, at the sizes desktops ask for, and drawn from the
// scalable drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QWidget>

#include "app/ApplicationIcon.h"
#include "support/Fixtures.h"

namespace {

const QString kScalableIcon = ":/icons/stillpress.svg";

class ApplicationIconTest : public ::testing::Test {
  protected:
    void SetUp() override { InstallApplicationIcon(); }
    void TearDown() override { QApplication::setWindowIcon(QIcon()); }
};

TEST_F(ApplicationIconTest, EveryWindowShowsItAtEverySize) {
    const QWidget window;
    const QIcon icon = window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int side : ApplicationIconSides()) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
        EXPECT_EQ(icon.pixmap(side).size(), QSize(side, side)) << side;
    }
}

// The share of pixels of an image that are not fully transparent.
double CoveredShare(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    qint64 covered = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) covered += qAlpha(argb.pixel(x, y)) > 0;
    return double(covered) / (double(argb.width()) * argb.height());
}

// The drawing renders (Qt's SVG support is installed), and each size the windows show is
// its rendering at that size, so a changed drawing without new renderings fails here.
TEST_F(ApplicationIconTest, TheDrawingRendersAndTheSizesAreItsRenderings) {
    const QImage drawn = QIcon(kScalableIcon).pixmap(64).toImage();
    ASSERT_EQ(drawn.size(), QSize(64, 64));
    EXPECT_GT(CoveredShare(drawn), 0.5);
    const QIcon icon = QApplication::windowIcon();
    for (const int side : ApplicationIconSides()) {
        const QImage rendering = QIcon(kScalableIcon).pixmap(side).toImage();
        const QImage shown = icon.pixmap(side).toImage();
        const auto premultiplied = QImage::Format_ARGB32_Premultiplied;
        EXPECT_LE(CompareImages(shown.convertToFormat(premultiplied),
                                rendering.convertToFormat(premultiplied))
                      .maxDifference,
                  2)
            << side;
    }
}

}  // namespace
