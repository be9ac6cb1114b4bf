#include "app/controller.h"
#include "controller_rig.h"
#include "errors/error.h"
#include "support/expect_surface.h"
#include "support/gif_writer.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

// The output commands with real files and two pseudo-terminals as ports 1 and 2; port 3
// and up have no device.
// The two lines come first, as the rig's port lists them.
struct TwoLines {
    PseudoTerminal line1;
    PseudoTerminal line2;
};

class OutputCommandsTest : public testing::Test, protected TwoLines, protected ControllerRig {
protected:
    OutputCommandsTest() : ControllerRig({line1.devicePath(), line2.devicePath()}) {}

    ScratchDir scratch;

    void SetUp() override { start(); }

    // Loads a picture whose array has every kind of byte in it, and creates the array.
    void createArrayFromPicture()
    {
        QImage image(kDisplayWidth, kDisplayHeight, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int g = (x * 37 + y * 11) & 0xFF;
                image.setPixel(x, y, qRgb(g, g, g));
            }
        }
        const QString path = scratch.path(QStringLiteral("picture.bmp"));
        ASSERT_TRUE(image.save(path, "BMP"));
        backend.answers.push_back(path);
        controller.onLoadImage();
        controller.onCreateArray();
        ASSERT_TRUE(window.messages.isEmpty());
    }

    void configure(int portIndex)
    {
        window.portIndex = portIndex;
        controller.configurePort();
        ASSERT_TRUE(settle());
    }

    void expectOutputButtons(bool writeFile, bool writeArduino)
    {
        EXPECT_EQ(window.enabled[Button::WriteArrayFile], writeFile);
        EXPECT_EQ(window.enabled[Button::WriteArrayToArduino], writeArduino);
        for (const Button always :
             {Button::LoadImage, Button::CreateArray, Button::ConfigurePort, Button::Exit}) {
            EXPECT_TRUE(window.enabled[always]);
        }
    }
};

TEST_F(OutputCommandsTest, ConfiguringThenCreatingEnablesBothOutputs)
{
    configure(1);
    EXPECT_EQ(controller.state().portNumber, 2);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.deviceName(), line2.devicePath());
    expectOutputButtons(false, false);

    controller.onCreateArray();
    expectOutputButtons(true, true);
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(OutputCommandsTest, CreatingThenConfiguringEnablesOnlyTheFile)
{
    controller.onCreateArray();
    configure(0);
    EXPECT_TRUE(port.portOpen());
    expectOutputButtons(true, false);

    controller.onCreateArray();
    expectOutputButtons(true, true);
}

TEST_F(OutputCommandsTest, TypedTextInsteadOfAChoiceOpensPortOne)
{
    configure(1);
    configure(-1);
    EXPECT_EQ(controller.state().portNumber, 1);
    EXPECT_EQ(port.deviceName(), line1.devicePath());
}

TEST_F(OutputCommandsTest, WritingTheFileStoresTheArrayAndDisablesOnlyItsButton)
{
    configure(0);
    createArrayFromPicture();
    const QString target = scratch.path(QStringLiteral("array.bin"));
    {
        // An older, longer file keeps nothing of its tail.
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(3000, 'x'));
    }
    backend.answers.push_back(target);
    controller.writeArrayFile();

    EXPECT_TRUE(window.messages.isEmpty());
    EXPECT_EQ(controller.state().sourceFileName, target);
    EXPECT_EQ(fileBytes(target), bytesOf(controller.state().array));
    expectOutputButtons(false, true);
}

TEST_F(OutputCommandsTest, ACancelledSaveWritesNothingAndKeepsTheButton)
{
    createArrayFromPicture();
    const QStringList before = QDir(scratch.root()).entryList(QDir::Files);
    backend.answers.emplace_back();
    controller.writeArrayFile();

    EXPECT_EQ(controller.state().sourceFileName, "");
    EXPECT_TRUE(window.messages.isEmpty());
    EXPECT_EQ(QDir(scratch.root()).entryList(QDir::Files), before);
    expectOutputButtons(true, false);
}

TEST_F(OutputCommandsTest, AFailedWriteIsShownAndKeepsTheButton)
{
    createArrayFromPicture();
    const QString plain = scratch.path(QStringLiteral("plain"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
    }
    backend.answers.push_back(plain + QStringLiteral("/array.bin"));
    controller.writeArrayFile();

    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith(QStringLiteral("Error 2001: ")))
        << window.messages[0].toStdString();
    EXPECT_EQ(fileBytes(plain), QByteArray("not a folder"));
    EXPECT_FALSE(controller.hasEnded());
    expectOutputButtons(true, false);
}

TEST_F(OutputCommandsTest, AMissingDeviceIsShownAndThePortNumberStaysSet)
{
    configure(3);
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith(QStringLiteral("Error 3001: ")))
        << window.messages[0].toStdString();
    EXPECT_EQ(controller.state().portNumber, 4);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(controller.hasEnded());

    // The number alone enables the board's button; sending then finds no open port.
    controller.onCreateArray();
    expectOutputButtons(true, true);
    controller.sendArray();
    ASSERT_TRUE(settle());
    ASSERT_EQ(window.messages.size(), 2);
    EXPECT_TRUE(window.messages[1].startsWith(QStringLiteral("Error 3004: ")))
        << window.messages[1].toStdString();
    EXPECT_FALSE(controller.hasEnded());
    expectOutputButtons(true, true);
}

TEST_F(OutputCommandsTest, SendingPutsTheArrayOnTheLineAndKeepsTheButton)
{
    configure(1);
    createArrayFromPicture();
    controller.sendArray();
    EXPECT_EQ(line2.receive(1024), bytesOf(controller.state().array));
    ASSERT_TRUE(settle());
    controller.sendArray();
    EXPECT_EQ(line2.receive(1024), bytesOf(controller.state().array));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(line1.receiveAny(std::chrono::milliseconds(20)).isEmpty());
    EXPECT_TRUE(window.messages.isEmpty());
    expectOutputButtons(true, true);
}

TEST_F(OutputCommandsTest, ExitClosesTheOpenPortAfterItsBytesAreOut)
{
    configure(0);
    createArrayFromPicture();
    controller.sendArray();
    controller.onExit();
    ASSERT_TRUE(settle());

    EXPECT_FALSE(port.portOpen());
    EXPECT_TRUE(controller.hasEnded());
    EXPECT_EQ(window.endCalls, 1);
    EXPECT_EQ(line1.receive(1024), bytesOf(controller.state().array));
    EXPECT_TRUE(window.messages.isEmpty());
}

// Port 1's reader has stopped: its line takes nothing, and the frame waits there for the
// whole stall timeout.
class StuckLineTest : public OutputCommandsTest {
protected:
    void SetUp() override
    {
        line1.fillLine();
        port.setStallTimeout(std::chrono::milliseconds(500));
        OutputCommandsTest::SetUp();
        configure(0);
        createArrayFromPicture();
        controller.sendArray();
    }

    void expectDroppedFrameReported()
    {
        ASSERT_EQ(window.messages.size(), 1);
        EXPECT_TRUE(window.messages[0].startsWith(QStringLiteral("Error 3008: ")))
            << window.messages[0].toStdString();
        EXPECT_FALSE(port.portOpen());
    }
};

TEST_F(StuckLineTest, TheLoopServesEventsWhileTheFrameWaits)
{
    QElapsedTimer clock;
    clock.start();
    qint64 slowest = 0;
    int served = 0;
    QTimer prober;
    QObject::connect(&prober, &QTimer::timeout, [&] {
        const qint64 posted = clock.elapsed();
        QTimer::singleShot(0, [&, posted] {
            slowest = std::max(slowest, clock.elapsed() - posted);
            ++served;
        });
    });
    prober.start(20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.messages.isEmpty(); }, 5000));

    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_GE(served, 10);
    EXPECT_LT(slowest, 50);
    expectDroppedFrameReported();
    expectOutputButtons(true, true);
}

// The message stays until it is answered: the port's closing, told meanwhile, ends the
// program only after that.
TEST_F(StuckLineTest, ExitWaitsForTheStallAndItsMessageThenEnds)
{
    bool endedUnderTheMessage = true;
    window.onMessage = [&] {
        endedUnderTheMessage = QTest::qWaitFor([&] { return controller.hasEnded(); }, 100);
    };
    controller.onExit();
    EXPECT_FALSE(controller.hasEnded());
    ASSERT_TRUE(settle());

    EXPECT_FALSE(endedUnderTheMessage);

    EXPECT_TRUE(controller.hasEnded());
    EXPECT_EQ(window.endCalls, 1);
    expectDroppedFrameReported();
}

// Each export suggests the picture's name with its own extension, in the picture's folder,
// and adds that extension to a name typed without one; before any picture it opens as the
// other dialogs do. The open dialog adds nothing.
struct SuggestionRow {
    const char* name;
    void (Controller::*command)();
    const char* suffix;
    bool animationOnly;
};

class ExportSuggestionTest : public testing::TestWithParam<SuggestionRow>, protected ControllerRig {
protected:
    ScratchDir scratch;
    void SetUp() override { start(); }
};

TEST_P(ExportSuggestionTest, NamesThePictureWithTheExportsExtension)
{
    const SuggestionRow& row = GetParam();
    if (!row.animationOnly) {
        (controller.*row.command)();
        ASSERT_EQ(backend.requests.size(), 1U);
        EXPECT_EQ(backend.requests.back().fileName, "");
        EXPECT_EQ(backend.requests.back().defaultSuffix, row.suffix);
    }
    backend.answers.push_back(scratch.write(QStringLiteral("my.photo.gif"), steppingGif({10, 10})));
    controller.onLoadImage();
    EXPECT_EQ(backend.requests.back().defaultSuffix, "");
    (controller.*row.command)();
    EXPECT_EQ(backend.requests.back().fileName,
              scratch.path(QStringLiteral("my.photo.") + QLatin1String(row.suffix)));
    EXPECT_EQ(backend.requests.back().defaultSuffix, row.suffix);
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ExportSuggestionTest,
    testing::Values(SuggestionRow{"header", &Controller::exportCHeader, "h", false},
                    SuggestionRow{"xbm", &Controller::exportXbm, "xbm", false},
                    SuggestionRow{"preview", &Controller::exportPreviewPng, "png", false},
                    SuggestionRow{"animationFile", &Controller::writeAnimationFile, "bin", true},
                    SuggestionRow{"animationHeader", &Controller::exportAnimationHeader, "h",
                                  true}),
    [](const testing::TestParamInfo<SuggestionRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
