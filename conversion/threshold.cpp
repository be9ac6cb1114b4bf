#include "threshold.h"

namespace pixelcast {

void renderMonochrome(const Surface& scaled, Surface& result, std::int16_t threshold,
                      const std::function<void()>& refresh)
{
    const int width = scaled.width();
    for (int x = 0; x < width; ++x) {
        const int height = scaled.height();
        for (int y = 0; y < height; ++y) {
            const ColorRef c = scaled.read(x, y);
            const bool black =
                redOf(c) <= threshold && greenOf(c) <= threshold && blueOf(c) <= threshold;
            result.write(x, y, black ? kBlack : kWhite);
        }
    }
    if (refresh) {
        refresh();
    }
}

} // namespace pixelcast
