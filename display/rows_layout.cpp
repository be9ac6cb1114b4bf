#include "display/byte_layout.h"
#include "display/row_bytes.h"

namespace pixelcast {

namespace {

// Row after row, each row's bytes from the left, the leftmost pixel in the most
// significant bit: byte y * B + x / 8, bit 0x80 >> (x mod 8). Adafruit GFX's drawBitmap.
class RowsLayout final : public ByteLayout {
public:
    [[nodiscard]] std::string_view name() const override { return "rows"; }
    [[nodiscard]] std::string_view title() const override
    {
        return "Rows, high bit first (Adafruit GFX drawBitmap)";
    }
    [[nodiscard]] std::size_t byteCount(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.bytesPerRow()) * static_cast<std::size_t>(size.height);
    }
    [[nodiscard]] BitPlace place(DisplaySize size, int x, int y) const override
    {
        return {static_cast<std::size_t>(y * size.bytesPerRow() + x / 8),
                static_cast<std::uint8_t>(0x80U >> (x % 8))};
    }
    void pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const override
    {
        packRowBytes(result, size, out, [](unsigned k) { return 7U - k; });
    }
    [[nodiscard]] std::size_t lineBytes(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.bytesPerRow());
    }
    [[nodiscard]] std::string_view lineName() const override { return "row"; }
    [[nodiscard]] std::string description(DisplaySize size) const override
    {
        return rowDescription(size, "the leftmost pixel in the most significant bit (0x80)");
    }
    [[nodiscard]] std::string drawCall(DisplaySize size, std::string_view name) const override
    {
        return "To draw it with Adafruit GFX (Adafruit_SSD1306 and others):\n"
               "    display.drawBitmap(0, 0, " +
               std::string(name) + ", " + std::to_string(size.width) + ", " +
               std::to_string(size.height) + ", SSD1306_WHITE);";
    }
};

} // namespace

const ByteLayout& rowsLayout()
{
    static const RowsLayout layout;
    return layout;
}

} // namespace pixelcast
