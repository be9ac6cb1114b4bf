// The live link's speed, measured once on the simulated Uno running the link sketch with a
// 128 x 64 display: whole frames per second, level-sweep deltas per second (one picture
// rendered at levels 0 to 254, each rendering sent as the host sends it), and the delay from
// a new rendering to its last byte on the display. Prints the figures; never fails.
//
// simavr does not clock the I2C bus, so each figure is the simulated time with the time the
// simulator gave the bus replaced by the time its bytes take at 400 kHz: nine clocks a byte
// (eight bits and the acknowledge) and two more a transaction for its start and stop.
#include "display/display_array.h"
#include "pipeline/conversion.h"
#include "pipeline/loaded_picture.h"
#include "pixels/surface.h"
#include "tests/board/link_host.h"
#include "tests/board/simulated_board.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using namespace pixelcast;
using namespace pixelcast::test;
using std::chrono::microseconds;

constexpr int kWidth = 128;
constexpr double kBusHz = 400'000;
constexpr int kWholeFrames = 40;

// The display array (byte column * 8 + page) in the link's pages order.
link::Bytes pagesOf(const DisplayArray& array)
{
    link::Bytes memory(array.bytes().size());
    for (int page = 0; page < 8; ++page) {
        for (int column = 0; column < kWidth; ++column) {
            memory[static_cast<std::size_t>(page * kWidth + column)] =
                array[verticalIndex(column, page)];
        }
    }
    return memory;
}

double busMicroseconds(std::uint64_t bytes, std::uint64_t transactions)
{
    return static_cast<double>(9 * bytes + 2 * transactions) / kBusHz * 1e6;
}

// Simulated time and bus traffic between two moments, with the bus at 400 kHz.
struct Stretch {
    microseconds simulated{};
    microseconds simulatedBus{};
    std::uint64_t busBytes = 0;
    std::uint64_t transactions = 0;

    [[nodiscard]] double busAt400kHz() const { return busMicroseconds(busBytes, transactions); }
    [[nodiscard]] double realMicroseconds() const
    {
        return static_cast<double>((simulated - simulatedBus).count()) + busAt400kHz();
    }
};

class Stopwatch {
public:
    explicit Stopwatch(const SimulatedBoard& board)
        : m_board(board), m_at(board.simulatedTime()), m_bus(board.busTraffic())
    {
    }
    [[nodiscard]] Stretch elapsed(microseconds until) const
    {
        const SimulatedBoard::BusTraffic bus = m_board.busTraffic();
        return {until - m_at, bus.busyFor - m_bus.busyFor, bus.bytes - m_bus.bytes,
                bus.transactions - m_bus.transactions};
    }
    [[nodiscard]] Stretch elapsed() const { return elapsed(m_board.simulatedTime()); }

private:
    const SimulatedBoard& m_board;
    microseconds m_at;
    SimulatedBoard::BusTraffic m_bus;
};

} // namespace

int main()
{
    SimulatedBoard board(PIXELCAST_LINK_ELF);
    LinkHost host(board, kWidth);
    if (!host.connect()) {
        std::fprintf(stderr, "the link sketch did not answer\n");
        return 1;
    }

    // Whole frames: two patterns in turn, where no delta is shorter than a frame.
    link::Bytes patterns[2] = {link::Bytes(1024), link::Bytes(1024)};
    for (std::size_t i = 0; i < 1024; ++i) {
        patterns[0][i] = static_cast<std::uint8_t>(i * 167 + 13);
        patterns[1][i] = static_cast<std::uint8_t>(i * 45 + 128);
    }
    (void)host.show(patterns[1]);
    std::vector<double> wholeDelays;
    const Stopwatch wholeRun(board);
    for (int i = 0; i < kWholeFrames; ++i) {
        const Stopwatch one(board);
        (void)host.show(patterns[i % 2]);
        wholeDelays.push_back(one.elapsed(board.busTraffic().lastDataAt).realMicroseconds());
    }
    const Stretch whole = wholeRun.elapsed();
    const double framePeriod = whole.realMicroseconds() / kWholeFrames;

    // The level sweep of one picture, as the window renders it.
    LoadedPicture picture = LoadedPicture::readFile(QStringLiteral(PIXELCAST_BENCH_PICTURE));
    Surface source;
    (void)picture.loadStill({}, kDefaultDisplay, source);
    const auto rendering = [&picture](int level) {
        ConversionSettings settings;
        settings.level = static_cast<std::int16_t>(level);
        return pagesOf(picture.convert(0, settings).array);
    };
    (void)host.show(rendering(0));
    const int deltasBefore = host.tally().deltas;
    const int framesBefore = host.tally().frames;
    std::vector<double> sweepDelays;
    const Stopwatch sweepRun(board);
    for (int level = 1; level <= 254; ++level) {
        const Stopwatch one(board);
        const int sentBefore = host.tally().deltas + host.tally().frames;
        (void)host.show(rendering(level));
        if (host.tally().deltas + host.tally().frames > sentBefore) {
            sweepDelays.push_back(one.elapsed(board.busTraffic().lastDataAt).realMicroseconds());
        }
    }
    const Stretch sweep = sweepRun.elapsed();
    const int deltas = host.tally().deltas - deltasBefore;
    const int frames = host.tally().frames - framesBefore;
    const double sweepSeconds = sweep.realMicroseconds() / 1e6;

    const auto mean = [](const std::vector<double>& values) {
        double sum = 0;
        for (const double v : values) {
            sum += v;
        }
        return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
    };
    const auto largest = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    };

    const double frameBus = whole.busAt400kHz() / kWholeFrames;
    std::printf("Live link, link sketch on a simulated Uno, 128 x 64 SSD1306 at 400 kHz\n\n");
    std::printf("Whole frames: %.1f per second (%.2f ms each; %llu bus bytes in %llu "
                "transactions a frame)\n",
                1e6 / framePeriod, framePeriod / 1000,
                static_cast<unsigned long long>(whole.busBytes / kWholeFrames),
                static_cast<unsigned long long>(whole.transactions / kWholeFrames));
    std::printf("  I2C alone: %.2f ms a frame at 400 kHz, a ceiling of %.1f frames per second\n",
                frameBus / 1000, 1e6 / frameBus);
    std::printf("  simavr gave the bus %.2f ms a frame\n",
                static_cast<double>(whole.simulatedBus.count()) / kWholeFrames / 1000);
    std::printf("Level sweep 0 -> 254: %d deltas, %d whole frames, %d levels unchanged "
                "(not sent); %.2f s in all, %.1f deltas per second\n",
                deltas, frames, 254 - deltas - frames, sweepSeconds, deltas / sweepSeconds);
    std::printf("Delay from a new rendering to its last byte on the display, link idle:\n");
    std::printf("  whole frame: mean %.1f ms, longest %.1f ms\n", mean(wholeDelays) / 1000,
                largest(wholeDelays) / 1000);
    std::printf("  sweep delta: mean %.1f ms, longest %.1f ms\n", mean(sweepDelays) / 1000,
                largest(sweepDelays) / 1000);
    std::printf("  behind a message in flight it waits for that one's answer first: up to "
                "%.1f ms behind a whole frame, %.1f ms behind a sweep delta\n",
                (framePeriod + largest(wholeDelays)) / 1000, 2 * largest(sweepDelays) / 1000);
    return 0;
}
