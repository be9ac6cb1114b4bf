// Frame composition of animated GIFs written here with giflib's encoder: disposals,
// transparency, offsets, delays and loop counts, the first frame against decodeGif, and
// the limits on hostile files.
#include "decoders/gif_animation.h"
#include "support/decoded_picture.h"
#include "support/every_cut.h"
#include "support/gif_writer.h"
#include "support/test_files.h"

#include <QFile>

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

using test::AnimatedGifLayout;
using test::asBytes;
using test::GifFrameLayout;
using test::solidFrame;

struct Composed {
    std::vector<std::string> canvases; // one letter a pixel, rows split by '/'
    std::vector<int> delays;
    AnimationInfo info;
};

// '.' for transparent, else the letter of black, red, green or blue.
char letterOf(Argb p)
{
    const Argb colours[] = {0xFF000000U, 0xFFFF0000U, 0xFF00FF00U, 0xFF0000FFU};
    const auto* found = std::find(std::begin(colours), std::end(colours), p);
    return alphaOf(p) == 0 ? '.' : "krgb?"[found - std::begin(colours)];
}

Composed compose(const QByteArray& gif, int first = 0, int last = -1)
{
    Composed out;
    out.info = decodeGifAnimation(asBytes(gif), first, last, [&](const FrameCanvas& canvas) {
        std::string text;
        for (int y = 0; y < canvas.height; ++y) {
            text += y > 0 ? "/" : "";
            for (int x = 0; x < canvas.width; ++x) {
                text += letterOf(canvas.pixels[y * canvas.width + x]);
            }
        }
        out.canvases.push_back(text);
        out.delays.push_back(canvas.delayMs);
    });
    return out;
}

GifFrameLayout with(GifFrameLayout frame, int disposal, int transparent = -1)
{
    frame.disposal = disposal;
    frame.transparent = transparent;
    return frame;
}

struct CompositionRow {
    const char* name;
    std::vector<GifFrameLayout> frames;
    std::vector<std::string> canvases;
};

void PrintTo(const CompositionRow& row, std::ostream* os)
{
    *os << row.name;
}

class Composition : public testing::TestWithParam<CompositionRow> {};

TEST_P(Composition, ShowsEachCanvasAsBrowsersDo)
{
    AnimatedGifLayout layout;
    layout.frames = GetParam().frames;
    EXPECT_EQ(compose(test::writeAnimatedGif(layout)).canvases, GetParam().canvases);
}

const GifFrameLayout kRed = solidFrame(0, 0, 4, 2, 1);
const GifFrameLayout kGreenTop = solidFrame(1, 0, 2, 1, 2);

INSTANTIATE_TEST_SUITE_P(
    Rows, Composition,
    testing::Values(CompositionRow{"NoneAndKeepLeaveTheCanvas",
                                   {kRed, with(kGreenTop, 1), solidFrame(0, 1, 1, 1, 3)},
                                   {"rrrr/rrrr", "rggr/rrrr", "rggr/brrr"}},
                    CompositionRow{"BackgroundClearsTheRectangleToTransparent",
                                   {kRed, with(kGreenTop, 2), solidFrame(0, 1, 1, 1, 3)},
                                   {"rrrr/rrrr", "rggr/rrrr", "r..r/brrr"}},
                    CompositionRow{"PreviousPutsTheCanvasBack",
                                   {kRed, with(kGreenTop, 3), solidFrame(3, 1, 1, 1, 3)},
                                   {"rrrr/rrrr", "rggr/rrrr", "rrrr/rrrb"}},
                    CompositionRow{"TransparentColourLeavesTheCanvas",
                                   {kRed,
                                    [] {
                                        GifFrameLayout f = with(solidFrame(0, 0, 4, 2, 0), 0, 5);
                                        f.indices = {2, 5, 2, 5, 5, 3, 5, 3};
                                        return f;
                                    }()},
                                   {"rrrr/rrrr", "grgr/rbrb"}},
                    CompositionRow{"FrameLargerThanTheScreenIsClipped",
                                   {kRed, solidFrame(2, 1, 5, 3, 2)},
                                   {"rrrr/rrrr", "rrrr/rrgg"}},
                    CompositionRow{"InterlacedFrameAtAnOffset",
                                   {kRed,
                                    [] {
                                        GifFrameLayout f = solidFrame(3, 0, 1, 2, 0);
                                        f.indices = {2, 3};
                                        f.interlaced = true;
                                        return f;
                                    }()},
                                   {"rrrr/rrrr", "rrrg/rrrb"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(GifAnimation, DelaysAndPlaysFollowBrowsers)
{
    AnimatedGifLayout layout;
    for (const int cs : {0, 1, 2, 70}) {
        GifFrameLayout frame = kRed;
        frame.delayCs = cs;
        layout.frames.push_back(frame);
    }
    EXPECT_EQ(compose(test::writeAnimatedGif(layout)).delays,
              (std::vector<int>{100, 100, 20, 700}));
    const std::pair<int, int> loopsToPlays[] = {{-1, 1}, {0, 0}, {3, 4}};
    for (const auto& [loops, plays] : loopsToPlays) {
        layout.loopCount = loops;
        EXPECT_EQ(compose(test::writeAnimatedGif(layout)).info.plays, plays) << loops;
    }
}

TEST(GifAnimation, ShowsOnlyTheFramesAskedFor)
{
    AnimatedGifLayout layout;
    layout.frames = {kRed, kGreenTop, solidFrame(0, 1, 1, 1, 3), kRed};
    const Composed part = compose(test::writeAnimatedGif(layout), 1, 2);
    EXPECT_EQ(part.canvases, (std::vector<std::string>{"rggr/rrrr", "rggr/brrr"}));
    EXPECT_EQ(part.info.frames, 3);
}

// The canvas starts as decodeGif's surroundings of the first frame, so the first canvas is
// its picture (transparent pixels compared as transparent, whatever their colour bytes).
TEST(GifAnimation, FirstCanvasIsTheSinglePicture)
{
    AnimatedGifLayout offset;
    offset.screenWidth = 6;
    offset.frames = {with(solidFrame(1, 1, 2, 1, 2), 0, 2), kRed};
    std::vector<QByteArray> gifs{test::writeAnimatedGif(offset)};
    for (const char* name :
         {"animated-first-green-4x4.gif", "transparent-4x2.gif", "interlaced-24x12.gif"}) {
        QFile file(test::dataFile(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        gifs.push_back(file.readAll());
    }
    const auto visible = [](Argb p) {
        return alphaOf(p) == 0 ? Argb{0} : p;
    };
    for (const QByteArray& gif : gifs) {
        std::vector<Argb> first;
        decodeGifAnimation(asBytes(gif), 0, 0, [&](const FrameCanvas& c) {
            first.assign(c.pixels, c.pixels + c.width * c.height);
        });
        std::vector<Argb> single = test::decodeWith(decodeGif, gif).pixels;
        std::transform(first.begin(), first.end(), first.begin(), visible);
        std::transform(single.begin(), single.end(), single.begin(), visible);
        EXPECT_EQ(first, single) << gif.size();
    }
}

TEST(GifAnimation, FileCutShortEndsTheAnimationAndSaysWhere)
{
    // Two small frames, then a noisy 40 x 20 one whose pixel data fills most of the file.
    AnimatedGifLayout layout;
    layout.screenWidth = 40;
    layout.screenHeight = 20;
    GifFrameLayout noisy = solidFrame(0, 0, 40, 20, 0);
    for (std::size_t i = 0; i < noisy.indices.size(); ++i) {
        noisy.indices[i] = static_cast<std::uint8_t>(i * 7 % 5);
    }
    layout.frames = {kRed, kGreenTop};
    // Where the third frame's blocks begin: the end of the two-frame file, less its trailer.
    const qsizetype third = test::writeAnimatedGif(layout).size() - 1;
    layout.frames.push_back(noisy);
    const QByteArray gif = test::writeAnimatedGif(layout);

    struct Row {
        const char* name;
        qsizetype keep;
        std::size_t frames;
        bool endedEarly;
        int wholeFrames;
    };
    const Row table[] = {
        {"whole", gif.size(), 3, false, 0},
        {"without its trailer", gif.size() - 1, 3, false, 0},
        {"cut inside the third frame's control block", third + 4, 2, true, 2},
        {"cut half way through the third frame's pixels", (third + gif.size()) / 2, 3, true, 2},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Composed composed = compose(gif.left(row.keep));
        EXPECT_EQ(composed.canvases.size(), row.frames);
        EXPECT_EQ(composed.info.frames, static_cast<int>(row.frames));
        EXPECT_EQ(composed.info.endedEarly, row.endedEarly);
        EXPECT_EQ(composed.info.wholeFrames, row.wholeFrames);
    }
}

TEST(GifAnimation, RefusesTooManyFramesAndTooManyPixels)
{
    AnimatedGifLayout many;
    many.screenWidth = 1;
    many.screenHeight = 1;
    many.frames.assign(kMaxFrames + 1, solidFrame(0, 0, 1, 1, 1));
    AnimatedGifLayout big;
    big.screenWidth = 8000;
    big.screenHeight = 6000; // 48 million canvas pixels a frame: the 11th is too many
    big.frames.assign(11, with(solidFrame(0, 0, 1, 1, 1), 3));
    for (const AnimatedGifLayout& layout : {many, big}) {
        try {
            (void)compose(test::writeAnimatedGif(layout));
            ADD_FAILURE() << "accepted " << layout.frames.size() << " frames";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::PictureTooLarge);
        }
    }
}

// What one pass over a GIF gives (decodeGifFrames) is what the still reader and the composer
// give each on their own, for every cut of animations with offsets, transparency,
// disposals, interlacing and frames larger than the screen: the same first picture, the
// same later canvases, the same account of the ending, the same error.
TEST(GifAnimation, OnePassGivesWhatTheTwoReadersGive)
{
    struct Outcome {
        test::DecodedPicture still;
        std::vector<std::vector<Argb>> later;
        AnimationInfo info;
        QString error;
    };
    const auto later = [](Outcome& out) {
        return [&out](const FrameCanvas& c) {
            if (c.index > 0) {
                out.later.emplace_back(c.pixels, c.pixels + c.width * c.height);
            }
        };
    };
    const auto twoReaders = [&](const QByteArray& gif) {
        Outcome out;
        try {
            out.still = test::decodeWith(decodeGif, gif);
            out.info = decodeGifAnimation(asBytes(gif), 1, -1, later(out));
        } catch (const Error& e) {
            out.error = e.message();
        }
        return out;
    };
    const auto onePass = [&](const QByteArray& gif) {
        Outcome out;
        test::CollectingSink sink;
        try {
            out.info = decodeGifFrames(asBytes(gif), sink, -1, later(out));
            out.still = sink.picture();
        } catch (const Error& e) {
            out.error = e.message();
        }
        return out;
    };

    AnimatedGifLayout offsets;
    offsets.screenWidth = 6;
    offsets.screenHeight = 5;
    GifFrameLayout interlaced = solidFrame(1, 0, 3, 9, 3);
    interlaced.interlaced = true;
    offsets.frames = {with(solidFrame(1, 1, 8, 3, 2), 3, 2), with(kGreenTop, 2), interlaced,
                      solidFrame(0, 4, 6, 1, 1)};
    AnimatedGifLayout interlacedFirst;
    interlacedFirst.frames = {interlaced, with(kRed, 0, 1)};
    std::vector<QByteArray> gifs{test::writeAnimatedGif(offsets),
                                 test::writeAnimatedGif(interlacedFirst)};
    for (const char* name : {"animated-square-64x32.gif", "interlaced-24x12.gif"}) {
        QFile file(test::dataFile(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        gifs.push_back(file.readAll());
    }
    for (const QByteArray& gif : gifs) {
        test::forEveryCut(gif, std::to_string(gif.size()) + " bytes ", [&](const QByteArray& cut) {
            const Outcome expected = twoReaders(cut);
            const Outcome actual = onePass(cut);
            ASSERT_EQ(actual.error.toStdString(), expected.error.toStdString());
            if (!expected.error.isEmpty()) {
                return;
            }
            EXPECT_TRUE(test::samePicture(actual.still, expected.still));
            EXPECT_EQ(actual.still.damage, expected.still.damage);
            EXPECT_EQ(actual.later, expected.later);
            EXPECT_EQ(actual.info.frames, expected.info.frames);
            EXPECT_EQ(actual.info.plays, expected.info.plays);
            EXPECT_EQ(actual.info.endedEarly, expected.info.endedEarly);
            EXPECT_EQ(actual.info.wholeFrames, expected.info.wholeFrames);
        });
    }
}

} // namespace
} // namespace pixelcast
