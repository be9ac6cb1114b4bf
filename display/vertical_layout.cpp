#include "display/byte_layout.h"
#include "display/column_bytes.h"

namespace pixelcast {

namespace {

// Column after column, each column's pages from the top: byte x * P + y / 8, bit y mod 8.
class VerticalLayout final : public ByteLayout {
public:
    [[nodiscard]] std::string_view name() const override { return "vertical"; }
    [[nodiscard]] std::string_view title() const override
    {
        return "Vertical bytes (Pixelcast's sketches)";
    }
    [[nodiscard]] std::size_t byteCount(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.pages());
    }
    [[nodiscard]] BitPlace place(DisplaySize size, int x, int y) const override
    {
        return {static_cast<std::size_t>(x * size.pages() + y / 8),
                static_cast<std::uint8_t>(1U << (y % 8))};
    }
    void pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const override
    {
        const auto pages = static_cast<std::size_t>(size.pages());
        packColumnBytes(result, size, out, [pages](int x, int page) {
            return static_cast<std::size_t>(x) * pages + static_cast<std::size_t>(page);
        });
    }
    [[nodiscard]] std::string description(DisplaySize size) const override
    {
        return columnDescription(size, "x * " + std::to_string(size.pages()) + " + p");
    }
    [[nodiscard]] std::string drawCall(DisplaySize size, std::string_view /*name*/) const override
    {
        if (!isModuleSize(size)) {
            return "No display has this size, and Pixelcast's sketches draw 128 x 64 and 128 x 32\n"
                   "displays only. For an icon drawn at a place on a display, use the rows\n"
                   "layout (Adafruit GFX drawBitmap) or the xbm layout (U8g2 drawXBMP).";
        }
        if (!isSketchSize(size)) {
            return "Pixelcast's sketches draw 128 x 64 and 128 x 32 displays only; an SSD1306 of\n"
                   "this size takes it as it is in vertical addressing mode, its column and page\n"
                   "window set to the visible area.";
        }
        return "Pixelcast's receiver and player sketches show it as it is, and an SSD1306 takes\n"
               "it as it is in vertical addressing mode.";
    }
    [[nodiscard]] std::size_t lineBytes(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.pages());
    }
    [[nodiscard]] std::string_view lineName() const override { return "column"; }
};

} // namespace

const ByteLayout& verticalLayout()
{
    static const VerticalLayout layout;
    return layout;
}

} // namespace pixelcast
