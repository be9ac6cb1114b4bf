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
    m_target.fill(m_background);
    const int tw = m_target.width();
    const int th = m_target.height();
    m_columns.resize(static_cast<std::size_t>(tw));
    for (int x = 0; x < tw; ++x) {
        m_columns[static_cast<std::size_t>(x)] = stretchSampleIndex(x, width, tw);
    }
    m_rows.resize(static_cast<std::size_t>(th));
    m_firstTarget.assign(static_cast<std::size_t>(height), -1);
    // Walked bottom up so that each source row ends with its first (topmost) target row.
    for (int t = th - 1; t >= 0; --t) {
        const int y = stretchSampleIndex(t, height, th);
        m_rows[static_cast<std::size_t>(t)] = y;
        m_firstTarget[static_cast<std::size_t>(y)] = t;
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
    const int th = m_target.height();
    for (int t = m_firstTarget[static_cast<std::size_t>(y)];
         t < th && m_rows[static_cast<std::size_t>(t)] == y; ++t) {
        for (int x = 0; x < m_target.width(); ++x) {
            m_target.column(x)[t] =
                composite(pixels[m_columns[static_cast<std::size_t>(x)]], m_background);
        }
    }
}

} // namespace pixelcast
