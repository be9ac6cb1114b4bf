// The GIF decoder against Qt's GIF reader, the decoder this program used before, on GIFs
// written here with giflib's encoder, and on hostile files.
#include "decoders/decoding.h"
#include "decoders/picture_facts.h"
#include "support/decoded_picture.h"
#include "support/every_cut.h"
#include "support/test_files.h"

#include <QByteArray>
#include <QFile>
#include <QImage>

#include <algorithm>
#include <array>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

using test::DecodedPicture;
using test::decodeWith;
using test::fromQImage;

using Rgb = std::array<std::uint8_t, 3>;

// A one-frame GIF (or more, `extraFrames` copies of the first after it).
struct GifLayout {
    int screenWidth = 8;
    int screenHeight = 6;
    std::vector<Rgb> global{{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    bool keepGlobal = true; // false: the table is left out, its declared size kept
    int background = 0;
    int transparent = -1; // in a graphic control block before the frame
    bool comment = false; // a comment between that block and the frame
    int left = 0;
    int top = 0;
    int width = 8;
    int height = 6;
    bool interlaced = false;
    std::vector<Rgb> local;
    // width * height indices, top row first; empty: a pattern of the frame's position.
    std::vector<std::uint8_t> indices;
    int extraFrames = 0;
};

extern "C" {
static int appendGifBytes(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
    return length;
}
}

ColorMapObject* colourMap(const std::vector<Rgb>& colours)
{
    std::vector<GifColorType> entries;
    for (const Rgb& c : colours) {
        entries.push_back({c[0], c[1], c[2]});
    }
    return GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
}

std::vector<std::uint8_t> indicesOf(const GifLayout& layout)
{
    if (!layout.indices.empty()) {
        return layout.indices;
    }
    const int colours =
        static_cast<int>(layout.local.empty() ? layout.global.size() : layout.local.size());
    std::vector<std::uint8_t> indices;
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            indices.push_back(static_cast<std::uint8_t>((x + 2 * y) % colours));
        }
    }
    return indices;
}

// The frame's rows in the order the file holds them.
std::vector<int> rowOrder(int height, bool interlaced)
{
    std::vector<int> order;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            order.push_back(y);
        }
        return order;
    }
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
        for (int y = start; y < height; y += step) {
            order.push_back(y);
        }
    }
    return order;
}

QByteArray makeGif(const GifLayout& layout)
{
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
    EXPECT_NE(gif, nullptr) << error;
    if (gif == nullptr) {
        return {};
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = layout.global.empty() ? nullptr : colourMap(layout.global);
    ColorMapObject* local = layout.local.empty() ? nullptr : colourMap(layout.local);
    EXPECT_EQ(EGifPutScreenDesc(gif, layout.screenWidth, layout.screenHeight, 8, layout.background,
                                global),
              GIF_OK);
    if (layout.transparent >= 0) {
        const std::array<GifByteType, 4> control{0x01, 0, 0,
                                                 static_cast<GifByteType>(layout.transparent)};
        EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control.data()), GIF_OK);
    }
    if (layout.comment) {
        EXPECT_EQ(EGifPutComment(gif, std::string(600, 'c').c_str()), GIF_OK);
    }
    const std::vector<std::uint8_t> indices = indicesOf(layout);
    for (int frame = 0; frame <= layout.extraFrames; ++frame) {
        EXPECT_EQ(EGifPutImageDesc(gif, layout.left, layout.top, layout.width, layout.height,
                                   layout.interlaced, local),
                  GIF_OK);
        for (const int y : rowOrder(layout.height, layout.interlaced)) {
            std::vector<GifPixelType> line(indices.begin() + y * layout.width,
                                           indices.begin() + (y + 1) * layout.width);
            EXPECT_EQ(EGifPutLine(gif, line.data(), layout.width), GIF_OK);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    return out;
}

// Leaves the global colour table out, keeping its declared size.
QByteArray withoutGlobalTable(QByteArray bytes)
{
    const auto flags = static_cast<std::uint8_t>(bytes[10]);
    bytes[10] = static_cast<char>(flags & 0x7FU);
    bytes.remove(13, 3 * (2 << (flags & 0x07U)));
    return bytes;
}

// Shortens the global colour table to 2 << `bits` entries. The encoder masks indices to the
// table's size; this lets a frame written with a larger table hold indices past the end.
QByteArray withShorterGlobalTable(QByteArray bytes, unsigned bits)
{
    const auto flags = static_cast<std::uint8_t>(bytes[10]);
    const int oldSize = 2 << (flags & 0x07U);
    const int newSize = 2 << bits;
    bytes[10] = static_cast<char>((flags & 0xF8U) | bits);
    bytes.remove(13 + 3 * newSize, 3 * (oldSize - newSize));
    return bytes;
}

// Transparent pixels show the background whatever their colour; Qt leaves some of them
// holding whatever memory held, so they are compared by alpha alone.
DecodedPicture visible(DecodedPicture picture)
{
    for (Argb& p : picture.pixels) {
        if (alphaOf(p) == 0) {
            p = 0;
        }
    }
    return picture;
}

DecodedPicture qtDecoded(const QByteArray& bytes)
{
    const QImage image = QImage::fromData(bytes, "GIF");
    EXPECT_FALSE(image.isNull());
    return visible(fromQImage(image));
}

DecodedPicture decoded(const QByteArray& bytes, bool* orderKept = nullptr)
{
    return visible(decodeWith(decodeGif, bytes, orderKept));
}

std::optional<int> errorOf(const QByteArray& bytes)
{
    try {
        decodeWith(decodeGif, bytes);
    } catch (const Error& e) {
        return e.number();
    }
    return std::nullopt;
}

// Overwrites the byte at `at` (counted from the end when negative).
QByteArray patched(QByteArray bytes, qsizetype at, int value)
{
    bytes[at < 0 ? bytes.size() + at : at] = static_cast<char>(value);
    return bytes;
}

struct OracleRow {
    const char* name;
    GifLayout layout;
    // -1: keep the global table; 0: leave it out; n > 0: shorten it to 2 << (n - 1) entries.
    int globalTable = -1;
};

std::vector<OracleRow> oracleRows()
{
    std::vector<OracleRow> rows;
    rows.push_back({"whole screen", {}});
    GifLayout inset;
    inset.left = 2;
    inset.top = 1;
    inset.width = 4;
    inset.height = 3;
    inset.background = 3;
    rows.push_back({"frame inside the screen shows the background colour", inset});
    GifLayout insetTransparent = inset;
    insetTransparent.transparent = 1;
    rows.push_back({"frame inside the screen with a transparent index", insetTransparent});
    GifLayout backgroundPast = inset;
    backgroundPast.background = 9;
    rows.push_back({"background index past the table", backgroundPast});
    GifLayout transparent;
    transparent.transparent = 2;
    rows.push_back({"transparent index", transparent});
    GifLayout local;
    local.local = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120},
                   {1, 2, 3},    {4, 5, 6},    {7, 8, 9},    {11, 12, 13}};
    rows.push_back({"local table over the global one", local});
    GifLayout localInset = local;
    localInset.left = 3;
    localInset.width = 5;
    localInset.transparent = 4;
    rows.push_back({"local table, frame inside the screen, transparent", localInset});
    GifLayout past;
    past.global = {{200, 100, 50}, {50, 100, 200}, {1, 1, 1}, {2, 2, 2},
                   {3, 3, 3},      {4, 4, 4},      {5, 5, 5}, {6, 6, 6}};
    for (int i = 0; i < 48; ++i) {
        past.indices.push_back(static_cast<std::uint8_t>(i % 8));
    }
    rows.push_back({"indices past a two-colour table", past, 1});
    GifLayout pastTransparent = past;
    pastTransparent.transparent = 1;
    rows.push_back({"indices past the table with a transparent index", pastTransparent, 1});
    GifLayout transparentPast = past;
    transparentPast.transparent = 5;
    transparentPast.left = 1;
    rows.push_back({"transparent index past the table", transparentPast, 1});
    GifLayout clipped;
    clipped.left = 5;
    clipped.top = 3;
    clipped.width = 7;
    clipped.height = 9;
    rows.push_back({"frame reaching past the right and bottom edges", clipped});
    GifLayout outside;
    outside.left = 20;
    outside.width = 3;
    outside.height = 2;
    outside.background = 2;
    rows.push_back({"frame wholly outside the screen", outside});
    GifLayout noHeight;
    noHeight.screenHeight = 0;
    noHeight.top = 2;
    noHeight.height = 4;
    rows.push_back({"screen of no height takes the frame's bottom", noHeight});
    GifLayout noWidth;
    noWidth.screenWidth = 0;
    noWidth.left = 1;
    noWidth.width = 5;
    noWidth.transparent = 0;
    rows.push_back({"screen of no width takes the frame's right edge", noWidth});
    GifLayout interlaced;
    interlaced.screenHeight = interlaced.height = 13;
    interlaced.interlaced = true;
    rows.push_back({"interlaced", interlaced});
    GifLayout bare;
    rows.push_back({"no colour table", bare, 0});
    GifLayout bareTransparent;
    bareTransparent.transparent = 3;
    bareTransparent.left = 1;
    bareTransparent.width = 7;
    rows.push_back({"no colour table, transparent index", bareTransparent, 0});
    GifLayout bareInset = inset;
    rows.push_back({"no colour table, frame inside the screen", bareInset, 0});
    GifLayout commented = insetTransparent;
    commented.comment = true;
    rows.push_back({"a long comment after the control block", commented});
    GifLayout twoFrames;
    twoFrames.extraFrames = 1;
    twoFrames.transparent = 0;
    rows.push_back({"the first of two frames", twoFrames});
    return rows;
}

TEST(GifDecoder, MatchesQtsReader)
{
    for (const OracleRow& row : oracleRows()) {
        SCOPED_TRACE(row.name);
        QByteArray bytes = makeGif(row.layout);
        ASSERT_FALSE(bytes.isEmpty());
        if (row.globalTable == 0) {
            bytes = withoutGlobalTable(bytes);
        } else if (row.globalTable > 0) {
            bytes = withShorterGlobalTable(bytes, static_cast<unsigned>(row.globalTable - 1));
        }
        bool orderKept = false;
        const DecodedPicture ours = decoded(bytes, &orderKept);
        EXPECT_TRUE(orderKept);
        EXPECT_TRUE(test::samePicture(ours, qtDecoded(bytes)));
    }
}

TEST(GifDecoder, MatchesQtsReaderOnTheKeptFiles)
{
    for (const char* name : {"transparent-4x2.gif", "animated-first-green-4x4.gif"}) {
        SCOPED_TRACE(name);
        QFile file(test::dataFile(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(test::samePicture(decoded(bytes), qtDecoded(bytes)));
    }
}

// The screen is 516 x 0, the frame starts at row 32 and is 11264 rows high, and its data
// ends before its first row is whole: the picture is the frame's extent, of which the 32
// rows above the frame arrived. (Qt's reader also shows the part of the frame's first row
// that arrived.)
TEST(GifDecoder, FrameEndingBeforeItsFirstRowShowsTheScreenAboveIt)
{
    QFile file(test::dataFile(QStringLiteral("fuzz-gif-screen-height-zero.gif")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    bool orderKept = false;
    const DecodedPicture ours = decoded(bytes, &orderKept);
    EXPECT_TRUE(orderKept);
    const DecodedPicture qt = qtDecoded(bytes);
    ASSERT_EQ(ours.width, 516);
    ASSERT_EQ(ours.height, 11296);
    ASSERT_EQ(qt.width, ours.width);
    ASSERT_EQ(qt.height, ours.height);
    for (int y = 0; y < ours.height; ++y) {
        ASSERT_EQ(ours.delivered[static_cast<std::size_t>(y)], y < 32) << y;
    }
    const auto above = static_cast<std::ptrdiff_t>(32 * 516);
    EXPECT_TRUE(std::equal(ours.pixels.begin(), ours.pixels.begin() + above, qt.pixels.begin()));
}

TEST(GifDecoder, TransparentPixelsHaveNoAlphaAndOthersAreOpaque)
{
    GifLayout layout;
    layout.transparent = 1;
    const DecodedPicture p = decodeWith(decodeGif, makeGif(layout));
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const bool isTransparent = (x + 2 * y) % 4 == 1;
            EXPECT_EQ(alphaOf(p.at(x, y)), isTransparent ? 0U : 255U) << x << "," << y;
        }
    }
}

// Interlaced frames of every height up to 20 give what the same frame stored row by row
// gives. Qt's reader agrees except at heights of 3 and 4, where it places the rows of the
// later passes wrongly.
TEST(GifDecoder, InterlacedFramesOfAnyHeightMatchTheirSequentialTwins)
{
    for (int height = 1; height <= 20; ++height) {
        SCOPED_TRACE("height " + std::to_string(height));
        GifLayout layout;
        layout.screenHeight = layout.height = height;
        const DecodedPicture sequential = decoded(makeGif(layout));
        layout.interlaced = true;
        const QByteArray interlaced = makeGif(layout);
        EXPECT_TRUE(test::samePicture(decoded(interlaced), sequential));
        if (height != 3 && height != 4) {
            EXPECT_TRUE(test::samePicture(decoded(interlaced), qtDecoded(interlaced)));
        }
    }
}

TEST(GifDecoder, LargePictureWithManyColours)
{
    GifLayout layout;
    layout.screenWidth = layout.width = 300;
    layout.screenHeight = layout.height = 200;
    layout.global.clear();
    for (int i = 0; i < 256; ++i) {
        layout.global.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i * 7)});
    }
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            layout.indices.push_back(static_cast<std::uint8_t>((x * y + x / 3) & 0xFF));
        }
    }
    const QByteArray bytes = makeGif(layout);
    EXPECT_TRUE(test::samePicture(decoded(bytes), qtDecoded(bytes)));
}

// A file cut anywhere gives an error, or the rows that arrived whole, in order, each as
// the whole file has it; rows never delivered stay transparent.
TEST(GifDecoder, CutFilesDeliverTheRowsThatArrived)
{
    for (const bool interlace : {false, true}) {
        GifLayout layout;
        layout.screenWidth = layout.width = 40;
        layout.screenHeight = layout.height = 30;
        layout.top = 0;
        layout.interlaced = interlace;
        for (int i = 0; i < 40 * 30; ++i) {
            layout.indices.push_back(static_cast<std::uint8_t>((i * 7 + i / 40) % 4));
        }
        const QByteArray bytes = makeGif(layout);
        const DecodedPicture whole = decoded(bytes);
        int sawPartial = 0;
        const auto checkCut = [&](const QByteArray& cut) {
            if (const auto error = errorOf(cut)) {
                EXPECT_TRUE(*error == 1003 || *error == 1005) << *error;
                return;
            }
            bool orderKept = false;
            const DecodedPicture part = decoded(cut, &orderKept);
            EXPECT_TRUE(orderKept);
            ASSERT_EQ(part.width, whole.width);
            ASSERT_EQ(part.height, whole.height);
            bool gap = false;
            int rows = 0;
            for (int y = 0; y < part.height; ++y) {
                if (!part.delivered[static_cast<std::size_t>(y)]) {
                    gap = true;
                    for (int x = 0; x < part.width; ++x) {
                        EXPECT_EQ(part.at(x, y), 0U);
                    }
                    continue;
                }
                ++rows;
                // Without interlacing the rows that arrived are the first ones.
                EXPECT_FALSE(gap && !interlace) << "row " << y;
                for (int x = 0; x < part.width; ++x) {
                    EXPECT_EQ(part.at(x, y), whole.at(x, y)) << x << "," << y;
                }
            }
            if (rows < part.height) {
                ++sawPartial;
            }
        };
        test::forEveryCut(bytes, "interlaced " + std::to_string(interlace) + ", ", checkCut);
        EXPECT_GT(sawPartial, 0);
    }
}

TEST(GifDecoder, FileCutJustBeforeItsLastBlockTerminatorIsWhole)
{
    const QByteArray bytes = makeGif(GifLayout{});
    // The data blocks' terminator and the trailer.
    const QByteArray cut = bytes.left(bytes.size() - 2);
    EXPECT_TRUE(test::samePicture(decodeWith(decodeGif, cut), decodeWith(decodeGif, bytes)));
}

TEST(GifDecoder, HostileFiles)
{
    GifLayout huge;
    huge.screenWidth = 40000;
    huge.screenHeight = 40000;
    huge.width = 1;
    huge.height = 1;
    EXPECT_EQ(errorOf(makeGif(huge)), 1004);

    GifLayout tooMany;
    tooMany.screenWidth = 10000;
    tooMany.screenHeight = 0; // grows to 10000 x 6000, over the limit
    tooMany.top = 5999;
    tooMany.height = 1;
    tooMany.width = 1;
    EXPECT_EQ(errorOf(makeGif(tooMany)), 1004);

    // A screen of 0 x 0 and a frame of 0 x 0.
    EXPECT_EQ(errorOf(QByteArray::fromHex("47494638396100000000800000"
                                          "000000ffffff"
                                          "2c000000000000000000"
                                          "02024c0100"
                                          "3b")),
              1005);

    const QByteArray plain = makeGif(GifLayout{});
    // The code size byte follows the 10-byte image descriptor after the 13-byte header
    // and the 12-byte global table.
    constexpr qsizetype kCodeSize = 13 + 12 + 10;
    ASSERT_EQ(plain[kCodeSize], 2);
    EXPECT_EQ(errorOf(patched(plain, kCodeSize, 14)), 1005);
    EXPECT_EQ(errorOf(patched(plain, kCodeSize, 9)), 1005);

    EXPECT_EQ(errorOf(QByteArray("GIF89a")), 1003);
    EXPECT_EQ(errorOf(QByteArray("GIF90a\x01\x00\x01\x00\x00\x00\x00;", 14)), 1003);
    // A header and the trailer, no frame.
    EXPECT_EQ(errorOf(plain.left(13 + 12) + ";"), 1005);
    // An unknown record where the frame should be.
    EXPECT_EQ(errorOf(patched(plain, 13 + 12, 0x99)), 1005);
}

TEST(GifDecoder, FrameFarLargerThanItsScreenIsRefusedBeforeItIsDecoded)
{
    // LZW codes expand to thousands of pixels each: a file of under a megabyte fills this
    // 65535 x 32767 frame, all but one column of it off a 1 x 32767 screen.
    EXPECT_EQ(errorOf(QByteArray::fromHex("4749463839610100ff7f800000"
                                          "000000ffffff"
                                          "2c00000000ffffff7f00"
                                          "02024c0100"
                                          "3b")),
              1004);
    // Interlaced, every pass is read to reach the rows inside the screen.
    EXPECT_EQ(errorOf(QByteArray::fromHex("47494638396140004000800000"
                                          "000000ffffff"
                                          "2c0000000060ea60ea40"
                                          "02024c0100"
                                          "3b")),
              1004);
    // A frame overhanging its screen by a fair margin is still read.
    GifLayout overhang;
    overhang.screenWidth = 4;
    overhang.screenHeight = 4;
    overhang.width = 8000;
    overhang.height = 4;
    overhang.indices.assign(8000 * 4, 2);
    const DecodedPicture p = decodeWith(decodeGif, makeGif(overhang));
    ASSERT_EQ(p.width, 4);
    EXPECT_EQ(p.at(3, 3), argb(255, 0, 255, 0));
}

TEST(GifDecoder, ThousandFramesShowTheFirst)
{
    GifLayout layout;
    layout.screenWidth = layout.width = 64;
    layout.screenHeight = layout.height = 64;
    layout.extraFrames = 999;
    const QByteArray bytes = makeGif(layout);
    GifLayout single = layout;
    single.extraFrames = 0;
    EXPECT_TRUE(test::samePicture(decoded(bytes), decoded(makeGif(single))));
}

TEST(GifFrames, AreCountedWithoutDecodingAndACutFileCountsThoseThatBegin)
{
    GifLayout layout;
    layout.screenWidth = layout.width = 16;
    layout.screenHeight = layout.height = 16;
    layout.comment = true;
    for (const int extra : {0, 2, 999}) {
        layout.extraFrames = extra;
        const QByteArray bytes = makeGif(layout);
        EXPECT_EQ(countGifFrames(test::asBytes(bytes)), extra + 1);
        if (extra == 2) {
            // Cut inside the last frame's data: it has begun.
            EXPECT_EQ(countGifFrames(test::asBytes(bytes.left(bytes.size() - 6))), 3);
        }
    }
    EXPECT_EQ(countGifFrames(test::asBytes(QByteArray("not a GIF at all"))), 0);
}

TEST(GifDecoder, HugeFrameOnATinyScreenIsReadNoFurtherThanTheScreen)
{
    // The screen is 1 x 1 and the frame claims 60000 x 60000 but holds one pixel: its first
    // row never arrives whole and nothing lies above it.
    const QByteArray bytes = QByteArray::fromHex("47494638396101000100800000"
                                                 "000000ffffff"
                                                 "2c0000000060ea60ea00"
                                                 "02024c0100"
                                                 "3b");
    EXPECT_EQ(errorOf(bytes), 1005);
    // The same frame, 60000 x 1 and whole: one pixel of it shows.
    GifLayout wide;
    wide.screenWidth = 1;
    wide.screenHeight = 1;
    wide.width = 60000;
    wide.height = 1;
    wide.indices.assign(60000, 1);
    const DecodedPicture p = decodeWith(decodeGif, makeGif(wide));
    ASSERT_EQ(p.width, 1);
    ASSERT_EQ(p.height, 1);
    EXPECT_EQ(p.at(0, 0), argb(255, 255, 0, 0));
}

} // namespace
} // namespace pixelcast
