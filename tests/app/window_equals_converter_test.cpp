// The window's array equals the converter's for the same picture, level and picture
// options, whether the options were chosen before loading or changed afterwards, and a
// change re-renders at once.
#include "app/controller.h"
#include "controller_rig.h"
#include "pipeline/conversion.h"
#include "support/expect_surface.h"
#include "support/test_files.h"

#include <QImage>

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace pixelcast::test {
namespace {

// A photo-like picture larger than the display one way and smaller the other (so the
// stretch both averages and repeats), with soft tones for the dithers and, in the PNG,
// half-transparent pixels laid on the face colour.
QString makePicture(const ScratchDir& scratch, bool jpeg)
{
    const int width = jpeg ? 600 : 300;
    const int height = jpeg ? 280 : 50;
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255) / width;
            const int g = (y * 255) / height;
            const int b = ((x / 7 + y / 5) % 2) * 120 + 60;
            const int a = jpeg || (x + y) % 9 != 0 ? 255 : 100;
            image.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    const QString path =
        scratch.path(jpeg ? QStringLiteral("photo.jpg") : QStringLiteral("photo.png"));
    EXPECT_TRUE(image.save(path, jpeg ? "JPG" : "PNG"));
    return path;
}

using OptionsRow = std::tuple<bool, Dither, bool, bool, bool>; // jpeg, dither, invert, smooth, keep

class WindowAndConverter : public testing::TestWithParam<OptionsRow>, protected ControllerRig {
protected:
    ScratchDir scratch;
};

TEST_P(WindowAndConverter, GiveTheSameArray)
{
    const auto [jpeg, dither, invert, smooth, keepAspect] = GetParam();
    const RenderOptions options{dither, invert, smooth, keepAspect};
    constexpr int kLevel = 110;
    start();
    window.setLevelValue(kLevel);
    const QString picture = makePicture(scratch, jpeg);
    const ConvertedFrame expected = convertFile(picture, {kLevel, options, {}}).frames.front();

    // Changed after loading: the rendering follows at once, restretched from the source.
    backend.answers.push_back(picture);
    controller.onLoadImage();
    const int renders = window.refreshes[View::Result];
    controller.setRenderOptions(options);
    EXPECT_EQ(window.refreshes[View::Result], renders + 1);
    EXPECT_TRUE(sameSurface(controller.state().result, expected.result));

    // Chosen before loading.
    backend.answers.push_back(picture);
    controller.onLoadImage();
    controller.onCreateArray();
    EXPECT_TRUE(sameArray(controller.state().array, expected.array));
    EXPECT_TRUE(window.messages.isEmpty());
}

std::string rowName(const testing::TestParamInfo<OptionsRow>& row)
{
    const auto& [jpeg, dither, invert, smooth, keepAspect] = row.param;
    std::string name = jpeg ? "jpeg_" : "png_";
    for (const char c : ditherName(dither)) {
        name += c == '-' ? '_' : c;
    }
    return name + (invert ? "_invert" : "") + (smooth ? "_smooth" : "") +
           (keepAspect ? "_keep" : "");
}

INSTANTIATE_TEST_SUITE_P(Options, WindowAndConverter,
                         testing::Combine(testing::Bool(),
                                          testing::Values(Dither::None, Dither::FloydSteinberg,
                                                          Dither::Atkinson, Dither::Ordered),
                                          testing::Bool(), testing::Bool(), testing::Bool()),
                         rowName);

// A sample of sizes and layouts, chosen after loading (restretched from the source) and
// before (a load onto the new size), with smooth keep-aspect so that both the stretch and
// the bars follow the size.
using DisplayRow = std::tuple<DisplaySize, const char*>;

class WindowAndConverterDisplays : public testing::TestWithParam<DisplayRow>,
                                   protected ControllerRig {
protected:
    ScratchDir scratch;
};

TEST_P(WindowAndConverterDisplays, GiveTheSameArray)
{
    const auto [size, layoutName] = GetParam();
    const DisplayFormat display{size, layoutNamed(layoutName)};
    const RenderOptions options{Dither::Atkinson, false, true, true};
    start();
    controller.setRenderOptions(options);
    const QString picture = makePicture(scratch, true);
    const ConvertedFrame expected =
        convertFile(picture, {kDefaultLevel, options, display}).frames.front();

    backend.answers.push_back(picture);
    controller.onLoadImage();
    controller.setDisplay(display);
    controller.onCreateArray();
    EXPECT_TRUE(sameArray(controller.state().array, expected.array));

    backend.answers.push_back(picture); // again, now loaded onto the chosen size
    controller.onLoadImage();
    controller.onCreateArray();
    EXPECT_TRUE(sameArray(controller.state().array, expected.array));
    EXPECT_EQ(controller.state().result.width(), size.width);
    EXPECT_TRUE(window.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Displays, WindowAndConverterDisplays,
                         testing::Values(DisplayRow{{128, 32}, "pages"},
                                         DisplayRow{{72, 40}, "rows"}, DisplayRow{{16, 16}, "xbm"},
                                         DisplayRow{{13, 11}, "vertical"}));

// The options that turn the picture or lay it on another background, changed after a
// half-transparent PNG has loaded: the window's array follows the converter's.
class WindowAndConverterTurns : public testing::TestWithParam<RenderOptions>,
                                protected ControllerRig {
protected:
    ScratchDir scratch;
};

TEST_P(WindowAndConverterTurns, GiveTheSameArray)
{
    start();
    const QString picture = makePicture(scratch, false);
    const ConvertedFrame expected =
        convertFile(picture, {kDefaultLevel, GetParam(), {}}).frames.front();
    backend.answers.push_back(picture);
    controller.onLoadImage();
    controller.setRenderOptions(GetParam());
    controller.onCreateArray();
    EXPECT_TRUE(sameArray(controller.state().array, expected.array));
    EXPECT_TRUE(window.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Turns, WindowAndConverterTurns,
    testing::Values(RenderOptions{Dither::None, false, false, false, Background::White},
                    RenderOptions{Dither::None, false, true, true, Background::Black,
                                  Rotation::Quarter},
                    RenderOptions{Dither::Ordered, false, false, true, Background::Panel,
                                  Rotation::Half, Flip::Horizontal}));

} // namespace
} // namespace pixelcast::test
