// The picture options that act before the stretch: the turn and the mirroring of a picture
// whose corners differ, in the still road and the animation road alike, and the background
// that transparent pixels and the keep-aspect bars take.
#include "pipeline/conversion.h"
#include "support/gif_writer.h"
#include "support/test_files.h"

#include <QFile>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

// Black and white rows, '#' for white.
using Rows = std::vector<std::string>;

// A GIF of `rows`, white (palette entry 4) on black.
QByteArray gifOf(const Rows& rows)
{
    const int width = static_cast<int>(rows.front().size());
    const int height = static_cast<int>(rows.size());
    test::GifFrameLayout frame = test::solidFrame(0, 0, width, height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            frame.indices[static_cast<std::size_t>(y * width + x)] =
                rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#' ? 4 : 0;
        }
    }
    test::AnimatedGifLayout layout;
    layout.screenWidth = width;
    layout.screenHeight = height;
    layout.frames = {frame};
    return test::writeAnimatedGif(layout);
}

Rows rowsOf(const Surface& result)
{
    Rows rows(static_cast<std::size_t>(result.height()),
              std::string(static_cast<std::size_t>(result.width()), '.'));
    for (int y = 0; y < result.height(); ++y) {
        for (int x = 0; x < result.width(); ++x) {
            if (result.read(x, y) == kWhite) {
                rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = '#';
            }
        }
    }
    return rows;
}

struct OrientationRow {
    const char* name;
    Rotation rotation;
    Flip flip;
    Rows expected;
};

class TurnAndMirror : public testing::TestWithParam<OrientationRow> {};

// On a display of the turned picture's size each pixel lands on one display pixel.
TEST_P(TurnAndMirror, MoveEveryCornerWhereItBelongs)
{
    const OrientationRow& row = GetParam();
    const QByteArray gif = gifOf({"##..", "#..."});
    ConversionSettings settings;
    settings.options.rotation = row.rotation;
    settings.options.flip = row.flip;
    settings.display.size = {static_cast<int>(row.expected.front().size()),
                             static_cast<int>(row.expected.size())};
    const ConvertedPicture still = convertBytes(gif, settings);
    EXPECT_EQ(rowsOf(still.frames.front().result), row.expected);
    // The animation road turns every frame alike.
    const ConvertedPicture frames = convertBytes(gif, settings, FrameRange{1, 0});
    ASSERT_EQ(frames.frames.size(), 1U);
    EXPECT_TRUE(std::ranges::equal(frames.frames.front().array.bytes(),
                                   still.frames.front().array.bytes()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TurnAndMirror,
    testing::Values(
        OrientationRow{"upright", Rotation::None, Flip::None, {"##..", "#..."}},
        OrientationRow{"rotate_90", Rotation::Quarter, Flip::None, {"##", ".#", "..", ".."}},
        OrientationRow{"rotate_180", Rotation::Half, Flip::None, {"...#", "..##"}},
        OrientationRow{"rotate_270", Rotation::ThreeQuarters, Flip::None, {"..", "..", "#.", "##"}},
        OrientationRow{"flip_horizontal", Rotation::None, Flip::Horizontal, {"..##", "...#"}},
        OrientationRow{"flip_vertical", Rotation::None, Flip::Vertical, {"#...", "##.."}},
        OrientationRow{"rotate_90_flip_horizontal",
                       Rotation::Quarter,
                       Flip::Horizontal,
                       {"##", "#.", "..", ".."}},
        OrientationRow{"rotate_90_flip_vertical",
                       Rotation::Quarter,
                       Flip::Vertical,
                       {"..", "..", ".#", "##"}}),
    [](const testing::TestParamInfo<OrientationRow>& row) { return std::string(row.param.name); });

struct BackgroundRow {
    const char* name;
    Background background;
    int level;
    bool barWhite;
    bool transparentWhite;
};

class BackgroundColour : public testing::TestWithParam<BackgroundRow> {};

// The GIF is red on its left half and transparent on its right; on a square display kept in
// proportion it leaves bars above and below. The levels pin each colour down: panel grey is
// 240, white 255 and black 0.
TEST_P(BackgroundColour, IsUnderTransparentPixelsAndInTheBars)
{
    const BackgroundRow& row = GetParam();
    QFile file(test::dataFile(QStringLiteral("transparent-4x2.gif")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ConversionSettings settings;
    settings.level = static_cast<std::int16_t>(row.level);
    settings.options.keepAspect = true;
    settings.options.background = row.background;
    settings.display.size = {128, 128};
    const Surface result = convertBytes(file.readAll(), settings).frames.front().result;
    EXPECT_EQ(result.read(0, 0) == kWhite, row.barWhite);
    EXPECT_EQ(result.read(127, 127) == kWhite, row.barWhite);
    EXPECT_EQ(result.read(127, 64) == kWhite, row.transparentWhite);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BackgroundColour,
    testing::Values(BackgroundRow{"panel", Background::Panel, 239, false, true},
                    BackgroundRow{"panel_at_its_grey", Background::Panel, 240, false, false},
                    BackgroundRow{"white", Background::White, 254, true, true},
                    BackgroundRow{"black", Background::Black, 0, false, false}),
    [](const testing::TestParamInfo<BackgroundRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace pixelcast
