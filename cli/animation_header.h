#pragma once

#include "pixels/display_array.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace pixelcast::cli {

// The frames of an animation as one stream. Each frame is taken in the display's order
// (byte page * 128 + column) and XORed with the frame before it (the first with zeros);
// the 1024 bytes of that difference are coded as tokens: a token t below 0x80 stands for
// t + 1 zero bytes, t from 0x80 to 0xBF is followed by t - 0x7F bytes taken as they are,
// and t from 0xC0 by one byte that stands t - 0xBE times. No token runs past the end of a
// frame. A player decodes it with a read position besides the frame it shows.
[[nodiscard]] std::vector<std::uint8_t> compressFrames(std::span<const DisplayArray> frames);

// The frames back from compressFrames' stream. Throws std::invalid_argument when the
// stream does not hold `count` whole frames.
[[nodiscard]] std::vector<DisplayArray> decompressFrames(std::span<const std::uint8_t> stream,
                                                         std::size_t count);

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

} // namespace pixelcast::cli
