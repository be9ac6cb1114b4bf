// A sketch on the simulated Uno in the wall clock's time, for trying Pixelcast without a
// board: its serial line is a pseudo-terminal, reached through LINK (a symbolic link such as
// /dev/ttyACM7, which the window's port list and "Find board" then offer), and its display is
// written to PBM (lit pixels black) each time it changes. Runs until it is stopped.
//
//     cd build/dev/tests/board && ./simulated_uno pixelcast_link.elf /dev/ttyACM7 display.pbm
#include "simulated_board.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

void writePbm(const char* fileName, const std::vector<std::uint8_t>& frame, int rows)
{
    const int pages = rows / 8;
    std::ofstream pbm(fileName);
    pbm << "P1\n128 " << rows << '\n';
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < 128; ++x) {
            const std::uint8_t byte = frame[static_cast<std::size_t>(x * pages + y / 8)];
            pbm << ((byte >> (y % 8)) & 1U) << (x == 127 ? '\n' : ' ');
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    using namespace std::chrono;
    if (argc != 4) {
        std::fprintf(stderr, "usage: simulated_uno FIRMWARE.elf LINK DISPLAY.pbm\n");
        return 2;
    }
    try {
        pixelcast::test::SimulatedBoard board(argv[1]);
        std::filesystem::remove(argv[2]);
        std::filesystem::create_symlink(board.portName().toStdString(), argv[2]);
        std::printf("%s -> %s\n", argv[2], board.portName().toStdString().c_str());
        std::fflush(stdout);
        constexpr milliseconds kStep{10};
        std::vector<std::uint8_t> shown;
        auto due = steady_clock::now();
        for (;;) {
            board.run(kStep);
            if (std::vector<std::uint8_t> frame = board.displayFrame(); frame != shown) {
                shown = std::move(frame);
                writePbm(argv[3], shown, 64);
            }
            due += kStep;
            std::this_thread::sleep_until(due);
            // A simulation slower than the clock runs on without catching up.
            due = std::max(due, steady_clock::now() - kStep);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simulated_uno: %s\n", e.what());
        return 1;
    }
}
