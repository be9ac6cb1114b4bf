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
    const int tw = m_target.width();
    const int th = m_target.height();
    m_rect = stretchPlacement(width, height, tw, th, m_options.keepAspect);
    if (m_options.keepAspect) {
        m_target.fill(kBlack);
        for (int x = m_rect.x; x < m_rect.x + m_rect.width; ++x) {
            std::fill_n(m_target.column(x) + m_rect.y, m_rect.height, m_background);
        }
    } else {
        m_target.fill(m_background);
    }
    m_columns = stretchSpans(width, m_rect.width, m_options.smooth);
    m_rows = stretchSpans(height, m_rect.height, m_options.smooth);
    m_averaging = m_options.smooth && (width > m_rect.width || height > m_rect.height);
    m_firstTarget.assign(static_cast<std::size_t>(height), -1);
    // Walked bottom up so that each source row ends with its first (topmost) target row.
    for (int t = m_rect.height - 1; t >= 0; --t) {
        const SourceSpan span = m_rows[static_cast<std::size_t>(t)];
        for (int y = span.first; y < span.first + span.count; ++y) {
            m_firstTarget[static_cast<std::size_t>(y)] = t;
        }
    }
    if (m_averaging) {
        m_sums.assign(static_cast<std::size_t>(m_rect.width) *
                          static_cast<std::size_t>(m_rect.height),
                      std::array<std::uint64_t, 3>{});
        m_rowsCome.assign(static_cast<std::size_t>(m_rect.height), 0);
    }
}

bool StretchSink::wants(int y) const
{
    return y >= 0 && static_cast<std::size_t>(y) < m_firstTarget.size() &&
           m_firstTarget[static_cast<std::size_t>(y)] >= 0;
}

void StretchSink::row(int y, const Argb* pixels)
{
    if (!wants(y)) {
        return;
    }
    // Target rows taking the same source row are neighbours: a picture less high than
    // the target repeats its rows.
    const auto feeds = [this, y](int t) {
        if (t >= m_rect.height) {
            return false;
        }
        const SourceSpan span = m_rows[static_cast<std::size_t>(t)];
        return y >= span.first && y < span.first + span.count;
    };
    const int first = m_firstTarget[static_cast<std::size_t>(y)];
    if (!m_averaging) {
        for (int t = first; feeds(t); ++t) {
            for (int x = 0; x < m_rect.width; ++x) {
                m_target.column(m_rect.x + x)[m_rect.y + t] =
                    composite(pixels[m_columns[static_cast<std::size_t>(x)].first], m_background);
            }
        }
        return;
    }
    for (int t = first; feeds(t); ++t) {
        ++m_rowsCome[static_cast<std::size_t>(t)];
        std::array<std::uint64_t, 3>* sums =
            m_sums.data() + static_cast<std::size_t>(t) * static_cast<std::size_t>(m_rect.width);
        for (int x = 0; x < m_rect.width; ++x) {
            const SourceSpan span = m_columns[static_cast<std::size_t>(x)];
            std::uint64_t r = 0;
            std::uint64_t g = 0;
            std::uint64_t b = 0;
            for (int k = span.first; k < span.first + span.count; ++k) {
                const ColorRef c = composite(pixels[k], m_background);
                r += static_cast<std::uint64_t>(redOf(c));
                g += static_cast<std::uint64_t>(greenOf(c));
                b += static_cast<std::uint64_t>(blueOf(c));
            }
            std::array<std::uint64_t, 3>& sum = sums[static_cast<std::size_t>(x)];
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
    for (int t = 0; t < m_rect.height; ++t) {
        const auto rowCount = static_cast<std::uint64_t>(m_rows[static_cast<std::size_t>(t)].count);
        const auto missing =
            rowCount - static_cast<std::uint64_t>(m_rowsCome[static_cast<std::size_t>(t)]);
        for (int x = 0; x < m_rect.width; ++x) {
            const auto columnCount =
                static_cast<std::uint64_t>(m_columns[static_cast<std::size_t>(x)].count);
            const std::array<std::uint64_t, 3>& sum =
                m_sums[static_cast<std::size_t>(t) * static_cast<std::size_t>(m_rect.width) +
                       static_cast<std::size_t>(x)];
            const std::uint64_t n = rowCount * columnCount;
            std::array<int, 3> mean{};
            for (std::size_t c = 0; c < 3; ++c) {
                mean[c] = areaMean(sum[c] + background[c] * missing * columnCount, n);
            }
            m_target.column(m_rect.x + x)[m_rect.y + t] = rgb(mean[0], mean[1], mean[2]);
        }
    }
}

} // namespace pixelcast
