// The byte layouts: which bit of which byte each pixel of the display becomes.
#include "display/column_bytes.h"
#include "display/display_array.h"
#include "support/expect_surface.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

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

namespace pixelcast {
namespace {

// One lit pixel of a W x H picture, the byte and bit each layout puts it in.
struct LayoutRow {
    const char* layout;
    DisplaySize size;
    int x;
    int y;
    std::size_t bytes;
    std::size_t index;
    std::uint8_t mask;
};

class LayoutPlace : public testing::TestWithParam<LayoutRow> {};

TEST_P(LayoutPlace, OneLitPixelSetsOneBitOfOneByte)
{
    const LayoutRow& row = GetParam();
    const ByteLayout* layout = layoutNamed(row.layout);
    ASSERT_NE(layout, nullptr);
    Surface picture(row.size.width, row.size.height, kBlack);
    picture.write(row.x, row.y, kWhite);
    const DisplayArray array = packDisplay(picture, {row.size, layout});
    ASSERT_EQ(array.size(), row.bytes);
    DisplayArray expected({row.size, layout});
    expected[row.index] = row.mask;
    EXPECT_TRUE(test::sameArray(array, expected));
    EXPECT_EQ(unpackDisplay(array), picture);
}

// Corners and page and byte edges, at sizes whose sides are and are not multiples of 8.
INSTANTIATE_TEST_SUITE_P(Rows, LayoutPlace,
                         testing::Values(LayoutRow{"vertical", {128, 32}, 127, 31, 512, 511, 0x80},
                                         LayoutRow{"vertical", {10, 12}, 3, 9, 20, 7, 0x02},
                                         LayoutRow{
                                             "pages", {128, 64}, 5, 42, 1024, 5 * 128 + 5, 0x04},
                                         LayoutRow{"pages", {10, 12}, 9, 8, 20, 19, 0x01},
                                         LayoutRow{"pages", {10, 12}, 0, 11, 20, 10, 0x08},
                                         LayoutRow{"rows", {128, 64}, 0, 0, 1024, 0, 0x80},
                                         LayoutRow{"rows", {128, 64}, 127, 63, 1024, 1023, 0x01},
                                         LayoutRow{"rows", {10, 3}, 9, 2, 6, 5, 0x40},
                                         LayoutRow{"rows", {10, 3}, 8, 1, 6, 3, 0x80},
                                         LayoutRow{"xbm", {16, 16}, 0, 0, 32, 0, 0x01},
                                         LayoutRow{"xbm", {10, 3}, 9, 2, 6, 5, 0x02},
                                         LayoutRow{"xbm", {1, 1}, 0, 0, 1, 0, 0x01}),
                         [](const testing::TestParamInfo<LayoutRow>& row) {
                             return std::string(row.param.layout) + "_" +
                                    std::to_string(row.param.size.width) + "x" +
                                    std::to_string(row.param.size.height) + "_" +
                                    std::to_string(row.param.x) + "_" + std::to_string(row.param.y);
                         });

TEST(Layouts, EveryLayoutGivesBackAnyPictureItPacked)
{
    std::mt19937 random(7);
    for (const ByteLayout* layout : allLayouts()) {
        for (const DisplaySize size : {DisplaySize{128, 64}, DisplaySize{13, 11}}) {
            Surface picture(size.width, size.height, kBlack);
            for (int x = 0; x < size.width; ++x) {
                for (int y = 0; y < size.height; ++y) {
                    picture.write(x, y, (random() & 1U) != 0 ? kWhite : kBlack);
                }
            }
            const DisplayArray array = packDisplay(picture, {size, layout});
            EXPECT_EQ(unpackDisplay(array), picture) << layout->name();
            EXPECT_EQ(repack(repack(array, xbmLayout()), *layout), array) << layout->name();
        }
    }
}

TEST(DisplaySizes, AreWidthByHeightFromOneToTenTwentyFour)
{
    EXPECT_EQ(parseDisplaySize("128x32"), (DisplaySize{128, 32}));
    EXPECT_EQ(parseDisplaySize("1x1024"), (DisplaySize{1, 1024}));
    EXPECT_EQ(parseDisplaySize("128X64"), (DisplaySize{128, 64}));
    EXPECT_EQ(parseDisplaySize("72\xC3\x97"
                               "40"),
              (DisplaySize{72, 40}));
    for (const char* text :
         {"", "128", "0x5", "1025x1", "12x", "x12", "+8x8", "8x8x8", "8xX8", "8 x8", "8\xC3"}) {
        EXPECT_FALSE(parseDisplaySize(text).has_value()) << text;
    }
}

} // namespace
} // namespace pixelcast
