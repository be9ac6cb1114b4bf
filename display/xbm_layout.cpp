#include "display/byte_layout.h"
#include "display/row_bytes.h"

namespace pixelcast {

namespace {

// Row after row, each row's bytes from the left, the leftmost pixel in the least
// significant bit: byte y * B + x / 8, bit 1 << (x mod 8). X bitmaps; U8g2's drawXBM.
class XbmLayout final : public ByteLayout {
public:
    [[nodiscard]] std::string_view name() const override { return "xbm"; }
    [[nodiscard]] std::string_view title() const override
    {
        return "Rows, low bit first (XBM, U8g2 drawXBMP)";
    }
    [[nodiscard]] std::size_t byteCount(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.bytesPerRow()) * static_cast<std::size_t>(size.height);
    }
    [[nodiscard]] BitPlace place(DisplaySize size, int x, int y) const override
    {
        return {static_cast<std::size_t>(y * size.bytesPerRow() + x / 8),
                static_cast<std::uint8_t>(1U << (x % 8))};
    }
    void pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const override
    {
        packRowBytes(result, size, out, [](unsigned k) { return k; });
    }
    [[nodiscard]] std::size_t lineBytes(DisplaySize size) const override
    {
        return static_cast<std::size_t>(size.bytesPerRow());
    }
    [[nodiscard]] std::string_view lineName() const override { return "row"; }
    [[nodiscard]] std::string description(DisplaySize size) const override
    {
        return rowDescription(size, "the leftmost pixel in the least significant bit (0x01)");
    }
    [[nodiscard]] std::string drawCall(DisplaySize size, std::string_view name) const override
    {
        return "To draw it with U8g2:\n    u8g2.drawXBMP(0, 0, " + std::to_string(size.width) +
               ", " + std::to_string(size.height) + ", " + std::string(name) + ");";
    }
};

} // namespace

const ByteLayout& xbmLayout()
{
    static const XbmLayout layout;
    return layout;
}

} // namespace pixelcast
