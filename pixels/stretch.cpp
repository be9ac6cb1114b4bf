#include "stretch.h"

#include <algorithm>
#include <array>

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

StretchRect stretchPlacement(int sw, int sh, int tw, int th, bool keepAspect)
{
    if (!keepAspect || sw <= 0 || sh <= 0) {
        return {0, 0, tw, th};
    }
    const std::int64_t w64 = sw;
    const std::int64_t h64 = sh;
    int w = tw;
    int h = th;
    if (w64 * th >= h64 * tw) {
        h = static_cast<int>(std::max<std::int64_t>(1, (h64 * tw + w64 / 2) / w64));
    } else {
        w = static_cast<int>(std::max<std::int64_t>(1, (w64 * th + h64 / 2) / h64));
    }
    return {(tw - w) / 2, (th - h) / 2, w, h};
}

std::vector<SourceSpan> stretchSpans(int sourceLength, int targetLength, bool smooth)
{
    std::vector<SourceSpan> spans(static_cast<std::size_t>(std::max(targetLength, 0)));
    const bool area = smooth && sourceLength > targetLength;
    const std::int64_t s = sourceLength;
    for (int i = 0; i < targetLength; ++i) {
        if (area) {
            const auto first = static_cast<int>(i * s / targetLength);
            const auto end = static_cast<int>((i + 1) * s / targetLength);
            spans[static_cast<std::size_t>(i)] = {first, end - first};
        } else {
            spans[static_cast<std::size_t>(i)] = {stretchSampleIndex(i, sourceLength, targetLength),
                                                  1};
        }
    }
    return spans;
}

Orientation orientationOf(const RenderOptions& options)
{
    Orientation o;
    switch (options.rotation) {
    case Rotation::None:
        break;
    case Rotation::Quarter:
        o = {true, true, false};
        break;
    case Rotation::Half:
        o = {false, true, true};
        break;
    case Rotation::ThreeQuarters:
        o = {true, false, true};
        break;
    }
    o.mirrorX = o.mirrorX != (options.flip == Flip::Horizontal);
    o.mirrorY = o.mirrorY != (options.flip == Flip::Vertical);
    return o;
}

Surface oriented(const Surface& source, Orientation orientation)
{
    const int w = orientation.swapped ? source.height() : source.width();
    const int h = orientation.swapped ? source.width() : source.height();
    Surface turned(w, h, kBlack);
    for (int x = 0; x < source.width(); ++x) {
        const ColorRef* column = source.column(x);
        for (int y = 0; y < source.height(); ++y) {
            int a = orientation.swapped ? y : x;
            int b = orientation.swapped ? x : y;
            a = orientation.mirrorX ? w - 1 - a : a;
            b = orientation.mirrorY ? h - 1 - b : b;
            turned.column(a)[b] = column[y];
        }
    }
    return turned;
}

void mirrorSpans(std::vector<SourceSpan>& spans, int length)
{
    for (SourceSpan& span : spans) {
        span.first = length - span.first - span.count;
    }
}

void stretchOnto(const Surface& source, Surface& target, ColorRef background,
                 const RenderOptions& options)
{
    if (const Orientation orientation = orientationOf(options); !orientation.upright()) {
        RenderOptions upright = options;
        upright.rotation = Rotation::None;
        upright.flip = Flip::None;
        stretchOnto(oriented(source, orientation), target, background, upright);
        return;
    }
    if (!options.smooth && !options.keepAspect) {
        stretchOnto(source, target, background);
        return;
    }
    if (source.isEmpty()) {
        target.fill(background);
        return;
    }
    const StretchRect rect = stretchPlacement(source.width(), source.height(), target.width(),
                                              target.height(), options.keepAspect);
    target.fill(barColour(options));
    const std::vector<SourceSpan> columns =
        stretchSpans(source.width(), rect.width, options.smooth);
    const std::vector<SourceSpan> rows = stretchSpans(source.height(), rect.height, options.smooth);
    // Source columns are contiguous: each target column sums its source columns' runs.
    std::vector<std::array<std::uint64_t, 3>> sums(rows.size());
    for (int tx = 0; tx < rect.width; ++tx) {
        const SourceSpan cs = columns[static_cast<std::size_t>(tx)];
        std::fill(sums.begin(), sums.end(), std::array<std::uint64_t, 3>{});
        for (int sx = cs.first; sx < cs.first + cs.count; ++sx) {
            const ColorRef* column = source.column(sx);
            for (std::size_t ty = 0; ty < rows.size(); ++ty) {
                const ColorRef* run = column + rows[ty].first;
                std::array<std::uint64_t, 3>& sum = sums[ty];
                for (int k = 0; k < rows[ty].count; ++k) {
                    sum[0] += static_cast<std::uint64_t>(redOf(run[k]));
                    sum[1] += static_cast<std::uint64_t>(greenOf(run[k]));
                    sum[2] += static_cast<std::uint64_t>(blueOf(run[k]));
                }
            }
        }
        for (std::size_t ty = 0; ty < rows.size(); ++ty) {
            const auto n =
                static_cast<std::uint64_t>(cs.count) * static_cast<std::uint64_t>(rows[ty].count);
            target.write(
                rect.x + tx, rect.y + static_cast<int>(ty),
                rgb(areaMean(sums[ty][0], n), areaMean(sums[ty][1], n), areaMean(sums[ty][2], n)));
        }
    }
}

} // namespace pixelcast
