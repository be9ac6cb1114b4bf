// Writes the animation the player tests play (and the player's example header is made
// from): a white square moving over a still bordered background, 64 x 32, looping for
// ever, with a blinking corner. The square's frames restore the background after they are
// shown.
#include "support/gif_writer.h"

#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    using namespace pixelcast::test;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_animation OUT.gif\n");
        return 2;
    }
    constexpr int kWidth = 64;
    constexpr int kHeight = 32;
    AnimatedGifLayout layout;
    layout.screenWidth = kWidth;
    layout.screenHeight = kHeight;
    layout.loopCount = 0;
    GifFrameLayout background = solidFrame(0, 0, kWidth, kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool border = x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1;
            const bool ground = y == 26 && x % 3 != 0;
            background.indices[static_cast<std::size_t>(y * kWidth + x)] = border || ground ? 4 : 0;
        }
    }
    background.delayCs = 20;
    layout.frames.push_back(background);
    // Each square's frame reaches to the bottom-right corner, transparent between, and
    // turns the corner pixel black and white by turns: every frame then differs from the one
    // before in the display's last byte, so the tests see each frame complete at the end of
    // its drawing.
    const int delays[] = {10, 15, 30, 12, 25, 10, 18};
    for (int step = 0; step < 7; ++step) {
        const int left = 4 + step * 8;
        const int top = 6 + (step % 3) * 5;
        GifFrameLayout frame = solidFrame(left, top, kWidth - left, kHeight - top, 5);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                frame.indices[static_cast<std::size_t>(y * frame.width + x)] = 4;
            }
        }
        frame.indices.back() = step % 2 == 0 ? 0 : 4;
        frame.transparent = 5;
        frame.disposal = 3;
        frame.delayCs = delays[step];
        layout.frames.push_back(frame);
    }
    const QByteArray gif = writeAnimatedGif(layout);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(gif) != gif.size()) {
        std::fprintf(stderr, "make_test_animation: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
