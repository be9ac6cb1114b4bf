#include "greyscale.h"

#include <cmath>

namespace pixelcast {

namespace {

int roundHalfToEven(float value)
{
    const float floor = std::floor(value);
    const float fraction = value - floor;
    auto result = static_cast<int>(floor);
    if (fraction > 0.5F || (fraction == 0.5F && (result % 2) != 0)) {
        ++result;
    }
    return result;
}

} // namespace

int greyOf(ColorRef c)
{
    const double sum = static_cast<double>(greenOf(c)) * 0.59 +
                       static_cast<double>(redOf(c)) * 0.3 + static_cast<double>(blueOf(c)) * 0.11;
    return roundHalfToEven(static_cast<float>(sum));
}

void toGreyscale(Surface& surface, const std::function<void()>& afterColumn)
{
    const int width = surface.width();
    for (int x = 0; x < width; ++x) {
        const int height = surface.height();
        for (int y = 0; y < height; ++y) {
            const int grey = greyOf(surface.read(x, y));
            surface.write(x, y, rgb(grey, grey, grey));
        }
        if (afterColumn) {
            afterColumn();
        }
    }
}

} // namespace pixelcast
