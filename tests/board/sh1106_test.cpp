// The sketches set up for an SH1106 on a board with one (the model of
// tests/board/sh1106_model.h): they speak the SH1106's own commands only and write the 128
// columns its panel shows, never the two memory columns on either side.
#include "tests/board/sh1106_model.h"
#include "tests/board/simulated_board.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace pixelcast::test {
namespace {

using namespace std::chrono_literals;

class SH1106Display : public testing::TestWithParam<const char*> {};

// The receiver clears the display at start; the player draws its frames for a second.
TEST_P(SH1106Display, SketchWritesOnlyTheVisibleColumnsWithItsOwnCommands)
{
    SimulatedBoard board(GetParam(), DisplayModule{DisplayModule::Controller::Sh1106, 64});
    board.run(1s);
    const Sh1106Model& display = *board.sh1106();
    EXPECT_TRUE(display.isOn());
    EXPECT_EQ(display.writesOutsideVisibleColumns(), 0U);
    EXPECT_TRUE(display.unknownCommands().empty())
        << "first unknown command: " << int{display.unknownCommands().front()};
}

INSTANTIATE_TEST_SUITE_P(Sketches, SH1106Display,
                         testing::Values(PIXELCAST_RECEIVER_ELF, PIXELCAST_PLAYER_ELF),
                         [](const auto& row) {
                             return std::string(row.param).find("receiver") != std::string::npos
                                        ? std::string("Receiver")
                                        : std::string("Player");
                         });

} // namespace
} // namespace pixelcast::test
