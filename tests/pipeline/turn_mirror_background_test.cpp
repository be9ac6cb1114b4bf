// The picture options that act before the stretch: the turn and the mirroring of a picture
// whose corners differ, in the still road and the animation road alike, and the background
// that transparent pixels and the keep-aspect bars take.
#include "pipeline/conversion.h"
#include "support/gif_writer.h"
#include "support/test_files.h"

#include <QFile>

#include <gtest/gtest.h>
#include <string>

namespace pixelcast {
namespace {

struct OrientationRow {
    const char* name;
    Rotation rotation;
    Flip flip;
    int width;            // of the turned picture
    const char* expected; // its rows top down, '#' for white
};

class TurnAndMirror : public testing::TestWithParam<OrientationRow> {};

// The picture "##.." over "#...", white on black, on a display of the turned picture's
// size: each pixel lands on one display pixel.
TEST_P(TurnAndMirror, MoveEveryCornerWhereItBelongs)
{
    const OrientationRow& row = GetParam();
    test::AnimatedGifLayout gif;
    gif.frames = {test::solidFrame(0, 0, 4, 2, 0)};
    gif.frames[0].indices = {4, 4, 0, 0, 4, 0, 0, 0};
    const QByteArray bytes = test::writeAnimatedGif(gif);
    ConversionSettings settings;
    settings.options.rotation = row.rotation;
    settings.options.flip = row.flip;
    settings.display.size = {row.width, 8 / row.width};
    const ConvertedPicture still = convertBytes(bytes, settings);
    std::string seen;
    for (int y = 0; y < settings.display.size.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
            seen += still.frames.front().result.read(x, y) == kWhite ? '#' : '.';
        }
    }
    EXPECT_EQ(seen, row.expected);
    // The animation road turns every frame alike.
    const ConvertedPicture frames = convertBytes(bytes, settings, FrameRange{1, 0});
    ASSERT_EQ(frames.frames.size(), 1U);
    EXPECT_TRUE(std::ranges::equal(frames.frames.front().array.bytes(),
                                   still.frames.front().array.bytes()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TurnAndMirror,
    testing::Values(
        OrientationRow{"upright", Rotation::None, Flip::None, 4, "##..#..."},
        OrientationRow{"rotate_90", Rotation::Quarter, Flip::None, 2, "##.#...."},
        OrientationRow{"rotate_180", Rotation::Half, Flip::None, 4, "...#..##"},
        OrientationRow{"rotate_270", Rotation::ThreeQuarters, Flip::None, 2, "....#.##"},
        OrientationRow{"flip_horizontal", Rotation::None, Flip::Horizontal, 4, "..##...#"},
        OrientationRow{"flip_vertical", Rotation::None, Flip::Vertical, 4, "#...##.."},
        OrientationRow{"rotate_90_flip_horizontal", Rotation::Quarter, Flip::Horizontal, 2,
                       "###....."},
        OrientationRow{"rotate_90_flip_vertical", Rotation::Quarter, Flip::Vertical, 2,
                       ".....###"}),
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
    settings.display.size = {128, 128};
    settings.options.keepAspect = true;
    settings.options.background = row.background;
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
