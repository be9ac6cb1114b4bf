// Picture files of every accepted format, read by content, composited onto the
// background and stretched onto the 128 x 64 surface; bad files give numbered errors.
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "pixels/stretch.h"
#include "support/expect_surface.h"
#include "support/loaded_picture.h"
#include "support/pattern_image.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace pixelcast {
namespace {

using test::dataFile;
using test::ScratchDir;

ColorRef colourAt(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return rgb(qRed(p), qGreen(p), qBlue(p));
}

using test::patternImage;

QString saved(const ScratchDir& dir, const QImage& image, const char* name, const char* format)
{
    const QString path = dir.path(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path, format)) << name;
    return path;
}

// The number of the error that loading `fileName` raises, or 0 when it loads.
int errorNumberOf(const QString& fileName)
{
    try {
        (void)loadPicture(fileName, kFaceColour);
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().isEmpty());
        return e.number();
    }
    return 0;
}

using test::load;
using test::Loaded;

// --- Stretching ------------------------------------------------------------------------

TEST(Stretch, ExactSizeIsCopiedPixelForPixel)
{
    ScratchDir dir;
    const QImage image = patternImage(128, 64);
    const Loaded l = load(saved(dir, image, "exact-128x64.bmp", "BMP"));
    EXPECT_TRUE(
        test::surfaceMatches(l.scaled, [&](int x, int y) { return colourAt(image, x, y); }));
    EXPECT_TRUE(test::sameSurface(l.source, l.scaled));
}

TEST(Stretch, TwiceTheSizeLandsAtHalfSize)
{
    QImage image(256, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 256; ++x) {
            image.setPixel(x, y, qRgb(x / 2, y / 2, 9));
        }
    }
    ScratchDir dir;
    const Loaded l = load(saved(dir, image, "blocks-256x128.bmp", "BMP"));
    EXPECT_EQ(l.source.width(), 256);
    EXPECT_TRUE(test::surfaceMatches(l.scaled, [](int x, int y) { return rgb(x, y, 9); }));
}

TEST(Stretch, SquarePictureDoublesItsWidthOnly)
{
    ScratchDir dir;
    const QImage image = patternImage(64, 64);
    const Loaded l = load(saved(dir, image, "square-64x64.bmp", "BMP"));
    EXPECT_TRUE(
        test::surfaceMatches(l.scaled, [&](int x, int y) { return colourAt(image, x / 2, y); }));
}

TEST(Stretch, OddSizesTakeThePixelUnderEachCentre)
{
    // Expected source pixel computed in floating point: floor((t + 0.5) * s / d).
    for (const auto& [w, h] :
         {std::pair{200, 30}, std::pair{3, 1000}, std::pair{129, 65}, std::pair{1, 1}}) {
        Surface source(w, h, kBlack);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                source.write(x, y, rgb(x & 0xFF, y & 0xFF, (x >> 8) + 16 * (y >> 8)));
            }
        }
        Surface target(kDisplayWidth, kDisplayHeight, kFaceColour);
        stretchOnto(source, target, kFaceColour);
        EXPECT_TRUE(test::surfaceMatches(
            target,
            [&](int x, int y) {
                const auto sx = static_cast<int>(std::floor((x + 0.5) * w / kDisplayWidth));
                const auto sy = static_cast<int>(std::floor((y + 0.5) * h / kDisplayHeight));
                return source.read(sx, sy);
            }))
            << w << " x " << h;
    }
}

TEST(Stretch, EmptyNameGivesTheBackgroundOnly)
{
    Loaded l;
    l.source = Surface(5, 5, kBlack);
    loadAndScale(QString(), l.source, l.scaled, kFaceColour);
    EXPECT_TRUE(l.source.isEmpty());
    EXPECT_TRUE(test::surfaceMatches(l.scaled, [](int, int) { return kFaceColour; }));
}

// --- Formats, read by content ----------------------------------------------------------

TEST(Formats, TransparentGifShowsTheBackground)
{
    const Surface s = loadPicture(dataFile(QStringLiteral("transparent-4x2.gif")), kFaceColour);
    ASSERT_EQ(s.width(), 4);
    ASSERT_EQ(s.height(), 2);
    EXPECT_TRUE(
        test::surfaceMatches(s, [](int x, int) { return x < 2 ? rgb(255, 0, 0) : kFaceColour; }));
    // Another background shows through the same pixels.
    const Surface onBlue =
        loadPicture(dataFile(QStringLiteral("transparent-4x2.gif")), rgb(0, 0, 255));
    EXPECT_EQ(onBlue.read(3, 1), rgb(0, 0, 255));
}

TEST(Formats, AnimatedGifShowsItsFirstFrame)
{
    const Surface s =
        loadPicture(dataFile(QStringLiteral("animated-first-green-4x4.gif")), kFaceColour);
    EXPECT_TRUE(test::surfaceMatches(s, [](int, int) { return rgb(0, 255, 0); }));
}

TEST(Formats, OneBitBmp)
{
    const Surface s = loadPicture(dataFile(QStringLiteral("one-bit-16x8.bmp")), kFaceColour);
    ASSERT_EQ(s.width(), 16);
    EXPECT_TRUE(test::surfaceMatches(s, [](int x, int) { return x < 8 ? kBlack : kWhite; }));
}

TEST(Formats, PngNamedBmpIsReadAsWhatItIs)
{
    const Surface s = loadPicture(dataFile(QStringLiteral("png-named.bmp")), kFaceColour);
    ASSERT_EQ(s.width(), 8);
    EXPECT_TRUE(test::surfaceMatches(s, [](int, int) { return rgb(0, 0, 255); }));
}

TEST(Formats, JpegNamedGifIsReadAsJpeg)
{
    ScratchDir dir;
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(qRgb(230, 120, 20));
    const QString path = dir.path(QStringLiteral("jpeg-named.gif"));
    ASSERT_TRUE(image.save(path, "JPEG", 100));
    const Surface s = loadPicture(path, kFaceColour);
    ASSERT_EQ(s.width(), 16);
    ASSERT_EQ(s.height(), 8);
    // JPEG is lossy: a flat colour comes back within a few steps per channel.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const ColorRef c = s.read(x, y);
            EXPECT_NEAR(redOf(c), 230, 4);
            EXPECT_NEAR(greenOf(c), 120, 4);
            EXPECT_NEAR(blueOf(c), 20, 4);
        }
    }
}

QImage halfTransparent16()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            image.setPixel(x, y, y < 8 ? qRgba(0, 0, 255, 255) : qRgba(0, 0, 0, 0));
        }
    }
    return image;
}

TEST(Formats, IconWithTransparency)
{
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("half-transparent-16x16.ico"));
    test::writeFileBytes(path, test::writtenByQt(halfTransparent16(), "ico"));
    const Surface s = loadPicture(path, kFaceColour);
    ASSERT_EQ(s.width(), 16);
    EXPECT_TRUE(
        test::surfaceMatches(s, [](int, int y) { return y < 8 ? rgb(0, 0, 255) : kFaceColour; }));
}

TEST(Formats, CursorWithHotspot)
{
    QByteArray bytes = test::writtenByQt(halfTransparent16(), "ico");
    bytes[2] = 2;     // type: cursor
    bytes[6 + 4] = 5; // hotspot x
    bytes[6 + 5] = 0;
    bytes[6 + 6] = 7; // hotspot y
    bytes[6 + 7] = 0;
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("hotspot-5-7.cur"));
    test::writeFileBytes(path, bytes);
    const Surface s = loadPicture(path, kFaceColour);
    ASSERT_EQ(s.width(), 16);
    EXPECT_TRUE(
        test::surfaceMatches(s, [](int, int y) { return y < 8 ? rgb(0, 0, 255) : kFaceColour; }));
}

TEST(Formats, TruncatedJpegShowsWhatWasDecoded)
{
    // The decoder fills what is missing and reports success; the user sees the part that
    // arrived, as other viewers show it. The first rows equal those of the whole file.
    const Surface whole = loadPicture(dataFile(QStringLiteral("plasma-64x64.jpg")), kFaceColour);
    const Surface half = loadPicture(dataFile(QStringLiteral("truncated-half.jpg")), kFaceColour);
    ASSERT_EQ(half.width(), 64);
    ASSERT_EQ(half.height(), 64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 64; ++x) {
            EXPECT_EQ(half.read(x, y), whole.read(x, y)) << x << ", " << y;
        }
    }
}

// --- What a load tells --------------------------------------------------------------

struct ResultRow {
    const char* file;
    const char* format;
    int width;
    int height;
    int frames;
    Damage damage;
};

class LoadResults : public testing::TestWithParam<ResultRow> {};

// Both loading paths tell the format, the picture's own size, a GIF's frames, the rows
// that never arrived and what else is wrong, and agree on them.
TEST_P(LoadResults, TellTheFormatSizeFramesAndDamage)
{
    const ResultRow& row = GetParam();
    const QString path = dataFile(QString::fromLatin1(row.file));
    Surface source;
    Surface scaled(kDisplayWidth, kDisplayHeight, kFaceColour);
    const LoadResult whole = loadAndScale(path, source, scaled, kFaceColour);
    EXPECT_EQ(whole.format, QLatin1String(row.format));
    EXPECT_EQ(whole.width, row.width);
    EXPECT_EQ(whole.height, row.height);
    EXPECT_EQ(whole.frames, row.frames);
    EXPECT_EQ(whole.damage, row.damage);
    EXPECT_EQ(whole.missingRows > 0, row.damage == Damage::RowsMissing) << whole.missingRows;
    EXPECT_LT(whole.missingRows, row.height);
    EXPECT_EQ(describeDamage(whole).isEmpty(), row.damage == Damage::None);

    const LoadResult stretched = loadScaled(path, scaled, kFaceColour);
    EXPECT_EQ(stretched.format, whole.format);
    EXPECT_EQ(stretched.width, whole.width);
    EXPECT_EQ(stretched.height, whole.height);
    EXPECT_EQ(stretched.frames, whole.frames);
    EXPECT_EQ(stretched.missingRows, whole.missingRows);
    EXPECT_EQ(stretched.damage, whole.damage);
    EXPECT_EQ(stretched.wholeScans, whole.wholeScans);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadResults,
    testing::Values(ResultRow{"plasma-64x64.jpg", "JPEG", 64, 64, 1, Damage::None},
                    ResultRow{"truncated-half.jpg", "JPEG", 64, 64, 1, Damage::RowsMissing},
                    ResultRow{"progressive-24x12.jpg", "JPEG", 24, 12, 1, Damage::None},
                    ResultRow{"progressive-24x12-cut-after-2-scans.jpg", "JPEG", 24, 12, 1,
                              Damage::ScansMissing},
                    ResultRow{"animated-first-green-4x4.gif", "GIF", 4, 4, 2, Damage::None},
                    ResultRow{"interlaced-24x12.gif", "GIF", 24, 12, 1, Damage::None},
                    ResultRow{"interlaced-24x12.png", "PNG", 24, 12, 1, Damage::None},
                    ResultRow{"rle8-24x12.bmp", "BMP", 24, 12, 1, Damage::None},
                    ResultRow{"alpha-16x16.ico", "ICO", 16, 16, 1, Damage::None},
                    ResultRow{"alpha-16x16.cur", "CUR", 16, 16, 1, Damage::None}));

TEST(LoadResults, DamageIsToldInOneWording)
{
    LoadResult picture;
    EXPECT_EQ(describeDamage(picture), QString());
    picture.height = 64;
    picture.damage = Damage::ScansMissing;
    picture.wholeScans = 2;
    EXPECT_EQ(describeDamage(picture),
              QLatin1String("ends early: only its first 2 scans arrived whole"));
    AnimationInfo animation;
    animation.frames = 24;
    animation.wholeFrames = 23;
    EXPECT_EQ(describeDamage(animation), QString());
    animation.endedEarly = true;
    EXPECT_EQ(describeDamage(animation),
              QLatin1String("ends early: frame 24 arrived in part, and any frames after it are "
                            "missing"));
}

TEST(LoadResults, ABigJpegDecodedReducedTellsItsOwnSizeAndRows)
{
    ScratchDir dir;
    const QString path = saved(dir, patternImage(1024, 512), "big.jpg", "JPEG");
    QByteArray bytes;
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    test::writeFileBytes(path, bytes.left(bytes.size() * 3 / 4));
    Surface source;
    Surface scaled(kDisplayWidth, kDisplayHeight, kFaceColour);
    const LoadResult result = loadAndScale(path, source, scaled, kFaceColour);
    EXPECT_EQ(source.width(), 256); // decoded at a quarter
    EXPECT_EQ(result.width, 1024);
    EXPECT_EQ(result.height, 512);
    // The last quarter of the data holds roughly the last quarter of the rows.
    EXPECT_GT(result.missingRows, 64);
    EXPECT_LT(result.missingRows, 256);
    EXPECT_EQ(result.missingRows % 4, 0);
}

// --- Bad files -------------------------------------------------------------------------

TEST(BadFiles, EachKindHasItsNumber)
{
    ScratchDir dir;
    test::writeFileBytes(dir.path(QStringLiteral("empty.gif")), {});
    test::writeFileBytes(dir.path(QStringLiteral("zeros.bmp")), QByteArray(4096, '\0'));
    std::mt19937 random(99);
    QByteArray noise(4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    test::writeFileBytes(dir.path(QStringLiteral("noise.jpg")), noise);
    test::writeFileBytes(dir.path(QStringLiteral("text.ico")), "just some text\n");

    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("missing.gif"))), 1001);
    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("missing-folder/x.gif"))), 1001);
    EXPECT_EQ(errorNumberOf(dir.root()), 1002);
    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("empty.gif"))), 1003);
    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("zeros.bmp"))), 1003);
    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("noise.jpg"))), 1003);
    EXPECT_EQ(errorNumberOf(dir.path(QStringLiteral("text.ico"))), 1003);
}

TEST(BadFiles, FifoIsRefusedWithoutWaitingForAWriter)
{
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("pipe.gif"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(errorNumberOf(path), 1002);
}

TEST(BadFiles, DeclaredSizeBeyondTheLimitIsRefusedByName)
{
    // A BMP header claiming 20000 x 20000 at 24 bits, with no pixel data after it.
    QByteArray bmp(54, '\0');
    const auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i) {
            bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFFU);
        }
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, 20000);
    put32(22, 20000);
    bmp[26] = 1;
    bmp[28] = 24;
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("claims-20000x20000.bmp"));
    test::writeFileBytes(path, bmp);
    try {
        (void)loadPicture(path, kFaceColour);
        FAIL() << "a 20000 x 20000 picture was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 1004);
        EXPECT_TRUE(e.description().contains(QStringLiteral("20000 x 20000"))) << e.what();
    }
}

TEST(BadFiles, FailedLoadLeavesBothSurfacesAsTheyWere)
{
    Loaded l;
    l.source = Surface(3, 3, rgb(1, 2, 3));
    l.scaled.fill(rgb(4, 5, 6));
    ScratchDir dir;
    test::writeFileBytes(dir.path(QStringLiteral("bad.gif")), "GIF89a-but-nothing-else");
    EXPECT_THROW(loadAndScale(dir.path(QStringLiteral("bad.gif")), l.source, l.scaled, kFaceColour),
                 Error);
    EXPECT_TRUE(test::sameSurface(l.source, Surface(3, 3, rgb(1, 2, 3))));
    EXPECT_TRUE(test::surfaceMatches(l.scaled, [](int, int) { return rgb(4, 5, 6); }));
}

} // namespace
} // namespace pixelcast
