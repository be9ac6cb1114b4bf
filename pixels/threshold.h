#pragma once

#include "surface.h"

#include <cstdint>
#include <functional>

namespace pixelcast {

// Renders `scaled` into `result` in black and white: a pixel is black when all three of
// its channels are at most `threshold`, white as soon as one exceeds it. `refresh` runs
// once when the whole surface is written, so a view repaints once, not per pixel.
void renderMonochrome(const Surface& scaled, Surface& result, std::int16_t threshold,
                      const std::function<void()>& refresh = {});

} // namespace pixelcast
