// Metafiles that lie about their counts, sizes and objects. The drawing program must meet
// each with its numbered error, never by taking the caller down.
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "metafile/metafile.h"
#include "metafile_builder.h"
#include "support/test_files.h"

#include <QFile>
#include <QRect>

#include <gtest/gtest.h>
#include <vector>

namespace pixelcast {
namespace {

using test::MetafileBuilder;

constexpr std::uint16_t kSaveDc = 0x001E;
constexpr std::uint16_t kRestoreDc = 0x0127;
constexpr std::uint16_t kSelectObject = 0x012D;
constexpr std::uint16_t kDeleteObject = 0x01F0;
constexpr std::uint16_t kPolyline = 0x0325;
constexpr std::uint16_t kPolyPolygon = 0x0538;
constexpr std::uint16_t kTextOut = 0x0521;
constexpr std::uint16_t kStretchDib = 0x0F43;

MetafileBuilder smallFrame()
{
    return MetafileBuilder::placeable(QRect(0, 0, 40, 40), 96).solidBrush(0x0000FF);
}

// Decodes through the whole loader, which must refuse the bytes with `code`.
void expectRefused(const QByteArray& bytes, ErrorCode code)
{
    try {
        const Surface picture = decodePicture(bytes, kFaceColour);
        ADD_FAILURE() << "drawn at " << picture.width() << " x " << picture.height();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), code) << e.number() << ": " << e.what();
    }
}

class HostileMetafile : public testing::Test {
protected:
    void SetUp() override { qputenv("PIXELCAST_WMF_HELPER", PIXELCAST_TEST_WMF_HELPER); }
};

TEST_F(HostileMetafile, FramesOfNoOrNegativeSize)
{
    expectRefused(MetafileBuilder::placeable(QRect(10, 10, 0, 0), 96).bytes(),
                  ErrorCode::MetafileFailed);
    // A frame given corner to corner the other way round is the same frame.
    const Surface turned = decodePicture(
        MetafileBuilder::placeable(QRect(100, 100, -90, -90), 96).bytes(), kFaceColour);
    EXPECT_EQ(turned.width(), 90);
    EXPECT_EQ(turned.height(), 90);
    // 32000 x 32000 inches at one unit per inch.
    expectRefused(MetafileBuilder::placeable(QRect(0, 0, 32000, 32000), 1).bytes(),
                  ErrorCode::PictureTooLarge);
}

TEST_F(HostileMetafile, PointCountsBeyondTheirRecords)
{
    // A polyline claiming 1000 points and carrying two.
    expectRefused(smallFrame().record(kPolyline, {1000, 1, 1, 30, 30}).bytes(),
                  ErrorCode::MetafileFailed);
    // A polypolygon whose counts add up past 65535, with three points in the record.
    expectRefused(smallFrame().record(kPolyPolygon, {2, 40000, 40000, 1, 1, 30, 1, 30, 30}).bytes(),
                  ErrorCode::MetafileFailed);
}

TEST_F(HostileMetafile, TextLongerThanItsRecord)
{
    // 500 characters announced, "Hi" present, then the position.
    expectRefused(smallFrame().record(kTextOut, {500, 0x6948, 10, 10}).bytes(),
                  ErrorCode::MetafileFailed);
}

TEST_F(HostileMetafile, HundredThousandSavedStates)
{
    // Nested: the parser's cost grows with the square of the depth, so such a file is
    // refused as damaged before it is parsed.
    MetafileBuilder nested = smallFrame();
    for (int i = 0; i < 100000; ++i) {
        nested.record(kSaveDc, {});
    }
    nested.rectangle(QRect(5, 5, 20, 20));
    try {
        (void)decodePicture(nested.bytes(), kFaceColour);
        ADD_FAILURE() << "100000 nested saved states were drawn";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::MetafileFailed) << e.what();
    }
    // Each saved state restored at once: as many records, drawn as usual.
    MetafileBuilder balanced = smallFrame();
    for (int i = 0; i < 100000; ++i) {
        balanced.record(kSaveDc, {}).record(kRestoreDc, {0xFFFF});
    }
    balanced.rectangle(QRect(5, 5, 20, 20));
    const Surface picture = decodePicture(balanced.bytes(), kFaceColour);
    EXPECT_EQ(picture.read(10, 10), 0x0000FFU);
    EXPECT_EQ(picture.read(35, 35), kFaceColour);
}

TEST_F(HostileMetafile, ObjectIndexOfFFFF)
{
    expectRefused(smallFrame()
                      .record(kSelectObject, {0xFFFF})
                      .record(kDeleteObject, {0xFFFF})
                      .rectangle(QRect(5, 5, 20, 20))
                      .bytes(),
                  ErrorCode::MetafileFailed);
}

TEST_F(HostileMetafile, HugeEmbeddedBitmapWithoutItsPixels)
{
    // StretchDIB onto 20 x 20 with a BITMAPINFOHEADER claiming 30000 x 30000 at 24 bits and
    // no pixel data: rop (2 words), usage, source h, w, y, x, dest h, w, y, x, then the DIB.
    std::vector<std::uint16_t> words{0x0020, 0x00CC, 0, 30000, 30000, 0, 0, 20, 20, 0, 0};
    const std::vector<std::uint16_t> header{40, 0, 30000, 0, 30000, 0, 1, 24, 0, 0,
                                            0,  0, 0,     0, 0,     0, 0, 0,  0, 0};
    words.insert(words.end(), header.begin(), header.end());
    expectRefused(smallFrame().record(kStretchDib, words).bytes(), ErrorCode::MetafileFailed);
}

TEST_F(HostileMetafile, BitmapRecordWithoutItsBitmap)
{
    // Found by fuzzing: a StretchDIB record that ends before its bitmap. The parser read the
    // following records as the bitmap's header and asked for 12 GB.
    QFile file(test::dataFile(QStringLiteral("fuzz-stretchdib-without-bitmap.wmf")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    try {
        (void)decodePicture(file.readAll(), kFaceColour);
        ADD_FAILURE() << "a bitmap record without its bitmap was drawn";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::MetafileFailed) << e.what();
    }
    // Found by fuzzing too: a function-0 record of seven words, which the parser plays past
    // (it ends only at a three-word one), followed by records whose bitmap is missing.
    QFile past(test::dataFile(QStringLiteral("fuzz-long-end-record-then-bitmap.wmf")));
    ASSERT_TRUE(past.open(QIODevice::ReadOnly));
    try {
        (void)decodePicture(past.readAll(), kFaceColour);
        ADD_FAILURE() << "records after a long end record went unchecked";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::MetafileFailed) << e.what();
    }
    // And a DIBStretchBlt in its form without a bitmap, which the parser does not know: it
    // reads a bitmap from every such record.
    // A bitmap header claiming a palette of hundreds of millions of colours and a bit count
    // of 6 (fuzzing found it; the parser allocated 5.6 GB for the palette).
    for (const QString& name : {QStringLiteral("fuzz-dibstretchblt-without-bitmap.wmf"),
                                QStringLiteral("fuzz-bitmap-claiming-a-huge-palette.wmf")}) {
        QFile found(test::dataFile(name));
        ASSERT_TRUE(found.open(QIODevice::ReadOnly));
        try {
            (void)decodePicture(found.readAll(), kFaceColour);
            ADD_FAILURE() << name.toStdString() << " was drawn";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::MetafileFailed) << e.what();
        }
    }
    // A bitmap whose header claims more rows than the record carries.
    std::vector<std::uint16_t> words{0x0020, 0x00CC, 0, 2, 2, 0, 0, 20, 20, 0, 0};
    const std::vector<std::uint16_t> header{40, 0, 2, 0, 400, 0, 1, 24, 0, 0,
                                            0,  0, 0, 0, 0,   0, 0, 0,  0, 0};
    words.insert(words.end(), header.begin(), header.end());
    words.insert(words.end(), {0, 0, 0, 0, 0, 0, 0, 0}); // two rows, not 400
    try {
        (void)decodePicture(smallFrame().record(kStretchDib, words).bytes(), kFaceColour);
        ADD_FAILURE() << "a bitmap with missing rows was drawn";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::MetafileFailed) << e.what();
    }
}

} // namespace
} // namespace pixelcast
