#include "grey_surface.h"

namespace pixelcast {

GreySurface::GreySurface(const Surface& grey)
    : m_width(grey.width()), m_height(grey.height()),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height))
{
    auto out = m_pixels.begin();
    for (int x = 0; x < m_width; ++x) {
        const ColorRef* in = grey.column(x);
        for (int y = 0; y < m_height; ++y) {
            *out++ = static_cast<std::uint8_t>(redOf(in[y]));
        }
    }
}

Surface GreySurface::expanded() const
{
    Surface grey(m_width, m_height, kBlack);
    auto in = m_pixels.begin();
    for (int x = 0; x < m_width; ++x) {
        ColorRef* out = grey.column(x);
        for (int y = 0; y < m_height; ++y) {
            out[y] = static_cast<ColorRef>(*in++) * 0x010101U;
        }
    }
    return grey;
}

} // namespace pixelcast
