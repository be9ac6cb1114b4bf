#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace pixelcast {

// The pixels of a monochrome display: `width` columns from the left, `height` rows from
// the top. A page is a band of eight rows, the last one padded when the height is not a
// multiple of eight.
struct DisplaySize {
    int width = 128;
    int height = 64;

    [[nodiscard]] constexpr int pages() const { return (height + 7) / 8; }
    [[nodiscard]] constexpr int bytesPerRow() const { return (width + 7) / 8; }

    friend constexpr bool operator==(const DisplaySize&, const DisplaySize&) = default;
};

// The sizes a display may have: 1 x 1 to this many pixels a side.
inline constexpr int kMaxDisplaySide = 1024;

// "WxH" (for instance "128x32") within the sizes above, or nothing.
[[nodiscard]] std::optional<DisplaySize> parseDisplaySize(std::string_view text);

// The display the programs start with, and the one the board's sketches drive.
inline constexpr DisplaySize kDefaultDisplay{};
inline constexpr int kDisplayWidth = kDefaultDisplay.width;
inline constexpr int kDisplayHeight = kDefaultDisplay.height;
inline constexpr std::size_t kDefaultArrayBytes =
    static_cast<std::size_t>(kDisplayWidth) * static_cast<std::size_t>(kDefaultDisplay.pages());

// The sizes of the SSD1306 modules people buy (0.96", 0.91", 0.69", 0.42", 0.66", 0.49"):
// an array of one of these fills a display; any other size is an icon, drawn at a place
// on a larger display.
[[nodiscard]] constexpr bool isModuleSize(DisplaySize size)
{
    constexpr DisplaySize modules[]{{128, 64}, {128, 32}, {96, 16}, {72, 40}, {64, 48}, {64, 32}};
    for (const DisplaySize module : modules) {
        if (module == size) {
            return true;
        }
    }
    return false;
}
// The sizes Pixelcast's receiver and player sketches draw.
[[nodiscard]] constexpr bool isSketchSize(DisplaySize size)
{
    return size == DisplaySize{128, 64} || size == DisplaySize{128, 32};
}

} // namespace pixelcast
