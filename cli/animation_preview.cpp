#include "animation_preview.h"

#include "cli/preview.h"

#include <algorithm>

namespace pixelcast::cli {

QByteArray stackedPreviewPng(std::span<const Conversion> frames)
{
    Surface stacked(kSurfaceWidth, kSurfaceHeight * static_cast<int>(frames.size()), kBlack);
    for (int x = 0; x < kSurfaceWidth; ++x) {
        ColorRef* out = stacked.column(x);
        for (const Conversion& frame : frames) {
            out = std::copy_n(frame.result.column(x), kSurfaceHeight, out);
        }
    }
    return previewPng(stacked);
}

} // namespace pixelcast::cli
