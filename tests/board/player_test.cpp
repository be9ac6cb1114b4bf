// The player sketch on the simulated Uno, built with the test animation's plain and
// compressed headers, the converter's default header and the example beside the sketch:
// the display shows every frame in order, looping, each its delay after the one before.
#include "pipeline/conversion.h"
#include "tests/board/simulated_board.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast::test {
namespace {

using namespace std::chrono_literals;

struct Seen {
    std::size_t frame = 0;
    std::chrono::microseconds at{};
};

// Watches the display memory every millisecond and notes when it comes to hold the next
// frame of the sequence (a display half redrawn is not the next frame).
std::vector<Seen> watch(SimulatedBoard& board, const std::vector<DisplayArray>& frames,
                        std::chrono::milliseconds duration)
{
    std::vector<Seen> seen;
    std::size_t next = 0;
    for (auto t = 0ms; t < duration; t += 1ms) {
        if (std::ranges::equal(board.displayFrame(), frames[next].bytes())) {
            seen.push_back({next, board.simulatedTime()});
            next = (next + 1) % frames.size();
        }
        board.run(1ms);
    }
    return seen;
}

class PlayerSketch : public testing::TestWithParam<const char*> {};

TEST_P(PlayerSketch, ShowsEachFrameInOrderForItsDelay)
{
    const ConvertedPicture animation =
        convertFile(QStringLiteral(PIXELCAST_TEST_ANIMATION), {}, FrameRange{1, 0});
    std::vector<DisplayArray> frames;
    for (const ConvertedFrame& frame : animation.frames) {
        frames.push_back(frame.array);
    }
    ASSERT_EQ(frames.size(), 8U);
    ASSERT_EQ(animation.plays, 0);
    SimulatedBoard board(std::string(PIXELCAST_PLAYER_DIR "/pixelcast_player_") + GetParam() +
                         ".elf");
    EXPECT_TRUE(board.displayIsOn());
    const std::vector<Seen> seen = watch(board, frames, 1800ms);
    // Once round, and on into the second play.
    ASSERT_GE(seen.size(), animation.frames.size() + 2);
    // The first frame was drawn before watching began; the times count from the second.
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        const auto delay = std::chrono::milliseconds(animation.frames[seen[i].frame].delayMs);
        const auto shown = seen[i + 1].at - seen[i].at;
        EXPECT_NEAR(static_cast<double>(shown.count()),
                    static_cast<double>(std::chrono::microseconds(delay).count()),
                    0.05 * static_cast<double>(std::chrono::microseconds(delay).count()))
            << "frame " << seen[i].frame + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, PlayerSketch,
                         testing::Values("plain", "compressed", "default", "example"),
                         [](const auto& row) { return std::string(row.param); });

// The player set up for each display module, playing the test animation made for the
// module's height, on a board with that module: every frame, in order, and round again.
class PlayerSketchOnModule : public testing::TestWithParam<NamedDisplayModule> {};

TEST_P(PlayerSketchOnModule, PlaysEveryFrameInOrder)
{
    const NamedDisplayModule& row = GetParam();
    ConversionSettings settings;
    settings.display.size = DisplaySize{kDisplayWidth, row.module.rows};
    const ConvertedPicture animation =
        convertFile(QStringLiteral(PIXELCAST_TEST_ANIMATION), settings, FrameRange{1, 0});
    std::vector<DisplayArray> frames;
    for (const ConvertedFrame& frame : animation.frames) {
        frames.push_back(frame.array);
    }
    ASSERT_EQ(frames.size(), 8U);

    SimulatedBoard board(std::string(PIXELCAST_PLAYER_DIR "/pixelcast_player_") + row.name + ".elf",
                         row.module);
    EXPECT_GE(watch(board, frames, 2000ms).size(), frames.size() + 1);
    EXPECT_TRUE(board.displayIsOn());
}

INSTANTIATE_TEST_SUITE_P(Modules, PlayerSketchOnModule, testing::ValuesIn(kDisplayModules),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
