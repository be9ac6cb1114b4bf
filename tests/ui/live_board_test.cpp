// "Find board" and "Live on board" in the window: the display takes the board's size, the
// board shows the rendering and follows the level as it moves; turned off, the display keeps
// its picture.
#include "modal_driver.h"
#include "support/fake_board.h"
#include "support/test_files.h"
#include "ui/main_window.h"

#include <QAction>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

TEST(LiveLinkWindow, TheBoardFollowsTheLevel)
{
    FakeBoard board;
    MainWindow window{96.0, std::make_unique<ListedPortDirectory>(QStringList{}),
                      std::make_unique<ListedPortDirectory>(QStringList{board.devicePath()})};
    window.start();
    window.openPicture(dataFile(QStringLiteral("plasma-64x64.jpg")));
    const auto rendering = [&window] {
        const DisplayArray pages =
            packDisplay(window.controller().state().result, {DisplaySize{128, 64}, &pagesLayout()});
        return link::Bytes(pages.bytes().begin(), pages.bytes().end());
    };
    const auto status = [&window] {
        return window.statusBar()->findChild<QLabel*>(QStringLiteral("statusLine"))->text();
    };

    // "Find board" takes the display's size from the board.
    window.setDisplayFormat({DisplaySize{128, 32}, &verticalLayout()});
    menuItem(window, "findBoardAction")->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return status().startsWith(QStringLiteral("Found a board")); }));
    EXPECT_EQ(window.menuDisplayFormat().size, (DisplaySize{128, 64}));

    QAction* live = menuItem(window, "liveOnBoardAction");
    live->trigger();
    EXPECT_TRUE(live->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return board.memory() == rendering(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return status().startsWith(
            QStringLiteral("Live on board: %1, 128 × 64, ").arg(board.devicePath()));
    }));

    const link::Bytes before = rendering();
    window.findChild<QScrollBar*>(QStringLiteral("levelBar"))->setValue(40);
    ASSERT_NE(rendering(), before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return board.memory() == rendering(); }));

    live->trigger();
    EXPECT_FALSE(window.boardLink().isLive());
    EXPECT_EQ(board.memory(), rendering());
}

} // namespace
} // namespace pixelcast::test
