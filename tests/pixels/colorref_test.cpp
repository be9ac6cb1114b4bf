#include "pixels/colorref.h"

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

TEST(ColorRef, NamedColoursAreTheirChannels)
{
    EXPECT_EQ(rgb(255, 255, 255), kWhite);
    EXPECT_EQ(rgb(0, 0, 0), kBlack);
    EXPECT_EQ(rgb(0x12, 0x34, 0x56), 0x563412U);
}

TEST(ColorRef, ExtractionGivesBackEachChannel)
{
    const ColorRef c = rgb(0x99, 0x66, 0x33);
    EXPECT_EQ(redOf(c), 0x99);
    EXPECT_EQ(greenOf(c), 0x66);
    EXPECT_EQ(blueOf(c), 0x33);
}

TEST(ColorRef, ExtractionTruncatesTowardZeroOnTheSignedValue)
{
    // With bit 31 set the value is negative; division truncates toward zero, which is not
    // the same as shifting: -1 / 256 is 0, so green and blue read 0, not 0xFF.
    EXPECT_EQ(redOf(0xFFFFFFFFU), 0xFF);
    EXPECT_EQ(greenOf(0xFFFFFFFFU), 0);
    EXPECT_EQ(blueOf(0xFFFFFFFFU), 0);
    // -0x1000000 / 256 = -0x10000 exactly: masking gives 0 green; / 65536 = -0x100, 0 blue.
    EXPECT_EQ(greenOf(0xFF000000U), 0);
    EXPECT_EQ(blueOf(0xFF000000U), 0);
}

} // namespace
} // namespace pixelcast
