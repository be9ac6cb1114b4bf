#pragma once

#include "decoding.h"
#include "pixels/render_options.h"
#include "pixels/stretch.h"
#include "pixels/surface.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace pixelcast {

// A decoded pixel laid onto `background`: opaque pixels as they are, transparent ones
// as the background, the rest blended.
[[nodiscard]] ColorRef composite(Argb pixel, ColorRef background);

// Keeps the whole picture: a surface of the picture's size, transparent parts composited
// onto the background. Rows never delivered are the background.
class SurfaceSink final : public PictureSink {
public:
    explicit SurfaceSink(ColorRef background) : m_background(background) {}

    void begin(int width, int height) override;
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int y, const Argb* pixels) override;

    // The picture; the sink is spent.
    [[nodiscard]] Surface take();

private:
    void flush();

    ColorRef m_background;
    Surface m_surface;
    // The surface runs column by column and rows arrive across it: rows are gathered in
    // bands and turned a band at a time, so that each column gets a cache line's worth
    // of pixels per visit instead of one pixel per page on a big picture.
    static constexpr int kBand = 64;
    std::vector<ColorRef> m_band;
    int m_bandTop = 0;
    int m_bandRows = 0;
};

// Stretches the picture straight onto `target` as it arrives, by the rule of stretchOnto
// with the picture options' stretch (turn and mirroring, smooth, keepAspect): with the
// nearest pixel only the rows and columns under the target's pixel centres are used, and
// only those rows are wanted; with the area mean every row is summed as it passes and
// nothing else is kept. After the decoder, finish() writes what only the whole picture
// decides (the means, and rows that never came taken as the background). The result equals
// decoding the whole picture and stretching it.
//
// A source row feeds target rows, or target columns when the picture is turned a quarter;
// below, the target axis that source rows feed is "across" and the other "along".
class StretchSink final : public PictureSink {
public:
    StretchSink(Surface& target, ColorRef background, const RenderOptions& options = {})
        : m_target(target), m_background(background), m_options(options),
          m_orientation(orientationOf(options))
    {
    }

    void begin(int width, int height) override;
    [[nodiscard]] bool wants(int y) const override;
    void row(int y, const Argb* pixels) override;
    // Writes the means; nothing to do for a nearest-pixel stretch.
    void finish();

private:
    // The target pixel at index `across` of the axis source rows feed and `along` the other.
    [[nodiscard]] ColorRef& targetPixel(int across, int along) const;

    Surface& m_target;
    ColorRef m_background;
    RenderOptions m_options;
    Orientation m_orientation;
    StretchRect m_rect;
    bool m_averaging = false;
    std::vector<SourceSpan> m_along;  // the source columns of each index along
    std::vector<SourceSpan> m_across; // the source rows of each index across
    // Per source row: the first and last index across it feeds, first -1 for none.
    std::vector<std::pair<int, int>> m_fed;
    // With the area mean: per target pixel (across after across) the channel sums, and per
    // index across the number of its source rows that came.
    std::vector<std::array<std::uint64_t, 3>> m_sums;
    std::vector<int> m_rowsCome;
};
} // namespace pixelcast
