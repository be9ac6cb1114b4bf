#include "display/display_array.h"

namespace pixelcast {

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
