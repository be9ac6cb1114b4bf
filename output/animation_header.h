#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>

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
// arrays are in flash on AVR boards (PROGMEM), as in the single-frame header.
[[nodiscard]] QByteArray animationHeader(const AnimationHeaderInput& input);

} // namespace pixelcast
