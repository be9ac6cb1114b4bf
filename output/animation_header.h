#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace pixelcast {

struct AnimationHeaderInput {
    std::span<const DisplayArray> frames;
    std::span<const int> delaysMs;
    int plays = 1; // 0 for ever
    QString name;
    QString origin; // a line for the opening comment
    bool compressed = false;
};

// A C/C++ header with `NAME_frame_count`, `NAME_play_count`, `NAME_delay_ms[N]` and either
// `NAME[N][1024]` (the frames' arrays) or, compressed, `NAME_stream[]` (compressFrames'
// stream); the macro `NAME_COMPRESSED` is 1 for the stream and 0 for the arrays. The
// arrays are in flash on AVR boards (PROGMEM), as in the single-frame header. The macros
// `PIXELCAST_ANIMATION` (NAME) and `PIXELCAST_ANIMATION_COMPRESSED` let the player sketch
// find the animation whatever its name.
[[nodiscard]] QByteArray animationHeader(const AnimationHeaderInput& input);
// The same header handed to `write` a piece at a time (a piece per frame or two), so that a
// long animation's text is never held whole.
void writeAnimationHeader(const AnimationHeaderInput& input,
                          const std::function<void(const QByteArray&)>& write);

// The flash an Uno has for a sketch: 32 KiB less the 512 bytes of its boot loader.
inline constexpr std::size_t kUnoSketchFlash = 32256;
// The player sketch's own code and data in flash, without an animation's frames and delays:
// avr-size (text + data) of the player built for an Uno as the board tests build it, with
// the plain header of the 8-frame test animation, less that header's 8 * (1024 + 2) bytes,
// is 3204 bytes (gcc-avr 5.4, Arduino core 1.8); rounded up for other compilers and cores.
inline constexpr std::size_t kPlayerFlash = 3328;

// The flash a plain header's frames and delays take.
[[nodiscard]] std::size_t plainAnimationFlash(std::span<const DisplayArray> frames);
// Whether the plain header fits an Uno's flash beside the player.
[[nodiscard]] bool plainAnimationFitsUno(std::span<const DisplayArray> frames);

} // namespace pixelcast
