// Big JPEGs are decoded at a reduced scale for the 128 x 64 surface; everything else, and
// JPEGs too small for that, still goes through the exact path.
#include "decoders/picture_loader.h"
#include "pixels/stretch.h"
#include "support/expect_surface.h"
#include "support/loaded_picture.h"
#include "support/pattern_image.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <cstdlib>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

// Test names and failure messages show sizes as "W x H".
void PrintTo(const QSize& size, std::ostream* out)
{
    *out << size.width() << " x " << size.height();
}

namespace pixelcast {
namespace {

using test::ScratchDir;

std::string sizeName(QSize size)
{
    return size.isValid() ? std::to_string(size.width()) + "x" + std::to_string(size.height())
                          : std::string("invalid");
}

struct SizeRow {
    QSize picture;
    int reduction; // 1: decoded at its own size
};

void PrintTo(const SizeRow& row, std::ostream* out)
{
    PrintTo(row.picture, out);
}

class ReducedSize : public testing::TestWithParam<SizeRow> {};

TEST_P(ReducedSize, IsTheSmallestPowerOfTwoReductionStillTwiceTheSurface)
{
    const SizeRow row = GetParam();
    EXPECT_EQ(
        jpegReduction(row.picture.width(), row.picture.height(), kDisplayWidth, kDisplayHeight),
        row.reduction)
        << row.picture.width() << " x " << row.picture.height();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReducedSize,
    testing::Values(SizeRow{{4000, 3000}, 8}, SizeRow{{1920, 1080}, 4}, SizeRow{{2048, 1024}, 8},
                    SizeRow{{2047, 1024}, 4}, SizeRow{{2060, 1036}, 8}, SizeRow{{512, 256}, 2},
                    SizeRow{{511, 256}, 1}, SizeRow{{512, 255}, 1}, SizeRow{{256, 128}, 1},
                    SizeRow{{128, 64}, 1}, SizeRow{{40000, 200}, 1}, SizeRow{{8000, 6000}, 8},
                    SizeRow{{QSize()}, 1}),
    [](const testing::TestParamInfo<SizeRow>& row) { return sizeName(row.param.picture); });

TEST(ReducedSize, NothingIsReducedWithoutATargetSize)
{
    EXPECT_EQ(jpegReduction(4000, 3000, 0, 0), 1);
}

// Flat blocks of 256 x 256 pixels, each with its own colour.
QImage blockPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int bx = x / 256;
            const int by = y / 256;
            image.setPixel(
                x, y, qRgb((bx * 37 + 20) % 256, (by * 71 + 40) % 256, (bx * by * 23 + 90) % 256));
        }
    }
    return image;
}

QByteArray jpegBytes(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", quality));
    return bytes;
}

QString writeFile(const ScratchDir& dir, const char* name, const QByteArray& bytes)
{
    const QString path = dir.path(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

using test::load;
using test::Loaded;

// The stretch of the picture decoded at its own size: what the exact path gives.
Surface exactStretch(const QByteArray& bytes)
{
    Surface scaled(kDisplayWidth, kDisplayHeight, kBlack);
    stretchOnto(decodePicture(bytes, kFaceColour), scaled, kFaceColour);
    return scaled;
}

class BigJpeg : public testing::TestWithParam<QSize> {};

TEST_P(BigJpeg, StretchesLikeItsFullDecodeInsideFlatAreas)
{
    const QSize size = GetParam();
    const QByteArray bytes = jpegBytes(blockPicture(size.width(), size.height()), 95);
    ScratchDir dir;
    const Loaded l = load(writeFile(dir, "blocks-big.jpg", bytes));

    // The reduced path ran: the source holds the picture at an eighth of its size,
    // rounded up.
    EXPECT_EQ(l.source.width(), (size.width() + 7) / 8);
    EXPECT_EQ(l.source.height(), (size.height() + 7) / 8);

    const Surface exact = exactStretch(bytes);
    int compared = 0;
    for (int y = 0; y < kDisplayHeight; ++y) {
        for (int x = 0; x < kDisplayWidth; ++x) {
            // Where a target pixel's neighbourhood straddles two blocks, which block each
            // path picks may differ; inside a block both must show its colour.
            const int sx = (2 * x + 1) * size.width() / (2 * kDisplayWidth);
            const int sy = (2 * y + 1) * size.height() / (2 * kDisplayHeight);
            if (sx % 256 < 24 || sx % 256 > 232 || sy % 256 < 24 || sy % 256 > 232) {
                continue;
            }
            ++compared;
            const ColorRef a = l.scaled.read(x, y);
            const ColorRef b = exact.read(x, y);
            ASSERT_LE(std::abs(redOf(a) - redOf(b)), 6) << "at " << x << ", " << y;
            ASSERT_LE(std::abs(greenOf(a) - greenOf(b)), 6) << "at " << x << ", " << y;
            ASSERT_LE(std::abs(blueOf(a) - blueOf(b)), 6) << "at " << x << ", " << y;
        }
    }
    EXPECT_GT(compared, kDisplayWidth * kDisplayHeight / 2);
}

// 2048 x 1024 divides by eight; 2060 x 1036 does not, and the decoder's last column and
// row stand for the four pixels left over.
INSTANTIATE_TEST_SUITE_P(Sizes, BigJpeg, testing::Values(QSize(2048, 1024), QSize(2060, 1036)),
                         [](const testing::TestParamInfo<QSize>& row) {
                             return sizeName(row.param);
                         });

using test::patternImage;

class SmallJpeg : public testing::TestWithParam<QSize> {};

TEST_P(SmallJpeg, GoesThroughTheExactPath)
{
    const QSize size = GetParam();
    const QByteArray bytes = jpegBytes(patternImage(size.width(), size.height()), 90);
    ScratchDir dir;
    const Loaded l = load(writeFile(dir, "pattern.jpg", bytes));
    EXPECT_TRUE(test::sameSurface(l.source, decodePicture(bytes, kFaceColour)));
    EXPECT_TRUE(test::sameSurface(l.scaled, exactStretch(bytes)));
}

// Exactly the surface (copied pixel for pixel), and just short of twice it in one
// direction.
INSTANTIATE_TEST_SUITE_P(Sizes, SmallJpeg,
                         testing::Values(QSize(128, 64), QSize(511, 300), QSize(600, 255)),
                         [](const testing::TestParamInfo<QSize>& row) {
                             return sizeName(row.param);
                         });

TEST(BigBitmap, IsDecodedAtItsOwnSize)
{
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("blocks-2048x1024.bmp"));
    const QImage image = blockPicture(2048, 1024);
    ASSERT_TRUE(image.save(path, "BMP"));
    const Loaded l = load(path);
    EXPECT_EQ(l.source.width(), 2048);
    EXPECT_EQ(l.source.height(), 1024);
    EXPECT_TRUE(test::surfaceMatches(l.scaled, [&](int x, int y) {
        const QRgb p = image.pixel((2 * x + 1) * 2048 / 256, (2 * y + 1) * 1024 / 128);
        return rgb(qRed(p), qGreen(p), qBlue(p));
    }));
}

} // namespace
} // namespace pixelcast
