// Per-frame cost of the pixel stages and of loading big photos. Reports only; never fails.
#include "conversion/greyscale.h"
#include "conversion/packing.h"
#include "conversion/picture_loader.h"
#include "conversion/threshold.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace pixelcast {
namespace {

Surface colourfulFrame()
{
    Surface s(kSurfaceWidth, kSurfaceHeight, kBlack);
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
    Surface result(kSurfaceWidth, kSurfaceHeight, kFaceColour);
    for (auto _ : state) {
        renderMonochrome(grey, result, 127);
        benchmark::DoNotOptimize(result.column(0));
    }
}
BENCHMARK(BM_Threshold);

void BM_Packing(benchmark::State& state)
{
    Surface grey = colourfulFrame();
    toGreyscale(grey);
    Surface result(kSurfaceWidth, kSurfaceHeight, kFaceColour);
    renderMonochrome(grey, result, 127);
    DisplayArray array;
    for (auto _ : state) {
        buildDisplayArray(result, array);
        benchmark::DoNotOptimize(array.bytes().data());
    }
}
BENCHMARK(BM_Packing);

// The three pixel stages together, as "Load Image" followed by "Create array" runs them.
void BM_ThreePixelStages(benchmark::State& state)
{
    const Surface frame = colourfulFrame();
    Surface result(kSurfaceWidth, kSurfaceHeight, kFaceColour);
    DisplayArray array;
    for (auto _ : state) {
        Surface s = frame;
        toGreyscale(s);
        renderMonochrome(s, result, 127);
        buildDisplayArray(result, array);
        benchmark::DoNotOptimize(array.bytes().data());
    }
}
BENCHMARK(BM_ThreePixelStages);

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
    Surface scaled(kSurfaceWidth, kSurfaceHeight, kFaceColour);
    for (auto _ : state) {
        loadAndScale(path, source, scaled, kFaceColour);
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
        decodeJpeg(data, sink, kSurfaceWidth, kSurfaceHeight);
    }
}
BENCHMARK(BM_JpegDecodeFloor)
    ->Args({1920, 1080})
    ->Args({4000, 3000})
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
