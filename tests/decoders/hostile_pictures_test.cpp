// Hostile picture files built byte by byte: each must end in a numbered error or a
// sensible picture, never a crash or a huge allocation.
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "support/dib_builder.h"
#include "support/every_cut.h"
#include "support/le_bytes.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>

#include <array>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <string>

namespace pixelcast {
namespace {

using test::LeBytes;

// The error number, or nullopt with `picture` set when the bytes decode.
std::optional<int> decodeOutcome(const QByteArray& bytes, Surface* picture = nullptr)
{
    try {
        Surface s = decodePicture(bytes, kFaceColour);
        if (picture != nullptr) {
            *picture = std::move(s);
        }
        return std::nullopt;
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().isEmpty());
        return e.number();
    }
}

// A GIF of `width` x `height` pixels declared in its screen descriptor, with a two-colour
// palette and one 1 x 1 frame per entry of `frames`, each frame's LZW minimum code size
// as given.
LeBytes gif(unsigned width, unsigned height, std::initializer_list<int> codeSizes)
{
    LeBytes b;
    b.text("GIF89a").u16(width).u16(height).u8({0x80, 0, 0}); // global palette of 2
    b.u8({0, 0, 0, 255, 255, 255});
    for (const int codeSize : codeSizes) {
        b.u8({0x2C}).u16(0).u16(0).u16(1).u16(1).u8({0});
        // Clear (4), index 1, end (5) in 3-bit codes: 0b101'001'100 -> bytes 0x4C 0x01.
        b.u8({codeSize, 2, 0x4C, 0x01, 0});
    }
    b.u8({0x3B});
    return b;
}

TEST(HostilePictures, GifClaimingAHugeScreenIsRefusedBeforeDecoding)
{
    EXPECT_EQ(decodeOutcome(gif(65535, 65535, {2}).data()), 1004);
}

TEST(HostilePictures, GifWithABadCodeSizeIsDamaged)
{
    EXPECT_EQ(decodeOutcome(gif(1, 1, {14}).data()), 1005);
}

TEST(HostilePictures, GifWithAThousandFramesShowsTheFirst)
{
    LeBytes b;
    b.text("GIF89a").u16(1).u16(1).u8({0x80, 0, 0}).u8({0, 0, 0, 255, 255, 255});
    for (int i = 0; i < 1000; ++i) {
        b.u8({0x2C}).u16(0).u16(0).u16(1).u16(1).u8({0}).u8({2, 2, 0x4C, 0x01, 0});
    }
    b.u8({0x3B});
    Surface picture;
    ASSERT_EQ(decodeOutcome(b.data(), &picture), std::nullopt);
    EXPECT_EQ(picture.width(), 1);
    EXPECT_EQ(picture.read(0, 0), kWhite);
}

TEST(HostilePictures, GifFrameLargerThanItsScreenIsDamaged)
{
    LeBytes b;
    b.text("GIF89a").u16(1).u16(1).u8({0x80, 0, 0}).u8({0, 0, 0, 255, 255, 255});
    b.u8({0x2C}).u16(0).u16(0).u16(60000).u16(60000).u8({0}).u8({2, 2, 0x4C, 0x01, 0});
    b.u8({0x3B});
    EXPECT_EQ(decodeOutcome(b.data()), 1005);
}

// A bottom-up BMP with a 40-byte info header, `bits` per pixel and compression
// `compression`, followed by `rest` (palette or masks, then the pixel data at `dataOffset`
// bytes after the headers).
QByteArray bmp(int width, int height, int bits, unsigned compression, unsigned paletteColours,
               unsigned dataOffset, const QByteArray& rest)
{
    const test::DibLayout layout{
        40, width, height, static_cast<std::uint32_t>(bits), compression, paletteColours, {}};
    return test::bmpFile(layout, rest, {}, 14U + 40U + dataOffset);
}

TEST(HostilePictures, BmpWithBitFieldsOfZero)
{
    // 32 bits per pixel, BI_BITFIELDS with all three masks zero, then 4 pixels.
    LeBytes rest;
    rest.u32(0).u32(0).u32(0).u32(0xFFFFFFFF).u32(0x12345678).u32(0).u32(0xFF);
    Surface picture;
    ASSERT_EQ(decodeOutcome(bmp(2, 2, 32, 3, 0, 12, rest.data()), &picture), std::nullopt);
    EXPECT_EQ(picture.width(), 2);
}

TEST(HostilePictures, BmpPaletteIndexPastThePalette)
{
    // 8 bits per pixel, a palette of two colours, pixels using index 200.
    LeBytes rest;
    rest.u32(0x000000).u32(0xFFFFFF);
    rest.u8({200, 1, 0, 0, 200, 0, 0, 0}); // two rows of two pixels, padded to 4 bytes
    Surface picture;
    ASSERT_EQ(decodeOutcome(bmp(2, 2, 8, 0, 2, 8, rest.data()), &picture), std::nullopt);
    EXPECT_EQ(picture.width(), 2);
    EXPECT_EQ(picture.read(1, 1), kWhite); // index 1, first stored row = bottom row
}

TEST(HostilePictures, BmpRunLengthCodesPastTheRow)
{
    // RLE8: a run of 255 pixels in a 4-pixel row, a delta far outside, then end of bitmap.
    LeBytes rest;
    rest.u32(0x000000).u32(0xFFFFFF);
    rest.u8({255, 1, 0, 2, 200, 200, 255, 1, 0, 1});
    Surface picture;
    ASSERT_EQ(decodeOutcome(bmp(4, 2, 8, 1, 2, 8, rest.data()), &picture), std::nullopt);
    EXPECT_EQ(picture.width(), 4);
}

TEST(HostilePictures, IconDirectoriesThatLie)
{
    // No entries at all: not a picture.
    EXPECT_EQ(decodeOutcome(LeBytes{}.u16(0).u16(1).u16(0).data()), 1003);
    // One entry whose image lies past the end of the file.
    LeBytes past;
    past.u16(0).u16(1).u16(1).u8({16, 16, 0, 0}).u16(1).u16(32).u32(1128).u32(100000);
    EXPECT_EQ(decodeOutcome(past.data()), 1005);
    // A cursor with the same lie.
    LeBytes cursor;
    cursor.u16(0).u16(2).u16(1).u8({16, 16, 0, 0}).u16(3).u16(4).u32(1128).u32(22);
    EXPECT_EQ(decodeOutcome(cursor.data()), 1005);
}

TEST(HostilePictures, TruncatedFilesShowWhatArrivedOrSayTheyAreDamaged)
{
    // What the user sees of a file cut short: the part the decoder could read (the rest as
    // the decoder fills it) at the picture's own size, or a numbered error; never a crash.
    QImage image(40, 30, QImage::Format_ARGB32);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            image.setPixel(x, y, qRgba(x * 6, y * 8, 255 - x * 6, 255));
        }
    }
    // Each format cut to half its length, to all but its last byte and to 40 bytes: a
    // picture (nothing) or the error it must give.
    struct Row {
        const char* format;
        std::array<std::optional<int>, 3> outcomes;
    };
    const Row rows[] = {
        {"BMP", {std::nullopt, std::nullopt, 1005}},
        {"ICO", {1005, 1005, 1005}},
        {"PNG", {1005, std::nullopt, 1005}},
        {"JPEG", {1005, std::nullopt, 1005}},
    };
    for (const Row& row : rows) {
        QByteArray whole;
        QBuffer buffer(&whole);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, row.format)) << row.format;
        const std::array<qsizetype, 3> keeps{whole.size() / 2, whole.size() - 1, 40};
        for (std::size_t k = 0; k < keeps.size(); ++k) {
            SCOPED_TRACE(std::string(row.format) + " cut to " + std::to_string(keeps[k]));
            Surface picture;
            EXPECT_EQ(decodeOutcome(whole.left(keeps[k]), &picture), row.outcomes[k]);
            if (!row.outcomes[k]) {
                EXPECT_EQ(picture.width(), 40);
                EXPECT_EQ(picture.height(), 30);
            }
        }
    }
    // A GIF cut inside its header is not one; cut inside its frame, it is damaged; cut
    // only before its trailer, it is whole.
    const QByteArray gifBytes = gif(1, 1, {2}).data();
    const auto checkCut = [](const QByteArray& cut) {
        const std::optional<int> expected =
            cut.size() < 13 ? std::optional(1003)
                            : (cut.size() < 32 ? std::optional(1005) : std::nullopt);
        EXPECT_EQ(decodeOutcome(cut), expected);
    };
    test::forEveryCut(gifBytes, "GIF ", checkCut, 6);
}

TEST(HostilePictures, GifWithAScreenOfNoHeightTakesItsFramesHeight)
{
    // Found by fuzzing (slow under instrumentation, not a hang): the screen is 516 x 0 and
    // the decoder grows the picture to its frames, 516 x 11296 pixels, well inside the limit.
    QFile file(test::dataFile(QStringLiteral("fuzz-gif-screen-height-zero.gif")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    Surface picture;
    ASSERT_EQ(decodeOutcome(file.readAll(), &picture), std::nullopt);
    EXPECT_EQ(picture.width(), 516);
    EXPECT_EQ(picture.height(), 11296);
}

TEST(HostilePictures, IconWhosePngEntryClaimsAHugeSizeIsRefused)
{
    // A PNG entry whose header claims 4092851187 x 4092851187 pixels: ranking it by its
    // pixel count must not overflow (the sanitizer build catches that), and what follows
    // its signature is no PNG header.
    QFile file(test::dataFile(QStringLiteral("icon-png-entry-claiming-a-huge-size.ico")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decodeOutcome(file.readAll()), 1003);
}

TEST(HostilePictures, SignatureAloneIsNotAPicture)
{
    const std::pair<const char*, int> rows[] = {
        {"GIF89a", 1003}, {"\xFF\xD8\xFF", 1005}, {"BM", 1005}, {"\x89PNG\r\n\x1A\n", 1003}};
    for (const auto& [start, outcome] : rows) {
        EXPECT_EQ(decodeOutcome(QByteArray(start)), outcome) << start;
    }
}

} // namespace
} // namespace pixelcast
