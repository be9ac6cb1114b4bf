// The icon and cursor decoder against Qt's icon reader, which the program used before:
// icons Qt writes, bitmaps of every depth built byte by byte with their masks, and
// directories that lie.
#include "decoders/decoding.h"
#include "support/decoded_picture.h"
#include "support/dib_builder.h"
#include "support/test_files.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

using test::DecodedPicture;
using test::decodeWith;
using test::DibLayout;
using test::LeBytes;
using test::paddedRows;
using test::palette;
using test::samePicture;

// Qt keeps icons premultiplied: compare premultiplied, where every transparent pixel is 0
// and partly transparent ones agree exactly.
DecodedPicture premultiplied(DecodedPicture p)
{
    for (Argb& pixel : p.pixels) {
        pixel = qPremultiply(pixel);
    }
    return p;
}

DecodedPicture qtIcon(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    DecodedPicture p{image.width(),
                     image.height(),
                     {},
                     std::vector<bool>(static_cast<std::size_t>(image.height()), true)};
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        p.pixels.insert(p.pixels.end(), line, line + image.width());
    }
    return p;
}

void expectAgreesWithQt(const QByteArray& bytes)
{
    const DecodedPicture qt = qtIcon(bytes);
    ASSERT_GT(qt.width, 0) << "Qt does not read this icon";
    bool orderKept = false;
    const DecodedPicture ours = decodeWith(decodeIcon, bytes, &orderKept);
    EXPECT_TRUE(orderKept);
    EXPECT_TRUE(samePicture(premultiplied(ours), qt));
}

// An icon (type 1) or cursor (type 2) file whose one entry is `picture`.
QByteArray iconFile(const QByteArray& picture, int width, int height, int type = 1)
{
    LeBytes b;
    b.u16(0).u16(static_cast<std::uint32_t>(type)).u16(1);
    b.u8({width & 0xFF, height & 0xFF, 0, 0}).u16(1).u16(32);
    b.u32(static_cast<std::uint32_t>(picture.size())).u32(6 + 16);
    return b.bytes(picture).data();
}

// Bottom-up rows of the AND mask: 1 where `clear(x, y)`.
QByteArray maskRows(int width, int height, const std::function<bool(int, int)>& clear)
{
    return paddedRows(height, [&](int stored) {
        const int y = height - 1 - stored;
        QByteArray row((width + 7) / 8, '\0');
        for (int x = 0; x < width; ++x) {
            if (clear(x, y)) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        return row;
    });
}

// Bottom-up rows of `bits` per pixel: `pixelBytes(x, y)` for 16 bits and more, palette
// indices packed high bits first below that.
QByteArray colourRows(int width, int height, int bits,
                      const std::function<QByteArray(int, int)>& pixelBytes,
                      const std::function<int(int, int)>& indexOf = {})
{
    return paddedRows(height, [&](int stored) {
        const int y = height - 1 - stored;
        if (bits >= 16) {
            QByteArray row;
            for (int x = 0; x < width; ++x) {
                row.append(pixelBytes(x, y));
            }
            return row;
        }
        QByteArray row((width * bits + 7) / 8, '\0');
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - bits - (x * bits) % 8;
            row[x * bits / 8] = static_cast<char>(row[x * bits / 8] | (indexOf(x, y) << shift));
        }
        return row;
    });
}

// The bitmap of an icon entry: header (height doubled), palette, colours, mask.
QByteArray iconBitmap(int width, int height, int bits, const QByteArray& pal,
                      const QByteArray& colours, const QByteArray& mask)
{
    return test::infoHeader(
               {.width = width, .height = 2 * height, .bits = static_cast<std::uint32_t>(bits)}) +
           pal + colours + mask;
}

QByteArray bgra(QRgb c)
{
    return LeBytes{}.u8({qBlue(c), qGreen(c), qRed(c), qAlpha(c)}).data();
}

QRgb colourAt(int x, int y)
{
    return qRgb((x * 41 + 3) & 0xFF, (y * 67 + 9) & 0xFF, (x * y * 11 + 77) & 0xFF);
}

bool checkered(int x, int y)
{
    return (x + y) % 3 == 0;
}

QByteArray sixteenColours()
{
    QByteArray p;
    for (int i = 0; i < 16; ++i) {
        p.append(palette({qRgb(i * 16, 255 - i * 16, i * 5)}));
    }
    return p;
}

// --- Icons Qt writes --------------------------------------------------------------------

TEST(IconDecoder, ReadsWhatQtWritesAsQtReadsIt)
{
    struct Row {
        const char* name;
        int width;
        int height;
        std::function<int(int, int)> alpha;
    };
    const Row table[] = {
        {"16 x 16, the bottom half clear", 16, 16,
         [](int, int y) {
             return y < 8 ? 255 : 0;
         }},
        {"5 x 3, opaque", 5, 3,
         [](int, int) {
             return 255;
         }},
        {"33 x 2, partly transparent", 33, 2,
         [](int x, int y) {
             return (x * 40 + y * 100) % 256;
         }},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        QImage image(row.width, row.height, QImage::Format_ARGB32);
        for (int y = 0; y < row.height; ++y) {
            for (int x = 0; x < row.width; ++x) {
                const QRgb c = colourAt(x, y);
                image.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), row.alpha(x, y)));
            }
        }
        expectAgreesWithQt(test::writtenByQt(image, "ico"));
    }
}

// --- Bitmaps built byte by byte ---------------------------------------------------------

struct Built {
    std::string name;
    QByteArray bytes;
};

std::vector<Built> iconsQtReads()
{
    const auto indexAt = [](int colours) {
        return [colours](int x, int y) {
            return (x * 5 + y * 3) % colours;
        };
    };
    const auto none = [](int, int) {
        return QByteArray();
    };
    std::vector<Built> files;
    for (const int type : {1, 2}) {
        const std::string kind = type == 1 ? "icon" : "cursor";
        files.push_back(
            {kind + ", 1 bit, width 13",
             iconFile(iconBitmap(13, 4, 1, palette({qRgb(0, 0, 0), qRgb(255, 255, 255)}),
                                 colourRows(13, 4, 1, none, indexAt(2)),
                                 maskRows(13, 4, checkered)),
                      13, 4, type)});
        files.push_back(
            {kind + ", 4 bits, width 5",
             iconFile(iconBitmap(5, 3, 4, sixteenColours(), colourRows(5, 3, 4, none, indexAt(16)),
                                 maskRows(5, 3, checkered)),
                      5, 3, type)});
    }
    QByteArray colours256;
    for (int i = 0; i < 256; ++i) {
        colours256.append(palette({qRgb(i, (i * 3) & 0xFF, 255 - i)}));
    }
    files.push_back({"8 bits, width 7", iconFile(iconBitmap(7, 5, 8, colours256,
                                                            colourRows(7, 5, 8, none, indexAt(256)),
                                                            maskRows(7, 5, checkered)),
                                                 7, 5)});
    files.push_back(
        {"8 bits, width 35, nothing masked",
         iconFile(iconBitmap(35, 2, 8, colours256, colourRows(35, 2, 8, none, indexAt(256)),
                             maskRows(35, 2, [](int, int) { return false; })),
                  35, 2)});
    // 32 bits: the alpha channel alone decides, mask bits or not.
    const auto withAlpha = [](int x, int y) {
        const QRgb c = colourAt(x, y);
        return bgra(qRgba(qRed(c), qGreen(c), qBlue(c), (x * 90 + y * 30) % 256));
    };
    files.push_back({"32 bits, the mask set where alpha says opaque",
                     iconFile(iconBitmap(6, 4, 32, {}, colourRows(6, 4, 32, withAlpha),
                                         maskRows(6, 4, checkered)),
                              6, 4)});
    return files;
}

TEST(IconDecoder, ReadsEveryDepthAsQtReadsIt)
{
    for (const Built& file : iconsQtReads()) {
        SCOPED_TRACE(file.name);
        expectAgreesWithQt(file.bytes);
    }
}

TEST(IconDecoder, MaskClearsTheColoursQtLeavesOpaque)
{
    // Qt ignores the mask of 16-, 24- and 32-bit entries. A 24-bit icon has no other way
    // to be transparent, and a 32-bit one whose alpha bytes are all 0 was made for its
    // mask: the decoder applies it to both, as Windows draws them. (Qt shows the first
    // opaque everywhere and the second not at all; it does not read 16 bits.)
    struct Row {
        const char* name;
        int bits;
        std::function<QByteArray(int, int)> pixel;
    };
    const Row table[] = {
        {"24 bits", 24,
         [](int x, int y) {
             const QRgb c = colourAt(x, y);
             return LeBytes{}.u8({qBlue(c), qGreen(c), qRed(c)}).data();
         }},
        {"32 bits, every alpha byte 0", 32,
         [](int x, int y) {
             return bgra(colourAt(x, y) & 0xFFFFFFU);
         }},
        {"16 bits", 16,
         [](int x, int y) {
             const QRgb c = colourAt(x, y);
             return LeBytes{}
                 .u16(static_cast<std::uint32_t>(qRed(c) >> 3 << 10 | qGreen(c) >> 3 << 5 |
                                                 qBlue(c) >> 3))
                 .data();
         }},
    };
    constexpr int kWidth = 7;
    constexpr int kHeight = 3;
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const QByteArray bytes =
            iconFile(iconBitmap(kWidth, kHeight, row.bits, {},
                                colourRows(kWidth, kHeight, row.bits, row.pixel),
                                maskRows(kWidth, kHeight, checkered)),
                     kWidth, kHeight);
        bool orderKept = false;
        const DecodedPicture p = decodeWith(decodeIcon, bytes, &orderKept);
        EXPECT_TRUE(orderKept);
        ASSERT_EQ(p.width, kWidth);
        ASSERT_EQ(p.height, kHeight);
        // Five bits a channel, repeated into the low three.
        const auto widen = [](int v) {
            return static_cast<unsigned>((v & 0xF8) | (v >> 5));
        };
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const QRgb c = colourAt(x, y);
                Argb expected = c;
                if (checkered(x, y)) {
                    expected = 0;
                } else if (row.bits == 16) {
                    expected = argb(255, widen(qRed(c)), widen(qGreen(c)), widen(qBlue(c)));
                }
                EXPECT_EQ(p.at(x, y), expected) << x << ", " << y;
            }
        }
    }
}

TEST(IconDecoder, BitmapAloneDecodesAsItsIcon)
{
    const QByteArray bitmap =
        iconBitmap(9, 4, 4, sixteenColours(),
                   colourRows(9, 4, 4, {}, [](int x, int y) { return (x + y) % 16; }),
                   maskRows(9, 4, checkered));
    bool orderKept = false;
    const DecodedPicture alone = decodeWith(decodeIconBitmap, bitmap, &orderKept);
    EXPECT_TRUE(orderKept);
    EXPECT_TRUE(samePicture(alone, decodeWith(decodeIcon, iconFile(bitmap, 9, 4))));
    EXPECT_EQ(alone.at(0, 0), 0U);               // masked
    EXPECT_EQ(alone.at(1, 0), qRgb(16, 239, 5)); // index 1
}

TEST(IconDecoder, PngEntryIsDecodedAsPng)
{
    QImage image(5, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            image.setPixel(x, y, x == y ? 0U : colourAt(x, y));
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    const QByteArray bytes = iconFile(png, 5, 4);
    expectAgreesWithQt(bytes);
}

// --- Several entries -------------------------------------------------------------------

// An icon file of several entries, each directory entry claiming 1 x 1 so that only the
// pictures' own headers can tell their sizes apart.
QByteArray severalEntries(const std::vector<QByteArray>& pictures)
{
    LeBytes b;
    b.u16(0).u16(1).u16(static_cast<std::uint32_t>(pictures.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pictures.size());
    for (const QByteArray& picture : pictures) {
        b.u8({1, 1, 0, 0})
            .u16(1)
            .u16(32)
            .u32(static_cast<std::uint32_t>(picture.size()))
            .u32(offset);
        offset += static_cast<std::uint32_t>(picture.size());
    }
    QByteArray bytes = b.data();
    for (const QByteArray& picture : pictures) {
        bytes += picture;
    }
    return bytes;
}

TEST(IconDecoder, ShowsTheLargestEntryThenTheDeepestThenTheFirst)
{
    const auto entry = [](int width, int height, int bits, int shade) {
        const auto colours = bits == 32
                                 ? colourRows(width, height, 32,
                                              [&](int x, int y) {
                                                  return bgra(0xFF000000U | colourAt(x + shade, y));
                                              })
                                 : colourRows(width, height, 4, {},
                                              [&](int x, int y) { return (x + y + shade) % 16; });
        return iconBitmap(width, height, bits, bits == 32 ? QByteArray() : sixteenColours(),
                          colours, maskRows(width, height, [](int, int) { return false; }));
    };
    const QByteArray small = entry(4, 4, 32, 0);
    const QByteArray large = entry(16, 8, 4, 1);
    const QByteArray shallow = entry(4, 4, 4, 2);
    const QByteArray sameAgain = entry(4, 4, 32, 3);
    struct Row {
        const char* name;
        std::vector<QByteArray> entries;
        QByteArray shown;
    };
    const Row table[] = {
        {"largest last", {small, shallow, large}, large},
        {"largest first", {large, small}, large},
        {"same size, deeper wins", {shallow, small}, small},
        {"same size and depth, first wins", {small, sameAgain, shallow}, small},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(samePicture(decodeWith(decodeIcon, severalEntries(row.entries)),
                                decodeWith(decodeIconBitmap, row.shown)));
    }
}

// --- Bitmaps cut short ------------------------------------------------------------------

TEST(IconDecoder, BitmapCutShortDeliversTheRowsWithTheirMask)
{
    // 4 x 6 at 8 bits: colour rows of 4 bytes, mask rows of 4 bytes, both bottom up.
    QByteArray colours256;
    for (int i = 0; i < 256; ++i) {
        colours256.append(palette({qRgb(i, i, 255 - i)}));
    }
    const auto indexAt = [](int x, int y) {
        return x * 10 + y;
    };
    const QByteArray whole = iconBitmap(4, 6, 8, colours256, colourRows(4, 6, 8, {}, indexAt),
                                        maskRows(4, 6, checkered));
    const DecodedPicture full = decodeWith(decodeIconBitmap, whole);
    const qsizetype maskAt = 40 + 1024 + 6 * 4;
    struct Row {
        const char* name;
        qsizetype keep;
        int rows; // from the bottom
    };
    const Row table[] = {
        {"the mask's first two rows", maskAt + 8, 2},
        {"five mask rows", maskAt + 20, 5},
        {"the whole mask without its last padding", maskAt + 21, 6},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        DecodedPicture expected = full;
        for (int y = 0; y < 6 - row.rows; ++y) {
            expected.delivered[static_cast<std::size_t>(y)] = false;
            std::fill_n(expected.pixels.begin() + y * 4, 4, 0U);
        }
        bool orderKept = false;
        EXPECT_TRUE(
            samePicture(decodeWith(decodeIconBitmap, whole.left(row.keep), &orderKept), expected));
        EXPECT_TRUE(orderKept);
    }
    EXPECT_THROW(decodeWith(decodeIconBitmap, whole.left(maskAt)), Error);
    EXPECT_THROW(decodeWith(decodeIconBitmap, whole.left(maskAt - 1)), Error);
}

TEST(IconDecoder, ThirtyTwoBitBitmapNeedsNoMask)
{
    const auto pixel = [](int x, int y) {
        return bgra(colourAt(x, y) & 0x80FFFFFFU);
    };
    const QByteArray colours = colourRows(3, 2, 32, pixel);
    const DecodedPicture p = decodeWith(decodeIconBitmap, iconBitmap(3, 2, 32, {}, colours, {}));
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.at(2, 1), colourAt(2, 1) & 0x80FFFFFFU);
    EXPECT_EQ(p.delivered, std::vector<bool>({true, true}));
}

// --- Files that are refused -------------------------------------------------------------

struct Outcome {
    int error = 0;
    QString description;
    bool begun = false;
};

Outcome outcomeOf(const QByteArray& bytes)
{
    test::CollectingSink sink;
    try {
        decodeIcon(test::asBytes(bytes), sink);
    } catch (const Error& e) {
        return {e.number(), e.description(), sink.picture().height > 0};
    }
    return {0, {}, true};
}

TEST(IconDecoder, RefusesDirectoriesAndBitmapsThatLie)
{
    constexpr int kNotAPicture = 1003;
    constexpr int kTooLarge = 1004;
    constexpr int kDamaged = 1005;
    const QByteArray good =
        iconBitmap(2, 2, 32, {}, colourRows(2, 2, 32, [](int, int) { return bgra(0xFF102030U); }),
                   maskRows(2, 2, checkered));
    const auto entry = [](int type, std::uint32_t size, std::uint32_t offset) {
        return LeBytes{}
            .u16(0)
            .u16(static_cast<std::uint32_t>(type))
            .u16(1)
            .u8({2, 2, 0, 0})
            .u16(1)
            .u16(32)
            .u32(size)
            .u32(offset);
    };
    const auto withHeader = [&](std::function<void(QByteArray&)> change) {
        QByteArray bitmap = good;
        change(bitmap);
        return iconFile(bitmap, 2, 2);
    };
    const auto put32 = [](QByteArray& b, int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFFU);
        }
    };
    struct Row {
        const char* name;
        QByteArray bytes;
        int error;
        const char* format; // named in the description; the size limit names none
    };
    const Row table[] = {
        {"no entries", LeBytes{}.u16(0).u16(1).u16(0).data(), kNotAPicture, "ICO"},
        {"reserved word set", LeBytes{}.u16(1).u16(1).u16(1).data() + good, kNotAPicture, "ICO"},
        {"type 3", LeBytes{}.u16(0).u16(3).u16(1).data() + good, kNotAPicture, "ICO"},
        {"five bytes", LeBytes{}.u16(0).u16(1).u8({1}).data(), kNotAPicture, "ICO"},
        {"directory cut short", LeBytes{}.u16(0).u16(2).u16(1).u32(0x10).data(), kDamaged, "CUR"},
        {"entry past the end", entry(1, 40, 1128).data(), kDamaged, "ICO"},
        {"cursor entry past the end", entry(2, 22, 1128).data(), kDamaged, "CUR"},
        {"entry running past the end",
         entry(1, static_cast<std::uint32_t>(good.size()) + 1, 22).bytes(good).data(), kDamaged,
         "ICO"},
        {"entry of 4 GB", entry(1, 0xFFFFFFFF, 22).bytes(good).data(), kDamaged, "ICO"},
        {"entry of no bytes", entry(1, 0, 22).bytes(good).data(), kDamaged, "ICO"},
        {"a bitmap header no DIB has", withHeader([&](QByteArray& b) { put32(b, 0, 20); }),
         kNotAPicture, "ICO"},
        {"a run-length coded bitmap", withHeader([&](QByteArray& b) {
             put32(b, 14, 8);
             put32(b, 16, 1);
         }),
         kDamaged, "ICO"},
        {"a bitmap of height 1", withHeader([&](QByteArray& b) { put32(b, 8, 1); }), kDamaged,
         "ICO"},
        {"a bitmap of negative height", withHeader([&](QByteArray& b) { put32(b, 8, 0xFFFFFFFC); }),
         kDamaged, "ICO"},
        {"a bitmap 40000 wide", withHeader([&](QByteArray& b) { put32(b, 4, 40000); }), kTooLarge,
         nullptr},
        {"a bitmap of 3 bits", withHeader([&](QByteArray& b) { b[14] = 3; }), kDamaged, "ICO"},
        {"a palette past the end", withHeader([&](QByteArray& b) {
             b[14] = 8;
             put32(b, 32, 200);
         }),
         kDamaged, "ICO"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = outcomeOf(row.bytes);
        EXPECT_EQ(outcome.error, row.error);
        if (row.format != nullptr) {
            EXPECT_TRUE(outcome.description.contains(QLatin1StringView(row.format)))
                << outcome.description.toStdString();
        }
        EXPECT_FALSE(outcome.begun);
    }
    // The cursor's bitmap names the cursor.
    QByteArray cursor = iconFile(good, 2, 2, 2);
    put32(cursor, 22 + 4, 40000);
    const Outcome outcome = outcomeOf(cursor);
    EXPECT_EQ(outcome.error, kTooLarge);
    QByteArray badCursor = iconFile(good, 2, 2, 2);
    badCursor[22 + 14] = 3;
    EXPECT_TRUE(outcomeOf(badCursor).description.contains(QStringLiteral("CUR")));
}

} // namespace
} // namespace pixelcast
