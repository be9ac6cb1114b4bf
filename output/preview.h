#pragma once

#include "display/display_array.h"
#include "pixels/surface.h"

#include <QByteArray>

#include <span>

namespace pixelcast {

// The result surface as a PNG of its size: exactly white pixels are white, every other
// colour black, as the display shows them.
[[nodiscard]] QByteArray previewPng(const Surface& result);

// The frames' pictures one under another, the first on top, as one PNG: a set bit of an
// array is a white pixel. The frames share one size.
[[nodiscard]] QByteArray stackedPreviewPng(std::span<const DisplayArray> frames);

} // namespace pixelcast
