#pragma once

#include "display/display_size.h"
#include "pixels/surface.h"

#include <cstddef>
#include <cstdint>
#include <span>

// What the layouts with vertical bytes share: a byte is eight pixels of one column, the
// top one in the least significant bit.
namespace pixelcast {

// Packs pixels (x, y) ... (x, y + 7) into one byte: pixel y + k is bit k, 1 where the
// pixel is exactly white. Any other colour, however light, is 0, and so is a pixel
// outside the surface.
[[nodiscard]] std::uint8_t packColumnByte(const Surface& result, int x, int y);

// Every column byte of a `size` display into `out`, the byte of column x and page p at
// indexOf(x, p).
template <typename IndexOf>
void packColumnBytes(const Surface& result, DisplaySize size, std::span<std::uint8_t> out,
                     IndexOf indexOf)
{
    const bool whole = result.width() >= size.width && result.height() >= size.height;
    const int fullPages = size.height / 8;
    for (int x = 0; x < size.width; ++x) {
        for (int page = 0; page < size.pages(); ++page) {
            // The eight pixels of a full page inside the surface are neighbours in memory.
            std::uint8_t byte = 0;
            if (whole && page < fullPages) {
                const ColorRef* pixels = result.column(x) + static_cast<std::ptrdiff_t>(page) * 8;
                unsigned bits = 0;
                for (unsigned k = 0; k < 8; ++k) {
                    bits |= static_cast<unsigned>(pixels[k] == kWhite) << k;
                }
                byte = static_cast<std::uint8_t>(bits);
            } else {
                byte = packColumnByte(result, x, 8 * page);
                // Rows past the display's height are padding, never lit.
                const int rows = size.height - 8 * page;
                if (rows < 8) {
                    byte = static_cast<std::uint8_t>(byte & ((1U << rows) - 1U));
                }
            }
            out[indexOf(x, page)] = byte;
        }
    }
}

} // namespace pixelcast
