// The link sketch on the simulated Uno, driven by a host that follows board/LINK.md with the
// link's codec: what the board answers SHOWN to is what its display holds, a message that
// fails leaves the display as it was, and the host recovers from a damaged line.
#include "output/serial/link_protocol.h"
#include "tests/board/display_module.h"
#include "tests/board/link_host.h"
#include "tests/board/sh1106_model.h"
#include "tests/board/simulated_board.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace pixelcast::test {
namespace {

constexpr int kWidth = 128;

// A frame in the pages order where every byte differs from its neighbours.
[[nodiscard]] link::Bytes patternFrame(int rows, int multiplier, int offset)
{
    link::Bytes frame(static_cast<std::size_t>(kWidth * rows / 8));
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>((static_cast<int>(i) * multiplier + offset) & 0xFF);
    }
    return frame;
}

// `frame` with `count` bytes from `from` on inverted.
[[nodiscard]] link::Bytes changed(link::Bytes frame, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i) {
        frame[i] = static_cast<std::uint8_t>(~frame[i]);
    }
    return frame;
}

// The link sketch set up for each display module, on a board with that module.
class LiveLinkOnModule : public testing::TestWithParam<NamedDisplayModule> {
protected:
    SimulatedBoard board{std::string(PIXELCAST_BOARD_DIR "/pixelcast_link_") + GetParam().name +
                             ".elf",
                         GetParam().module};
    // simavr's SPI takes 100 us a byte: a whole frame about 0.1 s more than on a real board.
    LinkHost host{board, kWidth,
                  GetParam().module.spi ? std::chrono::microseconds(150'000)
                                        : std::chrono::microseconds(0)};
    const int rows = GetParam().module.rows;
};

TEST_P(LiveLinkOnModule, AnnouncesItsDisplayAt1000000Baud8N1)
{
    const auto ready = host.connect();
    ASSERT_TRUE(ready.has_value());
    const std::uint8_t controller =
        GetParam().module.controller == DisplayModule::Controller::Sh1106 ? 2 : 1;
    const link::Ready expected{1,      controller,
                               kWidth, static_cast<std::uint16_t>(rows),
                               1,      static_cast<std::uint16_t>(2 + kWidth * rows / 8),
                               0};
    EXPECT_EQ(*ready, expected);
    const SimulatedBoard::SerialSettings line = board.serialSettings();
    EXPECT_EQ(line.baud, 1'000'000);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 'n');
    EXPECT_EQ(line.stopBits, 1);
}

// Whole frames and deltas in turn; after each SHOWN the display holds that frame, and only
// the bytes that changed went to the display; an SH1106's columns the panel does not show
// are never written.
TEST_P(LiveLinkOnModule, DisplayHoldsEachFrameAnsweredShown)
{
    const link::Bytes first = patternFrame(rows, 167, 13);
    const link::Bytes other = patternFrame(rows, 45, 128);
    // Each frame changes the one before it.
    const link::Bytes fewBytes = changed(first, 300, 3);
    const link::Bytes firstPage = changed(fewBytes, 0, kWidth);
    const link::Bytes acrossPages = changed(firstPage, kWidth - 2, 4); // two runs
    const link::Bytes lastByte = changed(other, other.size() - 1, 1);
    struct Step {
        link::Bytes frame;
        std::uint64_t bytesToDisplay;
    };
    const std::vector<Step> steps = {
        {first, first.size()},
        {fewBytes, 3},
        {firstPage, kWidth},
        {acrossPages, 4},
        {other, other.size()}, // no delta is shorter
        {other, 0},            // the frame shown: not sent
        {lastByte, 1},
    };

    ASSERT_TRUE(host.connect().has_value());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::uint64_t before = board.displaySetup().dataBytes;
        ASSERT_TRUE(host.show(steps[i].frame)) << "step " << i;
        EXPECT_EQ(displayPages(board), steps[i].frame) << "step " << i;
        EXPECT_EQ(board.displaySetup().dataBytes - before, steps[i].bytesToDisplay) << "step " << i;
    }
    EXPECT_EQ(host.tally(), (LinkHost::Tally{.frames = 2, .deltas = 4, .shown = 6, .readies = 1}));
    EXPECT_FALSE(board.receiveQueueOverflowed());
    if (const Sh1106Model* sh1106 = board.sh1106()) {
        EXPECT_EQ(sh1106->writesOutsideVisibleColumns(), 0U);
        EXPECT_TRUE(sh1106->unknownCommands().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, LiveLinkOnModule, testing::ValuesIn(kDisplayModules),
                         [](const auto& row) { return std::string(row.param.name); });

// A message the board cannot show is answered and leaves the display alone, and the board
// takes the host's next message.
struct Refusal {
    const char* name;
    link::Bytes message;
    link::BoardMessage answer;
};

void PrintTo(const Refusal& row, std::ostream* out)
{
    *out << row.name;
}

class LiveLinkRefusal : public testing::TestWithParam<Refusal> {};

const link::Bytes kShownFrame = patternFrame(64, 167, 13);
const link::Bytes kNextFrame = patternFrame(64, 45, 128);

[[nodiscard]] link::Bytes withBadCrc(link::Bytes message)
{
    message.back() ^= 0x01;
    return message;
}

[[nodiscard]] link::Bytes deltaOf(std::uint16_t seq, std::uint16_t base, link::Run run)
{
    link::Bytes source = kNextFrame;
    source.resize(0x10000);
    return link::encodeDelta(seq, base, std::vector<link::Run>{run}, source);
}

// A payload too long for the board that ends in a start marker and the header of a message
// that would take in the host's next one.
[[nodiscard]] link::Bytes tooLongWithAStartMarker()
{
    link::Bytes payload(1027);
    const std::uint8_t falseStart[] = {0x50, 0x58, 0x01, 0x05, 0x00};
    std::ranges::copy(falseStart, payload.end() - std::ssize(falseStart));
    return link::encodeMessage(link::MessageType::Frame, payload);
}

const link::BoardMessage kReadyShowingFirst = link::Ready{1, 1, kWidth, 64, 1, 1026, 1};

TEST_P(LiveLinkRefusal, AnswersAndLeavesTheDisplay)
{
    SimulatedBoard board(PIXELCAST_LINK_ELF);
    LinkHost host(board, kWidth);
    ASSERT_TRUE(host.connect().has_value());
    ASSERT_TRUE(host.show(kShownFrame));
    ASSERT_EQ(host.shownSeq(), 1);
    const std::uint64_t before = board.displaySetup().dataBytes;

    const auto answer = host.exchange(GetParam().message);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(link::readBoardMessage(*answer), GetParam().answer);
    EXPECT_EQ(displayPages(board), kShownFrame);
    EXPECT_EQ(board.displaySetup().dataBytes, before);
    const auto next = host.exchange(link::encodeHello());
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(link::readBoardMessage(*next), kReadyShowingFirst);
}

using link::RefusalReason;
constexpr auto reason = [](RefusalReason r) {
    return static_cast<std::uint8_t>(r);
};

INSTANTIATE_TEST_SUITE_P(
    Messages, LiveLinkRefusal,
    testing::Values(Refusal{"BadCrc", withBadCrc(link::encodeFrame(2, kNextFrame)),
                            link::Refused{0, reason(RefusalReason::BadCrc)}},
                    Refusal{"LongerThanTheBoardTakes",
                            link::encodeMessage(link::MessageType::Frame, link::Bytes(1027)),
                            link::Refused{0, reason(RefusalReason::TooLong)}},
                    Refusal{"LongerWithAStartMarkerInside", tooLongWithAStartMarker(),
                            link::Refused{0, reason(RefusalReason::TooLong)}},
                    Refusal{"UnknownType",
                            link::encodeMessage(static_cast<link::MessageType>(0x07), {}),
                            link::Refused{0, reason(RefusalReason::Malformed)}},
                    Refusal{"FrameOfAnotherSize", link::encodeFrame(2, patternFrame(32, 45, 128)),
                            link::Refused{2, reason(RefusalReason::Malformed)}},
                    Refusal{"DeltaOnAFrameNotShown", deltaOf(2, 7, {0, 1}),
                            link::Refused{2, reason(RefusalReason::WrongBase)}},
                    Refusal{"RunAcrossAPage", deltaOf(2, 1, {120, 16}),
                            link::Refused{2, reason(RefusalReason::BadRun)}},
                    Refusal{"RunPastTheDisplay", deltaOf(2, 1, {1024, 1}),
                            link::Refused{2, reason(RefusalReason::BadRun)}},
                    // Its SHOWN was lost: the frame is on the display already.
                    Refusal{"DeltaOfTheFrameShown", deltaOf(1, 9, {0, 1}), link::Shown{1}},
                    Refusal{"Hello", link::encodeHello(), kReadyShowingFirst}),
    [](const auto& row) { return std::string(row.param.name); });

// A stream of deltas with one fault on the line: the host gets every frame onto the
// display in the end, and whenever it has an answer (or gave up waiting) the display holds
// a whole frame: the one last answered SHOWN, or after a reset the dark one.
struct Fault {
    const char* name;
    LineFault fault;
    // All that the host met on the way, so that the fault did happen and cost no more than
    // it should.
    LinkHost::Tally tally;
};

void PrintTo(const Fault& row, std::ostream* out)
{
    *out << row.name;
}

class LiveLinkRecovery : public testing::TestWithParam<Fault> {};

TEST_P(LiveLinkRecovery, EveryFrameIsShownWholeInTheEnd)
{
    std::vector<link::Bytes> frames = {patternFrame(64, 167, 13)};
    for (std::size_t i = 1; i < 6; ++i) {
        frames.push_back(changed(frames.back(), 40 * i, 8 * i));
    }
    const link::Bytes dark(frames.front().size());

    SimulatedBoard board(PIXELCAST_LINK_ELF);
    LinkHost host(board, kWidth);
    // A wait that ran out may have missed the SHOWN of the frame in flight.
    host.onSettled = [&](LinkHost::Settled how, std::span<const std::uint8_t> inFlight) {
        const link::Bytes memory = displayPages(board);
        const link::Bytes& shown = host.shownFrame().value_or(dark);
        const bool inFlightShown =
            how == LinkHost::Settled::TimedOut && std::ranges::equal(memory, inFlight);
        EXPECT_TRUE(memory == shown || inFlightShown)
            << "at " << board.simulatedTime().count() << " us";
    };
    ASSERT_TRUE(host.connect().has_value());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i == 3) {
            host.injectFault(GetParam().fault);
        }
        ASSERT_TRUE(host.show(frames[i])) << "frame " << i;
        EXPECT_EQ(displayPages(board), frames[i]) << "frame " << i;
    }
    EXPECT_EQ(host.tally(), GetParam().tally);
    EXPECT_FALSE(board.receiveQueueOverflowed());
}

// Without a fault: one READY, a whole frame, five deltas, six SHOWN.
constexpr LinkHost::Tally kClean{.frames = 1, .deltas = 5, .shown = 6, .readies = 1};

[[nodiscard]] constexpr LinkHost::Tally with(LinkHost::Tally tally, int timeouts,
                                             int badCrcRefusals)
{
    tally.timeouts = timeouts;
    tally.refused[1] = badCrcRefusals;
    return tally;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LiveLinkRecovery,
    testing::Values(Fault{"CorruptedByte", LineFault::CorruptByte, with(kClean, 0, 1)},
                    Fault{"DroppedByte", LineFault::DropByte, with(kClean, 1, 0)},
                    Fault{"GarbageBurst", LineFault::GarbageBefore, with(kClean, 0, 1)},
                    // The READY after the reset makes the host send the frame whole.
                    Fault{"ResetMidStream",
                          LineFault::ResetMidway,
                          {.frames = 2, .deltas = 5, .shown = 6, .readies = 2}},
                    // The delta goes again after the wait and is answered SHOWN again.
                    Fault{"AnswerLost", LineFault::AnswerLost, with(kClean, 1, 0)}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
