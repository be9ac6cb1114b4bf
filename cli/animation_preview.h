#pragma once

#include "cli/converter.h"

#include <QByteArray>

#include <span>

namespace pixelcast::cli {

// The frames' result surfaces one under another, the first on top, as one PNG written
// the way previewPng writes a single frame.
[[nodiscard]] QByteArray stackedPreviewPng(std::span<const Conversion> frames);

} // namespace pixelcast::cli
