// What goes around the form: the menu bar and its shortcuts, the status line, a picture
// named on the command line or dropped on the window, and the remembered settings.
#include "app/window_arguments.h"
#include "display/display_array.h"
#include "modal_driver.h"
#include "output/c_header.h"
#include "output/preview.h"
#include "output/xbm_file.h"
#include "pipeline/conversion.h"
#include "support/encoded_picture.h"
#include "support/expect_surface.h"
#include "support/gif_writer.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"
#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

QPushButton* pushButton(const QWidget& window, const char* name)
{
    auto* found = window.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// A 128 x 64 grey ramp as a BMP; `keepRows` of its rows are kept when the file is cut
// short after them (the rows are stored bottom up, so the top ones are lost).
QString rampPicture(const ScratchDir& dir, const char* name, int keepRows = 64)
{
    QImage image(128, 64, QImage::Format_RGB888);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            image.setPixel(x, y, qRgb(x * 2, y * 4, 0));
        }
    }
    const QString path = dir.path(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path, "BMP"));
    QFile file(path);
    EXPECT_TRUE(file.resize(file.size() - qint64(64 - keepRows) * 128 * 3));
    return path;
}

class MenuTest : public testing::Test {
protected:
    ScratchDir scratch;
    PseudoTerminal line;
    ModalDriver driver;
    MainWindow window{96.0, std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()})};

    void SetUp() override { window.start(); }

    [[nodiscard]] const AppState& state() { return window.controller().state(); }
    [[nodiscard]] QString status() const
    {
        return window.statusBar()->findChild<QLabel*>(QStringLiteral("statusLine"))->text();
    }
    [[nodiscard]] QString frameStatus() const
    {
        return window.statusBar()->findChild<QLabel*>(QStringLiteral("frameLine"))->text();
    }
    void saveThrough(const char* item, const QString& target)
    {
        driver.on<QFileDialog>([target](QFileDialog* dialog) { chooseFile(dialog, target); });
        menuItem(window, item)->trigger();
    }
};

TEST_F(MenuTest, EachMenuCommandRunsItsButtonAndSharesItsEnabledState)
{
    struct Pair {
        const char* item;
        const char* button;
    };
    constexpr Pair kPairs[] = {{"loadImageAction", "loadImageButton"},
                               {"writeFileAction", "writeFileButton"},
                               {"configurePortAction", "configurePortButton"},
                               {"sendAction", "sendButton"},
                               {"exitAction", "exitButton"}};
    const auto expectSameStates = [&](const char* when) {
        for (const Pair& pair : kPairs) {
            EXPECT_EQ(menuItem(window, pair.item)->isEnabled(),
                      pushButton(window, pair.button)->isEnabled())
                << pair.item << " " << when;
        }
    };
    expectSameStates("at start");
    EXPECT_FALSE(menuItem(window, "writeFileAction")->isEnabled());

    menuItem(window, "configurePortAction")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.serialPort().isBusy(); }));
    EXPECT_EQ(status(), QStringLiteral("Opened %1 (Com1)").arg(line.devicePath()));
    QTest::mouseClick(pushButton(window, "createArrayButton"), Qt::LeftButton);
    expectSameStates("after Create array");
    EXPECT_TRUE(menuItem(window, "sendAction")->isEnabled());

    // The shortcuts reach the commands.
    EXPECT_EQ(menuItem(window, "loadImageAction")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(menuItem(window, "writeFileAction")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(menuItem(window, "exitAction")->shortcut(), QKeySequence("Ctrl+Q"));
    const QString path = rampPicture(scratch, "ramp.bmp");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    driver.on<QFileDialog>([path](QFileDialog* dialog) { chooseFile(dialog, path); });
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(state().sourceFileName, path);
    EXPECT_EQ(status(), "ramp.bmp: BMP, 128 x 64");

    const QString target = scratch.path(QStringLiteral("array.bin"));
    saveThrough("writeFileAction", target);
    EXPECT_EQ(fileBytes(target).size(), 1024);
    EXPECT_EQ(status(), "Wrote 1024 bytes to array.bin");
    expectSameStates("after Write array to file");
    EXPECT_FALSE(menuItem(window, "writeFileAction")->isEnabled());

    menuItem(window, "sendAction")->trigger();
    EXPECT_EQ(line.receive(1024).size(), 1024);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.serialPort().isBusy(); }));
    EXPECT_EQ(status(), QStringLiteral("Sent 1024 bytes to %1 (Com1)").arg(line.devicePath()));

    menuItem(window, "exitAction")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.controller().hasEnded(); }));
}

TEST_F(MenuTest, ExportsWriteTheArrayCreateArrayWouldMakeAndTheRendering)
{
    window.openPicture(rampPicture(scratch, "ramp.bmp"));
    DisplayArray array;
    buildDisplayArray(state().result, array);

    const QString header = scratch.path(QStringLiteral("ramp.h"));
    saveThrough("exportHeaderAction", header);
    EXPECT_EQ(fileBytes(header),
              cHeader(array, QStringLiteral("display_array"),
                      QStringLiteral("Made by Pixelcast from \"ramp.bmp\" at level 127.")));
    // The array file the dialog named last is not the picture the header comes from.
    pushButton(window, "createArrayButton")->click();
    saveThrough("writeFileAction", scratch.path(QStringLiteral("out.bin")));
    const QString again = scratch.path(QStringLiteral("again.h"));
    saveThrough("exportHeaderAction", again);
    EXPECT_TRUE(fileBytes(again).startsWith("// Made by Pixelcast from \"ramp.bmp\""))
        << status().toStdString();
    // A name typed without an extension gets the export's.
    saveThrough("exportXbmAction", scratch.path(QStringLiteral("bare")));
    EXPECT_EQ(fileBytes(scratch.path(QStringLiteral("bare.xbm"))),
              xbmFile(array, QStringLiteral("display_array")));
    const QString preview = scratch.path(QStringLiteral("ramp.png"));
    saveThrough("exportPreviewAction", preview);
    EXPECT_EQ(fileBytes(preview), previewPng(state().result));
    EXPECT_EQ(status(), "Wrote the preview to ramp.png");
    // Neither export creates the array.
    EXPECT_FALSE(pushButton(window, "writeFileButton")->isEnabled());

    // A folder that does not exist: the array file's number, and the window carries on.
    QString text;
    driver
        .on<QFileDialog>([&](QFileDialog* dialog) {
            chooseFile(dialog, scratch.path(QStringLiteral("no-such-folder/x.h")));
        })
        .on<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            answer(box, QMessageBox::Ok);
        });
    menuItem(window, "exportHeaderAction")->trigger();
    EXPECT_TRUE(text.startsWith("Error 2001: ")) << text.toStdString();
}

TEST_F(MenuTest, ThePictureMenuSetsTheRenderOptions)
{
    EXPECT_EQ(state().renderOptions, RenderOptions{});
    EXPECT_TRUE(menuItem(window, "thresholdAction")->isChecked());

    struct Row {
        const char* item;
        RenderOptions expected;
    };
    const Row rows[] = {
        {"atkinsonAction", {Dither::Atkinson, false, false, false}},
        {"invertAction", {Dither::Atkinson, true, false, false}},
        {"smoothAction", {Dither::Atkinson, true, true, false}},
        {"keepAspectAction", {Dither::Atkinson, true, true, true}},
        {"floydSteinbergAction", {Dither::FloydSteinberg, true, true, true}},
        {"orderedAction", {Dither::Ordered, true, true, true}},
        {"invertAction", {Dither::Ordered, false, true, true}},
        {"thresholdAction", {Dither::None, false, true, true}},
    };
    for (const Row& row : rows) {
        menuItem(window, row.item)->trigger();
        EXPECT_EQ(state().renderOptions, row.expected) << row.item;
        EXPECT_EQ(window.menuRenderOptions(), row.expected) << row.item;
    }
}

TEST(WindowCommandLine, OptionsAndAPictureReachTheWindowBeforeItShows)
{
    ScratchDir scratch;
    const QString path = rampPicture(scratch, "ramp.bmp");
    MainWindow window(96.0);
    window.startWith(parseWindowArguments(
        {QStringLiteral("pixelcast"), QStringLiteral("--dither"), QStringLiteral("ordered"),
         QStringLiteral("--invert"), QStringLiteral("--smooth"), QStringLiteral("--keep-aspect"),
         QStringLiteral("--size=20x10"), QStringLiteral("--layout=rows"), path}));
    const RenderOptions expected{Dither::Ordered, true, true, true};
    EXPECT_EQ(window.controller().state().display, (DisplayFormat{{20, 10}, &rowsLayout()}));
    EXPECT_TRUE(menuItem(window, "size20x10Action")->isChecked());
    EXPECT_TRUE(menuItem(window, "rowsLayoutAction")->isChecked());
    EXPECT_EQ(window.controller().state().result.width(), 20);
    EXPECT_EQ(window.controller().state().renderOptions, expected);
    EXPECT_TRUE(menuItem(window, "orderedAction")->isChecked());
    EXPECT_TRUE(menuItem(window, "keepAspectAction")->isChecked());
    EXPECT_EQ(window.controller().state().sourceFileName, path);
    EXPECT_EQ(window.controller().state().source.width(), 128);
    EXPECT_TRUE(window.isVisible());
}

TEST(WindowCommandLine, AMissingPictureIsReportedAndTheWindowRunsWithoutOne)
{
    ModalDriver driver;
    QString text;
    driver.on<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        answer(box, QMessageBox::Ok);
    });
    MainWindow window(96.0);
    window.startWith(parseWindowArguments(
        {QStringLiteral("pixelcast"), QStringLiteral("/no/such/picture.gif")}));
    EXPECT_TRUE(text.startsWith("Error 1001: ")) << text.toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.controller().state().source.isEmpty());
}

TEST_F(MenuTest, ADroppedFileLoadsAndAnythingElseIsRefusedQuietly)
{
    const QString path = rampPicture(scratch, "dropped.bmp");
    const auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = window.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &dropped);
        return enter.isAccepted();
    };
    const QUrl file = QUrl::fromLocalFile(path);
    EXPECT_FALSE(drop({file, file}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/picture.gif"))}));
    EXPECT_FALSE(drop({QUrl::fromLocalFile(scratch.root())}));
    EXPECT_TRUE(state().sourceFileName.isEmpty());

    EXPECT_TRUE(drop({file}));
    EXPECT_EQ(state().sourceFileName, path);
    EXPECT_EQ(status(), "dropped.bmp: BMP, 128 x 64");
}

TEST_F(MenuTest, APictureCutShortSaysSoInTheStatusLine)
{
    window.openPicture(rampPicture(scratch, "cut.bmp", 24));
    EXPECT_EQ(status(), "cut.bmp: BMP, 128 x 64; ends early: 40 of its 64 rows are missing");
    // The rows that never arrived (the top ones: a BMP is stored bottom up) show the
    // panel colour.
    EXPECT_EQ(state().source.read(5, 39), kFaceColour);
    EXPECT_NE(state().source.read(5, 40), kFaceColour);
}

TEST(WindowSettings, ThePictureFolderAndOptionsAreRememberedButNotThePort)
{
    ScratchDir scratch;
    const QString path = rampPicture(scratch, "ramp.bmp");
    {
        MainWindow window(96.0);
        window.restoreSettings();
        window.start();
        window.openPicture(path);
        menuItem(window, "atkinsonAction")->trigger();
        menuItem(window, "invertAction")->trigger();
        menuItem(window, "size128x32Action")->trigger();
        menuItem(window, "backgroundWhiteAction")->trigger();
        menuItem(window, "rotation90Action")->trigger();
        menuItem(window, "flipVerticalAction")->trigger();
        menuItem(window, "xbmLayoutAction")->trigger();
        window.findChild<QComboBox*>(QStringLiteral("portList"))->setCurrentIndex(2);
    }
    MainWindow window(96.0);
    window.restoreSettings();
    window.start();
    EXPECT_EQ(window.controller().state().renderOptions,
              (RenderOptions{Dither::Atkinson, true, false, false, Background::White,
                             Rotation::Quarter, Flip::Vertical}));
    EXPECT_TRUE(menuItem(window, "rotation90Action")->isChecked());
    EXPECT_TRUE(menuItem(window, "invertAction")->isChecked());
    EXPECT_EQ(window.controller().state().display, (DisplayFormat{{128, 32}, &xbmLayout()}));
    EXPECT_TRUE(menuItem(window, "size128x32Action")->isChecked());
    EXPECT_EQ(window.selectedPortIndex(), -1);
    EXPECT_EQ(window.controller().state().threshold, 127);

    // The open dialog starts in the last picture's folder.
    ModalDriver driver;
    QString folder;
    driver.on<QFileDialog>([&](QFileDialog* dialog) {
        folder = dialog->directory().absolutePath();
        cancel(dialog);
    });
    QTest::mouseClick(pushButton(window, "loadImageButton"), Qt::LeftButton);
    EXPECT_EQ(folder, QDir(scratch.root()).absolutePath());
    QSettings(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast")).clear();
}

// A remembered choice is a choice like any other: after a restart, choosing the default
// again leaves one item checked in its group and renders and packs as the default does,
// and the other options still take effect.
TEST(WindowSettings, ChoosingTheDefaultAfterARestartGivesTheDefaultsArray)
{
    ScratchDir scratch;
    const QString path = rampPicture(scratch, "ramp.bmp");
    const auto arrayOf = [](MainWindow& window) {
        const AppState& state = window.controller().state();
        const DisplayArray array = packDisplay(state.result, state.display);
        return std::vector<std::uint8_t>(array.bytes().begin(), array.bytes().end());
    };
    std::vector<std::uint8_t> defaults;
    {
        MainWindow window(96.0);
        window.start();
        window.openPicture(path);
        defaults = arrayOf(window);
    }
    const std::pair<const char*, const char*> rows[] = {
        {"atkinsonAction", "thresholdAction"},
        {"backgroundWhiteAction", "backgroundPanelAction"},
        {"rotation90Action", "rotationNoneAction"},
        {"flipVerticalAction", "flipNoneAction"},
        {"size128x32Action", "size128x64Action"},
        {"xbmLayoutAction", "verticalLayoutAction"},
    };
    for (const auto& [remembered, chosen] : rows) {
        {
            MainWindow window(96.0);
            window.restoreSettings();
            menuItem(window, remembered)->trigger();
        }
        MainWindow window(96.0);
        window.restoreSettings();
        window.start();
        window.openPicture(path);
        menuItem(window, chosen)->trigger();
        const QList<QAction*> group = menuItem(window, chosen)->actionGroup()->actions();
        const auto checked = std::count_if(group.begin(), group.end(),
                                           [](const QAction* each) { return each->isChecked(); });
        EXPECT_EQ(checked, 1) << remembered;
        EXPECT_EQ(arrayOf(window), defaults) << remembered;
        menuItem(window, "invertAction")->trigger();
        EXPECT_TRUE(window.controller().state().renderOptions.invert) << remembered;
        menuItem(window, "invertAction")->trigger();
    }
    QSettings(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast")).clear();
}

// The frames follow at their delays and round again; period steps and pauses. Each frame
// shown is the converter's. A still picture has no frames to play.
TEST_F(MenuTest, AnAnimationPlaysAtItsDelaysAndStepsByKey)
{
    const std::vector<int> delaysCs{10, 20, 15};
    const QString gif = scratch.write(QStringLiteral("anim.gif"), steppingGif(delaysCs));
    window.openPicture(gif);
    const auto frameText = [&](std::size_t k) {
        return QStringLiteral("Frame %1 of 3, %2 ms").arg(k + 1).arg(delaysCs[k] * 10);
    };
    EXPECT_EQ(menuItem(window, "playAction")->text(), "Pause");
    std::vector<qint64> changedAt;
    QElapsedTimer clock;
    clock.start();
    for (QString last = frameStatus(); changedAt.size() < 4 && clock.elapsed() < 5000;) {
        QTest::qWait(1);
        if (frameStatus() != std::exchange(last, frameStatus())) {
            EXPECT_EQ(last, frameText((changedAt.size() + 1) % 3));
            changedAt.push_back(clock.elapsed());
        }
    }
    ASSERT_EQ(changedAt.size(), 4U);
    // A change is seen when the loop looks, possibly late, so each is held against the sum
    // of the delays since playing began, which the clock started just after.
    qint64 due = 0;
    for (std::size_t i = 0; i < changedAt.size(); ++i) {
        due += delaysCs[i % 3] * 10;
        EXPECT_GE(changedAt[i], due - 2) << i;
        if (i > 0) {
            EXPECT_LT(changedAt[i] - changedAt[i - 1], delaysCs[i % 3] * 10 + 1000) << i;
        }
    }

    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Period);
    const std::size_t stepped = state().animation.current;
    EXPECT_FALSE(state().animation.playing);
    EXPECT_EQ(frameStatus(), frameText(stepped));
    EXPECT_EQ(menuItem(window, "playAction")->text(), "Play");
    DisplayArray shown;
    buildDisplayArray(state().result, shown);
    EXPECT_EQ(shown, convertFile(gif, {}, FrameRange{1, 0}).frames[stepped].array);

    // The port list's field leaves the player's keys to the player.
    auto* ports = window.findChild<QComboBox*>(QStringLiteral("portList"));
    ports->setFocus();
    QTest::keyClick(ports->lineEdit(), Qt::Key_K);
    EXPECT_EQ(menuItem(window, "playAction")->text(), "Pause");
    QTest::keyClick(ports->lineEdit(), Qt::Key_K);
    QTest::keyClick(ports->lineEdit(), Qt::Key_Comma);
    EXPECT_EQ(menuItem(window, "playAction")->text(), "Play");
    EXPECT_EQ(ports->currentText(), "Com1");

    window.openPicture(rampPicture(scratch, "ramp.bmp"));
    EXPECT_EQ(frameStatus(), "");
    EXPECT_FALSE(menuItem(window, "nextFrameAction")->isEnabled());
}

TEST_F(MenuTest, APortThatGoesAwayMidSendEndsItWithItsNumberAndTheWindowCarriesOn)
{
    window.openPicture(scratch.write(QStringLiteral("anim.gif"), steppingGif({10, 10, 10})));
    menuItem(window, "configurePortAction")->trigger();
    menuItem(window, "sendAnimationAction")->trigger();
    const auto* progress = window.statusBar()->findChild<QProgressBar*>("sendProgress");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(line.receive(1024).size(), 1024);
    line.hangUp();
    QString text;
    driver.on<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        answer(box, QMessageBox::Ok);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress->isVisible(); }, 5000));

    EXPECT_TRUE(text.startsWith("Error 3005: ")) << text.toStdString();
    EXPECT_EQ(status(), "Error 3005");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(pushButton(window, "configurePortButton")->isEnabled());
    window.findChild<QScrollBar*>(QStringLiteral("levelBar"))->setValue(40);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("levelFigure"))->text(), "40");
}

// The arrow keys move the level the way they point; Up and Page Up raise it as Right does.
TEST_F(MenuTest, ArrowKeysMoveTheLevelTheWayTheyPoint)
{
    auto* level = window.findChild<QScrollBar*>(QStringLiteral("levelBar"));
    const std::pair<Qt::Key, int> kRows[] = {{Qt::Key_Right, 101},  {Qt::Key_Left, 99},
                                             {Qt::Key_Up, 101},     {Qt::Key_Down, 99},
                                             {Qt::Key_PageUp, 101}, {Qt::Key_PageDown, 99}};
    for (const auto& [key, expected] : kRows) {
        level->setValue(100);
        QTest::keyClick(level, key);
        EXPECT_EQ(state().threshold, expected) << key;
    }
}

// Copies go to the real clipboard; a paste of image data, SVG markup or a file named there
// loads it as a chosen picture, and the title names it.
TEST_F(MenuTest, TheEditMenuCopiesTheHeaderAndPictureAndPastesPictures)
{
    EXPECT_EQ(window.windowTitle(), "Pixelcast");
    window.openPicture(rampPicture(scratch, "ramp.bmp"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral(u"ramp.bmp — Pixelcast"));
    QClipboard* clipboard = QGuiApplication::clipboard();

    menuItem(window, "copyHeaderAction")->trigger();
    EXPECT_EQ(clipboard->text(),
              QString::fromUtf8(cHeader(packDisplay(state().result, state().display),
                                        QStringLiteral("display_array"),
                                        QStringLiteral("Made by Pixelcast from \"ramp.bmp\" at "
                                                       "level 127."))));
    menuItem(window, "copyPictureAction")->trigger();
    EXPECT_EQ(clipboard->image().convertToFormat(QImage::Format_RGB32),
              QImage::fromData(previewPng(state().result)).convertToFormat(QImage::Format_RGB32));

    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    clipboard->setImage(image);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(status(), "pasted.png: PNG, 40 x 20");
    EXPECT_EQ(window.windowTitle(), QStringLiteral(u"pasted.png — Pixelcast"));
    EXPECT_EQ(state().source.read(3, 3), kWhite);

    // SVG markup, as drawing programs copy it, drawn by the helper built beside the tests.
    qputenv("PIXELCAST_SVG_HELPER", PIXELCAST_TEST_SVG_HELPER);
    auto* drawing = new QMimeData;
    drawing->setData(QStringLiteral("image/svg+xml"),
                     "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20'>"
                     "<rect width='40' height='20' fill='#000'/></svg>");
    clipboard->setMimeData(drawing);
    menuItem(window, "pastePictureAction")->trigger();
    EXPECT_EQ(status(), "pasted.svg: SVG, 40 x 20");
    EXPECT_EQ(state().scaled.read(3, 3), kBlack);
    // A WebP as a browser copies it: the encoded bytes, which the program's own reader reads.
    auto* webp = new QMimeData;
    webp->setData(
        QStringLiteral("image/webp"),
        test::fileBytes(test::encodedWith(scratch, {image}, QStringLiteral("cwebp"),
                                          {QStringLiteral("-quiet"), QStringLiteral("{in}"),
                                           QStringLiteral("-o"), QStringLiteral("{out}")},
                                          QStringLiteral("copied.webp"))));
    clipboard->setMimeData(webp);
    menuItem(window, "pastePictureAction")->trigger();
    EXPECT_EQ(status(), "pasted.webp: WebP, 40 x 20");

    const QString copied = rampPicture(scratch, "copied.bmp");
    auto* named = new QMimeData;
    named->setUrls({QUrl::fromLocalFile(copied)});
    clipboard->setMimeData(named);
    menuItem(window, "pastePictureAction")->trigger();
    EXPECT_EQ(state().sourceFileName, copied);
    EXPECT_EQ(status(), "copied.bmp: BMP, 128 x 64");

    clipboard->clear();
    menuItem(window, "pastePictureAction")->trigger();
    EXPECT_EQ(status(), "The clipboard holds no picture");
    EXPECT_EQ(state().sourceFileName, copied);
}

// The pasted picture lives in a folder the window removes; an export of it is suggested in
// the folder saved to last and outlives the window.
TEST(PastedPicture, ItsExportIsSuggestedOutsideTheTemporaryFolderAndOutlivesTheWindow)
{
    ScratchDir scratch;
    ModalDriver driver;
    QString pasted;
    {
        MainWindow window(96.0);
        window.start();
        window.openPicture(rampPicture(scratch, "ramp.bmp"));
        driver.on<QFileDialog>([&](QFileDialog* dialog) {
            chooseFile(dialog, scratch.path(QStringLiteral("ramp.h")));
        });
        menuItem(window, "exportHeaderAction")->trigger();

        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QGuiApplication::clipboard()->setImage(image);
        menuItem(window, "pastePictureAction")->trigger();
        pasted = window.controller().state().pictureFileName;
        // The user takes the suggested name.
        driver.on<QFileDialog>(
            [](QFileDialog* dialog) { QTest::mouseClick(acceptButton(dialog), Qt::LeftButton); });
        menuItem(window, "exportXbmAction")->trigger();
    }
    EXPECT_FALSE(QFileInfo::exists(pasted)) << pasted.toStdString();
    EXPECT_TRUE(QFileInfo::exists(scratch.path(QStringLiteral("pasted.xbm"))));
}

// A picture written over, by replacing the file or in place, loads again at the level and
// options of now; the dialogs keep the name they chose last.
TEST_F(MenuTest, AChangedPictureFileReloadsAndStaysWatched)
{
    const QString path = rampPicture(scratch, "ramp.bmp");
    window.openPicture(path);
    menuItem(window, "invertAction")->trigger();
    window.findChild<QScrollBar*>(QStringLiteral("levelBar"))->setValue(60);
    pushButton(window, "createArrayButton")->click();
    const QString arrayFile = scratch.path(QStringLiteral("out.bin"));
    saveThrough("writeFileAction", arrayFile);

    const auto drawnAs = [](int width) {
        QImage image(width, 16, QImage::Format_RGB32);
        image.fill(Qt::black);
        return image;
    };
    const QString beside = scratch.path(QStringLiteral("new.bmp"));
    ASSERT_TRUE(drawnAs(32).save(beside, "BMP"));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(beside, path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().source.width() == 32; }, 10000));
    EXPECT_EQ(status(), "Reloaded ramp.bmp: BMP, 32 x 16");
    EXPECT_EQ(state().threshold, 60);
    EXPECT_TRUE(state().renderOptions.invert);
    EXPECT_EQ(state().sourceFileName, arrayFile);

    ASSERT_TRUE(drawnAs(48).save(path, "BMP"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().source.width() == 48; }, 10000));
    EXPECT_EQ(status(), "Reloaded ramp.bmp: BMP, 48 x 16");
}

// "Set level…" sets the scroll bar to the level typed; Cancel leaves it.
TEST_F(MenuTest, SetLevelTakesATypedLevelAndCancelChangesNothing)
{
    struct Row {
        const char* typed;
        QDialogButtonBox::StandardButton button;
        int expected;
    };
    constexpr Row kRows[] = {{"200", QDialogButtonBox::Ok, 200},
                             {"30", QDialogButtonBox::Cancel, 200}};
    EXPECT_EQ(menuItem(window, "setLevelAction")->shortcut(), QKeySequence("Ctrl+L"));
    for (const Row& row : kRows) {
        driver.on<QInputDialog>([&row](QInputDialog* dialog) {
            auto* spin = dialog->findChild<QSpinBox*>();
            ASSERT_NE(spin, nullptr);
            spin->selectAll();
            QTest::keyClicks(spin, QString::fromLatin1(row.typed));
            dialog->findChild<QDialogButtonBox*>()->button(row.button)->click();
        });
        menuItem(window, "setLevelAction")->trigger();
        EXPECT_EQ(state().threshold, row.expected) << row.typed;
        EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("levelFigure"))->text(),
                  QString::number(row.expected));
    }
}

} // namespace
} // namespace pixelcast::test
