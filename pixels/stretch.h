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

// How the options' turn and mirroring move the pixels of a picture: source pixel (x, y)
// goes to (a, b) = swapped ? (y, x) : (x, y) on the turned picture (whose sides are then
// swapped too), and a becomes width - 1 - a where mirrorX, b height - 1 - b where mirrorY.
struct Orientation {
    bool swapped = false;
    bool mirrorX = false;
    bool mirrorY = false;

    [[nodiscard]] bool upright() const { return !swapped && !mirrorX && !mirrorY; }
    friend bool operator==(const Orientation&, const Orientation&) = default;
};

// The rotation clockwise, then the flip.
[[nodiscard]] Orientation orientationOf(const RenderOptions& options);

// `source` turned and mirrored by `orientation`.
[[nodiscard]] Surface oriented(const Surface& source, Orientation orientation);

// Spans of a picture axis of `length` read from the other end.
void mirrorSpans(std::vector<SourceSpan>& spans, int length);

// stretchOnto with the picture options' stretch: the picture turned and mirrored first (see
// orientationOf), then `smooth` takes the mean of the source rectangle under each target
// pixel (channel by channel, see stretchSpans and areaMean), `keepAspect` stretches onto
// stretchPlacement's rectangle and gives the rest of the target the bar colour. With none
// of these it is the plain stretchOnto above.
void stretchOnto(const Surface& source, Surface& target, ColorRef background,
                 const RenderOptions& options);

} // namespace pixelcast
