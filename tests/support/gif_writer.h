#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace pixelcast::test {

using GifRgb = std::array<std::uint8_t, 3>;

// One frame of an animated GIF written by giflib's encoder.
struct GifFrameLayout {
    int left = 0;
    int top = 0;
    int width = 1;
    int height = 1;
    std::vector<std::uint8_t> indices; // width * height, top row first
    int disposal = 0;
    int delayCs = 10;
    int transparent = -1;
    bool interlaced = false;
};

struct AnimatedGifLayout {
    int screenWidth = 4;
    int screenHeight = 2;
    // Empty: black, red, green, blue, white and three dark greys.
    std::vector<GifRgb> palette;
    int background = 0;
    int loopCount = -1; // the NETSCAPE2.0 block's count; negative: no such block
    std::vector<GifFrameLayout> frames;
};

// The GIF, every frame with a graphic control block.
[[nodiscard]] QByteArray writeAnimatedGif(const AnimatedGifLayout& layout);

// A frame of one colour.
[[nodiscard]] GifFrameLayout solidFrame(int left, int top, int width, int height,
                                        std::uint8_t index);

// A 16 x 8 animation with one frame for each delay (in hundredths): frame k is black with
// a white bar over columns 4 * (k % 4) to 4 * (k % 4) + 3. `loopCount` as in the layout.
[[nodiscard]] QByteArray steppingGif(const std::vector<int>& delaysCs, int loopCount = 0);

} // namespace pixelcast::test
