#pragma once

#include "surface.h"

namespace pixelcast {

// Copies the whole of `source` onto the whole of `target`, stretching or shrinking each
// direction on its own. Each target pixel takes the one source pixel under its centre,
// so a picture of the target's size is copied pixel for pixel and one of twice its size
// lands at half size. An empty source leaves `target` filled with `background`.
void stretchOnto(const Surface& source, Surface& target, ColorRef background);

// The source index under the centre of target index `t` when `sourceLength` pixels are
// stretched onto `targetLength`: floor((t + 0.5) * sourceLength / targetLength).
[[nodiscard]] int stretchSampleIndex(int t, int sourceLength, int targetLength);

} // namespace pixelcast
