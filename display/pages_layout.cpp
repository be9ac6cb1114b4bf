#include "display/byte_layout.h"
#include "display/column_bytes.h"

namespace pixelcast {

namespace {

// Page after page, each page's columns from the left: byte (y / 8) * W + x, bit y mod 8.
class PagesLayout final : public ByteLayout {
public:
    [[nodiscard]] std::string_view name() const override { return "pages"; }
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
};

} // namespace

const ByteLayout& pagesLayout()
{
    static const PagesLayout layout;
    return layout;
}

} // namespace pixelcast
