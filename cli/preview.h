#pragma once

#include "conversion/surface.h"

#include <QByteArray>
#include <QImage>

namespace pixelcast::cli {

// The result surface as a one-bit picture of its size: exactly white pixels are white,
// every other colour black, as the display shows them.
[[nodiscard]] QImage previewImage(const Surface& result);

// previewImage encoded as PNG.
[[nodiscard]] QByteArray previewPng(const Surface& result);

} // namespace pixelcast::cli
