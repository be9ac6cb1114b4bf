#pragma once

#include "display/display_size.h"
#include "pixels/surface.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// What the layouts with horizontal bytes share: a byte is eight neighbouring pixels of one
// row, rows one after another, each row padded to whole bytes.
namespace pixelcast {

// Every row byte of a `size` display into `out`: the byte for pixels x to x + 7 of row y
// is at y * B + x / 8 (B bytes a row), pixel x + k in the bit bitOf(k).
template <typename BitOf>
void packRowBytes(const Surface& result, DisplaySize size, std::span<std::uint8_t> out, BitOf bitOf)
{
    const auto perRow = static_cast<std::size_t>(size.bytesPerRow());
    const int width = std::min(size.width, result.width());
    const int height = std::min(size.height, result.height());
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (int x = 0; x < width; ++x) {
        const ColorRef* column = result.column(x);
        const auto byte = static_cast<std::size_t>(x / 8);
        const std::uint8_t bit = bitOf(x % 8);
        for (int y = 0; y < height; ++y) {
            if (column[y] == kWhite) {
                out[static_cast<std::size_t>(y) * perRow + byte] |= bit;
            }
        }
    }
}

} // namespace pixelcast
