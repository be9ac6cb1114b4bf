// The cost of the GIF and PNG decoders on pictures of 800 x 600, into a sink that only
// reads each row, beside Qt's readers on the same files for reference. The noisy GIF is the
// worst case for LZW (about a byte a pixel); the drawing is what GIFs mostly hold.
#include "decoders/decoding.h"
#include "output/png_encoder.h"

#include <QByteArray>
#include <QImage>

#include <benchmark/benchmark.h>
#include <cstdint>
#include <gif_lib.h>
#include <random>
#include <vector>

namespace pixelcast {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

class ReadingSink final : public PictureSink {
public:
    void begin(int width, int /*height*/) override { m_width = width; }
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int /*y*/, const Argb* pixels) override
    {
        for (int x = 0; x < m_width; ++x) {
            m_sum += pixels[x];
        }
    }
    [[nodiscard]] std::uint64_t sum() const { return m_sum; }

private:
    int m_width = 0;
    std::uint64_t m_sum = 0;
};

// Smooth colours with some noise, like a dithered photo.
std::uint8_t level(int x, int y, std::mt19937& random)
{
    return static_cast<std::uint8_t>(((x / 4 + y / 3) & 0xF0U) | (random() & 0x0FU));
}

// Bands and blocks of a few colours.
std::uint8_t drawn(int x, int y)
{
    return static_cast<std::uint8_t>(((x / 40) ^ (y / 30)) & 0x0FU);
}

extern "C" {
static int appendGifBytes(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}
}

std::vector<std::uint8_t> makeGif(bool noisy)
{
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i) {
        colours[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i),
                                                static_cast<GifByteType>(255 - i),
                                                static_cast<GifByteType>(i / 2)};
    }
    ColorMapObject* table = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, table);
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
    std::mt19937 random(1);
    std::vector<GifPixelType> line(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            line[static_cast<std::size_t>(x)] = noisy ? level(x, y, random) : drawn(x, y);
        }
        EGifPutLine(gif, line.data(), kWidth);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(table);
    return out;
}

std::vector<std::uint8_t> photoPng()
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            rgb.push_back(level(x, y, random));
            rgb.push_back(level(y, x, random));
            rgb.push_back(level(x + y, x, random));
        }
    }
    return encodePngRgb(kWidth, kHeight, rgb);
}

QByteArray asQByteArray(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

void BM_DecodeGif(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = makeGif(state.range(0) != 0);
    for (auto _ : state) {
        ReadingSink sink;
        decodeGif(bytes, sink);
        benchmark::DoNotOptimize(sink.sum());
    }
    state.SetLabel(state.range(0) != 0 ? "noisy" : "drawing");
}
BENCHMARK(BM_DecodeGif)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_QtReaderGif(benchmark::State& state)
{
    const QByteArray bytes = asQByteArray(makeGif(state.range(0) != 0));
    for (auto _ : state) {
        const QImage image = QImage::fromData(bytes, "GIF");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(state.range(0) != 0 ? "noisy" : "drawing");
}
BENCHMARK(BM_QtReaderGif)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_DecodePng(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = photoPng();
    for (auto _ : state) {
        ReadingSink sink;
        decodePng(bytes, sink);
        benchmark::DoNotOptimize(sink.sum());
    }
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

void BM_QtReaderPng(benchmark::State& state)
{
    const QByteArray bytes = asQByteArray(photoPng());
    for (auto _ : state) {
        const QImage image = QImage::fromData(bytes, "PNG");
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_QtReaderPng)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pixelcast
