// A picture held on the one road: the rule for what an option change asks of its frames,
// the rule applied from the bytes it holds, its one-byte grey frames, and its arrays
// against the converter's.
#include "decoders/animation.h"
#include "errors/error.h"
#include "pipeline/loaded_picture.h"
#include "pixels/greyscale.h"
#include "pixels/stretch.h"
#include "support/expect_surface.h"
#include "support/gif_writer.h"
#include "support/test_files.h"

#include <QFile>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

struct RefitRow {
    const char* name;
    RenderOptions after;
    DisplaySize size;
    Refit expected;
};

void PrintTo(const RefitRow& row, std::ostream* out)
{
    *out << row.name;
}

// From the plain options on the default display.
class RefitRule : public testing::TestWithParam<RefitRow> {};

TEST_P(RefitRule, SaysWhatAChangeNeeds)
{
    EXPECT_EQ(refitFor({}, kDefaultDisplay, GetParam().after, GetParam().size),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RefitRule,
    testing::Values(
        RefitRow{"level_options_only", {Dither::Atkinson, true}, kDefaultDisplay, Refit::None},
        RefitRow{"smooth", {Dither::None, false, true}, kDefaultDisplay, Refit::Restretch},
        RefitRow{
            "keep_aspect", {Dither::None, false, false, true}, kDefaultDisplay, Refit::Restretch},
        RefitRow{
            "flip",
            {Dither::None, false, false, false, Background::Panel, Rotation::None, Flip::Vertical},
            kDefaultDisplay,
            Refit::Restretch},
        RefitRow{"half_turn",
                 {Dither::None, false, false, false, Background::Panel, Rotation::Half},
                 kDefaultDisplay,
                 Refit::Restretch},
        RefitRow{"display_size", {}, {72, 40}, Refit::Restretch},
        RefitRow{"background",
                 {Dither::None, false, false, false, Background::White},
                 kDefaultDisplay,
                 Refit::Decode},
        RefitRow{"quarter_turn",
                 {Dither::None, false, false, false, Background::Panel, Rotation::Quarter},
                 kDefaultDisplay,
                 Refit::Decode},
        RefitRow{"three_quarter_turn_and_smooth",
                 {Dither::None, false, true, false, Background::Panel, Rotation::ThreeQuarters},
                 kDefaultDisplay,
                 Refit::Decode}),
    [](const testing::TestParamInfo<RefitRow>& row) { return std::string(row.param.name); });

// 6 x 4 with a transparent corner, so that the background shows, and wider than high, so
// that a quarter turn shows.
QByteArray transparentGif()
{
    AnimatedGifLayout layout;
    layout.screenWidth = 6;
    layout.screenHeight = 4;
    GifFrameLayout frame{0, 0, 6, 4, {}, 0, 10, 7};
    for (int i = 0; i < 24; ++i) {
        frame.indices.push_back(static_cast<std::uint8_t>(i < 3 ? 7 : i % 6));
    }
    layout.frames = {frame};
    return writeAnimatedGif(layout);
}

// After each change of options on a still that has loaded, the frame is the one a fresh
// load at the new options gives, read from the bytes held: the file is gone by then.
TEST(LoadedPicture, RefitsAStillFromTheBytesItHolds)
{
    const ScratchDir scratch;
    const QString file = scratch.write(QStringLiteral("corner.gif"), transparentGif());
    LoadedPicture picture = LoadedPicture::readFile(file);
    Surface source;
    (void)picture.loadStill({}, kDefaultDisplay, source);
    ASSERT_TRUE(QFile::remove(file));

    const RenderOptions white{Dither::None, false, false, false, Background::White};
    const RenderOptions turned{Dither::None,     false, true, false, Background::White,
                               Rotation::Quarter};
    const RenderOptions smooth{Dither::None, false, true, false, Background::White};
    for (const auto& [options, size, expected] :
         {std::tuple{white, kDefaultDisplay, Refit::Decode},
          std::tuple{turned, kDefaultDisplay, Refit::Decode},
          std::tuple{smooth, kDefaultDisplay, Refit::Decode},
          std::tuple{smooth, DisplaySize{40, 24}, Refit::Restretch}}) {
        EXPECT_EQ(picture.refit(options, size, source), expected);
        LoadedPicture fresh(transparentGif());
        Surface freshSource;
        (void)fresh.loadStill(options, size, freshSource);
        EXPECT_TRUE(sameSurface(source, freshSource));
        EXPECT_TRUE(sameSurface(picture.greyFrame(0), fresh.greyFrame(0)));
    }
}

// The window's grey still, kept in a byte a pixel, is the surface the grey stage leaves on
// the picture decoded whole and stretched.
TEST(LoadedPicture, KeepsTheGreyStillTheStagesMake)
{
    const QString file = dataFile(QStringLiteral("plasma-64x64.jpg"));
    const RenderOptions options{Dither::None, false, true, true, Background::Black, Rotation::Half};
    const DisplaySize size{100, 50};
    Surface expected(size.width, size.height, kFaceColour);
    stretchOnto(loadPicture(file, kBlack), expected, kBlack, options);
    toGreyscale(expected);

    LoadedPicture picture = LoadedPicture::readFile(file);
    Surface source;
    (void)picture.loadStill(options, size, source);
    ASSERT_EQ(picture.frameCount(), 1U);
    EXPECT_TRUE(sameSurface(picture.greyFrame(0), expected));
}

// Every frame of an animation, rendered and packed, is the converter's, at a size other
// than the default and through a restretch; the grey frames hold the GIF's bars.
TEST(LoadedPicture, GivesTheConvertersFramesOfAnAnimation)
{
    const QByteArray gif = steppingGif({10, 20}, 3);
    const ConversionSettings settings{100, {Dither::FloydSteinberg, true}, {{16, 8}}};
    LoadedPicture picture(gif);
    Surface source;
    (void)picture.loadStill(settings.options, settings.display.size, source);
    picture.decodeFrames();
    ASSERT_EQ(picture.frameCount(), 2U);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_TRUE(surfaceMatches(picture.greyFrame(k), [k](int x, int) {
            return x / 4 == static_cast<int>(k) ? kWhite : kBlack;
        }));
    }

    ConversionSettings smooth = settings;
    smooth.options.smooth = true;
    smooth.display.size = {13, 11};
    EXPECT_EQ(picture.refit(smooth.options, smooth.display.size, source), Refit::Restretch);
    const ConvertedPicture expected = convertBytes(gif, smooth, FrameRange{1, 0});
    ASSERT_EQ(expected.frames.size(), picture.frameCount());
    EXPECT_EQ(picture.plays(), expected.plays);
    for (std::size_t k = 0; k < picture.frameCount(); ++k) {
        const ConvertedFrame frame = picture.convert(k, smooth);
        EXPECT_TRUE(sameArray(frame.array, expected.frames[k].array)) << "frame " << k + 1;
        EXPECT_EQ(frame.delayMs, expected.frames[k].delayMs);
    }
}

// An animation with a frame too many still loads as its first frame; the error waits for
// the frames to be asked for, and leaves the still as it is.
TEST(LoadedPicture, AFailureAmongTheLaterFramesWaitsForThem)
{
    AnimatedGifLayout layout;
    layout.screenWidth = 1;
    layout.screenHeight = 1;
    layout.frames.assign(kMaxFrames + 1, solidFrame(0, 0, 1, 1, 4));
    LoadedPicture picture(writeAnimatedGif(layout));
    Surface source;
    const LoadResult about = picture.loadStill({}, {4, 2}, source);
    EXPECT_EQ(about.frames, kMaxFrames + 1);
    const Surface still = picture.greyFrame(0);
    try {
        picture.decodeFrames();
        FAIL() << "the frames were decoded";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), ErrorCode::PictureTooLarge);
    }
    ASSERT_EQ(picture.frameCount(), 1U);
    EXPECT_TRUE(sameSurface(picture.greyFrame(0), still));
    EXPECT_TRUE(surfaceMatches(still, [](int, int) { return kWhite; }));
}

} // namespace
} // namespace pixelcast::test
