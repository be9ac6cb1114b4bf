#pragma once

#include "display/display_array.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixelcast {

// The frames of an animation as one stream. Each frame is taken in the order a display is
// written in (the pages layout: byte page * W + column) and XORed with the frame before it
// (the first with zeros); the bytes of that difference are coded as tokens: a token t
// below 0x80 stands for t + 1 zero bytes, t from 0x80 to 0xBF is followed by t - 0x7F
// bytes taken as they are, and t from 0xC0 by one byte that stands t - 0xBE times. No
// token runs past the end of a frame. A player decodes it with a read position besides
// the frame it shows. The frames share one size.
[[nodiscard]] std::vector<std::uint8_t> compressFrames(std::span<const DisplayArray> frames);

// The frames back from compressFrames' stream, in `format`. Throws std::invalid_argument
// when the stream does not hold `count` whole frames.
[[nodiscard]] std::vector<DisplayArray> decompressFrames(std::span<const std::uint8_t> stream,
                                                         std::size_t count,
                                                         DisplayFormat format = {});

} // namespace pixelcast
