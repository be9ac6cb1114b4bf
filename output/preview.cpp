#include "preview.h"

#include "decoders/decoding.h"

#include <vector>

namespace pixelcast {

QByteArray previewPng(const Surface& result)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(result.width()) *
                static_cast<std::size_t>(result.height()) * 3);
    for (int y = 0; y < result.height(); ++y) {
        for (int x = 0; x < result.width(); ++x) {
            const std::uint8_t level = result.read(x, y) == kWhite ? 255 : 0;
            rgb.insert(rgb.end(), {level, level, level});
        }
    }
    const std::vector<std::uint8_t> png = encodePngRgb(result.width(), result.height(), rgb);
    return {reinterpret_cast<const char*>(png.data()), static_cast<qsizetype>(png.size())};
}

} // namespace pixelcast
