#include "display/byte_layout.h"

#include <algorithm>
#include <array>
#include <string>

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

namespace {

std::string opening(const ByteLayout& layout, DisplaySize size)
{
    return "A " + std::to_string(size.width) + " x " + std::to_string(size.height) +
           " monochrome picture, " + std::to_string(layout.byteCount(size)) + " bytes in the " +
           std::string(layout.name()) + " layout:\n";
}

} // namespace

std::string ByteLayout::rowDescription(DisplaySize size, std::string_view bitOrder) const
{
    const std::string perRow = std::to_string(size.bytesPerRow());
    return opening(*this, size) + "row y from the top is " + perRow + " bytes from index y * " +
           perRow + "; the byte at index\ny * " + perRow +
           " + x / 8 holds pixels x to x + 7 of the row,\n" + std::string(bitOrder) +
           ".\nA set bit is a white (lit) pixel; bits past a row's last pixel are 0.";
}

std::string ByteLayout::columnDescription(DisplaySize size, std::string_view index) const
{
    const int pages = size.pages();
    return opening(*this, size) + "the byte at index " + std::string(index) + " (column x 0-" +
           std::to_string(size.width - 1) + " from the left, page p 0-" +
           std::to_string(pages - 1) +
           "\nfrom the top) holds the pixels of rows p * 8 to p * 8 + 7 "
           "of that column, bit k\n(k = 0 the least significant) for row p * 8 + k.\n"
           "A set bit is a white (lit) pixel; bits below the last row are 0.";
}

std::span<const ByteLayout* const> allLayouts()
{
    static const std::array<const ByteLayout*, 4> layouts{&verticalLayout(), &pagesLayout(),
                                                          &rowsLayout(), &xbmLayout()};
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
