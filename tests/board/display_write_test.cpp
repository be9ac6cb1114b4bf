// The display code's displayWrite() on each display module: the bytes land in the page and
// columns asked for, a run that would pass column 127 stops there, and nothing else changes.
#include "tests/board/display_module.h"
#include "tests/board/sh1106_model.h"
#include "tests/board/simulated_board.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast::test {
namespace {

using namespace std::chrono_literals;

struct WrittenRun {
    int page = 0; // from the last page when negative
    int column = 0;
    int count = 0;
};

// What display_write.ino writes.
constexpr WrittenRun kRuns[] = {{0, 0, 16}, {2, 37, 5}, {-1, 120, 16}};

class DisplayWriteOnModule : public testing::TestWithParam<NamedDisplayModule> {};

TEST_P(DisplayWriteOnModule, WritesTheBytesWhereToldAndNoFurther)
{
    const NamedDisplayModule& row = GetParam();
    const int pages = row.module.rows / 8;
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(128 * pages));
    for (const WrittenRun& run : kRuns) {
        const int page = run.page < 0 ? pages + run.page : run.page;
        for (int i = 0; i < std::min(run.count, 128 - run.column); ++i) {
            expected[static_cast<std::size_t>((run.column + i) * pages + page)] =
                static_cast<std::uint8_t>(0x81 + 7 * i);
        }
    }

    SimulatedBoard board(std::string(PIXELCAST_BOARD_DIR "/display_write_") + row.name + ".elf",
                         row.module);
    // On simavr's SPI the clearing takes about 110 ms.
    board.run(200ms);
    const std::vector<std::uint8_t> shown = board.displayFrame();
    const auto [differs, expectedByte] = std::ranges::mismatch(shown, expected);
    const auto at = differs - shown.begin();
    EXPECT_EQ(differs, shown.end())
        << "first difference at column " << at / pages << ", page " << at % pages;
    if (const Sh1106Model* sh1106 = board.sh1106()) {
        EXPECT_EQ(sh1106->writesOutsideVisibleColumns(), 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, DisplayWriteOnModule, testing::ValuesIn(kDisplayModules),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
