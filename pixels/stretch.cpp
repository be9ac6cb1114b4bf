#include "stretch.h"

#include <cstdint>
#include <vector>

namespace pixelcast {

// In integers, so that no rounding can pick a neighbour.
int stretchSampleIndex(int t, int sourceLength, int targetLength)
{
    const std::int64_t numerator = (2 * static_cast<std::int64_t>(t) + 1) * sourceLength;
    return static_cast<int>(numerator / (2 * static_cast<std::int64_t>(targetLength)));
}

void stretchOnto(const Surface& source, Surface& target, ColorRef background)
{
    if (source.isEmpty()) {
        target.fill(background);
        return;
    }
    const int sw = source.width();
    const int sh = source.height();
    const int tw = target.width();
    const int th = target.height();

    std::vector<int> columns(static_cast<std::size_t>(tw));
    for (int x = 0; x < tw; ++x) {
        columns[static_cast<std::size_t>(x)] = stretchSampleIndex(x, sw, tw);
    }
    for (int y = 0; y < th; ++y) {
        const int sy = stretchSampleIndex(y, sh, th);
        for (int x = 0; x < tw; ++x) {
            target.write(x, y, source.read(columns[static_cast<std::size_t>(x)], sy));
        }
    }
}

} // namespace pixelcast
