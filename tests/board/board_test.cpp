// The whole road from a picture file to the pixels of the display: the tool's pipeline
// makes the array, the bytes go over a serial line into the receiver sketch running on a
// simulated Uno, and the display's memory is read back.
#include "display/display_array.h"
#include "pipeline/loaded_picture.h"
#include "pixels/surface.h"
#include "support/expect_surface.h"
#include "support/test_files.h"
#include "tests/board/send_over_line.h"
#include "tests/board/simulated_board.h"

#include <QImage>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <gtest/gtest.h>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace pixelcast::test {
namespace {

using namespace std::chrono_literals;

// Long enough after the last byte for the sketch to write the display (about 30 ms).
constexpr auto kDrawTime = 80ms;
// Longer than the pause after which the sketch gives up on a partial frame, and well
// shorter than it.
constexpr auto kLongPause = 500ms;
constexpr auto kShortStall = 100ms;

// A different byte for every index in a row of 256, every value 0-255 four times over a
// 1024-byte frame and twice over a 512-byte one: the multiplier is odd, so index -> byte is
// one-to-one mod 256.
[[nodiscard]] std::uint8_t patternByte(std::size_t index, int multiplier, int offset)
{
    return static_cast<std::uint8_t>((static_cast<int>(index) * multiplier + offset) & 0xFF);
}

// A frame of `pages` pages in the line's layout, byte column * pages + page.
[[nodiscard]] std::vector<std::uint8_t> patternFrame(int pages, int multiplier, int offset)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(kDisplayWidth * pages));
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = patternByte(i, multiplier, offset);
    }
    return frame;
}

[[nodiscard]] DisplayArray patternArray(int multiplier, int offset)
{
    const std::vector<std::uint8_t> frame =
        patternFrame(kDefaultDisplay.pages(), multiplier, offset);
    DisplayArray array;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        array[i] = frame[i];
    }
    return array;
}

[[nodiscard]] bool holdsEveryByteValue(const DisplayArray& array)
{
    std::bitset<256> seen;
    for (const std::uint8_t b : array.bytes()) {
        seen.set(b);
    }
    return seen.all();
}

// The pattern as a colour picture at twice the display's size, so that loading has to
// shrink it. Lit pixels are light colours and dark ones dark colours, a few of each, so
// that only the greyscale and threshold stages together give black and white.
[[nodiscard]] QImage patternPicture(int multiplier, int offset)
{
    const QRgb light[] = {qRgb(255, 255, 255), qRgb(250, 220, 180), qRgb(200, 255, 160)};
    const QRgb dark[] = {qRgb(0, 0, 0), qRgb(40, 60, 90), qRgb(120, 20, 60)};
    QImage picture(2 * kDisplayWidth, 2 * kDisplayHeight, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int column = x / 2;
            const int row = y / 2;
            const bool lit =
                ((patternByte(verticalIndex(column, row / 8), multiplier, offset) >> (row % 8)) &
                 1) != 0;
            const int shade = (column + row) % 3;
            picture.setPixel(x, y, lit ? light[shade] : dark[shade]);
        }
    }
    return picture;
}

[[nodiscard]] std::vector<std::uint8_t> concatenated(const std::vector<std::uint8_t>& first,
                                                     const std::vector<std::uint8_t>& second)
{
    std::vector<std::uint8_t> bytes = first;
    bytes.insert(bytes.end(), second.begin(), second.end());
    return bytes;
}

// Succeeds when the frames are equal; otherwise names the first differing byte.
[[nodiscard]] testing::AssertionResult sameFrame(const std::vector<std::uint8_t>& actual,
                                                 const std::vector<std::uint8_t>& expected)
{
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure()
               << actual.size() << " bytes, expected " << expected.size();
    }
    const auto [differs, expectedByte] =
        std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (differs == actual.end()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "first difference at byte " << differs - actual.begin() << ": " << int{*differs}
           << ", expected " << int{*expectedByte};
}

TEST(ReceiverSketch, PictureReachesTheDisplayPixelForPixel)
{
    const ScratchDir scratch;
    const QString file = scratch.path(QStringLiteral("every-byte-value-256x128.bmp"));
    ASSERT_TRUE(patternPicture(167, 13).save(file, "BMP"));
    const DisplayArray expected = patternArray(167, 13);
    ASSERT_TRUE(holdsEveryByteValue(expected));

    // As the window loads it.
    LoadedPicture picture = LoadedPicture::readFile(file);
    Surface source;
    (void)picture.loadStill({}, kDefaultDisplay, source);
    const DisplayArray array = picture.convert(0, {}).array;
    ASSERT_TRUE(sameArray(array, expected));

    SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    EXPECT_TRUE(board.displayIsOn());
    sendArrayToBoard(board.portName(), array);
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), kDefaultArrayBytes);
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameArray(board.displayMemory(), array));
}

// The receiver built for a display of `rows` rows, and the COM pins configuration such a
// panel is wired for.
struct Height {
    int rows = 0;
    const char* firmware = nullptr;
    int comPins = 0;

    [[nodiscard]] int pages() const { return rows / 8; }
    [[nodiscard]] std::size_t frameSize() const
    {
        return static_cast<std::size_t>(kDisplayWidth * pages());
    }
};

void PrintTo(const Height& height, std::ostream* out)
{
    *out << height.rows << " rows";
}

class ReceiverSketchForHeight : public testing::TestWithParam<Height> {
protected:
    [[nodiscard]] static SimulatedBoard makeBoard()
    {
        return SimulatedBoard(GetParam().firmware, GetParam().rows);
    }
    [[nodiscard]] static std::vector<std::uint8_t> pattern(int multiplier, int offset)
    {
        return patternFrame(GetParam().pages(), multiplier, offset);
    }
};

TEST_P(ReceiverSketchForHeight, ListensAt9600Baud8N1)
{
    const SimulatedBoard board = makeBoard();
    const SimulatedBoard::SerialSettings line = board.serialSettings();
    EXPECT_TRUE(line.receiverOn);
    // The UART's divider gives 9615 baud at 16 MHz, well within what a 9600-baud sender
    // tolerates.
    EXPECT_NEAR(line.baud, 9600, 9600 / 100);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 'n');
    EXPECT_EQ(line.stopBits, 1);
}

// The simulated display takes the multiplex ratio, the COM pins configuration and the page
// range without acting on them, so they are read off the bus.
TEST_P(ReceiverSketchForHeight, SetsUpTheDisplayForItsRows)
{
    const Height& height = GetParam();
    const SimulatedBoard board = makeBoard();
    const SimulatedBoard::DisplaySetup setup = board.displaySetup();
    EXPECT_EQ(setup.rows, height.rows);
    EXPECT_EQ(setup.comPins, height.comPins);
    EXPECT_EQ(setup.firstPage, 0);
    EXPECT_EQ(setup.lastPage, height.pages() - 1);
    // The dark screen it starts with covers the display's pages and nothing past them.
    EXPECT_EQ(setup.dataBytes, height.frameSize());
    EXPECT_TRUE(sameFrame(board.displayFrame(), std::vector<std::uint8_t>(height.frameSize())));
    EXPECT_TRUE(board.displayIsOn());
}

TEST_P(ReceiverSketchForHeight, InterruptedTransferIsDroppedAndTheNextOneShown)
{
    const std::vector<std::uint8_t> interrupted = pattern(91, 200);
    const std::vector<std::uint8_t> full = pattern(233, 7);
    const std::vector<std::uint8_t> firstPart(interrupted.begin(), interrupted.begin() + 300);

    SimulatedBoard board = makeBoard();
    const std::vector<std::uint8_t> atStart = board.displayFrame();

    sendOverLine(board.portName(), firstPart);
    board.runUntilLineIdle(kLongPause);
    EXPECT_TRUE(sameFrame(board.displayFrame(), atStart)) << "a partial frame was drawn";

    sendOverLine(board.portName(), full);
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), firstPart.size() + full.size());
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameFrame(board.displayFrame(), full));
}

// A sender that stalls for a moment inside a transfer, as a busy computer may, still gets
// its picture shown.
TEST_P(ReceiverSketchForHeight, ShortStallInsideATransferIsBridged)
{
    const std::vector<std::uint8_t> frame = pattern(167, 13);
    const std::span<const std::uint8_t> bytes = frame;

    SimulatedBoard board = makeBoard();
    sendOverLine(board.portName(), bytes.first(500));
    board.runUntilLineIdle(kShortStall);
    sendOverLine(board.portName(), bytes.subspan(500));
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), frame.size());
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameFrame(board.displayFrame(), frame));
}

// Back to back, as when the button is pressed again before the first array has left the
// port: the sketch writes the display while the second frame is already arriving.
TEST_P(ReceiverSketchForHeight, TwoTransfersInARowShowTheSecond)
{
    const std::vector<std::uint8_t> first = pattern(167, 13);
    const std::vector<std::uint8_t> second = pattern(45, 128);

    SimulatedBoard board = makeBoard();
    sendOverLine(board.portName(), concatenated(first, second));
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), first.size() + second.size());
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameFrame(board.displayFrame(), second));
}

INSTANTIATE_TEST_SUITE_P(Heights, ReceiverSketchForHeight,
                         testing::Values(Height{64, PIXELCAST_RECEIVER_ELF, 0x12},
                                         Height{32, PIXELCAST_RECEIVER_32_ELF, 0x02}),
                         [](const auto& row) { return std::to_string(row.param.rows) + "Rows"; });

// The receiver set up for each display module, on a board with that module: a dark display
// at first, then each frame as it is sent.
class ReceiverSketchOnModule : public testing::TestWithParam<NamedDisplayModule> {};

TEST_P(ReceiverSketchOnModule, ShowsEachFrameItIsSent)
{
    const NamedDisplayModule& row = GetParam();
    const int pages = row.module.rows / 8;
    // simavr's SPI takes about 100 us a byte: a frame is drawn in about 110 ms on SPI.
    constexpr auto kDrawTimeOnAnyModule = 200ms;

    SimulatedBoard board(
        std::string(PIXELCAST_BOARD_DIR "/pixelcast_receiver_") + row.name + ".elf", row.module);
    board.run(kDrawTimeOnAnyModule);
    EXPECT_TRUE(board.displayIsOn());
    const std::vector<std::uint8_t> dark(static_cast<std::size_t>(kDisplayWidth * pages));
    EXPECT_TRUE(sameFrame(board.displayFrame(), dark));
    for (const auto& [multiplier, offset] : {std::pair{167, 13}, std::pair{45, 128}}) {
        const std::vector<std::uint8_t> frame = patternFrame(pages, multiplier, offset);
        sendOverLine(board.portName(), frame);
        board.runUntilLineIdle(kDrawTimeOnAnyModule);
        EXPECT_TRUE(sameFrame(board.displayFrame(), frame)) << multiplier << "x + " << offset;
    }
    EXPECT_FALSE(board.receiveQueueOverflowed());
}

INSTANTIATE_TEST_SUITE_P(Modules, ReceiverSketchOnModule, testing::ValuesIn(kDisplayModules),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast::test
