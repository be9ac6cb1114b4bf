// The sketches set up for an SH1106 on a board with one (the model of
// tests/board/sh1106_model.h), on I2C and on SPI: they speak the SH1106's own commands only
// and write the 128 columns its panel shows, never the two memory columns on either side.
#include "tests/board/sh1106_model.h"
#include "tests/board/simulated_board.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace pixelcast::test {
namespace {

using namespace std::chrono_literals;

struct Sh1106Build {
    const char* name = nullptr;
    const char* firmware = nullptr;
    bool spi = false;
};

class SH1106Display : public testing::TestWithParam<Sh1106Build> {};

// The receiver clears the display at start; the player draws its frames for a second.
TEST_P(SH1106Display, SketchWritesOnlyTheVisibleColumnsWithItsOwnCommands)
{
    SimulatedBoard board(GetParam().firmware,
                         DisplayModule{DisplayModule::Controller::Sh1106, 64, GetParam().spi});
    board.run(1s);
    const Sh1106Model& display = *board.sh1106();
    EXPECT_TRUE(display.isOn());
    EXPECT_EQ(display.writesOutsideVisibleColumns(), 0U);
    EXPECT_TRUE(display.unknownCommands().empty())
        << "first unknown command: " << int{display.unknownCommands().front()};
}

INSTANTIATE_TEST_SUITE_P(
    Sketches, SH1106Display,
    testing::Values(
        Sh1106Build{"ReceiverI2c", PIXELCAST_BOARD_DIR "/pixelcast_receiver_SH1106I2c128x64.elf"},
        Sh1106Build{"PlayerI2c", PIXELCAST_PLAYER_DIR "/pixelcast_player_SH1106I2c128x64.elf"},
        Sh1106Build{"ReceiverSpi", PIXELCAST_BOARD_DIR "/pixelcast_receiver_SpiSH1106128x64.elf",
                    true},
        Sh1106Build{"PlayerSpi", PIXELCAST_PLAYER_DIR "/pixelcast_player_SpiSH1106128x64.elf",
                    true}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
