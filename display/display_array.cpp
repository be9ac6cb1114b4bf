#include "display/display_array.h"

#include <charconv>

namespace pixelcast {

std::optional<DisplaySize> parseDisplaySize(std::string_view text)
{
    const auto side = [](std::string_view digits) -> std::optional<int> {
        int value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || digits.size() > 4 || digits.front() == '+' || digits.front() == '-' ||
            error != std::errc{} || end != digits.data() + digits.size() || value < 1 ||
            value > kMaxDisplaySide) {
            return std::nullopt;
        }
        return value;
    };
    // The sides are parted by x, X or the multiplication sign (UTF-8).
    constexpr std::string_view kTimes = "\xC3\x97";
    std::size_t x = text.find_first_of("xX");
    std::size_t after = x + 1;
    if (x == std::string_view::npos) {
        x = text.find(kTimes);
        after = x + kTimes.size();
    }
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> width = side(text.substr(0, x));
    const std::optional<int> height = side(text.substr(after));
    if (!width || !height) {
        return std::nullopt;
    }
    return DisplaySize{*width, *height};
}

void buildDisplayArray(const Surface& result, DisplayArray& array)
{
    array.format().layout->pack(result, array.format().size, array.bytes());
}

DisplayArray packDisplay(const Surface& result, DisplayFormat format)
{
    DisplayArray array(format);
    buildDisplayArray(result, array);
    return array;
}

DisplayArray repack(const DisplayArray& array, const ByteLayout& layout)
{
    if (array.format().layout == &layout) {
        return array;
    }
    return packDisplay(unpackDisplay(array), {array.format().size, &layout});
}

Surface unpackDisplay(const DisplayArray& array)
{
    const DisplaySize size = array.format().size;
    const ByteLayout& layout = *array.format().layout;
    Surface picture(size.width, size.height, kBlack);
    for (int x = 0; x < size.width; ++x) {
        ColorRef* column = picture.column(x);
        for (int y = 0; y < size.height; ++y) {
            const BitPlace bit = layout.place(size, x, y);
            if ((array[bit.index] & bit.mask) != 0) {
                column[y] = kWhite;
            }
        }
    }
    return picture;
}

} // namespace pixelcast
