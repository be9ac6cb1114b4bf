// The PNG decoder against Qt's PNG reader, the decoder this program used before, on PNGs
// Qt and libpng write here; cut and damaged files; and the preview's PNG encoder.
#include "decoders/decoding.h"
#include "output/png_encoder.h"
#include "support/decoded_picture.h"
#include "support/every_cut.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <csetjmp>
#include <gtest/gtest.h>
#include <optional>
#include <png.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace pixelcast {
namespace {

using test::DecodedPicture;
using test::decodeWith;
using test::fromQImage;

DecodedPicture qtDecoded(const QByteArray& bytes)
{
    const QImage image = QImage::fromData(bytes, "PNG");
    EXPECT_FALSE(image.isNull());
    return fromQImage(image);
}

std::optional<int> errorOf(const QByteArray& bytes)
{
    try {
        decodeWith(decodePng, bytes);
    } catch (const Error& e) {
        return e.number();
    }
    return std::nullopt;
}

// A PNG for libpng to write: rows of samples as the file holds them (big-endian, packed).
struct PngLayout {
    int width = 11;
    int height = 9;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
    std::optional<png_color_16> transparent;
    double gamma = 0;         // written as gAMA when above 0
    int paletteLimit = 0;     // > 0: palette indices run up to this (past the palette)
    std::size_t idatSize = 0; // > 0: split the data into IDAT chunks of about this size
    unsigned seed = 1;
};

int channelsOf(int colourType)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

std::vector<std::uint8_t> samplesOf(const PngLayout& layout, std::size_t rowBytes)
{
    std::mt19937 random(layout.seed);
    std::vector<std::uint8_t> data(rowBytes * static_cast<std::size_t>(layout.height));
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(random());
    }
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        // Keep indices inside the palette, or inside paletteLimit.
        const int limit =
            layout.paletteLimit > 0 ? layout.paletteLimit : static_cast<int>(layout.palette.size());
        const int perByte = 8 / layout.depth;
        const unsigned mask = (1U << static_cast<unsigned>(layout.depth)) - 1U;
        for (auto& b : data) {
            unsigned packed = 0;
            for (int i = 0; i < perByte; ++i) {
                const unsigned index =
                    (static_cast<unsigned>(random()) & mask) % static_cast<unsigned>(limit);
                packed = packed << static_cast<unsigned>(layout.depth) | index;
            }
            b = static_cast<std::uint8_t>(packed);
        }
    }
    return data;
}

extern "C" {
static void appendPngBytes(png_structp png, png_bytep data, std::size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}
}
extern "C" {
static void flushNothing(png_structp /*png*/) {}
}

// libpng's errors come back here by longjmp: no objects with destructors in this frame.
bool writePngInto(QByteArray* out, const PngLayout* layout, png_bytepp rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendPngBytes, flushNothing);
    png_set_check_for_invalid_index(png, 0);
    if (layout->idatSize > 0) {
        png_set_compression_buffer_size(png, layout->idatSize);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout->width),
                 static_cast<png_uint_32>(layout->height), layout->depth, layout->colourType,
                 layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout->palette.empty()) {
        png_set_PLTE(png, info, layout->palette.data(), static_cast<int>(layout->palette.size()));
    }
    if (!layout->paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout->paletteAlpha.data(),
                     static_cast<int>(layout->paletteAlpha.size()), nullptr);
    } else if (layout->transparent) {
        png_color_16 colour = *layout->transparent;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (layout->gamma > 0) {
        png_set_gAMA(png, info, layout->gamma);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

QByteArray makePng(const PngLayout& layout)
{
    const std::size_t rowBytes =
        (static_cast<std::size_t>(layout.width * channelsOf(layout.colourType) * layout.depth) +
         7) /
        8;
    std::vector<std::uint8_t> samples = samplesOf(layout, rowBytes);
    std::vector<png_bytep> rows;
    for (int y = 0; y < layout.height; ++y) {
        rows.push_back(samples.data() + rowBytes * static_cast<std::size_t>(y));
    }
    QByteArray out;
    EXPECT_TRUE(writePngInto(&out, &layout, rows.data()));
    return out;
}

std::vector<png_color> paletteOf(int entries)
{
    std::vector<png_color> palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back({static_cast<png_byte>(i * 37 + 5), static_cast<png_byte>(255 - i * 11),
                           static_cast<png_byte>(i * i)});
    }
    return palette;
}

png_color_16 grey(png_uint_16 level)
{
    png_color_16 c{};
    c.gray = level;
    return c;
}

png_color_16 colour(png_uint_16 red, png_uint_16 green, png_uint_16 blue)
{
    png_color_16 c{};
    c.red = red;
    c.green = green;
    c.blue = blue;
    return c;
}

// The value of sample `channel` of the first pixel, so a test can make it transparent.
png_uint_16 firstSample(const PngLayout& layout, int channel)
{
    const std::vector<std::uint8_t> samples = samplesOf(layout, 8);
    if (layout.depth == 16) {
        const auto at = static_cast<std::size_t>(channel * 2);
        return static_cast<png_uint_16>(samples[at] << 8U | samples[at + 1]);
    }
    if (layout.depth == 8) {
        return samples[static_cast<std::size_t>(channel)];
    }
    return static_cast<png_uint_16>(samples[0] >> (8 - layout.depth));
}

struct OracleRow {
    std::string name;
    PngLayout layout;
};

std::vector<OracleRow> oracleRows()
{
    std::vector<OracleRow> rows;
    const auto add = [&rows](std::string name, PngLayout layout) {
        rows.push_back({std::move(name), std::move(layout)});
    };
    for (const int depth : {1, 2, 4, 8, 16}) {
        PngLayout layout;
        layout.colourType = PNG_COLOR_TYPE_GRAY;
        layout.depth = depth;
        add("grey " + std::to_string(depth), layout);
        layout.transparent = grey(firstSample(layout, 0));
        add("grey " + std::to_string(depth) + " with a transparent level", layout);
        layout.transparent = grey(0);
        add("grey " + std::to_string(depth) + " with black transparent", layout);
    }
    for (const int depth : {8, 16}) {
        PngLayout layout;
        layout.depth = depth;
        layout.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
        add("grey and alpha " + std::to_string(depth), layout);
        layout.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        add("RGBA " + std::to_string(depth), layout);
        layout.colourType = PNG_COLOR_TYPE_RGB;
        add("RGB " + std::to_string(depth), layout);
        layout.gamma = 0.45455;
        add("RGB " + std::to_string(depth) + " with gAMA", layout);
        layout.gamma = 0;
        // (Qt's reader reads 16-bit RGB with a transparent colour as if it had four
        // channels; see SixteenBitRgbWithATransparentColour.)
        if (depth == 8) {
            layout.transparent =
                colour(firstSample(layout, 0), firstSample(layout, 1), firstSample(layout, 2));
            add("RGB 8 with a transparent colour", layout);
        }
    }
    for (const int depth : {1, 2, 4, 8}) {
        PngLayout layout;
        layout.colourType = PNG_COLOR_TYPE_PALETTE;
        layout.depth = depth;
        layout.palette = paletteOf(1 << depth);
        add("palette " + std::to_string(depth), layout);
        layout.paletteAlpha = {0, 128, 255};
        layout.paletteAlpha.resize(
            std::min<std::size_t>(layout.paletteAlpha.size(), layout.palette.size()));
        add("palette " + std::to_string(depth) + " with alpha", layout);
        layout.paletteAlpha = {77};
        layout.palette = paletteOf(1);
        layout.paletteLimit = 1 << depth;
        add("palette " + std::to_string(depth) + " with indices past it", layout);
    }
    {
        PngLayout layout;
        layout.colourType = PNG_COLOR_TYPE_PALETTE;
        layout.palette = paletteOf(3);
        layout.paletteLimit = 256;
        add("three colours, indices up to 255", layout);
    }
    for (const auto& [type, depth] : {std::pair{PNG_COLOR_TYPE_RGB, 8},
                                      {PNG_COLOR_TYPE_RGB_ALPHA, 16},
                                      {PNG_COLOR_TYPE_GRAY, 2},
                                      {PNG_COLOR_TYPE_PALETTE, 4}}) {
        PngLayout layout;
        layout.colourType = type;
        layout.depth = depth;
        layout.interlaced = true;
        layout.width = 13;
        layout.height = 10;
        if (type == PNG_COLOR_TYPE_PALETTE) {
            layout.palette = paletteOf(16);
        }
        add("interlaced type " + std::to_string(type) + " depth " + std::to_string(depth), layout);
    }
    return rows;
}

TEST(PngDecoder, MatchesQtsReaderOnEveryColourTypeAndDepth)
{
    for (const OracleRow& row : oracleRows()) {
        SCOPED_TRACE(row.name);
        const QByteArray bytes = makePng(row.layout);
        ASSERT_FALSE(bytes.isEmpty());
        bool orderKept = false;
        const DecodedPicture ours = decodeWith(decodePng, bytes, &orderKept);
        EXPECT_TRUE(orderKept);
        EXPECT_TRUE(test::samePicture(ours, qtDecoded(bytes)));
    }
}

TEST(PngDecoder, MatchesQtsReaderOnQtsOwnFiles)
{
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
          QImage::Format_Grayscale16, QImage::Format_Indexed8, QImage::Format_Mono,
          QImage::Format_RGBA64, QImage::Format_RGBX64}) {
        SCOPED_TRACE(static_cast<int>(format));
        QImage source(23, 17, QImage::Format_ARGB32);
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                source.setPixel(x, y, qRgba(x * 11, y * 15, (x * y) & 0xFF, 255 - x * 3 - y));
            }
        }
        const QImage image = source.convertToFormat(format);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(image.save(&buffer, "PNG"));
        EXPECT_TRUE(test::samePicture(decodeWith(decodePng, bytes), qtDecoded(bytes)));
    }
}

// Qt's reader misreads these, taking their three channels for four; the transparent colour
// loses its alpha and every other pixel is as without it.
TEST(PngDecoder, SixteenBitRgbWithATransparentColour)
{
    PngLayout layout;
    layout.depth = 16;
    const DecodedPicture opaque = decodeWith(decodePng, makePng(layout));
    layout.transparent =
        colour(firstSample(layout, 0), firstSample(layout, 1), firstSample(layout, 2));
    const DecodedPicture transparent = decodeWith(decodePng, makePng(layout));
    ASSERT_EQ(transparent.pixels.size(), opaque.pixels.size());
    EXPECT_EQ(transparent.pixels[0], opaque.pixels[0] & 0x00FFFFFFU);
    for (std::size_t i = 1; i < opaque.pixels.size(); ++i) {
        EXPECT_EQ(transparent.pixels[i], opaque.pixels[i]) << i;
    }
}

// Every 16-bit level scales to 8 bits as Qt's reader scaled it.
TEST(PngDecoder, SixteenBitLevelsScaleAsQtsReaderScaledThem)
{
    QImage image(256, 256, QImage::Format_Grayscale16);
    for (int y = 0; y < 256; ++y) {
        auto* line = reinterpret_cast<quint16*>(image.scanLine(y));
        for (int x = 0; x < 256; ++x) {
            line[x] = static_cast<quint16>(y * 256 + x);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    EXPECT_TRUE(test::samePicture(decodeWith(decodePng, bytes), qtDecoded(bytes)));
}

// The IHDR chunk's CRC after its fields were changed.
QByteArray withIhdr(QByteArray bytes, std::uint32_t width, std::uint32_t height, int depth)
{
    const auto put32 = [&bytes](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
        }
    };
    put32(16, width);
    put32(20, height);
    bytes[24] = static_cast<char>(depth);
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 12), 17);
    put32(29, static_cast<std::uint32_t>(crc));
    return bytes;
}

TEST(PngDecoder, HostileHeaders)
{
    const QByteArray plain = makePng(PngLayout{});
    ASSERT_EQ(errorOf(plain), std::nullopt);
    EXPECT_EQ(errorOf(withIhdr(plain, 100000, 100000, 8)), 1004);
    EXPECT_EQ(errorOf(withIhdr(plain, 40000, 1, 8)), 1004);
    EXPECT_EQ(errorOf(withIhdr(plain, 8000, 8000, 8)), 1004);
    EXPECT_EQ(errorOf(withIhdr(plain, 0, 9, 8)), 1005);
    EXPECT_EQ(errorOf(withIhdr(plain, 11, 9, 3)), 1005); // no such depth for RGB
    // Fields changed, CRC kept.
    QByteArray badCrc = plain;
    badCrc[19] = static_cast<char>(badCrc[19] + 1);
    EXPECT_EQ(errorOf(badCrc), 1005);
    // Larger than the data: the rows that are there arrive.
    const QByteArray taller = withIhdr(plain, 11, 20, 8);
    EXPECT_EQ(errorOf(taller), std::nullopt);
    EXPECT_FALSE(decodeWith(decodePng, taller).delivered.back());

    EXPECT_EQ(errorOf(QByteArray("\x89PNG\r\n\x1A\n")), 1003);
    EXPECT_EQ(errorOf(plain.left(20)), 1003);
    QByteArray noIhdr = plain;
    noIhdr.replace(12, 4, "IHDX");
    EXPECT_EQ(errorOf(noIhdr), 1003);
}

// A file cut anywhere gives an error, or its first rows, each as the whole file has it.
TEST(PngDecoder, CutFilesDeliverTheRowsThatArrived)
{
    PngLayout layout;
    layout.width = 40;
    layout.height = 30;
    layout.idatSize = 200;
    for (const bool interlace : {false, true}) {
        layout.interlaced = interlace;
        const QByteArray bytes = makePng(layout);
        const DecodedPicture whole = decodeWith(decodePng, bytes);
        int partial = 0;
        const auto checkCut = [&](const QByteArray& cut) {
            if (const auto error = errorOf(cut)) {
                EXPECT_TRUE(*error == 1003 || *error == 1005) << *error;
                return;
            }
            bool orderKept = false;
            const DecodedPicture part = decodeWith(decodePng, cut, &orderKept);
            EXPECT_TRUE(orderKept);
            ASSERT_EQ(part.width, whole.width);
            int rows = 0;
            while (rows < part.height && part.delivered[static_cast<std::size_t>(rows)]) {
                ++rows;
            }
            for (int y = 0; y < part.height; ++y) {
                ASSERT_EQ(part.delivered[static_cast<std::size_t>(y)], y < rows) << y;
                for (int x = 0; x < part.width; ++x) {
                    ASSERT_EQ(part.at(x, y), y < rows ? whole.at(x, y) : 0U) << x << "," << y;
                }
            }
            // A file cut after its last row is a whole picture.
            EXPECT_EQ(part.damage, Damage::None);
            if (rows < part.height) {
                ++partial;
                // An interlaced file delivers nothing until its last pass is in.
                EXPECT_FALSE(interlace);
            }
        };
        test::forEveryCut(bytes, "interlaced " + std::to_string(interlace) + ", ", checkCut);
        if (!interlace) {
            EXPECT_GT(partial, 10);
        }
    }
}

// Offsets of the chunks of type `type`.
std::vector<qsizetype> chunksOf(const QByteArray& bytes, const char* type)
{
    std::vector<qsizetype> found;
    for (qsizetype at = 8; at + 8 <= bytes.size();) {
        const auto length = static_cast<qsizetype>(
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) << 24U |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 16U |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 8U |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])));
        if (bytes.mid(at + 4, 4) == type) {
            found.push_back(at);
        }
        at += 12 + length;
    }
    return found;
}

TEST(PngDecoder, DamagedDataEndsThePictureWhereItIsFound)
{
    PngLayout layout;
    layout.width = 40;
    layout.height = 30;
    layout.idatSize = 300;
    const QByteArray bytes = makePng(layout);
    const DecodedPicture whole = decodeWith(decodePng, bytes);
    const std::vector<qsizetype> idats = chunksOf(bytes, "IDAT");
    ASSERT_GT(idats.size(), 3U);

    // A wrong CRC on a middle IDAT: the rows before it arrive, the rest do not.
    QByteArray middleCrc = bytes;
    const qsizetype middle = idats[idats.size() / 2];
    const qsizetype crcAt = idats[idats.size() / 2 + 1] - 1;
    middleCrc[crcAt] = static_cast<char>(middleCrc[crcAt] ^ 0x55);
    ASSERT_GT(crcAt, middle);
    bool orderKept = false;
    const DecodedPicture part = decodeWith(decodePng, middleCrc, &orderKept);
    EXPECT_TRUE(orderKept);
    EXPECT_TRUE(part.delivered.front());
    EXPECT_FALSE(part.delivered.back());
    for (int y = 0; y < part.height && part.delivered[static_cast<std::size_t>(y)]; ++y) {
        for (int x = 0; x < part.width; ++x) {
            ASSERT_EQ(part.at(x, y), whole.at(x, y));
        }
    }

    // A wrong CRC on the last IDAT, found once every row is in: the whole picture, which
    // fails its checksum, interlaced or not.
    for (const bool interlace : {false, true}) {
        PngLayout one = layout;
        one.interlaced = interlace;
        QByteArray lastCrc = makePng(one);
        const qsizetype iend = chunksOf(lastCrc, "IEND").front();
        lastCrc[iend - 1] = static_cast<char>(lastCrc[iend - 1] ^ 0x55);
        const DecodedPicture picture = decodeWith(decodePng, lastCrc);
        EXPECT_TRUE(test::samePicture(picture, decodeWith(decodePng, makePng(one))));
        EXPECT_EQ(picture.damage, Damage::ChecksumFailed) << "interlaced " << interlace;
    }

    // Deflate data changed at every byte of the first IDAT (CRC fixed so the change is read):
    // an error or a picture of the declared size, rows in order.
    for (qsizetype at = idats.front() + 8; at < idats.front() + 8 + 300 && at < bytes.size();
         ++at) {
        QByteArray changed = bytes;
        changed[at] = static_cast<char>(changed[at] ^ 0xA5);
        const qsizetype start = idats.front();
        const auto length = static_cast<uInt>(idats[1] - start - 12);
        const auto crc =
            crc32(0, reinterpret_cast<const Bytef*>(changed.constData() + start + 4), length + 4);
        for (int i = 0; i < 4; ++i) {
            changed[start + 8 + static_cast<qsizetype>(length) + i] =
                static_cast<char>(crc >> (24 - 8 * i));
        }
        if (const auto error = errorOf(changed)) {
            EXPECT_EQ(*error, 1005);
            continue;
        }
        bool kept = false;
        const DecodedPicture picture = decodeWith(decodePng, changed, &kept);
        EXPECT_TRUE(kept);
        EXPECT_EQ(picture.width, 40);
    }
}

TEST(PngEncoder, RoundTripsThroughQtsReaderAndOurs)
{
    for (const auto& [width, height] :
         {std::pair{1, 1}, {3, 5}, {128, 64}, {129, 1}, {1, 77}, {17, 13}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        std::mt19937 random(static_cast<unsigned>(width * 1000 + height));
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height * 3));
        for (auto& b : rgb) {
            b = static_cast<std::uint8_t>(random());
        }
        const std::vector<std::uint8_t> png = encodePngRgb(width, height, rgb);
        const QByteArray bytes(reinterpret_cast<const char*>(png.data()),
                               static_cast<qsizetype>(png.size()));
        const QImage image = QImage::fromData(bytes, "PNG");
        ASSERT_EQ(image.width(), width);
        ASSERT_EQ(image.height(), height);
        const DecodedPicture ours = decodeWith(decodePng, bytes);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y * width + x) * 3;
                const QRgb expected = qRgb(rgb[at], rgb[at + 1], rgb[at + 2]);
                ASSERT_EQ(image.pixel(x, y), expected) << x << "," << y;
                ASSERT_EQ(ours.at(x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(PngEncoder, RefusesSizesItsBytesDoNotFit)
{
    const std::vector<std::uint8_t> rgb(12);
    for (const auto& [width, height] : {std::pair{2, 3}, {0, 4}, {4, 0}, {-1, -12}, {1, 3}}) {
        try {
            (void)encodePngRgb(width, height, rgb);
            ADD_FAILURE() << width << " x " << height << " encoded";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 4002);
        }
    }
    EXPECT_FALSE(encodePngRgb(2, 2, rgb).empty());
}

} // namespace
} // namespace pixelcast
