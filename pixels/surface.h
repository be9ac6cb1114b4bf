#pragma once

#include "colorref.h"

#include <vector>

namespace pixelcast {

// A width x height grid of colours, x to the right and y downwards from the top-left
// corner. Reads return exactly what was last written. Access outside the grid is
// harmless: a read there gives black and a write there is dropped.
//
// Pixels are stored column after column, each column top to bottom, the order in which
// the pixel stages walk them; a column is contiguous and the eight pixels of a display
// byte are neighbours.
class Surface {
public:
    Surface() = default;
    Surface(int width, int height, ColorRef fill);

    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] bool isEmpty() const { return m_width == 0 || m_height == 0; }
    [[nodiscard]] bool contains(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < m_width && y < m_height;
    }

    [[nodiscard]] ColorRef read(int x, int y) const
    {
        return contains(x, y) ? m_pixels[index(x, y)] : kBlack;
    }
    void write(int x, int y, ColorRef c)
    {
        if (contains(x, y)) {
            m_pixels[index(x, y)] = c;
        }
    }
    void fill(ColorRef c);

    // The `height()` pixels of column x, top first. x must lie inside the grid.
    [[nodiscard]] const ColorRef* column(int x) const { return m_pixels.data() + index(x, 0); }
    [[nodiscard]] ColorRef* column(int x) { return m_pixels.data() + index(x, 0); }

    friend bool operator==(const Surface&, const Surface&) = default;

private:
    [[nodiscard]] std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(x) * static_cast<std::size_t>(m_height) +
               static_cast<std::size_t>(y);
    }

    int m_width = 0;
    int m_height = 0;
    std::vector<ColorRef> m_pixels;
};

} // namespace pixelcast
