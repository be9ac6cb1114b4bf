// The BMP decoder against Qt's BMP reader, which the program used before: files Qt writes,
// files built byte by byte in every layout the decoder reads, and hostile files.
#include "decoders/decoding.h"
#include "support/decoded_picture.h"
#include "support/dib_builder.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace pixelcast {
namespace {

using test::bmpFile;
using test::DecodedPicture;
using test::decodeWith;
using test::DibLayout;
using test::fromQImage;
using test::LeBytes;
using test::paddedRows;
using test::palette;
using test::samePicture;

QByteArray savedByQt(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "BMP"));
    return bytes;
}

// Decodes `bytes` with our decoder and with Qt's and expects the same picture, rows in
// order.
void expectAgreesWithQt(const QByteArray& bytes)
{
    const QImage qt = QImage::fromData(bytes, "BMP");
    ASSERT_FALSE(qt.isNull()) << "Qt does not read this file";
    bool orderKept = false;
    const DecodedPicture ours = decodeWith(decodeBmp, bytes, &orderKept);
    EXPECT_TRUE(orderKept);
    EXPECT_TRUE(samePicture(ours, fromQImage(qt)));
}

QRgb colourAt(int x, int y)
{
    return qRgb((x * 37 + 11) & 0xFF, (y * 53 + 7) & 0xFF, (x * y * 13 + 101) & 0xFF);
}

// Stored rows of a picture `height` rows high: the bottom row first unless `topDown`.
QByteArray rows(int height, bool topDown, const std::function<QByteArray(int y)>& rowOf)
{
    return paddedRows(height,
                      [&](int stored) { return rowOf(topDown ? stored : height - 1 - stored); });
}

QByteArray rgbRows(int width, int height, bool topDown, int bytesPerPixel = 3,
                   const std::function<int(int, int)>& fourth = {})
{
    return rows(height, topDown, [&](int y) {
        LeBytes b;
        for (int x = 0; x < width; ++x) {
            const QRgb c = colourAt(x, y);
            b.u8({qBlue(c), qGreen(c), qRed(c)});
            if (bytesPerPixel == 4) {
                b.u8({fourth ? fourth(x, y) : 0});
            }
        }
        return b.data();
    });
}

// Palette indices `indexOf(x, y)` packed at `bits` per pixel, the leftmost pixel in the
// high bits.
QByteArray indexedRows(int width, int height, int bits, bool topDown,
                       const std::function<int(int, int)>& indexOf)
{
    return rows(height, topDown, [&](int y) {
        QByteArray row((width * bits + 7) / 8, '\0');
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - bits - (x * bits) % 8;
            row[x * bits / 8] = static_cast<char>(row[x * bits / 8] | (indexOf(x, y) << shift));
        }
        return row;
    });
}

QByteArray gradientPalette(int colours, bool core = false)
{
    QByteArray p;
    for (int i = 0; i < colours; ++i) {
        p.append(palette({qRgb(i * 7 & 0xFF, 255 - i, i * 31 & 0xFF)}, core));
    }
    return p;
}

// --- Files Qt writes --------------------------------------------------------------------

TEST(BmpDecoder, ReadsWhatQtWritesAsQtReadsIt)
{
    struct Row {
        const char* name;
        QImage::Format format;
        int width;
        int height;
        int colours; // indexed pictures; Qt writes 4 bits up to 16 colours
    };
    const Row table[] = {
        {"1 bit, width 13", QImage::Format_Mono, 13, 5, 2},
        {"1 bit, width 33", QImage::Format_Mono, 33, 3, 2},
        {"4 bits, width 7", QImage::Format_Indexed8, 7, 4, 16},
        {"4 bits, width 1", QImage::Format_Indexed8, 1, 3, 5},
        {"8 bits, width 5", QImage::Format_Indexed8, 5, 6, 200},
        {"24 bits, width 1", QImage::Format_RGB32, 1, 2, 0},
        {"24 bits, width 2", QImage::Format_RGB32, 2, 3, 0},
        {"24 bits, width 3", QImage::Format_RGB32, 3, 2, 0},
        {"24 bits, width 61", QImage::Format_RGB32, 61, 17, 0},
        {"24 bits from a picture with alpha", QImage::Format_ARGB32, 6, 4, 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        QImage image(row.width, row.height, row.format);
        if (row.colours > 0) {
            image.setColorCount(row.colours);
            for (int i = 0; i < row.colours; ++i) {
                image.setColor(i, qRgb(i * 97 & 0xFF, i * 13 & 0xFF, 255 - i));
            }
        }
        for (int y = 0; y < row.height; ++y) {
            for (int x = 0; x < row.width; ++x) {
                if (row.colours > 0) {
                    image.setPixel(x, y, static_cast<uint>((x * 3 + y * 5) % row.colours));
                } else {
                    image.setPixel(x, y, colourAt(x, y) & 0x7FFFFFFFU);
                }
            }
        }
        expectAgreesWithQt(savedByQt(image));
    }
}

// --- Layouts built byte by byte, compared with Qt ----------------------------------------

struct Built {
    std::string name;
    QByteArray bytes;
};

std::vector<Built> layoutsQtReads()
{
    std::vector<Built> files;
    const auto indexOf = [](int colours) {
        return [colours](int x, int y) {
            return (x * 3 + y) % colours;
        };
    };
    files.push_back(
        {"24 bits, top down", bmpFile({.width = 5, .height = -3}, {}, rgbRows(5, 3, true))});
    files.push_back({"8 bits, top down, width 3",
                     bmpFile({.width = 3, .height = -4, .bits = 8, .coloursUsed = 4},
                             gradientPalette(4), indexedRows(3, 4, 8, true, indexOf(4)))});
    files.push_back(
        {"4 bits, width 5", bmpFile({.width = 5, .height = 3, .bits = 4}, gradientPalette(16),
                                    indexedRows(5, 3, 4, false, indexOf(16)))});
    files.push_back({"4 bits, a palette of 3",
                     bmpFile({.width = 9, .height = 2, .bits = 4, .coloursUsed = 3},
                             gradientPalette(3), indexedRows(9, 2, 4, false, indexOf(3)))});
    files.push_back({"1 bit, width 17, colours the other way round",
                     bmpFile({.width = 17, .height = 3, .bits = 1},
                             palette({qRgb(255, 255, 255), qRgb(0, 0, 0)}),
                             indexedRows(17, 3, 1, false, indexOf(2)))});
    for (const std::uint32_t header : {64U, 108U, 124U}) {
        files.push_back({"8 bits under a header of " + std::to_string(header) + " bytes",
                         bmpFile({.headerBytes = header, .width = 7, .height = 3, .bits = 8},
                                 gradientPalette(256), indexedRows(7, 3, 8, false, indexOf(256)))});
        files.push_back(
            {"24 bits under a header of " + std::to_string(header) + " bytes",
             bmpFile({.headerBytes = header, .width = 3, .height = 2}, {}, rgbRows(3, 2, false))});
    }
    files.push_back(
        {"OS/2 core header, 8 bits, three-byte palette",
         bmpFile({.headerBytes = 12, .width = 6, .height = 2, .bits = 8},
                 gradientPalette(256, true), indexedRows(6, 2, 8, false, indexOf(256)))});
    files.push_back({"OS/2 core header, 1 bit",
                     bmpFile({.headerBytes = 12, .width = 10, .height = 2, .bits = 1},
                             palette({qRgb(0, 0, 255), qRgb(255, 255, 0)}, true),
                             indexedRows(10, 2, 1, false, indexOf(2)))});
    files.push_back(
        {"OS/2 core header, 24 bits",
         bmpFile({.headerBytes = 12, .width = 3, .height = 3}, {}, rgbRows(3, 3, false))});

    // 32 bits: the fourth byte counts only where a V4 or V5 header declares alpha there.
    const auto alphaOf = [](int x, int y) {
        return (x * 50 + y * 90) & 0xFF;
    };
    files.push_back(
        {"32 bits uncompressed, the fourth byte ignored",
         bmpFile({.width = 4, .height = 3, .bits = 32}, {}, rgbRows(4, 3, false, 4, alphaOf))});
    for (const std::uint32_t header : {108U, 124U}) {
        files.push_back({"32 bits uncompressed, alpha declared in a header of " +
                             std::to_string(header) + " bytes",
                         bmpFile({.headerBytes = header,
                                  .width = 4,
                                  .height = 3,
                                  .bits = 32,
                                  .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
                                 {}, rgbRows(4, 3, false, 4, alphaOf))});
        files.push_back(
            {"32 bits bit fields with alpha in a header of " + std::to_string(header) + " bytes",
             bmpFile({.headerBytes = header,
                      .width = 4,
                      .height = -3,
                      .bits = 32,
                      .compression = 3,
                      .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
                     {}, rgbRows(4, 3, true, 4, alphaOf))});
    }
    files.push_back({"32 bits bit fields, standard masks after the header",
                     bmpFile({.width = 3, .height = 2, .bits = 32, .compression = 3},
                             LeBytes{}.u32(0xFF0000).u32(0xFF00).u32(0xFF).data(),
                             rgbRows(3, 2, false, 4, alphaOf))});
    files.push_back({"32 bits bit fields, red and blue swapped, in the top three bytes",
                     bmpFile({.width = 3, .height = 2, .bits = 32, .compression = 3},
                             LeBytes{}.u32(0xFF00).u32(0xFF0000).u32(0xFF000000).data(),
                             rgbRows(3, 2, false, 4, alphaOf))});
    files.push_back({"32 bits bit fields, every mask zero",
                     bmpFile({.width = 2, .height = 2, .bits = 32, .compression = 3},
                             LeBytes{}.zeros(12).data(), rgbRows(2, 2, false, 4))});

    // Where the pixels are.
    const QByteArray pal = gradientPalette(4);
    const QByteArray pixels = indexedRows(3, 2, 8, false, indexOf(4));
    const DibLayout eightBits{.width = 3, .height = 2, .bits = 8, .coloursUsed = 4};
    files.push_back({"pixel offset 0", bmpFile(eightBits, pal, pixels, 0)});
    files.push_back({"pixel offset inside the header", bmpFile(eightBits, pal, pixels, 20)});
    files.push_back({"pixel offset inside the palette", bmpFile(eightBits, pal, pixels, 60)});
    files.push_back({"pixel offset past the end", bmpFile(eightBits, pal, pixels, 0x7FFFFFFF)});
    files.push_back(
        {"pixel offset after a gap", bmpFile(eightBits, pal, pixels, 14 + 40 + 16 + 10)});

    // Indices the palette does not reach: Qt shows them transparent, except the ones of a
    // one-bit picture, white.
    files.push_back({"8 bits, indices past the palette",
                     bmpFile({.width = 4, .height = 2, .bits = 8, .coloursUsed = 2},
                             palette({qRgb(0, 0, 0), qRgb(255, 255, 255)}),
                             indexedRows(4, 2, 8, false, [](int x, int) { return x * 80; }))});
    files.push_back({"4 bits, indices past the palette",
                     bmpFile({.width = 4, .height = 2, .bits = 4, .coloursUsed = 3},
                             gradientPalette(3), indexedRows(4, 2, 4, false, indexOf(16)))});
    files.push_back({"1 bit, a palette of one colour",
                     bmpFile({.width = 4, .height = 2, .bits = 1, .coloursUsed = 1},
                             palette({qRgb(0, 128, 0)}), indexedRows(4, 2, 1, false, indexOf(2)))});

    // Run-length coding: runs, absolute runs of odd and even length with their padding,
    // line ends and the end of the picture.
    files.push_back(
        {"run-length coded, 8 bits",
         bmpFile({.width = 6, .height = 3, .bits = 8, .compression = 1, .coloursUsed = 4},
                 gradientPalette(4),
                 LeBytes{}
                     .u8({0, 3, 2, 3, 0, 0, 3, 1, 0, 0})
                     .u8({6, 2, 0, 0})
                     .u8({0, 5, 1, 2, 3, 0, 1, 0, 1, 3, 0, 1})
                     .data())});
    files.push_back(
        {"run-length coded, 4 bits",
         bmpFile({.width = 8, .height = 2, .bits = 4, .compression = 2}, gradientPalette(16),
                 LeBytes{}
                     .u8({5, 0x12, 0, 3, 0x34, 0x50, 0, 0})
                     .u8({0, 5, 0x67, 0x89, 0xA0, 0, 3, 0xBC, 0, 1})
                     .data())});
    return files;
}

TEST(BmpDecoder, ReadsEveryLayoutAsQtReadsIt)
{
    for (const Built& file : layoutsQtReads()) {
        SCOPED_TRACE(file.name);
        expectAgreesWithQt(file.bytes);
    }
}

TEST(BmpDecoder, CorePaletteRunsToThePixels)
{
    // The core header declares no palette size: a palette of 3 entries ends where the
    // pixels begin, and the picture is the one a full palette gives.
    const auto indexOf = [](int x, int y) {
        return (x + y) % 3;
    };
    const DibLayout core{.headerBytes = 12, .width = 6, .height = 3, .bits = 8};
    const QByteArray pixels = indexedRows(6, 3, 8, false, indexOf);
    const DecodedPicture full =
        decodeWith(decodeBmp, bmpFile(core, gradientPalette(256, true), pixels));
    const DecodedPicture shortPalette =
        decodeWith(decodeBmp, bmpFile(core, gradientPalette(3, true), pixels));
    EXPECT_TRUE(samePicture(shortPalette, full));
}

// --- Bit fields -------------------------------------------------------------------------

// A one-pixel picture of `bits` bits holding `pixel`, its masks after a 40-byte header or
// inside a larger one.
QByteArray onePixel(std::uint32_t headerBytes, std::uint32_t bits, std::uint32_t compression,
                    std::array<std::uint32_t, 4> masks, std::uint32_t pixel)
{
    const DibLayout layout{.headerBytes = headerBytes,
                           .width = 1,
                           .height = 1,
                           .bits = bits,
                           .compression = compression,
                           .masks = masks};
    LeBytes tables;
    const std::uint32_t held = headerBytes == 52 ? 3U : headerBytes >= 56 ? 4U : 0U;
    const std::uint32_t needed = compression == 6 ? 4U : compression == 3 ? 3U : 0U;
    for (std::uint32_t i = held; i < needed; ++i) {
        tables.u32(masks[i]);
    }
    LeBytes pixels;
    pixels.u32(pixel);
    return bmpFile(layout, tables.data(), pixels.data());
}

TEST(BmpDecoder, WidensEveryBitFieldToTheFullRange)
{
    // Fields narrower than 8 bits repeat their bits (so the largest value is 255), wider
    // ones keep their top 8, a zero mask reads 0, and alpha counts where a mask declares it.
    struct Row {
        const char* name;
        std::uint32_t headerBytes;
        std::uint32_t bits;
        std::uint32_t compression;
        std::array<std::uint32_t, 4> masks;
        std::uint32_t pixel;
        Argb expected;
    };
    constexpr std::array<std::uint32_t, 4> k565{0xF800, 0x07E0, 0x001F, 0};
    constexpr std::array<std::uint32_t, 4> k4444{0x0F00, 0x00F0, 0x000F, 0xF000};
    const Row table[] = {
        {"16 bits uncompressed: white", 40, 16, 0, {}, 0x7FFF, 0xFFFFFFFF},
        {"16 bits uncompressed: red", 40, 16, 0, {}, 0x7C00, 0xFFFF0000},
        {"16 bits uncompressed: blue 1", 40, 16, 0, {}, 0x0001, 0xFF000008},
        {"16 bits uncompressed: blue 16", 40, 16, 0, {}, 0x0010, 0xFF000084},
        {"16 bits uncompressed: the top bit unused", 40, 16, 0, {}, 0x8000, 0xFF000000},
        {"5-6-5: white", 40, 16, 3, k565, 0xFFFF, 0xFFFFFFFF},
        {"5-6-5: green", 40, 16, 3, k565, 0x07E0, 0xFF00FF00},
        {"5-6-5: green 1", 40, 16, 3, k565, 0x0020, 0xFF000400},
        {"5-6-5 in a V2 header", 52, 16, 3, k565, 0xF81F, 0xFFFF00FF},
        {"4-4-4-4 with alpha after the header", 40, 16, 6, k4444, 0x8F4C, 0x88FF44CC},
        {"4-4-4-4 with alpha in a V3 header", 56, 16, 3, k4444, 0x8F4C, 0x88FF44CC},
        {"1-5-5-5 with alpha in a V4 header: clear",
         108,
         16,
         3,
         {0x7C00, 0x03E0, 0x1F, 0x8000},
         0x7FFF,
         0x00FFFFFF},
        {"1-5-5-5 with alpha in a V4 header: solid",
         108,
         16,
         3,
         {0x7C00, 0x03E0, 0x1F, 0x8000},
         0x8000,
         0xFF000000},
        {"10-10-10: the top 8 bits",
         40,
         32,
         3,
         {0x3FF00000, 0x000FFC00, 0x3FF, 0},
         0x3FF00000 | 0x200U << 10U | 0x3U,
         0xFFFF8000},
        {"one-bit fields", 40, 32, 3, {0x1, 0x2, 0x4, 0}, 0x5, 0xFFFF00FF},
        {"a zero mask reads 0", 40, 32, 3, {0xFF0000, 0, 0xFF, 0}, 0xFFFFFF, 0xFFFF00FF},
        {"32 bits with alpha after the header",
         40,
         32,
         6,
         {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
         0x40112233,
         0x40112233},
        {"32 bits with alpha in the low byte",
         40,
         32,
         6,
         {0xFF000000, 0xFF0000, 0xFF00, 0xFF},
         0x11223340,
         0x40112233},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const DecodedPicture p = decodeWith(
            decodeBmp, onePixel(row.headerBytes, row.bits, row.compression, row.masks, row.pixel));
        ASSERT_EQ(p.width, 1);
        EXPECT_EQ(p.at(0, 0), row.expected) << std::hex << p.at(0, 0);
    }
}

TEST(BmpDecoder, SixteenBitPixelsAgreeWithQtInTheirOwnBits)
{
    // Qt 6.4 widens a 5-bit field by shifting alone (white comes out 248); the decoder
    // repeats the bits. Both agree on the bits the file holds.
    for (const std::uint32_t compression : {0U, 3U}) {
        SCOPED_TRACE(compression == 0 ? "5-5-5" : "5-6-5");
        const int width = 64;
        const QByteArray tables =
            compression == 3 ? LeBytes{}.u32(0xF800).u32(0x07E0).u32(0x1F).data() : QByteArray();
        const QByteArray pixels = rows(16, false, [&](int y) {
            LeBytes b;
            for (int x = 0; x < width; ++x) {
                b.u16(static_cast<std::uint32_t>(y * 4096 + x * 1021) & 0xFFFFU);
            }
            return b.data();
        });
        const QByteArray bytes = bmpFile(
            {.width = width, .height = 16, .bits = 16, .compression = compression}, tables, pixels);
        const DecodedPicture ours = decodeWith(decodeBmp, bytes);
        const DecodedPicture qt = fromQImage(QImage::fromData(bytes, "BMP"));
        ASSERT_EQ(qt.width, width);
        const Argb held = compression == 3 ? 0xFFF8FCF8U : 0xFFF8F8F8U;
        for (std::size_t i = 0; i < ours.pixels.size(); ++i) {
            ASSERT_EQ(ours.pixels[i] & held, qt.pixels[i]) << "pixel " << i;
        }
    }
}

TEST(BmpDecoder, ReadsMasksInTheHeadersQtDoesNotRead)
{
    // V2 and V3 headers (52 and 56 bytes) hold their masks; Qt takes them for OS/2 headers.
    for (const std::uint32_t header : {52U, 56U}) {
        SCOPED_TRACE(header);
        const QByteArray bytes = bmpFile({.headerBytes = header,
                                          .width = 3,
                                          .height = 2,
                                          .bits = 32,
                                          .compression = 3,
                                          .masks = {0xFF0000, 0xFF00, 0xFF, 0}},
                                         {}, rgbRows(3, 2, false, 4));
        const DecodedPicture p = decodeWith(decodeBmp, bytes);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(p.at(x, y), colourAt(x, y));
            }
        }
    }
}

// --- Run-length coding at and past the edges --------------------------------------------

TEST(BmpDecoder, RunLengthCodesPastTheEdgesAreClipped)
{
    // Palette: 0 black, 1 red, 2 green; index 9 lies past it. Pixels a code skips stay
    // transparent. Rows listed top first.
    constexpr Argb k0 = 0xFF000000;
    constexpr Argb kR = 0xFFFF0000;
    constexpr Argb kG = 0xFF00FF00;
    struct Row {
        const char* name;
        int width;
        std::uint32_t compression;
        QByteArray codes;
        std::vector<Argb> expected; // width x 2, top row first
        bool damaged;               // codes reach outside the picture or the palette
    };
    const Row table[] = {
        {"a run longer than its row stops at the edge",
         4,
         1,
         LeBytes{}.u8({10, 1, 0, 0, 2, 2, 0, 1}).data(),
         {kG, kG, 0, 0, kR, kR, kR, kR},
         true},
        {"an absolute run longer than its row keeps its bytes",
         2,
         1,
         LeBytes{}.u8({0, 5, 1, 1, 1, 1, 1, 0, 0, 0, 2, 2, 0, 1}).data(),
         {kG, kG, kR, kR},
         true},
        {"a move past the right edge drops the rest of the line",
         4,
         1,
         LeBytes{}.u8({1, 1, 0, 2, 200, 0, 3, 2, 0, 0, 4, 2, 0, 1}).data(),
         {kG, kG, kG, kG, kR, 0, 0, 0},
         true},
        {"a move past the top ends the picture",
         4,
         1,
         LeBytes{}.u8({2, 1, 0, 2, 0, 200, 4, 2}).data(),
         {0, 0, 0, 0, kR, kR, 0, 0},
         true},
        {"line ends past the top end the picture",
         2,
         1,
         LeBytes{}.u8({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2}).data(),
         {0, 0, kR, kR},
         true},
        {"a move within the picture skips pixels",
         4,
         1,
         LeBytes{}.u8({1, 1, 0, 2, 2, 1, 1, 2, 0, 1}).data(),
         {0, 0, 0, kG, kR, 0, 0, 0},
         false},
        {"indices past the palette are transparent",
         2,
         1,
         LeBytes{}.u8({1, 9, 1, 0, 0, 1}).data(),
         {0, 0, 0, k0},
         true},
        {"4 bits: a run longer than its row stops at the edge",
         3,
         2,
         LeBytes{}.u8({9, 0x12, 0, 0, 0, 3, 0x21, 0x00, 0, 1}).data(),
         {kG, kR, k0, kR, kG, kR},
         true},
        {"4 bits: an absolute run longer than its row keeps its bytes",
         2,
         2,
         LeBytes{}.u8({0, 7, 0x11, 0x11, 0x11, 0x10, 0, 0, 2, 0x22, 0, 1}).data(),
         {kG, kG, kR, kR},
         true},
        {"line ends after the top row, then the picture's end",
         2,
         1,
         LeBytes{}.u8({2, 1, 0, 0, 2, 2, 0, 0, 0, 0, 0, 1}).data(),
         {kG, kG, kR, kR},
         false},
    };
    const QByteArray pal = palette({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0)});
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const QByteArray bytes = bmpFile({.width = row.width,
                                          .height = 2,
                                          .bits = row.compression == 1 ? 8U : 4U,
                                          .compression = row.compression,
                                          .coloursUsed = 3},
                                         pal, row.codes);
        bool orderKept = false;
        const DecodedPicture p = decodeWith(decodeBmp, bytes, &orderKept);
        EXPECT_TRUE(orderKept);
        ASSERT_EQ(p.width, row.width);
        EXPECT_EQ(p.delivered, std::vector<bool>({true, true}));
        EXPECT_EQ(p.pixels, row.expected);
        EXPECT_EQ(p.damage, row.damaged ? Damage::DataSkipped : Damage::None);
    }
}

// --- Files cut short --------------------------------------------------------------------

// `whole` decoded in full, with only the rows in `delivered` kept.
DecodedPicture onlyRows(const DecodedPicture& whole, const std::set<int>& delivered)
{
    DecodedPicture p = whole;
    for (int y = 0; y < p.height; ++y) {
        const bool kept = delivered.contains(y);
        p.delivered[static_cast<std::size_t>(y)] = kept;
        if (!kept) {
            std::fill_n(p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width, p.width, 0);
        }
    }
    return p;
}

std::set<int> rowRange(int first, int last)
{
    std::set<int> s;
    for (int y = first; y <= last; ++y) {
        s.insert(y);
    }
    return s;
}

TEST(BmpDecoder, FileCutShortDeliversItsWholeRows)
{
    // 7 x 10 at 24 bits: rows of 21 bytes padded to 24, the pixels from byte 54. The last
    // row in the file needs its pixels, not its padding.
    struct Row {
        const char* name;
        bool topDown;
        qsizetype keep;
        int wholeRows;
    };
    const Row table[] = {
        {"bottom up, one row without its padding", false, 54 + 21, 1},
        {"bottom up, one row and a part", false, 54 + 24 + 20, 1},
        {"bottom up, five rows", false, 54 + 5 * 24, 5},
        {"bottom up, all but a byte", false, 54 + 9 * 24 + 20, 9},
        {"bottom up, all but the last padding", false, 54 + 9 * 24 + 21, 10},
        {"top down, two rows and a part", true, 54 + 2 * 24 + 3, 2},
        {"top down, all but a byte", true, 54 + 9 * 24 + 20, 9},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const QByteArray whole = bmpFile({.width = 7, .height = row.topDown ? -10 : 10}, {},
                                         rgbRows(7, 10, row.topDown));
        const DecodedPicture full = decodeWith(decodeBmp, whole);
        bool orderKept = false;
        const DecodedPicture cut = decodeWith(decodeBmp, whole.left(row.keep), &orderKept);
        EXPECT_TRUE(orderKept);
        const std::set<int> expected =
            row.topDown ? rowRange(0, row.wholeRows - 1) : rowRange(10 - row.wholeRows, 9);
        EXPECT_TRUE(samePicture(cut, onlyRows(full, expected)));
    }
}

TEST(BmpDecoder, RunLengthFileCutShortDeliversTheRowsDecoded)
{
    // Three rows of 6: the bottom one, a line end, the middle one, a line end, the top one.
    const QByteArray codes =
        LeBytes{}.u8({0, 3, 2, 3, 0, 0, 3, 1, 0, 0}).u8({4, 2, 2, 3, 0, 0}).u8({6, 1, 0, 1}).data();
    const QByteArray whole =
        bmpFile({.width = 6, .height = 3, .bits = 8, .compression = 1, .coloursUsed = 4},
                gradientPalette(4), codes);
    const qsizetype dataAt = whole.size() - codes.size();
    const DecodedPicture full = decodeWith(decodeBmp, whole);

    // Cut inside the middle row, after its first run: the bottom row whole, the middle
    // row's first four pixels.
    bool orderKept = false;
    const DecodedPicture cut = decodeWith(decodeBmp, whole.left(dataAt + 12), &orderKept);
    EXPECT_TRUE(orderKept);
    DecodedPicture expected = onlyRows(full, {1, 2});
    expected.pixels[6 + 4] = 0;
    expected.pixels[6 + 5] = 0;
    EXPECT_TRUE(samePicture(cut, expected));

    // Cut after the second line end: the top row reached but empty.
    DecodedPicture emptyTop = full;
    std::fill_n(emptyTop.pixels.begin(), 6, 0);
    EXPECT_TRUE(samePicture(decodeWith(decodeBmp, whole.left(dataAt + 16)), emptyTop));

    // Cut before its second code: not a row decoded.
    EXPECT_THROW(decodeWith(decodeBmp, whole.left(dataAt + 1)), Error);
}

// --- Files that are refused -------------------------------------------------------------

// The error number a decoder throws on `bytes`, and whether it began a picture first.
struct Outcome {
    int error = 0;
    bool begun = false;
};

Outcome outcomeOf(const QByteArray& bytes)
{
    test::CollectingSink sink;
    try {
        decodeBmp(test::asBytes(bytes), sink);
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().isEmpty());
        return {e.number(), sink.picture().height > 0};
    }
    return {0, true};
}

TEST(BmpDecoder, RefusesFilesItCannotReadBeforeTakingMemory)
{
    constexpr int kNotAPicture = 1003;
    constexpr int kTooLarge = 1004;
    constexpr int kDamaged = 1005;
    const QByteArray pal = gradientPalette(2);
    const QByteArray onePixelRow = QByteArray(4, '\x01');
    const QByteArray good = bmpFile({.width = 1, .height = 1}, {}, QByteArray(4, '\x10'));
    QByteArray unknownHeader = good;
    unknownHeader[14] = 20;
    struct Row {
        const char* name;
        QByteArray bytes;
        int error;
    };
    const Row table[] = {
        {"no signature", QByteArray("MB") + good.mid(2), kNotAPicture},
        {"a header size no BMP has", unknownHeader, kNotAPicture},
        {"cut inside the file header", good.left(10), kDamaged},
        {"cut inside the info header", good.left(30), kDamaged},
        {"2 bits per pixel", bmpFile({.bits = 2}, {}, onePixelRow), kDamaged},
        {"0 bits per pixel", bmpFile({.bits = 0}, {}, onePixelRow), kDamaged},
        {"JPEG inside", bmpFile({.compression = 4}, {}, onePixelRow), kDamaged},
        {"8-bit run-length coding with 4 bits",
         bmpFile({.bits = 4, .compression = 1}, pal, onePixelRow), kDamaged},
        {"bit fields with 24 bits", bmpFile({.compression = 3}, {}, onePixelRow), kDamaged},
        {"run-length coding top down",
         bmpFile({.height = -1, .bits = 8, .compression = 1, .coloursUsed = 2}, pal,
                 LeBytes{}.u8({1, 1, 0, 1}).data()),
         kDamaged},
        {"a palette past the end", bmpFile({.bits = 8, .coloursUsed = 200}, pal, {}), kDamaged},
        {"a palette of 300 colours", bmpFile({.bits = 8, .coloursUsed = 300}, pal, onePixelRow),
         kDamaged},
        {"masks past the end", bmpFile({.bits = 32, .compression = 3}, QByteArray(8, '\0'), {}),
         kDamaged},
        {"width 0", bmpFile({.width = 0}, {}, onePixelRow), kDamaged},
        {"height 0", bmpFile({.height = 0}, {}, onePixelRow), kDamaged},
        {"negative width", bmpFile({.width = -5}, {}, onePixelRow), kDamaged},
        {"no pixel data", bmpFile({.width = 3, .height = 3}, {}, {}), kDamaged},
        {"no run-length codes", bmpFile({.bits = 8, .compression = 1, .coloursUsed = 2}, pal, {}),
         kDamaged},
        {"less than one row", bmpFile({.width = 3, .height = 3}, {}, QByteArray(8, '\0')),
         kDamaged},
        {"20000 x 20000 without pixels", bmpFile({.width = 20000, .height = 20000}, {}, {}),
         kTooLarge},
        {"8000 x 6251: one row more than the limit",
         bmpFile({.width = 8000, .height = -6251, .bits = 8}, gradientPalette(256), {}), kTooLarge},
        {"run-length coded, 30000 x 30000",
         bmpFile({.width = 30000, .height = 30000, .bits = 8, .compression = 1},
                 gradientPalette(256), LeBytes{}.u8({0, 1}).data()),
         kTooLarge},
        {"the lowest height there is", bmpFile({.width = 1, .height = INT32_MIN}, {}, onePixelRow),
         kTooLarge},
        {"OS/2 core header, 40000 wide", bmpFile({.headerBytes = 12, .width = 40000}, {}, {}),
         kTooLarge},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = outcomeOf(row.bytes);
        EXPECT_EQ(outcome.error, row.error);
        EXPECT_FALSE(outcome.begun);
    }
}

// --- Rows not wanted --------------------------------------------------------------------

// Wants only a few rows and keeps those it gets.
class FewRowsSink final : public PictureSink {
public:
    using Rows = std::vector<std::pair<int, std::vector<Argb>>>;

    explicit FewRowsSink(std::set<int> wanted) : m_wanted(std::move(wanted)) {}
    void begin(int width, int /*height*/) override { m_width = width; }
    [[nodiscard]] bool wants(int y) const override { return m_wanted.contains(y); }
    void row(int y, const Argb* pixels) override
    {
        m_rows.emplace_back(y, std::vector<Argb>(pixels, pixels + m_width));
    }
    [[nodiscard]] const Rows& rows() const { return m_rows; }

private:
    std::set<int> m_wanted;
    int m_width = 0;
    Rows m_rows;
};

TEST(BmpDecoder, RowsNotWantedAreNeverRead)
{
    // A bottom-up 32-bit picture whose rows are one memory page each, the pages of every
    // row the sink does not want made unreadable: reading one would end the test.
    const long page = ::sysconf(_SC_PAGESIZE);
    ASSERT_GT(page, 0);
    const auto pageBytes = static_cast<std::size_t>(page);
    const int width = static_cast<int>(pageBytes / 4);
    constexpr int kHeight = 12;
    const std::set<int> wanted{0, 5, 11};
    const QByteArray file =
        bmpFile({.width = width, .height = kHeight, .bits = 32}, {},
                rgbRows(width, kHeight, false, 4), static_cast<std::uint32_t>(pageBytes));
    ASSERT_EQ(static_cast<std::size_t>(file.size()), pageBytes * (kHeight + 1));

    const std::size_t length = static_cast<std::size_t>(file.size());
    void* memory =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* bytes = static_cast<std::uint8_t*>(memory);
    std::copy(file.begin(), file.end(), bytes);
    for (int y = 0; y < kHeight; ++y) {
        if (!wanted.contains(y)) {
            const std::size_t stored = static_cast<std::size_t>(kHeight - 1 - y);
            ASSERT_EQ(::mprotect(bytes + pageBytes * (1 + stored), pageBytes, PROT_NONE), 0);
        }
    }
    FewRowsSink sink(wanted);
    decodeBmp(std::span<const std::uint8_t>(bytes, length), sink);
    ::munmap(memory, length);

    ASSERT_EQ(sink.rows().size(), wanted.size());
    auto expectedRow = wanted.begin();
    for (const auto& [y, pixels] : sink.rows()) {
        EXPECT_EQ(y, *expectedRow++);
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(pixels[static_cast<std::size_t>(x)], colourAt(x, y)) << x << ", " << y;
        }
    }
}

TEST(BmpDecoder, WantedRowsOfAFileCutShortArriveWhole)
{
    // Bottom up, cut to its four bottom rows: of the rows wanted, those four arrive right.
    const QByteArray whole = bmpFile({.width = 5, .height = 10}, {}, rgbRows(5, 10, false));
    FewRowsSink sink({1, 6, 8, 9});
    const QByteArray cut = whole.left(54 + 4 * 16);
    decodeBmp(test::asBytes(cut), sink);
    ASSERT_EQ(sink.rows().size(), 3U);
    for (const auto& [y, pixels] : sink.rows()) {
        EXPECT_GE(y, 6);
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(pixels[static_cast<std::size_t>(x)], colourAt(x, y));
        }
    }
}

} // namespace
} // namespace pixelcast
