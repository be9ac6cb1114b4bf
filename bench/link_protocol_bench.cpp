// What the live link costs the host per frame: planning the DELTA against the frame the
// board shows, encoding it with its CRC, and the CRC alone over a whole FRAME. The counters
// say how many bytes go on the line and how long they take there at 1,000,000 baud.
#include "display/display_array.h"
#include "output/serial/link_protocol.h"
#include "pixels/greyscale.h"
#include "pixels/threshold.h"

#include <benchmark/benchmark.h>

namespace pixelcast {
namespace {

// A 128 x 64 grey picture with every level in it, rendered at `level` and packed in the
// board's order.
DisplayArray renderingAt(std::int16_t level)
{
    Surface grey(kDisplayWidth, kDisplayHeight, kBlack);
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            grey.write(x, y, rgb((x * 2 + y) & 0xFF, (x * 2 + y) & 0xFF, (x * 2 + y) & 0xFF));
        }
    }
    Surface result(kDisplayWidth, kDisplayHeight, kFaceColour);
    renderMonochrome(grey, result, level);
    return packDisplay(result, {DisplaySize{kDisplayWidth, kDisplayHeight}, &pagesLayout()});
}

// The argument: how far the level moved between the frame shown and the next (1: a step
// of a dragged scroll bar), or -1 for the picture inverted, which goes as a whole FRAME.
void BM_LinkUpdate(benchmark::State& state)
{
    const DisplayArray shown = renderingAt(100);
    DisplayArray next = renderingAt(static_cast<std::int16_t>(100 + state.range(0)));
    if (state.range(0) < 0) {
        next = shown;
        for (std::uint8_t& byte : next.bytes()) {
            byte = static_cast<std::uint8_t>(~byte);
        }
    }
    std::size_t wireBytes = 0;
    for (auto _ : state) {
        const link::Update update = link::planUpdate(shown.bytes(), next.bytes(), kDisplayWidth);
        const link::Bytes message = update.kind == link::Update::Kind::Delta
                                        ? link::encodeDelta(2, 1, update.runs, next.bytes())
                                        : link::encodeFrame(2, next.bytes());
        wireBytes = message.size();
        benchmark::DoNotOptimize(message.data());
    }
    state.counters["wire bytes"] = static_cast<double>(wireBytes);
    state.counters["line ms"] = static_cast<double>(link::transferTime(wireBytes).count()) / 1000.0;
}
BENCHMARK(BM_LinkUpdate)->Arg(1)->Arg(8)->Arg(64)->Arg(-1);

void BM_LinkCrcOfWholeFrame(benchmark::State& state)
{
    const DisplayArray frame = renderingAt(100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(link::crc16(frame.bytes()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(BM_LinkCrcOfWholeFrame);

} // namespace
} // namespace pixelcast
