#include "output/preview.h"

#include "output/png_encoder.h"

#include <algorithm>
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

QByteArray stackedPreviewPng(std::span<const DisplayArray> frames)
{
    const DisplaySize size = frames.empty() ? DisplaySize{} : frames.front().format().size;
    Surface stacked(size.width, size.height * static_cast<int>(frames.size()), kBlack);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const Surface picture = unpackDisplay(frames[f]);
        const int top = static_cast<int>(f) * size.height;
        for (int x = 0; x < size.width; ++x) {
            std::copy_n(picture.column(x), size.height, stacked.column(x) + top);
        }
    }
    return previewPng(stacked);
}

} // namespace pixelcast
