// How the window and its boxes look: message boxes wide enough to read, controls that do not
// touch at the smallest window, columns that line up, and one name for each command.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

#include "app/SettingsWindowController.h"
#include "support/AppFixtures.h"

namespace {

int LeftIn(const QWidget* widget, const QWidget* ancestor) {
    return widget->mapTo(ancestor, QPoint(0, 0)).x();
}

class WindowLayoutTest : public WindowTest {
  protected:
    int GapBetween(const char* left, const char* right) const {
        const auto* first = app->window->findChild<QWidget*>(left);
        return LeftIn(app->window->findChild<QWidget*>(right), app->window) -
               LeftIn(first, app->window) - first->width();
    }
};

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

TEST_F(WindowLayoutTest, NeighbouringControlsDoNotTouchAtTheSmallestWidth) {
    Launch().window->resize(app->window->minimumSizeHint().width(), app->window->height());
    EXPECT_GE(GapBetween("buttonOpenVideoFile", "buttonHelpVideo"), 4);
    EXPECT_GE(GapBetween("buttonShareDefault", "labelShare"), 12);
}

TEST_F(WindowLayoutTest, SettingsSheetLinesUpItsCheckBoxesAndFieldsFromGroupToGroup) {
    Launch().OnButtonClickedSettings();
    const SettingsWindowController* sheet = app->pSettingsController;
    const int column = LeftIn(sheet->checkBoxAppendFileName, sheet);
    const QWidget* const controls[] = {sheet->checkBoxGreyScale,
                                       sheet->checkBoxAsDisplayed,
                                       sheet->checkAddTimeIntervalToImages,
                                       sheet->textFieldParam1,
                                       sheet->textFieldCompressionFactor,
                                       sheet->textFieldFrameRate};
    for (const QWidget* control : controls)
        EXPECT_EQ(LeftIn(control, sheet), column) << control->objectName().toStdString();
    app->pSettingsController->OnCancel();
}

TEST_F(WindowLayoutTest, ScreenshotCommandsHaveOneNameInEveryMenu) {
    Launch().OnButtonShareDefault();
    QMenu* shareMenu = app->buttonShareDefault->findChild<QMenu*>("shareMenu");
    for (const char* name :
         {"actionCopyScreenshotToClipboard", "actionCaptureScreenshotToDesktopImage"}) {
        const QAction* command = app->window->findChild<QAction*>(name);
        EXPECT_TRUE(app->window->findChild<QMenu*>("menuEdit")->actions().contains(command));
        EXPECT_TRUE(shareMenu->actions().contains(command)) << command->text().toStdString();
    }
    EXPECT_EQ(shareMenu->actions().first()->text(), "Copy Screenshot to Clipboard");
    shareMenu->close();
}

}  // namespace
