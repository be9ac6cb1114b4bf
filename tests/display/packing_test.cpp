// The byte layouts: which bit of which byte each pixel of the display becomes.
#include "display/column_bytes.h"
#include "display/display_array.h"
#include "support/expect_surface.h"

#include <gtest/gtest.h>
#include <random>

namespace pixelcast {
namespace {

Surface frame(ColorRef fill = kBlack)
{
    return {kDisplayWidth, kDisplayHeight, fill};
}

DisplayArray packed(const Surface& result)
{
    DisplayArray array;
    buildDisplayArray(result, array);
    return array;
}

DisplayArray filledArray(std::uint8_t value)
{
    DisplayArray array;
    for (std::size_t i = 0; i < kDefaultArrayBytes; ++i) {
        array[i] = value;
    }
    return array;
}

TEST(Packing, WholeSurfaces)
{
    EXPECT_TRUE(test::sameArray(packed(frame(kWhite)), filledArray(0xFF)));
    EXPECT_TRUE(test::sameArray(packed(frame(kBlack)), filledArray(0x00)));
    // Only exact white is a 1 bit.
    EXPECT_TRUE(test::sameArray(packed(frame(kFaceColour)), filledArray(0x00)));
    EXPECT_TRUE(test::sameArray(packed(frame(rgb(255, 255, 254))), filledArray(0x00)));
    EXPECT_TRUE(test::sameArray(DisplayArray{}, filledArray(0x00)));
}

struct PixelRow {
    int x;
    int y;
    std::size_t index;
    std::uint8_t value;
};

class PackingPosition : public testing::TestWithParam<PixelRow> {};

TEST_P(PackingPosition, OneWhitePixelSetsOneBitOfOneByte)
{
    Surface result = frame(kBlack);
    result.write(GetParam().x, GetParam().y, kWhite);
    DisplayArray expected;
    expected[GetParam().index] = GetParam().value;
    EXPECT_TRUE(test::sameArray(packed(result), expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, PackingPosition,
                         testing::Values(PixelRow{0, 0, 0, 0x01}, PixelRow{0, 7, 0, 0x80},
                                         PixelRow{0, 8, 1, 0x01}, PixelRow{1, 0, 8, 0x01},
                                         PixelRow{63, 63, 511, 0x80}, PixelRow{64, 0, 512, 0x01},
                                         PixelRow{127, 63, 1023, 0x80},
                                         PixelRow{5, 42, 5 * 8 + 5, 0x04}));

TEST(Packing, TopEightRowsOfColumnZero)
{
    Surface result = frame(kBlack);
    for (int y = 0; y < 8; ++y) {
        result.write(0, y, kWhite);
    }
    const DisplayArray array = packed(result);
    EXPECT_EQ(array[0], 0xFF);
    EXPECT_EQ(array[1], 0x00);
    EXPECT_EQ(array[8], 0x00);
}

TEST(Packing, ColumnByteOrderIsTopPixelInTheLowestBit)
{
    Surface result = frame(kBlack);
    result.write(3, 10, kWhite); // k = 2
    result.write(3, 15, kWhite); // k = 7
    EXPECT_EQ(packColumnByte(result, 3, 8), 0x84);
    EXPECT_EQ(packColumnByte(result, 3, 0), 0x00);
}

TEST(Packing, RandomSurfaceMatchesTheLayoutPixelByPixel)
{
    // Computed independently of the packer: every pixel decides one bit at
    // index column * 8 + row / 8, bit row % 8.
    std::mt19937 random(12345);
    Surface result = frame(kBlack);
    for (int y = 0; y < kDisplayHeight; ++y) {
        for (int x = 0; x < kDisplayWidth; ++x) {
            result.write(x, y, (random() & 1U) != 0 ? kWhite : kBlack);
        }
    }
    DisplayArray expected;
    for (int y = 0; y < kDisplayHeight; ++y) {
        for (int x = 0; x < kDisplayWidth; ++x) {
            if (result.read(x, y) == kWhite) {
                const std::size_t i = verticalIndex(x, y / 8);
                expected[i] = static_cast<std::uint8_t>(expected[i] | (1U << (y % 8)));
            }
        }
    }
    const DisplayArray first = packed(result);
    EXPECT_TRUE(test::sameArray(first, expected));
    EXPECT_TRUE(test::sameArray(packed(result), first));
}

} // namespace
} // namespace pixelcast
