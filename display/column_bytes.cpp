#include "display/column_bytes.h"

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

} // namespace pixelcast
