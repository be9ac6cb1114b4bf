// The picture options' rules: the Bayer matrix, the error diffusions and the ordered
// pattern on small hand-checked frames, inversion, the keep-aspect rectangle and the area
// mean's spans and rounding.
#include "pixels/dither.h"
#include "pixels/stretch.h"
#include "support/expect_surface.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

TEST(Bayer, IsTheEightByEightIndexMatrix)
{
    const int expected[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
        {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
        {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(bayerIndex(x, y), expected[y % 8][x % 8]) << x << ", " << y;
        }
    }
}

// A 4 x 4 grey frame (rows top down) and the rendering expected of it, '#' for white.
struct RenderRow {
    const char* name;
    RenderOptions options;
    int level;
    std::vector<int> greys;
    const char* expected;
};

class Rendering : public testing::TestWithParam<RenderRow> {};

TEST_P(Rendering, GivesTheHandCheckedPattern)
{
    const RenderRow& row = GetParam();
    Surface grey(4, 4, kBlack);
    for (int i = 0; i < 16; ++i) {
        const int g = row.greys[static_cast<std::size_t>(i)];
        grey.write(i % 4, i / 4, rgb(g, g, g));
    }
    Surface result(4, 4, kFaceColour);
    int refreshes = 0;
    renderPicture(grey, result, static_cast<std::int16_t>(row.level), row.options,
                  [&] { ++refreshes; });
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(test::surfaceMatches(
        result, [&](int x, int y) { return row.expected[y * 4 + x] == '#' ? kWhite : kBlack; }));
}

constexpr RenderOptions kPlain{};
constexpr RenderOptions kFloyd{Dither::FloydSteinberg, false, false, false};
constexpr RenderOptions kAtkinson{Dither::Atkinson, false, false, false};
constexpr RenderOptions kOrdered{Dither::Ordered, false, false, false};
constexpr RenderOptions kFloydInverted{Dither::FloydSteinberg, true, false, false};
constexpr RenderOptions kPlainInverted{Dither::None, true, false, false};

const std::vector<int> kFlat100(16, 100);
const std::vector<int> kFlat127(16, 127);
// A ramp whose white pixels send negative errors on (truncated toward zero, not floored).
const std::vector<int> kRamp{200, 10, 90, 140, 60, 130, 20, 250, 0, 255, 128, 70, 30, 180, 110, 5};

// Worked by hand, pixel by pixel in the visiting order. Flat 100 under Floyd-Steinberg:
// (0,0) v=100 black, e=100 sends 43 right, 31 below, 6 below right; (1,0) v=143 white,
// e=-112 sends -49 right, -21 below left, -35 below, -7 below right; and so on.
INSTANTIATE_TEST_SUITE_P(
    Rows, Rendering,
    testing::Values(RenderRow{"threshold", kPlain, 127, kRamp, "#..#.#.#.##..#.."},
                    RenderRow{"threshold_inverted", kPlainInverted, 127, kRamp, ".##.#.#.#..##.##"},
                    RenderRow{"floyd_flat", kFloyd, 127, kFlat100, ".#...#.#.#....#."},
                    RenderRow{"floyd_ramp", kFloyd, 127, kRamp, "#..#.#.#.#...##."},
                    RenderRow{"floyd_inverted", kFloydInverted, 127, kFlat100, "#.###.#.#.####.#"},
                    RenderRow{"atkinson_flat", kAtkinson, 127, kFlat100, "...#.#...##....#"},
                    RenderRow{"atkinson_ramp", kAtkinson, 127, kRamp, "#..#.#.#.#...##."},
                    // Grey equal to the level: white exactly where the index is below 32.
                    RenderRow{"ordered_at_level", kOrdered, 127, kFlat127, "#.#..#.##.#..#.#"},
                    RenderRow{"ordered_flat", kOrdered, 127, kFlat100, "#.#..#.##.#....#"}),
    [](const testing::TestParamInfo<RenderRow>& row) { return std::string(row.param.name); });

struct PlacementRow {
    int sw;
    int sh;
    bool keepAspect;
    StretchRect expected;
};

class Placement : public testing::TestWithParam<PlacementRow> {};

TEST_P(Placement, IsTheCentredRectangleOfThePicturesProportions)
{
    const PlacementRow& row = GetParam();
    EXPECT_EQ(stretchPlacement(row.sw, row.sh, kDisplayWidth, kDisplayHeight, row.keepAspect),
              row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Placement,
    testing::Values(PlacementRow{4000, 1000, true, {0, 16, 128, 32}},   // wide
                    PlacementRow{100, 400, true, {56, 0, 16, 64}},      // tall: 6600/400
                    PlacementRow{300, 100, true, {0, 10, 128, 43}},     // 42.67 rounds to 43
                    PlacementRow{256, 128, true, {0, 0, 128, 64}},      // exactly 2:1
                    PlacementRow{1000, 1, true, {0, 31, 128, 1}},       // tiny: at least 1 high
                    PlacementRow{1, 1000, true, {63, 0, 1, 64}},        // tiny: at least 1 wide
                    PlacementRow{4000, 1000, false, {0, 0, 128, 64}})); // the whole frame

TEST(AreaStretch, SpansCoverTheSourceWhereItIsLongerOnly)
{
    using Spans = std::vector<SourceSpan>;
    EXPECT_EQ(stretchSpans(5, 2, true), (Spans{{0, 2}, {2, 3}}));
    EXPECT_EQ(stretchSpans(7, 3, true), (Spans{{0, 2}, {2, 2}, {4, 3}}));
    // Not longer: the pixel under each centre, as without smoothing.
    EXPECT_EQ(stretchSpans(2, 5, true), (Spans{{0, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}}));
    EXPECT_EQ(stretchSpans(5, 2, false), (Spans{{1, 1}, {3, 1}}));
}

struct MeanRow {
    std::vector<int> reds; // one source row, stretched onto one pixel
    int expected;
};

class AreaMean : public testing::TestWithParam<MeanRow> {};

TEST_P(AreaMean, RoundsHalvesUp)
{
    const MeanRow& row = GetParam();
    const auto n = static_cast<int>(row.reds.size());
    Surface source(n, 1, kBlack);
    for (int x = 0; x < n; ++x) {
        const int r = row.reds[static_cast<std::size_t>(x)];
        source.write(x, 0, rgb(r, r, 7));
    }
    Surface target(1, 1, kFaceColour);
    stretchOnto(source, target, kFaceColour, RenderOptions{Dither::None, false, true, false});
    EXPECT_EQ(target.read(0, 0), rgb(row.expected, row.expected, 7));
}

INSTANTIATE_TEST_SUITE_P(Rows, AreaMean,
                         testing::Values(MeanRow{{2, 3}, 3},       // 2.5 up
                                         MeanRow{{0, 1, 1}, 1},    // 0.67
                                         MeanRow{{0, 0, 1}, 0},    // 0.33
                                         MeanRow{{255, 254}, 255}, // 254.5
                                         MeanRow{{9, 9, 9, 9}, 9}));

TEST(KeepAspect, LeavesTheRestOfTheFrameBlack)
{
    Surface source(4, 1, kWhite);
    Surface target(kDisplayWidth, kDisplayHeight, kFaceColour);
    stretchOnto(source, target, kFaceColour, RenderOptions{Dither::None, false, false, true});
    EXPECT_TRUE(test::surfaceMatches(
        target, [](int, int y) { return y >= 16 && y < 48 ? kWhite : kBlack; }));
}

} // namespace
} // namespace pixelcast
