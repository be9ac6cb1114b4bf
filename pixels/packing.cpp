#include "packing.h"

namespace pixelcast {

std::uint8_t packColumnByte(const Surface& result, int x, int y)
{
    // Each pixel enters at bit 7 and moves down once per later pixel, so the top pixel
    // ends as the least significant bit.
    unsigned accumulator = 0;
    for (int k = 0; k < 8; ++k) {
        if (result.read(x, y + k) == kWhite) {
            accumulator |= 0x80U;
        }
        if (k != 7) {
            accumulator >>= 1U;
        }
    }
    return static_cast<std::uint8_t>(accumulator);
}

namespace {

// packColumnByte for eight neighbouring pixels of one column, known to be inside the grid.
std::uint8_t packEight(const ColorRef* pixels)
{
    unsigned byte = 0;
    for (unsigned k = 0; k < 8; ++k) {
        byte |= static_cast<unsigned>(pixels[k] == kWhite) << k;
    }
    return static_cast<std::uint8_t>(byte);
}

} // namespace

void buildDisplayArray(const Surface& result, DisplayArray& array)
{
    std::size_t index = 0;
    const bool fullSize = result.width() == kSurfaceWidth && result.height() == kSurfaceHeight;
    for (const int firstColumn : {0, kSurfaceWidth / 2}) {
        for (int column = firstColumn; column < firstColumn + kSurfaceWidth / 2; ++column) {
            for (int page = 0; page < DisplayArray::kPages; ++page) {
                array[index] = fullSize ? packEight(result.column(column) + 8 * page)
                                        : packColumnByte(result, column, 8 * page);
                ++index;
            }
        }
    }
}

} // namespace pixelcast
