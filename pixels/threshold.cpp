#include "threshold.h"

#include <algorithm>

namespace pixelcast {

void renderMonochrome(const Surface& scaled, Surface& result, std::int16_t threshold,
                      const std::function<void()>& refresh)
{
    const int width = std::min(scaled.width(), result.width());
    const int height = std::min(scaled.height(), result.height());
    for (int x = 0; x < width; ++x) {
        const ColorRef* in = scaled.column(x);
        ColorRef* out = result.column(x);
        for (int y = 0; y < height; ++y) {
            const ColorRef c = in[y];
            const bool black =
                redOf(c) <= threshold && greenOf(c) <= threshold && blueOf(c) <= threshold;
            out[y] = black ? kBlack : kWhite;
        }
    }
    if (refresh) {
        refresh();
    }
}

} // namespace pixelcast
