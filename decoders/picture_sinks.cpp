#include "picture_sinks.h"

#include "pixels/stretch.h"

#include <algorithm>

namespace pixelcast {

ColorRef composite(Argb pixel, ColorRef background)
{
    const auto a = static_cast<int>(alphaOf(pixel));
    const auto r = static_cast<int>(argbRed(pixel));
    const auto g = static_cast<int>(argbGreen(pixel));
    const auto b = static_cast<int>(argbBlue(pixel));
    if (a == 255) {
        return rgb(r, g, b);
    }
    const auto blend = [a](int over, int under) {
        return (over * a + under * (255 - a) + 127) / 255;
    };
    return rgb(blend(r, redOf(background)), blend(g, greenOf(background)),
               blend(b, blueOf(background)));
}

void SurfaceSink::begin(int width, int height)
{
    m_surface = Surface(width, height, m_background);
    m_band.assign(static_cast<std::size_t>(width) * kBand, m_background);
    m_bandTop = 0;
    m_bandRows = 0;
}

void SurfaceSink::row(int y, const Argb* pixels)
{
    if (y < 0 || y >= m_surface.height()) {
        return;
    }
    if (y < m_bandTop || y >= m_bandTop + kBand) {
        flush();
        m_bandTop = y;
    }
    const int width = m_surface.width();
    // Band rows the decoder left out keep the background.
    for (int skipped = m_bandTop + m_bandRows; skipped < y; ++skipped) {
        std::fill_n(m_band.begin() + static_cast<std::ptrdiff_t>(skipped - m_bandTop) * width,
                    width, m_background);
    }
    ColorRef* line = m_band.data() + static_cast<std::ptrdiff_t>(y - m_bandTop) * width;
    for (int x = 0; x < width; ++x) {
        line[x] = composite(pixels[x], m_background);
    }
    m_bandRows = y - m_bandTop + 1;
}

void SurfaceSink::flush()
{
    const int width = m_surface.width();
    for (int x = 0; x < width; ++x) {
        ColorRef* column = m_surface.column(x) + m_bandTop;
        const ColorRef* in = m_band.data() + x;
        for (int r = 0; r < m_bandRows; ++r, in += width) {
            column[r] = *in;
        }
    }
    m_bandRows = 0;
}

Surface SurfaceSink::take()
{
    if (!m_surface.isEmpty()) {
        flush();
    }
    return std::move(m_surface);
}

void StretchSink::begin(int width, int height)
{
    const bool swapped = m_orientation.swapped;
    m_rect = stretchPlacement(swapped ? height : width, swapped ? width : height, m_target.width(),
                              m_target.height(), m_options.keepAspect);
    if (m_options.keepAspect) {
        m_target.fill(barColour(m_options));
        for (int x = m_rect.x; x < m_rect.x + m_rect.width; ++x) {
            std::fill_n(m_target.column(x) + m_rect.y, m_rect.height, m_background);
        }
    } else {
        m_target.fill(m_background);
    }
    const int acrossLength = swapped ? m_rect.width : m_rect.height;
    const int alongLength = swapped ? m_rect.height : m_rect.width;
    m_along = stretchSpans(width, alongLength, m_options.smooth);
    m_across = stretchSpans(height, acrossLength, m_options.smooth);
    if (swapped ? m_orientation.mirrorY : m_orientation.mirrorX) {
        mirrorSpans(m_along, width);
    }
    if (swapped ? m_orientation.mirrorX : m_orientation.mirrorY) {
        mirrorSpans(m_across, height);
    }
    m_averaging = m_options.smooth && (width > alongLength || height > acrossLength);
    // The indices a source row feeds are neighbours: the spans run one way along the axis.
    m_fed.assign(static_cast<std::size_t>(height), {-1, -1});
    for (int t = 0; t < acrossLength; ++t) {
        const SourceSpan span = m_across[static_cast<std::size_t>(t)];
        for (int y = span.first; y < span.first + span.count; ++y) {
            auto& [first, last] = m_fed[static_cast<std::size_t>(y)];
            first = first < 0 ? t : std::min(first, t);
            last = std::max(last, t);
        }
    }
    if (m_averaging) {
        m_sums.assign(static_cast<std::size_t>(acrossLength) *
                          static_cast<std::size_t>(alongLength),
                      std::array<std::uint64_t, 3>{});
        m_rowsCome.assign(static_cast<std::size_t>(acrossLength), 0);
    }
}

ColorRef& StretchSink::targetPixel(int across, int along) const
{
    return m_orientation.swapped ? m_target.column(m_rect.x + across)[m_rect.y + along]
                                 : m_target.column(m_rect.x + along)[m_rect.y + across];
}

bool StretchSink::wants(int y) const
{
    return y >= 0 && static_cast<std::size_t>(y) < m_fed.size() &&
           m_fed[static_cast<std::size_t>(y)].first >= 0;
}

void StretchSink::row(int y, const Argb* pixels)
{
    if (!wants(y)) {
        return;
    }
    const auto [first, last] = m_fed[static_cast<std::size_t>(y)];
    const auto alongLength = static_cast<int>(m_along.size());
    if (!m_averaging) {
        for (int t = first; t <= last; ++t) {
            for (int u = 0; u < alongLength; ++u) {
                targetPixel(t, u) =
                    composite(pixels[m_along[static_cast<std::size_t>(u)].first], m_background);
            }
        }
        return;
    }
    for (int t = first; t <= last; ++t) {
        ++m_rowsCome[static_cast<std::size_t>(t)];
        std::array<std::uint64_t, 3>* sums =
            m_sums.data() + static_cast<std::size_t>(t) * static_cast<std::size_t>(alongLength);
        for (int u = 0; u < alongLength; ++u) {
            const SourceSpan span = m_along[static_cast<std::size_t>(u)];
            std::uint64_t r = 0;
            std::uint64_t g = 0;
            std::uint64_t b = 0;
            for (int k = span.first; k < span.first + span.count; ++k) {
                const ColorRef c = composite(pixels[k], m_background);
                r += static_cast<std::uint64_t>(redOf(c));
                g += static_cast<std::uint64_t>(greenOf(c));
                b += static_cast<std::uint64_t>(blueOf(c));
            }
            std::array<std::uint64_t, 3>& sum = sums[static_cast<std::size_t>(u)];
            sum[0] += r;
            sum[1] += g;
            sum[2] += b;
        }
    }
}

void StretchSink::finish()
{
    if (!m_averaging) {
        return;
    }
    const std::array<std::uint64_t, 3> background{static_cast<std::uint64_t>(redOf(m_background)),
                                                  static_cast<std::uint64_t>(greenOf(m_background)),
                                                  static_cast<std::uint64_t>(blueOf(m_background))};
    const auto acrossLength = static_cast<int>(m_across.size());
    const auto alongLength = static_cast<int>(m_along.size());
    for (int t = 0; t < acrossLength; ++t) {
        const auto rowCount =
            static_cast<std::uint64_t>(m_across[static_cast<std::size_t>(t)].count);
        const auto missing =
            rowCount - static_cast<std::uint64_t>(m_rowsCome[static_cast<std::size_t>(t)]);
        for (int u = 0; u < alongLength; ++u) {
            const auto columnCount =
                static_cast<std::uint64_t>(m_along[static_cast<std::size_t>(u)].count);
            const std::array<std::uint64_t, 3>& sum =
                m_sums[static_cast<std::size_t>(t) * static_cast<std::size_t>(alongLength) +
                       static_cast<std::size_t>(u)];
            const std::uint64_t n = rowCount * columnCount;
            std::array<int, 3> mean{};
            for (std::size_t c = 0; c < 3; ++c) {
                mean[c] = areaMean(sum[c] + background[c] * missing * columnCount, n);
            }
            targetPixel(t, u) = rgb(mean[0], mean[1], mean[2]);
        }
    }
}

} // namespace pixelcast
