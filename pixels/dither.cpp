#include "dither.h"

#include "threshold.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

// The grey values of the frame row after row, the order the diffusions visit them in.
std::vector<int> greyRows(const Surface& scaled, int width, int height)
{
    std::vector<int> grey(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int x = 0; x < width; ++x) {
        const ColorRef* in = scaled.column(x);
        for (int y = 0; y < height; ++y) {
            grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)] = renderGreyOf(in[y]);
        }
    }
    return grey;
}

// Writes the rendering (1 for white, row after row) into the result's columns, flipped
// when `invert`.
void writeRows(const std::vector<std::uint8_t>& white, Surface& result, int width, int height,
               bool invert)
{
    const auto flip = static_cast<std::uint8_t>(invert ? 1 : 0);
    for (int x = 0; x < width; ++x) {
        ColorRef* out = result.column(x);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t w =
                white[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
            // Without a branch: the pattern is what a branch predictor cannot guess.
            out[y] = kWhite * static_cast<ColorRef>(w ^ flip);
        }
    }
}

// The carried errors: one row per frame row and `below` more, each with two columns of
// margin either side. Shares that leave the frame land in the margins or the rows below
// the frame, which are never read: so they are dropped.
class ErrorRows {
public:
    ErrorRows(int width, int height, int below)
        : m_stride(static_cast<std::size_t>(width) + 4),
          m_errors(m_stride * static_cast<std::size_t>(height + below), 0)
    {
    }
    // Column 0 of row y; columns -2 .. width + 1 are valid.
    [[nodiscard]] int* row(int y)
    {
        return m_errors.data() + static_cast<std::size_t>(y) * m_stride + 2;
    }

private:
    std::size_t m_stride;
    std::vector<int> m_errors;
};

// Floyd-Steinberg: e*7/16 right, e*3/16 below left, e*5/16 below, e*1/16 below right.
// The shares for the row below are summed in registers and each of its pixels is stored
// once it has all three, so that no pixel waits for the store of the one before.
template <typename RightShare>
void floydSteinberg(const std::vector<int>& grey, std::vector<std::uint8_t>& white, int width,
                    int height, int level, const RightShare& rightShare)
{
    ErrorRows errors(width, height, 1);
    for (int y = 0; y < height; ++y) {
        const int* g = grey.data() + static_cast<std::ptrdiff_t>(y) * width;
        std::uint8_t* out = white.data() + static_cast<std::ptrdiff_t>(y) * width;
        const int* here = errors.row(y);
        int* below = errors.row(y + 1); // nothing else sends to it
        int carried = here[0];
        int belowLeft = 0; // what pixel x - 1 below has from x - 2 and x - 1
        int belowHere = 0; // what pixel x below has from x - 1
        for (int x = 0; x < width; ++x) {
            const int v = g[x] + carried;
            // Arithmetic, not a branch: a dithered pattern is what branch prediction
            // cannot guess.
            const int isWhite = static_cast<int>(v > level);
            out[x] = static_cast<std::uint8_t>(isWhite);
            const int e = v - 255 * isWhite;
            carried = here[x + 1] + rightShare(v);
            below[x - 1] = belowLeft + e * 3 / 16;
            belowLeft = belowHere + e * 5 / 16;
            belowHere = e * 1 / 16;
        }
        below[width - 1] = belowLeft;
    }
}

// Atkinson: d = e/8 to right, two right, below left, below, below right and two below.
// As above, each pixel below is finished in registers and stored once.
template <typename EighthOfError>
void atkinson(const std::vector<int>& grey, std::vector<std::uint8_t>& white, int width, int height,
              int level, const EighthOfError& eighth)
{
    ErrorRows errors(width, height, 2);
    for (int y = 0; y < height; ++y) {
        const int* g = grey.data() + static_cast<std::ptrdiff_t>(y) * width;
        std::uint8_t* out = white.data() + static_cast<std::ptrdiff_t>(y) * width;
        const int* here = errors.row(y);
        int* below = errors.row(y + 1);    // holds what the row above sent two below
        int* twoBelow = errors.row(y + 2); // nothing has reached it yet
        int carried = here[0];
        int next = here[1];
        int dBefore = 0; // d of pixel x - 2
        int dLast = 0;   // d of pixel x - 1
        for (int x = 0; x < width; ++x) {
            const int v = g[x] + carried;
            out[x] = static_cast<std::uint8_t>(v > level);
            const int d = eighth(v);
            carried = next + d;
            next = here[x + 2] + d;
            below[x - 1] += dBefore + dLast + d;
            twoBelow[x] = d;
            dBefore = dLast;
            dLast = d;
        }
        below[width - 1] += dBefore + dLast;
    }
}

// The error one pixel hands on is a function of its v alone, and its share to the right is
// all the next pixel waits for: for the levels the program uses it is looked up in a table
// made per rendering instead of computed. Those levels keep every error within +-255 (each
// pixel's error is a weighted sum of its neighbours', the weights adding up to at most 1),
// so v stays within -255 .. 510; other levels compute it.
constexpr int kLowestV = -255;
constexpr int kHighestV = 510;

enum class Diffusion { FloydSteinberg, Atkinson };

// The diffusions render into a row-ordered buffer, which is then written to the columns.
void diffuse(const Surface& scaled, Surface& result, int width, int height, int level, bool invert,
             Diffusion diffusion)
{
    const std::vector<int> grey = greyRows(scaled, width, height);
    std::vector<std::uint8_t> white(grey.size());
    const bool floyd = diffusion == Diffusion::FloydSteinberg;
    // Floyd-Steinberg's share to the right, or Atkinson's eighth, of the error of v.
    const auto share = [floyd, level](int v) {
        const int e = v - (v > level ? 255 : 0);
        return floyd ? e * 7 / 16 : e / 8;
    };
    if (level >= 0 && level <= 254) {
        std::vector<int> table(static_cast<std::size_t>(kHighestV - kLowestV + 1));
        for (int v = kLowestV; v <= kHighestV; ++v) {
            table[static_cast<std::size_t>(v - kLowestV)] = share(v);
        }
        const int* byV = table.data() - kLowestV;
        const auto lookUp = [byV](int v) {
            return byV[v];
        };
        if (floyd) {
            floydSteinberg(grey, white, width, height, level, lookUp);
        } else {
            atkinson(grey, white, width, height, level, lookUp);
        }
    } else if (floyd) {
        floydSteinberg(grey, white, width, height, level, share);
    } else {
        atkinson(grey, white, width, height, level, share);
    }
    writeRows(white, result, width, height, invert);
}

// Floor division, for the ordered rule's limits, some of which are negative.
constexpr int floorDivide(int a, int b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

void ordered(const Surface& scaled, Surface& result, int width, int height, int level, bool invert)
{
    // 128*g > 128*level + 255*(2M - 63) holds for whole g exactly when g exceeds the
    // floor of the right side over 128: one limit per matrix index.
    std::array<int, static_cast<std::size_t>(kBayerSize) * kBayerSize> limit{};
    for (int m = 0; m < kBayerSize * kBayerSize; ++m) {
        limit[static_cast<std::size_t>(m)] = floorDivide(128 * level + 255 * (2 * m - 63), 128);
    }
    const ColorRef flip = invert ? kWhite : kBlack;
    for (int x = 0; x < width; ++x) {
        const ColorRef* in = scaled.column(x);
        ColorRef* out = result.column(x);
        std::array<int, kBayerSize> columnLimit{};
        for (int k = 0; k < kBayerSize; ++k) {
            columnLimit[static_cast<std::size_t>(k)] =
                limit[static_cast<std::size_t>(bayerIndex(x, k))];
        }
        for (int y = 0; y < height; ++y) {
            const auto isWhite = static_cast<ColorRef>(
                renderGreyOf(in[y]) > columnLimit[static_cast<std::size_t>(y & 7)]);
            out[y] = (kWhite * isWhite) ^ flip;
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
        if (options.invert) {
            for (int x = 0; x < width; ++x) {
                ColorRef* out = result.column(x);
                for (int y = 0; y < height; ++y) {
                    out[y] ^= kWhite; // the rendering holds only white and black
                }
            }
        }
        break;
    case Dither::FloydSteinberg:
        diffuse(scaled, result, width, height, level, options.invert, Diffusion::FloydSteinberg);
        break;
    case Dither::Atkinson:
        diffuse(scaled, result, width, height, level, options.invert, Diffusion::Atkinson);
        break;
    case Dither::Ordered:
        ordered(scaled, result, width, height, level, options.invert);
        break;
    }
    if (refresh) {
        refresh();
    }
}

} // namespace pixelcast
