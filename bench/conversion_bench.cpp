// Per-frame cost of the pixel stages and of loading big photos. Reports only; never fails.
#include "decoders/decoding.h"
#include "decoders/picture_loader.h"
#include "display/display_array.h"
#include "pipeline/loaded_picture.h"
#include "pixels/dither.h"
#include "pixels/greyscale.h"
#include "pixels/threshold.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <string>

namespace pixelcast {
namespace {

Surface colourfulFrame()
{
    Surface s(kDisplayWidth, kDisplayHeight, kBlack);
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            s.write(x, y, rgb((x * 2) & 0xFF, (y * 4) & 0xFF, (x * y) & 0xFF));
        }
    }
    return s;
}

void BM_Greyscale(benchmark::State& state)
{
    const Surface frame = colourfulFrame();
    for (auto _ : state) {
        Surface s = frame;
        toGreyscale(s);
        benchmark::DoNotOptimize(s.column(0));
    }
}
BENCHMARK(BM_Greyscale);

void BM_Threshold(benchmark::State& state)
{
    Surface grey = colourfulFrame();
    toGreyscale(grey);
    Surface result(kDisplayWidth, kDisplayHeight, kFaceColour);
    for (auto _ : state) {
        renderMonochrome(grey, result, 127);
        benchmark::DoNotOptimize(result.column(0));
    }
}
BENCHMARK(BM_Threshold);

// Packing a 128 x 64 rendering in each byte layout (the argument: its place in
// allLayouts(), vertical first), as "Create array" and every frame of an animation do.
void BM_Packing(benchmark::State& state)
{
    Surface grey = colourfulFrame();
    toGreyscale(grey);
    Surface result(kDisplayWidth, kDisplayHeight, kFaceColour);
    renderMonochrome(grey, result, 127);
    const ByteLayout* layout = allLayouts()[static_cast<std::size_t>(state.range(0))];
    DisplayArray array({kDefaultDisplay, layout});
    for (auto _ : state) {
        buildDisplayArray(result, array);
        benchmark::DoNotOptimize(array.bytes().data());
    }
    state.SetLabel(std::string(layout->name()));
}
BENCHMARK(BM_Packing)->DenseRange(0, 3);

// The three pixel stages together, as "Load Image" followed by "Create array" runs them:
// the stretched still made grey and kept, then rendered and packed.
void BM_ThreePixelStages(benchmark::State& state)
{
    const Surface frame = colourfulFrame();
    for (auto _ : state) {
        LoadedPicture picture;
        Surface s = frame;
        picture.greyStill(s);
        const ConvertedFrame converted = picture.convert(0, {});
        benchmark::DoNotOptimize(converted.array.bytes().data());
    }
}
BENCHMARK(BM_ThreePixelStages);

// What the window does when the level bar moves: renders the grey frame at the new level
// in one of the four modes (the argument: none, floyd-steinberg, atkinson, ordered), the
// diffusions with inversion on top, the slowest case.
void BM_RenderAtNewLevel(benchmark::State& state)
{
    Surface grey = colourfulFrame();
    toGreyscale(grey);
    Surface result(kDisplayWidth, kDisplayHeight, kFaceColour);
    const auto dither = static_cast<Dither>(state.range(0));
    const RenderOptions options{dither, dither != Dither::None, false, false};
    std::int16_t level = 0;
    for (auto _ : state) {
        level = static_cast<std::int16_t>((level + 37) % 255);
        renderPicture(grey, result, level, options);
        benchmark::DoNotOptimize(result.column(0));
    }
    state.SetLabel(std::string(ditherName(dither)));
}
BENCHMARK(BM_RenderAtNewLevel)->DenseRange(0, 3);

QByteArray photoJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qRgb((x * 255) / width, (y * 255) / height, ((x ^ y) * 7) & 0xFF);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

void BM_LoadAndStretchJpeg(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(photoJpeg(width, height));
    }
    Surface source;
    Surface scaled;
    for (auto _ : state) {
        LoadedPicture picture = LoadedPicture::readFile(path);
        (void)picture.stretchStill({}, kDefaultDisplay, source, scaled);
        benchmark::DoNotOptimize(scaled.column(0));
    }
}
BENCHMARK(BM_LoadAndStretchJpeg)
    ->Args({1920, 1080})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond);

// Takes every row and does nothing with it.
class DiscardingSink final : public PictureSink {
public:
    void begin(int /*width*/, int /*height*/) override {}
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int /*y*/, const Argb* pixels) override { benchmark::DoNotOptimize(pixels); }
};

// The floor under BM_LoadAndStretchJpeg: the same photo decoded by libjpeg at the same
// reduced size, in memory, every row converted and thrown away.
void BM_JpegDecodeFloor(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const QByteArray bytes = photoJpeg(width, height);
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             static_cast<std::size_t>(bytes.size()));
    for (auto _ : state) {
        DiscardingSink sink;
        decodeJpeg(data, sink, kDisplayWidth, kDisplayHeight);
    }
}
BENCHMARK(BM_JpegDecodeFloor)
    ->Args({1920, 1080})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond);

// A sink that wants every `step`-th row and touches each row it gets, as a converter
// sampling a big picture down does.
class SamplingSink final : public PictureSink {
public:
    explicit SamplingSink(int step) : m_step(step) {}
    void begin(int width, int /*height*/) override { m_width = width; }
    [[nodiscard]] bool wants(int y) const override { return y % m_step == 0; }
    void row(int /*y*/, const Argb* pixels) override { m_sum += pixels[0] + pixels[m_width - 1]; }
    [[nodiscard]] Argb sum() const { return m_sum; }

private:
    int m_step = 1;
    int m_width = 0;
    Argb m_sum = 0;
};

// A 4000 x 3000 photo-like BMP of `bits` bits (24 or 32) as Qt writes or keeps it.
QByteArray photoBmp(int bits)
{
    constexpr int kWidth = 4000;
    constexpr int kHeight = 3000;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            line[x] = qRgb((x * 255) / kWidth, (y * 255) / kHeight, ((x ^ y) * 7) & 0xFF);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    if (bits == 32) {
        // Rewrite the 24-bit rows as 32-bit ones behind the same headers.
        const qsizetype headers = 54;
        QByteArray wide = bytes.left(headers);
        wide[28] = 32;
        for (qsizetype i = headers; i + 3 <= bytes.size(); i += 3) {
            wide.append(bytes.mid(i, 3)).append('\0');
        }
        bytes = wide;
    }
    return bytes;
}

// Decoding a 4000 x 3000 BMP: every row (range(1) = 1) or the 64 rows a reduction to the
// display samples (range(1) = 47). Rows not wanted are skipped, not converted.
void BM_DecodeBmp(benchmark::State& state)
{
    const QByteArray bytes = photoBmp(static_cast<int>(state.range(0)));
    const std::span<const std::uint8_t> span(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()),
        static_cast<std::size_t>(bytes.size()));
    for (auto _ : state) {
        SamplingSink sink(static_cast<int>(state.range(1)));
        decodeBmp(span, sink);
        benchmark::DoNotOptimize(sink.sum());
    }
}
BENCHMARK(BM_DecodeBmp)
    ->Args({24, 1})
    ->Args({32, 1})
    ->Args({24, 47})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pixelcast

int main(int argc, char** argv)
{
    QGuiApplication::setAttribute(Qt::AA_PluginApplication); // no platform plugin needed
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
