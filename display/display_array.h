#pragma once

#include "display/byte_layout.h"
#include "display/display_size.h"
#include "pixels/surface.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixelcast {

// A display's size and the byte layout its arrays are packed in.
struct DisplayFormat {
    DisplaySize size;
    const ByteLayout* layout = &verticalLayout();

    [[nodiscard]] std::size_t byteCount() const { return layout->byteCount(size); }

    friend bool operator==(const DisplayFormat&, const DisplayFormat&) = default;
};

// The bytes of one display picture in its format, zero-filled until first packed. The
// default is the 1024 bytes of a 128 x 64 display in the vertical layout: the byte for
// column c (0-127) and page p (0-7) is at index c * 8 + p, and its bit k (k = 0 the least
// significant) is pixel (c, p * 8 + k), 1 for white.
class DisplayArray {
public:
    DisplayArray() : DisplayArray(DisplayFormat{}) {}
    explicit DisplayArray(DisplayFormat format)
        : m_format(format), m_bytes(format.byteCount(), std::uint8_t{0})
    {
    }

    [[nodiscard]] const DisplayFormat& format() const { return m_format; }
    [[nodiscard]] std::size_t size() const { return m_bytes.size(); }

    [[nodiscard]] std::uint8_t operator[](std::size_t i) const { return m_bytes.at(i); }
    [[nodiscard]] std::uint8_t& operator[](std::size_t i) { return m_bytes.at(i); }

    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return m_bytes; }
    [[nodiscard]] std::span<std::uint8_t> bytes() { return m_bytes; }

    friend bool operator==(const DisplayArray&, const DisplayArray&) = default;

private:
    DisplayFormat m_format;
    std::vector<std::uint8_t> m_bytes;
};

// The index of the byte for column `column` and page `page` of the default display in the
// vertical layout (the board's order).
[[nodiscard]] constexpr std::size_t verticalIndex(int column, int page, int pages = 8)
{
    return static_cast<std::size_t>(column) * static_cast<std::size_t>(pages) +
           static_cast<std::size_t>(page);
}

// Overwrites every byte of `array` from `result` in the array's own format. The surface is
// read as the display's size from its top-left corner; a set bit is an exactly white pixel.
void buildDisplayArray(const Surface& result, DisplayArray& array);
[[nodiscard]] DisplayArray packDisplay(const Surface& result, DisplayFormat format);

// The same picture in another format of the same size.
[[nodiscard]] DisplayArray repack(const DisplayArray& array, const ByteLayout& layout);

// The picture an array holds: a surface of the display's size, white where a bit is set,
// black elsewhere.
[[nodiscard]] Surface unpackDisplay(const DisplayArray& array);

} // namespace pixelcast
