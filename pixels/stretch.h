#pragma once

#include "render_options.h"
#include "surface.h"

#include <cstdint>
#include <vector>

namespace pixelcast {

// Copies the whole of `source` onto the whole of `target`, stretching or shrinking each
// direction on its own. Each target pixel takes the one source pixel under its centre,
// so a picture of the target's size is copied pixel for pixel and one of twice its size
// lands at half size. An empty source leaves `target` filled with `background`.
void stretchOnto(const Surface& source, Surface& target, ColorRef background);

// The source index under the centre of target index `t` when `sourceLength` pixels are
// stretched onto `targetLength`: floor((t + 0.5) * sourceLength / targetLength).
[[nodiscard]] int stretchSampleIndex(int t, int sourceLength, int targetLength);

// The part of the target a picture is stretched onto.
struct StretchRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const StretchRect&, const StretchRect&) = default;
};

// Where a sw x sh picture lands on a tw x th target. Without keepAspect: the whole target.
// With it, the largest rectangle of the picture's proportions, centred: when
// sw*th >= sh*tw it is tw wide and max(1, (sh*tw + sw/2) / sw) high, otherwise th high and
// max(1, (sw*th + sh/2) / sh) wide, at ((tw - w)/2, (th - h)/2).
[[nodiscard]] StretchRect stretchPlacement(int sw, int sh, int tw, int th, bool keepAspect);

// The source pixels one target pixel takes along one axis: `count` from `first`.
struct SourceSpan {
    int first = 0;
    int count = 1;
    friend bool operator==(const SourceSpan&, const SourceSpan&) = default;
};

// The spans of the `targetLength` target indices. Where `smooth` and the source is
// longer, target i takes [i*s/t, (i+1)*s/t); otherwise the one index under its centre.
[[nodiscard]] std::vector<SourceSpan> stretchSpans(int sourceLength, int targetLength, bool smooth);

// A channel's mean over n pixels, rounded half up: (sum + n/2) / n.
[[nodiscard]] constexpr int areaMean(std::uint64_t sum, std::uint64_t n)
{
    return static_cast<int>((sum + n / 2) / n);
}

// stretchOnto with the picture options' stretch: `smooth` takes the mean of the source
// rectangle under each target pixel (channel by channel, see stretchSpans and areaMean),
// `keepAspect` stretches onto stretchPlacement's rectangle and makes the rest of the
// target black. With neither it is the plain stretchOnto above.
void stretchOnto(const Surface& source, Surface& target, ColorRef background,
                 const RenderOptions& options);

} // namespace pixelcast
