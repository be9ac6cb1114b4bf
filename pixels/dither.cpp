#include "dither.h"

#include "threshold.h"

#include <algorithm>
#include <array>
#include <vector>

namespace pixelcast {

namespace {

constexpr int kBayerSize = 8;

constexpr std::array<std::array<int, kBayerSize>, kBayerSize> makeBayer()
{
    std::array<std::array<int, kBayerSize>, kBayerSize> m{};
    m[0][0] = 0;
    // Each step doubles the side: the n x n top-left block becomes four blocks.
    for (int n = 1; n < kBayerSize; n *= 2) {
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const int v = 4 * m[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
                const auto row = static_cast<std::size_t>(y);
                const auto col = static_cast<std::size_t>(x);
                const auto nn = static_cast<std::size_t>(n);
                m[row][col] = v;
                m[row][col + nn] = v + 2;
                m[row + nn][col] = v + 3;
                m[row + nn][col + nn] = v + 1;
            }
        }
    }
    return m;
}

constexpr auto kBayer = makeBayer();

// One error-diffusion share: where it goes and the fraction it carries.
struct Share {
    int dx;
    int dy;
    int numerator;
    int denominator;
};

constexpr std::array<Share, 4> kFloydSteinberg{
    {{1, 0, 7, 16}, {-1, 1, 3, 16}, {0, 1, 5, 16}, {1, 1, 1, 16}}};

// Atkinson spreads one eighth of the error, the same d = e/8, to each of six neighbours.
constexpr std::array<Share, 6> kAtkinson{
    {{1, 0, 1, 8}, {2, 0, 1, 8}, {-1, 1, 1, 8}, {0, 1, 1, 8}, {1, 1, 1, 8}, {0, 2, 1, 8}}};

template <std::size_t N>
void diffuse(const Surface& scaled, Surface& result, int width, int height, int level,
             const std::array<Share, N>& shares)
{
    // The carried error of the current row and the two below it, one pixel of margin on
    // each side so that shares outside the frame land harmlessly and are dropped.
    const auto stride = static_cast<std::size_t>(width) + 4;
    std::vector<int> error(stride * 3, 0);
    const auto at = [&](int x, int row) {
        return static_cast<std::size_t>(row % 3) * stride + static_cast<std::size_t>(x + 2);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int v = renderGreyOf(scaled.column(x)[y]) + error[at(x, y)];
            const bool white = v > level;
            result.column(x)[y] = white ? kWhite : kBlack;
            const int e = v - (white ? 255 : 0);
            for (const Share& s : shares) {
                const int tx = x + s.dx;
                if (tx >= 0 && tx < width && y + s.dy < height) {
                    error[at(tx, y + s.dy)] += e * s.numerator / s.denominator;
                }
            }
        }
        // The row just finished becomes the second row below.
        std::fill_n(error.begin() + static_cast<std::ptrdiff_t>(at(-2, y)),
                    static_cast<std::ptrdiff_t>(stride), 0);
    }
}

void ordered(const Surface& scaled, Surface& result, int width, int height, int level)
{
    for (int x = 0; x < width; ++x) {
        const ColorRef* in = scaled.column(x);
        ColorRef* out = result.column(x);
        for (int y = 0; y < height; ++y) {
            const bool white =
                128 * renderGreyOf(in[y]) > 128 * level + 255 * (2 * bayerIndex(x, y) - 63);
            out[y] = white ? kWhite : kBlack;
        }
    }
}

} // namespace

int bayerIndex(int x, int y)
{
    return kBayer[static_cast<std::size_t>(y & (kBayerSize - 1))]
                 [static_cast<std::size_t>(x & (kBayerSize - 1))];
}

int renderGreyOf(ColorRef c)
{
    return std::max({redOf(c), greenOf(c), blueOf(c)});
}

void renderPicture(const Surface& scaled, Surface& result, std::int16_t level,
                   const RenderOptions& options, const std::function<void()>& refresh)
{
    const int width = std::min(scaled.width(), result.width());
    const int height = std::min(scaled.height(), result.height());
    switch (options.dither) {
    case Dither::None:
        renderMonochrome(scaled, result, level);
        break;
    case Dither::FloydSteinberg:
        diffuse(scaled, result, width, height, level, kFloydSteinberg);
        break;
    case Dither::Atkinson:
        diffuse(scaled, result, width, height, level, kAtkinson);
        break;
    case Dither::Ordered:
        ordered(scaled, result, width, height, level);
        break;
    }
    if (options.invert) {
        for (int x = 0; x < width; ++x) {
            ColorRef* out = result.column(x);
            for (int y = 0; y < height; ++y) {
                out[y] = out[y] == kWhite ? kBlack : kWhite;
            }
        }
    }
    if (refresh) {
        refresh();
    }
}

} // namespace pixelcast
