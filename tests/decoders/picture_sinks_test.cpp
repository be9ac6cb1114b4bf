// Stretching a picture as it is decoded gives what decoding it whole and stretching the
// result gives, for every size, with rows left out by a damaged file showing the background.
#include "decoders/picture_loader.h"
#include "decoders/picture_sinks.h"
#include "pixels/stretch.h"
#include "support/expect_surface.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace pixelcast {
namespace {

using test::ScratchDir;

struct Picture {
    int width;
    int height;
    std::vector<Argb> pixels;
};

Picture randomPicture(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    Picture p{
        width, height,
        std::vector<Argb>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))};
    for (Argb& pixel : p.pixels) {
        // Mostly opaque, some transparent and some half way.
        const auto kind = random() % 4;
        const unsigned alpha = kind == 0 ? 0 : kind == 1 ? random() % 256 : 255;
        pixel = (alpha << 24U) | (random() & 0xFFFFFFU);
    }
    return p;
}

// Plays a decoder: delivers the rows of `p` the sink wants, leaving out `missing` rows.
void deliver(const Picture& p, PictureSink& sink, int missingFrom = -1)
{
    sink.begin(p.width, p.height);
    for (int y = 0; y < p.height; ++y) {
        if (missingFrom >= 0 && y >= missingFrom) {
            return;
        }
        if (sink.wants(y)) {
            sink.row(y, p.pixels.data() + static_cast<std::ptrdiff_t>(y) * p.width);
        }
    }
}

class StretchingAsDecoded : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(StretchingAsDecoded, EqualsDecodingWholeThenStretching)
{
    const auto [width, height] = GetParam();
    const Picture p = randomPicture(width, height, static_cast<unsigned>(width * 7919 + height));
    for (const int missingFrom : {-1, height / 2}) {
        SurfaceSink whole(kFaceColour);
        deliver(p, whole, missingFrom);
        const Surface source = whole.take();
        ASSERT_EQ(source.width(), width);
        ASSERT_EQ(source.height(), height);
        for (const bool smooth : {false, true}) {
            for (const bool keepAspect : {false, true}) {
                for (const auto& [rotation, flip] :
                     {std::pair{Rotation::None, Flip::None},
                      std::pair{Rotation::Quarter, Flip::Vertical},
                      std::pair{Rotation::Half, Flip::None},
                      std::pair{Rotation::ThreeQuarters, Flip::Horizontal}}) {
                    const RenderOptions options{Dither::None,      false,    smooth, keepAspect,
                                                Background::White, rotation, flip};
                    Surface expected(kDisplayWidth, kDisplayHeight, kBlack);
                    stretchOnto(source, expected, kFaceColour, options);

                    Surface direct(kDisplayWidth, kDisplayHeight, kBlack);
                    StretchSink stretching(direct, kFaceColour, options);
                    deliver(p, stretching, missingFrom);
                    stretching.finish();
                    EXPECT_TRUE(test::sameSurface(direct, expected))
                        << "rows from " << missingFrom << " missing, smooth " << smooth
                        << ", keep aspect " << keepAspect << ", rotation " << rotationName(rotation)
                        << ", flip " << flipName(flip);
                }
            }
        }
    }
}

// Smaller and larger than 128 x 64 in each direction, one pixel, a line, sizes that do not
// divide, and more rows than one band of the whole-picture sink.
INSTANTIATE_TEST_SUITE_P(Sizes, StretchingAsDecoded,
                         testing::Values(std::pair{1, 1}, std::pair{128, 64}, std::pair{3, 200},
                                         std::pair{500, 1}, std::pair{129, 65},
                                         std::pair{1001, 333}, std::pair{77, 64 * 3 + 5}),
                         [](const testing::TestParamInfo<std::pair<int, int>>& row) {
                             return std::to_string(row.param.first) + "x" +
                                    std::to_string(row.param.second);
                         });

TEST(SurfaceSink, CompositesOntoTheBackgroundAndKeepsItWhereNoRowCame)
{
    Picture p{2, 3, {0xFF102030U, 0x00FFFFFFU, 0x80FF0000U, 0xFF000000U, 0, 0}};
    SurfaceSink sink(rgb(0, 0, 200));
    deliver(p, sink, 2);
    const Surface s = sink.take();
    EXPECT_EQ(s.read(0, 0), rgb(0x10, 0x20, 0x30));
    EXPECT_EQ(s.read(1, 0), rgb(0, 0, 200));
    // Half-transparent red over blue: each channel blended and rounded.
    EXPECT_EQ(s.read(0, 1), rgb((255 * 128 + 127) / 255, 0, (200 * 127 + 127) / 255));
    EXPECT_EQ(s.read(1, 1), rgb(0, 0, 0));
    EXPECT_EQ(s.read(0, 2), rgb(0, 0, 200));
}

// The converter's path and the window's path end with the same 128 x 64 surface for every
// kind of file the tests keep, and for pictures far bigger than the surface.
TEST(LoadScaled, LeavesWhatLoadAndScaleLeaves)
{
    ScratchDir dir;
    QStringList files;
    const QImage big = [] {
        QImage image(3001, 1999, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, qRgb((x / 9) & 0xFF, (y / 5) & 0xFF, (x ^ y) & 0xFF));
            }
        }
        return image;
    }();
    for (const char* format : {"BMP", "JPEG", "PNG"}) {
        const QString path = dir.path(QStringLiteral("big.") + QString::fromLatin1(format));
        ASSERT_TRUE(big.save(path, format));
        files << path;
    }
    // Big BMPs are read a row at a time: one cut short, and one stored top down.
    {
        QFile whole(dir.path(QStringLiteral("big.BMP")));
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        QByteArray bytes = whole.readAll();
        QFile cut(dir.path(QStringLiteral("cut.bmp")));
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() * 2 / 3 + 5));
        files << cut.fileName();
        const qint32 topDown = -1999;
        std::memcpy(bytes.data() + 22, &topDown, 4);
        QFile flipped(dir.path(QStringLiteral("top-down.bmp")));
        ASSERT_TRUE(flipped.open(QIODevice::WriteOnly));
        flipped.write(bytes);
        files << flipped.fileName();
    }
    // JPEGs of more than a megabyte are read a piece at a time: noise, whole and cut short.
    {
        std::mt19937 random(7);
        QImage noise(1600, 1200, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y) {
            for (int x = 0; x < noise.width(); ++x) {
                noise.setPixel(x, y, random() & 0xFFFFFFU);
            }
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && noise.save(&buffer, "JPEG", 95));
        ASSERT_GE(bytes.size(), 2 * 1024 * 1024) << "too small to be read in pieces when cut";
        for (const auto& [name, length] : {std::pair{"noise.jpg", bytes.size()},
                                           std::pair{"cut-noise.jpg", bytes.size() * 2 / 3}}) {
            QFile file(dir.path(QString::fromLatin1(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes.left(length));
            files << file.fileName();
        }
    }
    const QDir data(test::dataFile(QString()));
    for (const QString& name : data.entryList(QDir::Files)) {
        files << data.filePath(name);
    }
    int loaded = 0;
    for (const QString& file : files) {
        for (const bool smooth : {false, true}) {
            const RenderOptions options{Dither::None, false, smooth, smooth};
            Surface source;
            Surface window(kDisplayWidth, kDisplayHeight, kBlack);
            bool windowLoaded = true;
            try {
                loadAndScale(file, source, window, kFaceColour, options);
            } catch (const Error&) {
                windowLoaded = false;
            }
            Surface converter(kDisplayWidth, kDisplayHeight, kBlack);
            bool converterLoaded = true;
            try {
                loadScaled(file, converter, kFaceColour, options);
            } catch (const Error&) {
                converterLoaded = false;
            }
            ASSERT_EQ(converterLoaded, windowLoaded) << file.toStdString();
            if (windowLoaded) {
                ++loaded;
                EXPECT_TRUE(test::sameSurface(converter, window))
                    << file.toStdString() << (smooth ? ", smooth and keeping the aspect" : "");
            }
        }
    }
    EXPECT_GE(loaded, 20);
}

} // namespace
} // namespace pixelcast
