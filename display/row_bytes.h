#pragma once

#include "display/display_size.h"
#include "pixels/surface.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// What the layouts with horizontal bytes share: a byte is eight neighbouring pixels of one
// row, rows one after another, each row padded to whole bytes.
namespace pixelcast {

// Every row byte of a `size` display into `out`: the byte for pixels x to x + 7 of row y
// is at y * B + x / 8 (B bytes a row), pixel x + k in the bit `1 << shiftOf(k)`.
template <typename ShiftOf>
void packRowBytes(const Surface& result, DisplaySize size, std::span<std::uint8_t> out,
                  ShiftOf shiftOf)
{
    const auto perRow = static_cast<std::size_t>(size.bytesPerRow());
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    const int width = std::min(size.width, result.width());
    const int height = std::min(size.height, result.height());
    // A byte's eight columns are read side by side, each from the top down, so that every
    // column is walked in memory order.
    for (int x0 = 0; x0 < width; x0 += 8) {
        const auto columns = static_cast<unsigned>(std::min(8, width - x0));
        // Past the picture's right edge a byte's columns read the first one again; their
        // bits are masked off below, as padding is 0.
        std::array<const ColorRef*, 8> column{};
        unsigned mask = 0;
        for (unsigned k = 0; k < 8; ++k) {
            column[k] = result.column(x0 + static_cast<int>(k < columns ? k : 0));
            mask |= k < columns ? 1U << shiftOf(k) : 0U;
        }
        std::uint8_t* to = out.data() + x0 / 8;
        for (int y = 0; y < height; ++y, to += perRow) {
            unsigned byte = 0;
            for (unsigned k = 0; k < 8; ++k) {
                byte |= static_cast<unsigned>(column[k][y] == kWhite) << shiftOf(k);
            }
            *to = static_cast<std::uint8_t>(byte & mask);
        }
    }
}

} // namespace pixelcast
