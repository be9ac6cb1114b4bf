#pragma once

#include "surface.h"

#include <functional>

namespace pixelcast {

// The grey value of one colour: green x 0.59 + red x 0.3 + blue x 0.11, summed in that
// order in double precision, rounded once to a 32-bit float, then to the nearest
// integer with halves going to the even neighbour (pure red is 76.5 and becomes 76).
[[nodiscard]] int greyOf(ColorRef c);

// Turns the surface grey in place, column by column from the left, each column top to
// bottom. `afterColumn` runs after every finished column; the window lets pending events
// run there. The surface may be written meanwhile, but must keep its size.
void toGreyscale(Surface& surface, const std::function<void()>& afterColumn = {});

} // namespace pixelcast
