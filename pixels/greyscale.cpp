#include "greyscale.h"

namespace pixelcast {

namespace {

// grey for one colour, written so that the column loop below vectorises. Rounding:
// adding 2^23 to a float in 0..2^23 leaves it no fraction bits, so the addition itself
// rounds to an integer, and IEEE arithmetic rounds halves to the even neighbour.
inline ColorRef greyPixel(ColorRef c)
{
    const double sum = static_cast<double>(greenOf(c)) * 0.59 +
                       static_cast<double>(redOf(c)) * 0.3 + static_cast<double>(blueOf(c)) * 0.11;
    constexpr float kNoFractionBits = 8388608.0F;
    const float shifted = static_cast<float>(sum) + kNoFractionBits;
    return static_cast<ColorRef>(static_cast<int>(shifted - kNoFractionBits));
}

// One column in place. Built twice, for AVX2 and for the baseline, and picked at load time.
__attribute__((target_clones("avx2", "default"))) void greyColumn(ColorRef* __restrict pixels,
                                                                  int height)
{
    for (int y = 0; y < height; ++y) {
        pixels[y] = greyPixel(pixels[y]) * 0x010101U;
    }
}

} // namespace

int greyOf(ColorRef c)
{
    return static_cast<int>(greyPixel(c));
}

void toGreyscale(Surface& surface, const std::function<void()>& afterColumn)
{
    const int width = surface.width();
    for (int x = 0; x < width; ++x) {
        greyColumn(surface.column(x), surface.height());
        if (afterColumn) {
            afterColumn();
        }
    }
}

} // namespace pixelcast
