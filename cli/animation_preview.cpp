#include "animation_preview.h"

#include "output/preview.h"

namespace pixelcast::cli {

QByteArray stackedPreviewPng(std::span<const DisplayArray> frames)
{
    Surface stacked(kSurfaceWidth, kSurfaceHeight * static_cast<int>(frames.size()), kBlack);
    for (int x = 0; x < kSurfaceWidth; ++x) {
        ColorRef* out = stacked.column(x);
        for (const DisplayArray& frame : frames) {
            for (int y = 0; y < kSurfaceHeight; ++y) {
                const unsigned byte = frame[DisplayArray::indexOf(x, y / 8)];
                *out++ = ((byte >> (y % 8)) & 1U) != 0 ? kWhite : kBlack;
            }
        }
    }
    return previewPng(stacked);
}

} // namespace pixelcast::cli
