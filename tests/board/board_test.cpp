// The whole road from a picture file to the pixels of the display: the tool's pipeline
// makes the array, the bytes go over a serial line into the receiver sketch running on a
// simulated Uno, and the display's memory is read back.
#include "decoders/picture_loader.h"
#include "display/display_array.h"
#include "pixels/greyscale.h"
#include "pixels/surface.h"
#include "pixels/threshold.h"
#include "support/expect_surface.h"
#include "support/test_files.h"
#include "tests/board/send_over_line.h"
#include "tests/board/simulated_board.h"

#include <QImage>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <gtest/gtest.h>
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

// A different byte for every (column, page) in a row of four, every value 0-255 four
// times over the array: the multiplier is odd, so index -> byte is one-to-one mod 256.
[[nodiscard]] std::uint8_t patternByte(int column, int page, int multiplier, int offset)
{
    return static_cast<std::uint8_t>(
        (static_cast<int>(verticalIndex(column, page)) * multiplier + offset) & 0xFF);
}

[[nodiscard]] DisplayArray patternArray(int multiplier, int offset)
{
    DisplayArray array;
    for (int column = 0; column < kDisplayWidth; ++column) {
        for (int page = 0; page < kDefaultDisplay.pages(); ++page) {
            array[verticalIndex(column, page)] = patternByte(column, page, multiplier, offset);
        }
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
                ((patternByte(column, row / 8, multiplier, offset) >> (row % 8)) & 1) != 0;
            const int shade = (column + row) % 3;
            picture.setPixel(x, y, lit ? light[shade] : dark[shade]);
        }
    }
    return picture;
}

[[nodiscard]] std::vector<std::uint8_t> concatenated(const DisplayArray& first,
                                                     const DisplayArray& second)
{
    std::vector<std::uint8_t> bytes(first.bytes().begin(), first.bytes().end());
    bytes.insert(bytes.end(), second.bytes().begin(), second.bytes().end());
    return bytes;
}

TEST(ReceiverSketch, ListensAt9600Baud8N1)
{
    const SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    const SimulatedBoard::SerialSettings line = board.serialSettings();
    EXPECT_TRUE(line.receiverOn);
    // The UART's divider gives 9615 baud at 16 MHz, well within what a 9600-baud sender
    // tolerates.
    EXPECT_NEAR(line.baud, 9600, 9600 / 100);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 'n');
    EXPECT_EQ(line.stopBits, 1);
}

TEST(ReceiverSketch, PictureReachesTheDisplayPixelForPixel)
{
    const ScratchDir scratch;
    const QString file = scratch.path(QStringLiteral("every-byte-value-256x128.bmp"));
    ASSERT_TRUE(patternPicture(167, 13).save(file, "BMP"));
    const DisplayArray expected = patternArray(167, 13);
    ASSERT_TRUE(holdsEveryByteValue(expected));

    Surface source;
    Surface scaled(kDisplayWidth, kDisplayHeight, kFaceColour);
    Surface result(kDisplayWidth, kDisplayHeight, kFaceColour);
    loadAndScale(file, source, scaled, kFaceColour);
    toGreyscale(scaled);
    renderMonochrome(scaled, result, 127);
    DisplayArray array;
    buildDisplayArray(result, array);
    ASSERT_TRUE(sameArray(array, expected));

    SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    EXPECT_TRUE(board.displayIsOn());
    sendArrayToBoard(board.portName(), array);
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), kDefaultArrayBytes);
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameArray(board.displayMemory(), array));
}

TEST(ReceiverSketch, InterruptedTransferIsDroppedAndTheNextOneShown)
{
    const DisplayArray interrupted = patternArray(91, 200);
    const DisplayArray full = patternArray(233, 7);
    const std::vector<std::uint8_t> firstPart(interrupted.bytes().begin(),
                                              interrupted.bytes().begin() + 300);

    SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    const DisplayArray atStart = board.displayMemory();
    ASSERT_TRUE(sameArray(atStart, DisplayArray{})) << "the sketch clears the display at start";

    sendOverLine(board.portName(), firstPart);
    board.runUntilLineIdle(kLongPause);
    EXPECT_TRUE(sameArray(board.displayMemory(), atStart)) << "a partial frame was drawn";

    sendOverLine(board.portName(), full.bytes());
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), firstPart.size() + kDefaultArrayBytes);
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameArray(board.displayMemory(), full));
}

// A sender that stalls for a moment inside a transfer, as a busy computer may, still gets
// its picture shown.
TEST(ReceiverSketch, ShortStallInsideATransferIsBridged)
{
    const DisplayArray array = patternArray(167, 13);
    const auto bytes = array.bytes();

    SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    sendOverLine(board.portName(), bytes.first(500));
    board.runUntilLineIdle(kShortStall);
    sendOverLine(board.portName(), bytes.subspan(500));
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), kDefaultArrayBytes);
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameArray(board.displayMemory(), array));
}

// Back to back, as when the button is pressed again before the first array has left the
// port: the sketch writes the display while the second frame is already arriving.
TEST(ReceiverSketch, TwoTransfersInARowShowTheSecond)
{
    const DisplayArray first = patternArray(167, 13);
    const DisplayArray second = patternArray(45, 128);

    SimulatedBoard board(PIXELCAST_RECEIVER_ELF);
    sendOverLine(board.portName(), concatenated(first, second));
    board.runUntilLineIdle(kDrawTime);

    EXPECT_EQ(board.bytesDelivered(), 2 * kDefaultArrayBytes);
    EXPECT_FALSE(board.receiveQueueOverflowed());
    EXPECT_TRUE(sameArray(board.displayMemory(), second));
}

} // namespace
} // namespace pixelcast::test
