#pragma once

#include "render_options.h"
#include "surface.h"

#include <cstdint>
#include <functional>

namespace pixelcast {

// The 8 x 8 Bayer index matrix: M2 = [[0, 2], [3, 1]], and M2n built from Mn as the blocks
// [[4Mn, 4Mn + 2], [4Mn + 3, 4Mn + 1]]. Its first row is 0 32 8 40 2 34 10 42.
[[nodiscard]] int bayerIndex(int x, int y);

// The grey value a rendering reads from a pixel of the grey surface: its largest channel.
// After greyscale the three are equal; on a surface not yet grey this is the value the
// plain threshold compares (black only when every channel is at most the level).
[[nodiscard]] int renderGreyOf(ColorRef c);

// Renders the grey surface `scaled` into `result` in black and white at `level`, by the
// rule `options.dither` names, then flips every pixel when `options.invert` is set:
// - None: white when g > level (renderMonochrome).
// - FloydSteinberg, Atkinson: rows top to bottom, each left to right; v = g + carried
//   error, white when v > level, and the error v - (255 or 0) is spread to the
//   neighbours by integer division (truncating toward zero), shares outside the frame
//   dropped. Floyd-Steinberg gives e*7/16 right, e*3/16 below left, e*5/16 below and
//   e*1/16 below right; Atkinson gives e/8 to right, two right, below left, below, below
//   right and two below.
// - Ordered: white when 128*g > 128*level + 255*(2*bayerIndex(x, y) - 63).
// The frame is the part both surfaces cover. `refresh` runs once, when all is written.
void renderPicture(const Surface& scaled, Surface& result, std::int16_t level,
                   const RenderOptions& options, const std::function<void()>& refresh = {});

} // namespace pixelcast
