#include "display/byte_layout.h"
#include "display/column_bytes.h"

namespace pixelcast {

namespace {

// Page after page, each page's columns from the left: byte (y / 8) * W + x, bit y mod 8.
class PagesLayout final : public ByteLayout {
public:
    [[nodiscard]] std::string_view name() const override { return "pages"; }
    [[nodiscard]] std::string_view title() const override { return "Pages (the display's buffer)"; }
    [[nodiscard]] std::size_t byteCount(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.pages());
    }
    [[nodiscard]] BitPlace place(DisplaySize size, int x, int y) const override
    {
        return {static_cast<std::size_t>(y / 8 * size.width + x),
                static_cast<std::uint8_t>(1U << (y % 8))};
    }
    void pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const override
    {
        const auto width = static_cast<std::size_t>(size.width);
        packColumnBytes(result, size, out, [width](int x, int page) {
            return static_cast<std::size_t>(page) * width + static_cast<std::size_t>(x);
        });
    }
    [[nodiscard]] std::string description(DisplaySize size) const override
    {
        return columnDescription(size, "p * " + std::to_string(size.width) + " + x");
    }
    [[nodiscard]] std::string drawCall(DisplaySize size, std::string_view name) const override
    {
        if (!isModuleSize(size)) {
            return "No display has this size: copied into a larger display's buffer, its pages\n"
                   "would be drawn wrong. For an icon drawn at a place on a display, use the\n"
                   "rows layout (Adafruit GFX drawBitmap) or the xbm layout (U8g2 drawXBMP).";
        }
        const std::string n(name);
        return "To draw it with Adafruit_SSD1306, copy it into the screen buffer of a display\n"
               "of this size:\n"
               "    memcpy_P(display.getBuffer(), " +
               n + ", sizeof " + n +
               "); display.display();\n"
               "or with U8g2 (a full-buffer constructor, _F_):\n"
               "    memcpy_P(u8g2.getBufferPtr(), " +
               n + ", sizeof " + n + "); u8g2.sendBuffer();";
    }
    [[nodiscard]] std::size_t lineBytes(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.width);
    }
    [[nodiscard]] std::string_view lineName() const override { return "page"; }
};

} // namespace

const ByteLayout& pagesLayout()
{
    static const PagesLayout layout;
    return layout;
}

} // namespace pixelcast
