#pragma once

#include "surface.h"

#include <cstdint>
#include <vector>

namespace pixelcast {

// A grey picture in one byte a pixel: what the grey stage leaves on a Surface (each pixel
// g * 0x010101, see toGreyscale) without the three copies of g, so that an animation's
// frames take a quarter of the memory. Pixels column after column, as on a Surface.
class GreySurface {
public:
    GreySurface() = default;
    // `grey` made grey by toGreyscale: each pixel keeps its red channel, which the other two
    // equal.
    explicit GreySurface(const Surface& grey);

    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] bool isEmpty() const { return m_width == 0 || m_height == 0; }

    // The Surface this one was made from.
    [[nodiscard]] Surface expanded() const;

    friend bool operator==(const GreySurface&, const GreySurface&) = default;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_pixels;
};

} // namespace pixelcast
