// The exact pixel rules: greyscale weights and rounding, the threshold.
#include "display/display_size.h"
#include "pixels/greyscale.h"
#include "pixels/threshold.h"
#include "support/expect_surface.h"

#include <gtest/gtest.h>
#include <vector>

namespace pixelcast {
namespace {

Surface frame(ColorRef fill = kBlack)
{
    return {kDisplayWidth, kDisplayHeight, fill};
}

// --- Surface ---------------------------------------------------------------------------

TEST(Surface, StartsFilledAndReadsBackWhatWasWritten)
{
    Surface s(3, 2, kFaceColour);
    EXPECT_EQ(s.width(), 3);
    EXPECT_EQ(s.height(), 2);
    EXPECT_EQ(s.read(2, 1), kFaceColour);
    s.write(2, 1, rgb(1, 2, 3));
    EXPECT_EQ(s.read(2, 1), rgb(1, 2, 3));
    EXPECT_EQ(s.read(1, 1), kFaceColour);
    s.fill(kWhite);
    EXPECT_TRUE(test::surfaceMatches(s, [](int, int) { return kWhite; }));
}

TEST(Surface, AccessOutsideTheGridIsHarmless)
{
    Surface s(2, 2, kWhite);
    s.write(-1, 0, kBlack);
    s.write(2, 0, kBlack);
    s.write(0, 2, kBlack);
    EXPECT_TRUE(test::surfaceMatches(s, [](int, int) { return kWhite; }));
    EXPECT_EQ(s.read(5, 5), kBlack);
    EXPECT_TRUE(Surface(0, 7, kWhite).isEmpty());
    EXPECT_TRUE(Surface(-3, 7, kWhite).isEmpty());
}

// --- Greyscale -------------------------------------------------------------------------

struct GreyRow {
    ColorRef colour;
    int grey;
};

class GreyscaleRounding : public testing::TestWithParam<GreyRow> {};

TEST_P(GreyscaleRounding, WeightsRoundOnceToFloatThenHalfToEven)
{
    Surface s = frame(GetParam().colour);
    toGreyscale(s);
    const int g = GetParam().grey;
    EXPECT_TRUE(test::surfaceMatches(s, [g](int, int) { return rgb(g, g, g); }));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GreyscaleRounding,
    testing::Values(GreyRow{rgb(255, 0, 0), 76},  // 76.5: the float is exactly .5, even is 76
                    GreyRow{rgb(0, 255, 0), 150}, // 150.45
                    GreyRow{rgb(0, 0, 255), 28},  // 28.05
                    GreyRow{kWhite, 255}, GreyRow{kBlack, 0},
                    GreyRow{rgb(5, 0, 0), 2},         // 1.5 rounds up to the even 2
                    GreyRow{rgb(15, 0, 0), 4},        // 4.5 rounds down to the even 4
                    GreyRow{rgb(1, 0, 0), 0},         // 0.3
                    GreyRow{rgb(0, 1, 0), 1},         // 0.59
                    GreyRow{rgb(100, 150, 200), 140}, // 140.5, even neighbour below
                    GreyRow{rgb(0x99, 0x66, 0x33), 112},
                    // The double sums are just under .5 (47.49999999999999); only the
                    // rounding to float first makes them halves that go to the even side.
                    GreyRow{rgb(1, 80, 0), 48}, GreyRow{rgb(2, 110, 0), 66},
                    GreyRow{rgb(11, 180, 0), 110}, GreyRow{rgb(12, 210, 0), 128}));

TEST(Greyscale, EqualChannelsKeepTheirValue)
{
    for (int v = 0; v <= 255; ++v) {
        EXPECT_EQ(greyOf(rgb(v, v, v)), v) << "grey " << v;
    }
}

TEST(Greyscale, HookRunsAfterEachFinishedColumnAndMaySeeTheWorkSoFar)
{
    Surface s = frame(rgb(255, 0, 0));
    int columnsDone = 0;
    toGreyscale(s, [&] {
        // The column just finished is grey, the next one is still untouched.
        EXPECT_EQ(s.read(columnsDone, kDisplayHeight - 1), rgb(76, 76, 76));
        EXPECT_EQ(s.read(columnsDone + 1, 0),
                  columnsDone + 1 < kDisplayWidth ? rgb(255, 0, 0) : kBlack);
        ++columnsDone;
    });
    EXPECT_EQ(columnsDone, kDisplayWidth);
}

TEST(Greyscale, WritesMadeByTheHookToLaterColumnsAreConverted)
{
    // Something running between columns (a second load) may rewrite the surface; the
    // conversion goes on with the next column and converts what it finds there.
    Surface s = frame(kWhite);
    toGreyscale(s, [&] {
        if (s.read(0, 0) == kWhite && s.read(1, 0) == kWhite) {
            s.fill(rgb(0, 255, 0));
        }
    });
    EXPECT_EQ(s.read(0, 0), rgb(0, 255, 0)); // finished before the rewrite
    EXPECT_EQ(s.read(1, 0), rgb(150, 150, 150));
    EXPECT_EQ(s.read(127, 63), rgb(150, 150, 150));
}

// --- Threshold -------------------------------------------------------------------------

struct ThresholdRow {
    ColorRef colour;
    std::int16_t threshold;
    ColorRef expected;
};

class ThresholdRule : public testing::TestWithParam<ThresholdRow> {};

TEST_P(ThresholdRule, BlackOnlyWhenEveryChannelIsAtMostTheLevel)
{
    const Surface scaled = frame(GetParam().colour);
    Surface result = frame(kFaceColour);
    renderMonochrome(scaled, result, GetParam().threshold);
    const ColorRef want = GetParam().expected;
    EXPECT_TRUE(test::surfaceMatches(result, [want](int, int) { return want; }));
}

INSTANTIATE_TEST_SUITE_P(Rows, ThresholdRule,
                         testing::Values(ThresholdRow{rgb(127, 127, 127), 127, kBlack},
                                         ThresholdRow{rgb(128, 128, 128), 127, kWhite},
                                         ThresholdRow{rgb(0, 0, 0), 0, kBlack},
                                         ThresholdRow{rgb(1, 0, 0), 0, kWhite},
                                         ThresholdRow{rgb(0, 0, 1), 0, kWhite},
                                         ThresholdRow{rgb(254, 254, 254), 254, kBlack},
                                         ThresholdRow{rgb(254, 255, 254), 254, kWhite},
                                         ThresholdRow{kWhite, 254, kWhite},
                                         ThresholdRow{rgb(200, 10, 10), 127, kWhite},
                                         ThresholdRow{kFaceColour, 127, kWhite}));

TEST(Threshold, RefreshesOnceAfterTheWholeSurfaceIsWritten)
{
    Surface scaled = frame(kBlack);
    scaled.write(127, 63, kWhite);
    Surface result = frame(kFaceColour);
    int refreshes = 0;
    renderMonochrome(scaled, result, 127, [&] {
        ++refreshes;
        EXPECT_EQ(result.read(127, 63), kWhite); // the last pixel is already written
    });
    EXPECT_EQ(refreshes, 1);
}

TEST(Threshold, RenderingTwiceGivesTheSameSurface)
{
    Surface scaled = frame();
    for (int x = 0; x < kDisplayWidth; ++x) {
        for (int y = 0; y < kDisplayHeight; ++y) {
            scaled.write(x, y, rgb(x * 2, x * 2, x * 2));
        }
    }
    Surface first = frame(kFaceColour);
    renderMonochrome(scaled, first, 100);
    Surface second = first;
    renderMonochrome(scaled, second, 100);
    EXPECT_TRUE(test::sameSurface(second, first));
    EXPECT_EQ(first.read(50, 0), kBlack); // 100
    EXPECT_EQ(first.read(51, 0), kWhite); // 102
}

} // namespace
} // namespace pixelcast
