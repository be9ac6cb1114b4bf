#pragma once

#include "pixels/surface.h"

#include <QByteArray>

namespace pixelcast {

// The result surface as a PNG of its size: exactly white pixels are white, every other
// colour black, as the display shows them.
[[nodiscard]] QByteArray previewPng(const Surface& result);

} // namespace pixelcast
