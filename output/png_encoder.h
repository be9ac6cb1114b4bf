#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pixelcast {

// A PNG of 8-bit RGB pixels, `rgb` holding width * height * 3 bytes row by row from the
// top. Throws Error(PreviewNotWritten) if libpng fails.
[[nodiscard]] std::vector<std::uint8_t> encodePngRgb(int width, int height,
                                                     std::span<const std::uint8_t> rgb);

} // namespace pixelcast
