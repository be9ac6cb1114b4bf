#pragma once

#include "display_array.h"
#include "surface.h"

#include <cstdint>

namespace pixelcast {

// Packs pixels (x, y) ... (x, y + 7) into one byte: pixel y + k is bit k, 1 where the
// pixel is exactly white. Any other colour, however light, is 0.
[[nodiscard]] std::uint8_t packColumnByte(const Surface& result, int x, int y);

// Overwrites all 1024 bytes of `array` from a 128 x 64 result surface, in index order:
// the left 64 columns first, then the right 64, each column's pages top to bottom.
void buildDisplayArray(const Surface& result, DisplayArray& array);

} // namespace pixelcast
