#pragma once

#include "display/display_size.h"
#include "pixels/surface.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pixelcast {

// Where one pixel of the display lives in an array: the byte at `index`, the bit `mask`.
struct BitPlace {
    std::size_t index = 0;
    std::uint8_t mask = 0;

    friend bool operator==(const BitPlace&, const BitPlace&) = default;
};

// One way of packing a W x H black-and-white picture into bytes, 1 = lit, every padding
// bit 0. Each layout is a file of its own (`*_layout.cpp`) and an entry of allLayouts().
class ByteLayout {
public:
    ByteLayout() = default;
    ByteLayout(const ByteLayout&) = delete;
    ByteLayout& operator=(const ByteLayout&) = delete;
    virtual ~ByteLayout() = default;

    // The name the command lines and the settings use, and the menu's words for it.
    [[nodiscard]] virtual std::string_view name() const = 0;
    [[nodiscard]] virtual std::string_view title() const = 0;
    [[nodiscard]] virtual std::size_t byteCount(DisplaySize size) const = 0;
    // The bit of pixel (x, y); both inside `size`.
    [[nodiscard]] virtual BitPlace place(DisplaySize size, int x, int y) const = 0;
    // Writes all `byteCount(size)` bytes of `out` from `result`: a bit is set where the
    // pixel is exactly white. The surface is read as `size`; pixels outside it are black.
    // The default asks place() for every pixel; a layout may do it faster.
    virtual void pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const;

    // For a header's comment, lines without the comment marks: which pixels each byte
    // holds, and the call of a display library that draws an array of this layout (or what
    // takes it as it is) for an array called `name`.
    [[nodiscard]] virtual std::string description(DisplaySize size) const = 0;
    [[nodiscard]] virtual std::string drawCall(DisplaySize size, std::string_view name) const = 0;
    // The bytes a header lists on one line, and what such a line is ("column", "page",
    // "row"): the layout's natural unit.
    [[nodiscard]] virtual std::size_t lineBytes(DisplaySize size) const = 0;
    [[nodiscard]] virtual std::string_view lineName() const = 0;

protected:
    // The description of a layout of horizontal bytes, each row padded to whole bytes,
    // `bitOrder` saying which bit the leftmost pixel of a byte is.
    [[nodiscard]] std::string rowDescription(DisplaySize size, std::string_view bitOrder) const;
    // The description of a layout of vertical bytes, `index` giving the index of the byte
    // of column x and page p.
    [[nodiscard]] std::string columnDescription(DisplaySize size, std::string_view index) const;
};

// The order the board's sketches receive: byte x * P + y / 8, bit y mod 8 (P pages).
[[nodiscard]] const ByteLayout& verticalLayout();
// The order a display is written in with horizontal addressing, and the one of
// Adafruit_SSD1306's and U8g2's screen buffers: byte (y / 8) * W + x, bit y mod 8.
[[nodiscard]] const ByteLayout& pagesLayout();
// Adafruit GFX's drawBitmap: byte y * B + x / 8, bit 0x80 >> (x mod 8) (B bytes a row).
[[nodiscard]] const ByteLayout& rowsLayout();
// X bitmaps and U8g2's drawXBM: byte y * B + x / 8, bit 1 << (x mod 8).
[[nodiscard]] const ByteLayout& xbmLayout();

// Every layout, the default first.
[[nodiscard]] std::span<const ByteLayout* const> allLayouts();
// The layout of that name, or nullptr.
[[nodiscard]] const ByteLayout* layoutNamed(std::string_view name);

} // namespace pixelcast
