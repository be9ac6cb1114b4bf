#pragma once

#include "pixels/display_array.h"

#include <QByteArray>

#include <span>

namespace pixelcast::cli {

// The frames one under another, the first on top, as one PNG written by previewPng: a set
// bit of an array is a white pixel of its result surface, as buildDisplayArray packs it.
[[nodiscard]] QByteArray stackedPreviewPng(std::span<const DisplayArray> frames);

} // namespace pixelcast::cli
