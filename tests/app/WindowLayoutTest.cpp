// Message boxes wide enough to read: sentences fit and paths stay on one line.
#include <gtest/gtest.h>

#include <QMessageBox>

#include "support/AppFixtures.h"

namespace {

class WindowLayoutTest : public WindowTest {};

TEST_F(WindowLayoutTest, MessageBoxesFitSentencesAndKeepPathsOnOneLine) {
    const QString path = TestHome() + "/Pictures/Stillpress Files/Holiday Clip 2024-07-14 00h01m";
    Launch().DisplayMessageBox("Title", "Two short sentences.\n\n" + path + "\n\nAnd one more.");
    const auto* box = app->window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_GE(box->width(), 420);
    const auto* text = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    EXPECT_GE(text->width(), text->fontMetrics().horizontalAdvance(path));
    EXPECT_TRUE(box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    Messages();
}

}  // namespace
