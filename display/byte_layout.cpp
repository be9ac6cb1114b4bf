#include "display/byte_layout.h"

#include <algorithm>
#include <array>

namespace pixelcast {

void ByteLayout::pack(const Surface& result, DisplaySize size, std::span<std::uint8_t> out) const
{
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (int x = 0; x < size.width; ++x) {
        for (int y = 0; y < size.height; ++y) {
            if (result.read(x, y) == kWhite) {
                const BitPlace bit = place(size, x, y);
                out[bit.index] |= bit.mask;
            }
        }
    }
}

std::span<const ByteLayout* const> allLayouts()
{
    static const std::array<const ByteLayout*, 2> layouts{&verticalLayout(), &pagesLayout()};
    return layouts;
}

const ByteLayout* layoutNamed(std::string_view name)
{
    const auto layouts = allLayouts();
    const auto found = std::find_if(layouts.begin(), layouts.end(),
                                    [name](const ByteLayout* l) { return l->name() == name; });
    return found == layouts.end() ? nullptr : *found;
}

} // namespace pixelcast
