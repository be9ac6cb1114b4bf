#include "surface.h"

#include <algorithm>

namespace pixelcast {

Surface::Surface(int width, int height, ColorRef fill)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), fill)
{
    if (m_pixels.empty()) {
        m_width = 0;
        m_height = 0;
    }
}

void Surface::fill(ColorRef c)
{
    std::fill(m_pixels.begin(), m_pixels.end(), c);
}

} // namespace pixelcast
