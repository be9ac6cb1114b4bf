// The views show a display of any size whole; the display panel shows the rendering as the
// module lights it.
#include "modal_driver.h"
#include "support/test_files.h"
#include "ui/display_panel.h"
#include "ui/main_window.h"

#include <QAction>
#include <QImage>
#include <QScrollBar>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>
#include <string>

namespace pixelcast::test {
namespace {

// A black picture with a white square of `corner` pixels in each corner.
QString cornersPicture(const ScratchDir& dir, QSize size, int corner)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (const QPoint at :
         {QPoint(0, 0), QPoint(size.width() - corner, 0), QPoint(0, size.height() - corner),
          QPoint(size.width() - corner, size.height() - corner)}) {
        for (int y = 0; y < corner; ++y) {
            for (int x = 0; x < corner; ++x) {
                image.setPixel(at + QPoint(x, y), qRgb(255, 255, 255));
            }
        }
    }
    const QString path = dir.path(QStringLiteral("corners.png"));
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

struct FitRow {
    QSize display;
    // The white corner squares' side, in the display's pixels: one view pixel or more.
    int corner;
    // Where the picture lands in the 132 x 68 view, border included.
    QRect shown;
};

class ViewFitTest : public testing::TestWithParam<FitRow> {};

TEST_P(ViewFitTest, BothViewsShowTheWholeDisplayCentredInTheirBoxes)
{
    const FitRow row = GetParam();
    ScratchDir scratch;
    MainWindow window(96.0);
    window.start();
    window.setDisplayFormat({{row.display.width(), row.display.height()}, &verticalLayout()});
    window.openPicture(cornersPicture(scratch, row.display, row.corner));

    const QRect shown = row.shown;
    for (const char* name : {"resultView", "scaledView"}) {
        auto* view = window.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_EQ(view->size(), QSize(132, 68)) << name;
        const QImage image = view->grab().toImage();
        const auto grey = [&](QPoint at) {
            return qGray(image.pixel(at));
        };
        for (const QPoint corner :
             {shown.topLeft(), shown.topRight(), shown.bottomLeft(), shown.bottomRight()}) {
            EXPECT_GT(grey(corner), 200) << name << " corner " << corner.x() << "," << corner.y();
        }
        EXPECT_LT(grey(shown.center()), 50) << name;
        // Around the picture, the view's face.
        const QRect area(2, 2, 128, 64);
        const QColor face(redOf(kFaceColour), greenOf(kFaceColour), blueOf(kFaceColour));
        for (const QPoint outside :
             {shown.topLeft() - QPoint(1, 1), shown.bottomRight() + QPoint(1, 1)}) {
            if (area.contains(outside)) {
                EXPECT_EQ(image.pixel(outside), QColor(face).rgb())
                    << name << " outside " << outside.x() << "," << outside.y();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewFitTest,
    testing::Values(FitRow{{128, 64}, 1, {2, 2, 128, 64}},   // pixel for pixel
                    FitRow{{16, 16}, 1, {34, 2, 64, 64}},    // four times, centred
                    FitRow{{96, 16}, 1, {18, 26, 96, 16}},   // only a zoom of one fits
                    FitRow{{256, 128}, 2, {2, 2, 128, 64}},  // halved
                    FitRow{{320, 240}, 4, {23, 2, 85, 64}}), // down to the box's height
    [](const testing::TestParamInfo<FitRow>& entry) {
        return std::to_string(entry.param.display.width()) + "x" +
               std::to_string(entry.param.display.height());
    });

class DisplayPanelTest : public testing::Test {
protected:
    ScratchDir scratch;
    MainWindow window{96.0};

    void SetUp() override
    {
        window.start();
        // Grey rises to the right: a level lights the columns right of a point.
        QImage ramp(128, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 128; ++x) {
                ramp.setPixel(x, y, qRgb(x * 2, x * 2, x * 2));
            }
        }
        const QString path = scratch.path(QStringLiteral("ramp.png"));
        ASSERT_TRUE(ramp.save(path, "PNG"));
        window.openPicture(path);
    }
};

// The two-colour module lights its top 16 rows yellow and the others blue; a new level
// shows on the open panel at once.
TEST_F(DisplayPanelTest, FollowsTheLevelInTheModulesColours)
{
    menuItem(window, "moduleYellowBlueAction")->trigger();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_D, Qt::ControlModifier);
    auto* panel = window.findChild<DisplayPanel*>(QStringLiteral("displayPanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(menuItem(window, "displayPanelAction")->isChecked());
    ASSERT_GE(panel->zoom(), 1);

    auto* level = window.findChild<QScrollBar*>(QStringLiteral("levelBar"));
    struct Row {
        int level;
        QPoint pixel;
        QRgb colour;
    };
    // Column x is lit where 2x exceeds the level.
    const Row rows[] = {{100, {60, 0}, kModuleYellow}, {100, {60, 15}, kModuleYellow},
                        {100, {60, 16}, kModuleBlue},  {100, {127, 63}, kModuleBlue},
                        {100, {50, 0}, kModuleDark},   {200, {60, 0}, kModuleDark},
                        {200, {101, 40}, kModuleBlue}, {200, {100, 40}, kModuleDark}};
    for (const Row& row : rows) {
        level->setValue(row.level);
        const QImage shown = panel->grab().toImage();
        const QRect square = panel->pixelRect(row.pixel.x(), row.pixel.y());
        for (const QPoint at : {square.topLeft(), square.center(), square.bottomRight()}) {
            EXPECT_EQ(shown.pixel(at), row.colour)
                << "level " << row.level << " pixel " << row.pixel.x() << "," << row.pixel.y();
        }
    }

    panel->close();
    EXPECT_FALSE(menuItem(window, "displayPanelAction")->isChecked());
    EXPECT_FALSE(window.isHidden());
}

TEST(ModuleColourSetting, TheChosenColourIsRememberedAsTheOnlyOneChecked)
{
    {
        MainWindow window(96.0);
        window.restoreSettings();
        menuItem(window, "moduleBlueAction")->trigger();
    }
    MainWindow window(96.0);
    window.restoreSettings();
    for (const ModuleColourEntry& entry : kModuleColours) {
        EXPECT_EQ(menuItem(window, entry.objectName)->isChecked(),
                  entry.colour == ModuleColour::Blue)
            << entry.objectName;
    }
    // The group knows its entry: another choice leaves one checked.
    menuItem(window, "moduleYellowAction")->trigger();
    EXPECT_FALSE(menuItem(window, "moduleBlueAction")->isChecked());
    EXPECT_FALSE(menuItem(window, "moduleWhiteAction")->isChecked());
    QSettings(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast")).clear();
}

} // namespace
} // namespace pixelcast::test
