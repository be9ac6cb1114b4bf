#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "modal_driver.h"
#include "output/serial/serial_link.h"
#include "pixels/greyscale.h"
#include "support/expect_surface.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

// The controls in tab order, with their places in twips.
struct Control {
    const char* name;
    int left, top, width, height;
};
constexpr Control kControls[] = {
    {"resultView", 240, 1200, 1572, 852},          {"scaledView", 2760, 1200, 1572, 852},
    {"sourceView", 3960, 120, 1092, 732},          {"loadImageButton", 1920, 3600, 1572, 492},
    {"levelCaption", 960, 2400, 1932, 372},        {"levelBar", 960, 3000, 3492, 252},
    {"levelFigure", 3240, 2400, 852, 372},         {"createArrayButton", 720, 4440, 1692, 732},
    {"writeFileButton", 3000, 4440, 1812, 732},    {"portList", 240, 240, 1692, 372},
    {"configurePortButton", 3000, 120, 1572, 612}, {"sendButton", 720, 5520, 1692, 732},
    {"exitButton", 3000, 5520, 1812, 732},         {"hint", 600, 6840, 4332, 372},
};

int px(int twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

template <typename T = QWidget> T* control(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Opens the list's popup with a click on its arrow and clicks the entry at `index`, as a
// user does.
void chooseFromPopup(QComboBox* list, int index)
{
    QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(list->width() - 6, list->height() / 2));
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }));
    // Qt ignores a release that follows the popup's opening closer than a double click:
    // the user clicks again until the popup takes it.
    const QPoint where = view->visualRect(view->model()->index(index, 0)).center();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, where);
        return !view->isVisible();
    }));
}

// The 128 x 64 drawing area of a view as it appears on screen.
QImage drawingArea(QWidget* view)
{
    return view->grab().toImage().copy(2, 2, 128, 64).convertToFormat(QImage::Format_RGB32);
}

testing::AssertionResult showsSurface(QWidget* view, const Surface& surface)
{
    const QImage shown = drawingArea(view);
    return surfaceMatches(surface, [&](int x, int y) {
        const QRgb p = shown.pixel(x, y);
        return rgb(qRed(p), qGreen(p), qBlue(p));
    });
}

class MainWindowTest : public testing::Test {
protected:
    ScratchDir scratch;
    ModalDriver driver;
    MainWindow window{96.0};

    void SetUp() override { window.start(); }

    QPushButton* button(const char* name) { return control<QPushButton>(window, name); }

    QString greyPicture()
    {
        QImage image(128, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 128; ++x) {
                const int g = (x * 2 + y) & 0xFF;
                image.setPixel(x, y, qRgb(g, g, g));
            }
        }
        const QString path = scratch.path(QStringLiteral("grey.bmp"));
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }

    void loadByClicking(const QString& path)
    {
        driver.on<QFileDialog>([path](QFileDialog* dialog) { chooseFile(dialog, path); });
        QTest::mouseClick(button("loadImageButton"), Qt::LeftButton);
    }
};

TEST_F(MainWindowTest, StartsWithItsCaptionsLevelAndButtonStates)
{
    EXPECT_EQ(window.windowTitle(), "Pixelcast");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(control<QLabel>(window, "levelFigure")->text(), "127");
    EXPECT_EQ(control<QLabel>(window, "levelCaption")->text(), "Conversion level :");
    EXPECT_FALSE(control<QLabel>(window, "hint")->text().isEmpty());

    const std::pair<const char*, const char*> captions[] = {
        {"loadImageButton", "Load Image"},          {"createArrayButton", "Create array"},
        {"writeFileButton", "Write array to file"}, {"configurePortButton", "Configure Port"},
        {"sendButton", "Write array to Arduino"},   {"exitButton", "Exit"}};
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(button(name)->text(), QString::fromLatin1(caption)) << name;
    }
    EXPECT_TRUE(button("loadImageButton")->isEnabled());
    EXPECT_TRUE(button("createArrayButton")->isEnabled());
    EXPECT_FALSE(button("writeFileButton")->isEnabled());
    EXPECT_TRUE(button("configurePortButton")->isEnabled());
    EXPECT_FALSE(button("sendButton")->isEnabled());
    EXPECT_TRUE(button("exitButton")->isEnabled());

    auto* level = control<QScrollBar>(window, "levelBar");
    EXPECT_EQ(level->orientation(), Qt::Horizontal);
    EXPECT_EQ(level->minimum(), 0);
    EXPECT_EQ(level->maximum(), 254);
    EXPECT_EQ(level->value(), 127);
    EXPECT_EQ(level->singleStep(), 1);
    EXPECT_EQ(level->pageStep(), 1);

    auto* ports = control<QComboBox>(window, "portList");
    EXPECT_TRUE(ports->isEditable());
    EXPECT_EQ(ports->currentText(), "Com1");
    EXPECT_EQ(ports->currentIndex(), -1);
    ASSERT_EQ(ports->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ports->itemText(i), QStringLiteral("Com%1").arg(i + 1));
    }
    EXPECT_EQ(window.selectedPortIndex(), -1);

    EXPECT_FALSE(control(window, "sourceView")->isVisible());
    EXPECT_TRUE(control(window, "resultView")->isVisible());
    EXPECT_TRUE(control(window, "scaledView")->isVisible());
}

TEST_F(MainWindowTest, ATypedPortNameIsNoChoiceUntilAnEntryIsChosen)
{
    auto* ports = control<QComboBox>(window, "portList");
    const auto type = [&](const QString& text) {
        ports->lineEdit()->selectAll();
        QTest::keyClicks(ports->lineEdit(), text);
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
    };

    type(QStringLiteral("Com9"));
    EXPECT_EQ(ports->currentText(), "Com9");
    EXPECT_EQ(window.selectedPortIndex(), -1);

    // An entry's name typed, entered and left behind is still no choice.
    type(QStringLiteral("Com2"));
    button("configurePortButton")->setFocus();
    EXPECT_EQ(ports->currentText(), "Com2");
    EXPECT_EQ(window.selectedPortIndex(), -1);
    EXPECT_EQ(ports->count(), 4);

    chooseFromPopup(ports, 2);
    EXPECT_EQ(ports->currentText(), "Com3");
    EXPECT_EQ(window.selectedPortIndex(), 2);

    type(QStringLiteral("Com3"));
    EXPECT_EQ(window.selectedPortIndex(), -1);
    // The entry already current, chosen again from the popup.
    chooseFromPopup(ports, 2);
    EXPECT_EQ(window.selectedPortIndex(), 2);

    // The arrow keys on the closed list step to an entry and choose it.
    QTest::keyClicks(ports->lineEdit(), QStringLiteral("x"));
    EXPECT_EQ(window.selectedPortIndex(), -1);
    ports->setFocus();
    QTest::keyClick(ports, Qt::Key_Down);
    EXPECT_EQ(ports->currentText(), "Com4");
    EXPECT_EQ(window.selectedPortIndex(), 3);
    EXPECT_EQ(ports->count(), 4);
}

TEST_F(MainWindowTest, UsesBoldTwelvePointTimesEverywhere)
{
    const QFont& windowFont = control(window, "form")->font();
    EXPECT_EQ(windowFont.family(), "Times New Roman");
    EXPECT_EQ(windowFont.pointSize(), 12);
    EXPECT_EQ(windowFont.weight(), QFont::Bold);
    EXPECT_FALSE(windowFont.italic() || windowFont.underline() || windowFont.strikeOut());
    for (const Control& c : kControls) {
        const QFont font = control(window, c.name)->font();
        EXPECT_EQ(font.family(), "Times New Roman") << c.name;
        EXPECT_EQ(font.pointSize(), 12) << c.name;
        EXPECT_TRUE(font.bold()) << c.name;
    }
    // fontconfig stands in a metric-compatible face where Times New Roman is missing.
    const QString face = QFontInfo(windowFont).family();
    EXPECT_TRUE(face == "Times New Roman" || face == "Liberation Serif") << face.toStdString();
}

TEST_F(MainWindowTest, TheTabOrderFollowsTheControlTable)
{
    QStringList expected;
    for (const Control& c : kControls) {
        expected.append(QString::fromLatin1(c.name));
    }
    QStringList chain;
    QWidget* first = control(window, "resultView");
    QWidget* w = first;
    do {
        if (expected.contains(w->objectName())) {
            chain.append(w->objectName());
        }
        w = w->nextInFocusChain();
    } while (w != first && chain.size() < 100);
    EXPECT_EQ(chain, expected);
}

TEST_F(MainWindowTest, HasItsOwn64By64IconIn256Colours)
{
    const QIcon icon = window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(64, 64)));
    QImage file(QStringLiteral(":/pixelcast/pixelcast.png"));
    EXPECT_EQ(file.size(), QSize(64, 64));
    EXPECT_EQ(file.format(), QImage::Format_Indexed8);
    EXPECT_EQ(file.colorCount(), 256);
}

class MainWindowGeometryTest : public testing::TestWithParam<double> {};

TEST_P(MainWindowGeometryTest, PlacesControlsInTwipsAndViewsAt132By68)
{
    const double dpi = GetParam();
    MainWindow window(dpi);
    // The form is the client area: the menu bar and the status bar lie around it.
    QWidget* form = control(window, "form");
    EXPECT_EQ(window.centralWidget(), form);
    EXPECT_EQ(form->size(), QSize(px(5364, dpi), px(7392, dpi)));
    for (const Control& c : kControls) {
        EXPECT_EQ(control(window, c.name)->parentWidget(), form) << c.name;
    }
    for (const Control& c : kControls) {
        EXPECT_EQ(control(window, c.name)->geometry(),
                  QRect(px(c.left, dpi), px(c.top, dpi), px(c.width, dpi), px(c.height, dpi)))
            << c.name << " before start-up";
    }

    window.start();
    for (const char* name : {"resultView", "scaledView"}) {
        auto* view = control<QFrame>(window, name);
        EXPECT_EQ(view->size(), QSize(132, 68)) << name;
        EXPECT_EQ(view->contentsRect(), QRect(2, 2, 128, 64)) << name;
        EXPECT_EQ(view->frameShadow(), QFrame::Sunken) << name;
    }
    EXPECT_EQ(control(window, "resultView")->pos(), QPoint(px(240, dpi), px(1200, dpi)));
    EXPECT_EQ(control(window, "exitButton")->geometry(),
              QRect(px(3000, dpi), px(5520, dpi), px(1812, dpi), px(732, dpi)));
    EXPECT_EQ(form->size(), QSize(px(5364, dpi), px(7392, dpi)));
    EXPECT_EQ(form->geometry().top(), window.menuBar()->geometry().bottom() + 1);
    EXPECT_GE(window.statusBar()->geometry().top(), form->geometry().bottom() + 1);

    // A resized window moves nothing and keeps the form's size.
    const QRect exitPlace = control(window, "exitButton")->geometry();
    window.resize(window.width() * 2, window.height() + 100);
    EXPECT_EQ(form->size(), QSize(px(5364, dpi), px(7392, dpi)));
    EXPECT_EQ(control(window, "exitButton")->geometry(), exitPlace);
    EXPECT_EQ(control(window, "resultView")->size(), QSize(132, 68));
}

INSTANTIATE_TEST_SUITE_P(Densities, MainWindowGeometryTest, testing::Values(96.0, 120.0, 144.0));

TEST_F(MainWindowTest, ThePicturesFlowThroughRealClicks)
{
    const QString path = greyPicture();
    loadByClicking(path);

    const AppState& state = window.controller().state();
    EXPECT_EQ(state.sourceFileName, path);
    QWidget* monochrome = control(window, "resultView");
    QWidget* grey = control(window, "scaledView");
    EXPECT_TRUE(showsSurface(grey, state.scaled));
    EXPECT_TRUE(surfaceMatches(state.scaled, [](int x, int y) {
        const int g = (x * 2 + y) & 0xFF;
        return rgb(g, g, g);
    }));
    EXPECT_TRUE(showsSurface(monochrome, state.result));

    // Home and End on the scroll bar, then one click on its right arrow.
    auto* level = control<QScrollBar>(window, "levelBar");
    auto* figure = control<QLabel>(window, "levelFigure");
    QTest::keyClick(level, Qt::Key_Home);
    EXPECT_EQ(figure->text(), "0");
    EXPECT_TRUE(surfaceMatches(
        state.result, [](int x, int y) { return ((x * 2 + y) & 0xFF) > 0 ? kWhite : kBlack; }));
    EXPECT_TRUE(showsSurface(monochrome, state.result));
    QTest::keyClick(level, Qt::Key_End);
    EXPECT_EQ(figure->text(), "254");
    EXPECT_TRUE(surfaceMatches(
        state.result, [](int x, int y) { return ((x * 2 + y) & 0xFF) > 254 ? kWhite : kBlack; }));
    EXPECT_TRUE(showsSurface(monochrome, state.result));
    level->setValue(100);
    QTest::mouseClick(level, Qt::LeftButton, {}, QPoint(level->width() - 3, level->height() / 2));
    EXPECT_EQ(level->value(), 101);
    EXPECT_EQ(figure->text(), "101");

    QTest::mouseClick(button("createArrayButton"), Qt::LeftButton);
    EXPECT_TRUE(button("writeFileButton")->isEnabled());
    EXPECT_FALSE(button("sendButton")->isEnabled());
    DisplayArray expected;
    for (int column = 0; column < 128; ++column) {
        for (int page = 0; page < 8; ++page) {
            int byte = 0;
            for (int k = 0; k < 8; ++k) {
                if (((column * 2 + page * 8 + k) & 0xFF) > 101) {
                    byte |= 1 << k;
                }
            }
            expected[verticalIndex(column, page)] = static_cast<std::uint8_t>(byte);
        }
    }
    EXPECT_TRUE(sameArray(state.array, expected));
}

TEST_F(MainWindowTest, TheViewsKeepTheirPicturesAcrossRepaints)
{
    loadByClicking(greyPicture());
    QWidget* grey = control(window, "scaledView");
    window.hide();
    window.show();
    grey->repaint();
    EXPECT_TRUE(showsSurface(grey, window.controller().state().scaled));
}

TEST_F(MainWindowTest, ADamagedPictureIsReportedAndTheWindowCarriesOn)
{
    loadByClicking(greyPicture());
    QTest::mouseClick(button("createArrayButton"), Qt::LeftButton);
    const AppState before = window.controller().state();

    const QString damaged = scratch.path(QStringLiteral("damaged.gif"));
    {
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("GIF89a\x80\x00\x40\x00 and then nothing that a GIF needs");
    }
    QString expected;
    try {
        (void)loadPicture(damaged, kFaceColour);
        FAIL() << "the loader accepted the damaged picture";
    } catch (const Error& error) {
        expected = error.message();
    }
    // A picture failure: numbered 1xxx.
    ASSERT_TRUE(expected.startsWith(QStringLiteral("Error 1"))) << expected.toStdString();

    QString caption;
    QString text;
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, damaged); })
        .on<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            answer(box, QMessageBox::Ok);
        });
    QTest::mouseClick(button("loadImageButton"), Qt::LeftButton);

    EXPECT_EQ(caption, "Pixelcast");
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.controller().hasEnded());
    const AppState& after = window.controller().state();
    EXPECT_TRUE(sameSurface(after.scaled, before.scaled));
    EXPECT_TRUE(sameSurface(after.result, before.result));
    EXPECT_TRUE(sameArray(after.array, before.array));
    EXPECT_TRUE(showsSurface(control(window, "scaledView"), before.scaled));
    EXPECT_TRUE(button("writeFileButton")->isEnabled());
}

TEST_F(MainWindowTest, EventsBetweenGreyColumnsRunToTheirEndAndLeaveConsistentSurfaces)
{
    // Every pixel of both pictures has unequal channels, so a grey column is a converted one.
    const auto colourPicture = [&](const QString& name, int blue) {
        QImage image(128, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 128; ++x) {
                image.setPixel(x, y, qRgb(200, 40 + y, blue));
            }
        }
        const QString path = scratch.path(name);
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    };
    const QString first = colourPicture(QStringLiteral("first.bmp"), 0);
    const QString second = colourPicture(QStringLiteral("second.bmp"), 120);
    const Surface& scaled = window.controller().state().scaled;
    const auto converted = [&](int x) {
        const ColorRef c = scaled.read(x, 0);
        return redOf(c) == greenOf(c) && greenOf(c) == blueOf(c);
    };

    // A zero timer fires whenever the conversion lets events run.
    int stage = 0;
    QTimer user;
    user.setInterval(0);
    QObject::connect(&user, &QTimer::timeout, &window, [&] {
        if (stage == 0 && converted(10) && !converted(11)) {
            stage = 1;
            QTest::keyClick(control(window, "levelBar"), Qt::Key_End);
        } else if (stage == 1 && converted(40) && !converted(41)) {
            stage = 2;
            user.stop();
            QTest::mouseClick(button("loadImageButton"), Qt::LeftButton);
        }
    });
    driver.on<QFileDialog>([&](QFileDialog* dialog) {
        user.start();
        chooseFile(dialog, first);
    });
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, second); });

    QTest::mouseClick(button("loadImageButton"), Qt::LeftButton);

    EXPECT_EQ(stage, 2);
    const AppState& state = window.controller().state();
    Surface expectedGrey = loadPicture(second, kFaceColour);
    toGreyscale(expectedGrey);
    EXPECT_EQ(state.sourceFileName, second);
    EXPECT_TRUE(sameSurface(state.scaled, expectedGrey));
    EXPECT_EQ(control<QLabel>(window, "levelFigure")->text(), "254");
    EXPECT_TRUE(surfaceMatches(state.result, [&](int x, int y) {
        return redOf(expectedGrey.read(x, y)) > 254 ? kWhite : kBlack;
    }));
    EXPECT_TRUE(showsSurface(control(window, "resultView"), state.result));
    EXPECT_TRUE(showsSurface(control(window, "scaledView"), state.scaled));
}

TEST_F(MainWindowTest, ExitClosesTheWindowAndEndsTheProgram)
{
    int ended = 0;
    QObject::connect(&window, &MainWindow::programEnded, &window, [&] { ++ended; });
    QTest::mouseClick(button("exitButton"), Qt::LeftButton);
    EXPECT_TRUE(window.controller().hasEnded());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ended, 1);
}

// The window with two pseudo-terminals as ports 1 and 2; no other port exists.
class MainWindowOutputTest : public testing::Test {
protected:
    ScratchDir scratch;
    PseudoTerminal line1;
    PseudoTerminal line2;
    ModalDriver driver;
    MainWindow window{96.0, std::make_unique<ListedPortDirectory>(
                                QStringList{line1.devicePath(), line2.devicePath()})};

    void SetUp() override { window.start(); }

    QPushButton* button(const char* name) { return control<QPushButton>(window, name); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
};

TEST_F(MainWindowOutputTest, APictureGoesToAFileAndOverTheLineThroughRealClicks)
{
    chooseFromPopup(control<QComboBox>(window, "portList"), 1);
    click("configurePortButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.serialPort().portOpen(); }));
    EXPECT_EQ(window.serialPort().deviceName(), line2.devicePath());
    EXPECT_EQ(window.controller().state().portNumber, 2);

    // Greys at random: the array holds nearly every byte value.
    QRandomGenerator random(5);
    QImage image(128, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            const int g = static_cast<int>(random.bounded(256));
            image.setPixel(x, y, qRgb(g, g, g));
        }
    }
    const QString picture = scratch.path(QStringLiteral("picture.bmp"));
    ASSERT_TRUE(image.save(picture, "BMP"));
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, picture); });
    click("loadImageButton");
    click("createArrayButton");
    EXPECT_TRUE(button("writeFileButton")->isEnabled());
    EXPECT_TRUE(button("sendButton")->isEnabled());
    const DisplayArray& array = window.controller().state().array;
    const auto bytes = array.bytes();
    const QByteArray expected(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size()));
    ASSERT_GT(QSet<char>(expected.begin(), expected.end()).size(), 200);

    const QString target = scratch.path(QStringLiteral("array.bin"));
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, target); });
    click("writeFileButton");
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), expected);
    EXPECT_FALSE(button("writeFileButton")->isEnabled());
    EXPECT_TRUE(button("sendButton")->isEnabled());

    click("sendButton");
    EXPECT_EQ(line2.receive(1024), expected);
    EXPECT_TRUE(button("sendButton")->isEnabled());

    click("exitButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.controller().hasEnded(); }));
    EXPECT_FALSE(window.serialPort().portOpen());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(line1.receiveAny(std::chrono::milliseconds(20)).isEmpty());
}

TEST_F(MainWindowOutputTest, AMissingDeviceIsReportedAndTheWindowCarriesOn)
{
    auto* ports = control<QComboBox>(window, "portList");
    ports->setFocus();
    for (int step = 0; step < 3; ++step) {
        QTest::keyClick(ports, Qt::Key_Down);
    }
    ASSERT_EQ(window.selectedPortIndex(), 2);

    QString caption;
    QString text;
    driver.on<QMessageBox>([&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        answer(box, QMessageBox::Ok);
    });
    click("configurePortButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }));

    EXPECT_EQ(caption, "Pixelcast");
    EXPECT_TRUE(text.startsWith(QStringLiteral("Error 3001: "))) << text.toStdString();
    EXPECT_EQ(window.controller().state().portNumber, 3);
    EXPECT_FALSE(window.serialPort().portOpen());
    EXPECT_FALSE(window.controller().hasEnded());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(button("configurePortButton")->isEnabled());

    // Typing over the list's text is no choice: the next configuration opens port 1.
    ports->lineEdit()->selectAll();
    QTest::keyClicks(ports->lineEdit(), QStringLiteral("Com2"));
    QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
    click("configurePortButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.serialPort().portOpen(); }));
    EXPECT_EQ(window.serialPort().deviceName(), line1.devicePath());
}

TEST(MainWindowPortTest, ClosingTheWindowClosesThePortAfterItsBytesAreOut)
{
    PseudoTerminal line;
    const auto openElsewhere = [&] {
        SerialPort other(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
        return errorFrom([&] { configurePort(other, 1); });
    };
    auto window = std::make_unique<MainWindow>(
        96.0, std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    window->start();
    QTest::mouseClick(control<QPushButton>(*window, "configurePortButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->serialPort().portOpen(); }));
    QTest::mouseClick(control<QPushButton>(*window, "createArrayButton"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(*window, "sendButton"), Qt::LeftButton);
    const auto whileOpen = openElsewhere();
    ASSERT_TRUE(whileOpen);
    EXPECT_EQ(whileOpen->code(), ErrorCode::PortBusy);

    // The title bar's close button, then the end of the program.
    window->close();
    window.reset();

    EXPECT_EQ(line.receive(1024), QByteArray(1024, '\xFF'));
    EXPECT_FALSE(openElsewhere());
}

} // namespace
} // namespace pixelcast::test
