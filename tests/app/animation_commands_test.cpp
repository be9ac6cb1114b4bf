// An animation's frames written and sent as the converter makes them, the send running on
// the port's thread while the event loop runs.
#include "controller_rig.h"
#include "output/array_file.h"
#include "support/gif_writer.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

class AnimationCommandsTest : public testing::Test {
protected:
    ScratchDir scratch;
    PseudoTerminal line;
    ControllerRig rig{{line.devicePath()}};
    QString gif;

    void SetUp() override
    {
        rig.start();
        rig.controller.configurePort();
        ASSERT_TRUE(rig.settle());
    }

    // Loads an animation with these delays (in hundredths).
    void load(const std::vector<int>& delaysCs)
    {
        gif = scratch.write(QStringLiteral("anim.gif"), steppingGif(delaysCs));
        rig.controller.loadImageFile(gif);
    }
    // The converter's frames, one after another, at the window's settings now.
    [[nodiscard]] QByteArray convertedFrames() const
    {
        const AppState& state = rig.controller.state();
        QByteArray bytes;
        for (const ConvertedFrame& frame :
             convertFile(gif, {state.threshold, state.renderOptions, {}}, FrameRange{1, 0})
                 .frames) {
            bytes += arrayBytes(frame.array);
        }
        return bytes;
    }
    // Serves the event loop and reads the line for up to `maxMs` or until `frames` frames
    // came; gives when each frame's first byte came and when the one before it was whole.
    std::vector<std::pair<qint64, qint64>> receive(QByteArray& received, int frames, qint64 maxMs)
    {
        std::vector<std::pair<qint64, qint64>> at;
        QElapsedTimer clock;
        clock.start();
        qint64 wholeAt = 0;
        while (received.size() < frames * 1024 && clock.elapsed() < maxMs) {
            QCoreApplication::processEvents();
            const qsizetype before = received.size();
            received += line.receiveAny(std::chrono::milliseconds(1));
            if (before % 1024 == 0 && received.size() > before) {
                at.emplace_back(clock.elapsed(), wholeAt);
            }
            if (received.size() / 1024 > before / 1024) {
                wholeAt = clock.elapsed();
            }
        }
        return at;
    }
};

// The level moves after the load, so that only the frame shown has been rendered at it.
TEST_F(AnimationCommandsTest, TheFileHoldsEveryFrameAsTheConverterMakesIt)
{
    load({10, 20, 30});
    rig.controller.setRenderOptions({Dither::FloydSteinberg, false, false, false});
    rig.window.setLevelValue(60);
    rig.backend.answers.push_back(scratch.path(QStringLiteral("frames.bin")));
    rig.controller.writeAnimationFile();

    QFile file(scratch.path(QStringLiteral("frames.bin")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), convertedFrames());
}

// The header of the frame shown names it and the options as the converter's command line
// would; the animation's header holds every frame and names none.
TEST_F(AnimationCommandsTest, HeaderCommentsNameTheOptionsAndTheFrameShown)
{
    load({10, 20, 30});
    rig.window.setLevelValue(60);
    rig.controller.setRenderOptions({Dither::Atkinson, false, false, false});
    rig.controller.setDisplay({{128, 32}, &verticalLayout()});
    rig.controller.onNextFrame();
    const auto commentOf = [this](void (Controller::*command)()) {
        rig.backend.answers.push_back(scratch.path(QStringLiteral("out.h")));
        (rig.controller.*command)();
        QFile file(scratch.path(QStringLiteral("out.h")));
        return file.open(QIODevice::ReadOnly) ? file.readLine() : QByteArray();
    };
    EXPECT_EQ(commentOf(&Controller::exportCHeader),
              "// Made by Pixelcast from \"anim.gif\" at level 60 with --frames 2 --dither "
              "atkinson --size 128x32.\n");
    EXPECT_EQ(commentOf(&Controller::exportAnimationHeader),
              "// Made by Pixelcast from \"anim.gif\" at level 60 with --dither atkinson --size "
              "128x32.\n");
}

TEST_F(AnimationCommandsTest, SendingPutsEachFrameOnTheLineAfterItsDelayWhileTheLoopRuns)
{
    const std::vector<int> delaysCs{10, 25, 5};
    load(delaysCs);
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap =
            std::max(longestGap, clock.elapsed() - std::exchange(lastTick, clock.elapsed()));
    });
    ticker.start(10);
    rig.controller.sendAnimation();
    QByteArray received;
    const auto at = receive(received, 3, 10000);

    EXPECT_EQ(received, convertedFrames());
    ASSERT_EQ(at.size(), 3U);
    for (std::size_t f = 1; f < at.size(); ++f) {
        EXPECT_GE(at[f].first - at[f].second, delaysCs[f - 1] * 10) << f;
    }
    EXPECT_LT(longestGap, 100);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.window.status,
              QStringLiteral("Sent 3 frames to %1 (Com1)").arg(line.devicePath()));
}

TEST_F(AnimationCommandsTest, CancelStopsBeforeTheNextFrame)
{
    load({10, 10, 10});
    rig.controller.sendAnimation();
    EXPECT_FALSE(rig.window.enabled[Button::ConfigurePort]);
    QByteArray received;
    receive(received, 1, 5000);
    rig.controller.cancelSend();
    receive(received, 2, 1500);
    ASSERT_TRUE(rig.settle());

    EXPECT_EQ(received, convertedFrames().left(1024));
    EXPECT_EQ(rig.window.status, "Cancelled after 1 of 3 frames");
    EXPECT_EQ(rig.window.sendProgress, std::make_pair(0, 0));
    EXPECT_TRUE(rig.window.enabled[Button::ConfigurePort]);
}

} // namespace
} // namespace pixelcast::test
