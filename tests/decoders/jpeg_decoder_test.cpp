// The JPEG decoder: libjpeg-turbo read directly, at the picture's own size exactly as Qt's
// reader gave it before, or reduced for a big photo; rows skipped for a stretch come out
// as they would in a whole decode.
#include "decoders/decoding.h"
#include "errors/error.h"
#include "support/decoded_picture.h"
#include "support/pattern_image.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <string>

namespace pixelcast {
namespace {

using test::asBytes;
using test::DecodedPicture;
using test::decodeWith;
using test::fromQImage;

using test::patternImage;

QByteArray jpegOf(const QImage& image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

// A JPEG written by libjpeg itself from CMYK ink values, as prepress tools write them
// (inverted, with Adobe's marker).
QByteArray cmykJpeg(int width, int height)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 4);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < width; ++x) {
            const auto y = static_cast<int>(info.next_scanline);
            row[static_cast<std::size_t>(x) * 4 + 0] = static_cast<JSAMPLE>(255 - x * 4 % 256);
            row[static_cast<std::size_t>(x) * 4 + 1] = static_cast<JSAMPLE>(255 - y * 8 % 256);
            row[static_cast<std::size_t>(x) * 4 + 2] = 200;
            row[static_cast<std::size_t>(x) * 4 + 3] = static_cast<JSAMPLE>(255 - (x + y) % 128);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return bytes;
}

// --- At the picture's own size: what Qt's reader gave -------------------------------------

struct ExactRow {
    const char* name;
    QByteArray bytes;
};

class ExactJpeg : public testing::TestWithParam<ExactRow> {};

TEST_P(ExactJpeg, MatchesQtsReaderPixelForPixel)
{
    const QByteArray& bytes = GetParam().bytes;
    bool ordered = false;
    const DecodedPicture ours = decodeWith(
        [](std::span<const std::uint8_t> b, PictureSink& s) { decodeJpeg(b, s); }, bytes, &ordered);
    EXPECT_TRUE(ordered);
    const QImage qt = QImage::fromData(bytes, "JPEG");
    ASSERT_FALSE(qt.isNull());
    EXPECT_TRUE(ours == fromQImage(qt));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ExactJpeg,
    testing::Values(
        ExactRow{"colour", jpegOf(patternImage(75, 41))},
        ExactRow{"progressive", jpegOf(patternImage(64, 48), true)},
        ExactRow{"grey", jpegOf(patternImage(33, 17).convertToFormat(QImage::Format_Grayscale8))},
        ExactRow{"cmyk", cmykJpeg(40, 24)}),
    [](const testing::TestParamInfo<ExactRow>& row) { return std::string(row.param.name); });

// --- Reduced, and with rows skipped -------------------------------------------------------

// Wants every `step`-th row only, and keeps what it gets.
class EveryNthRowSink final : public PictureSink {
public:
    explicit EveryNthRowSink(int step) : m_step(step) {}
    void begin(int width, int height) override { m_all.begin(width, height); }
    [[nodiscard]] bool wants(int y) const override { return y % m_step == m_step - 1; }
    void row(int y, const Argb* pixels) override
    {
        m_gotUnwanted = m_gotUnwanted || !wants(y);
        m_all.row(y, pixels);
    }
    [[nodiscard]] const DecodedPicture& picture() const { return m_all.picture(); }
    [[nodiscard]] bool gotUnwanted() const { return m_gotUnwanted; }

private:
    int m_step;
    bool m_gotUnwanted = false;
    test::CollectingSink m_all;
};

struct ReducedRow {
    const char* name;
    QByteArray bytes;
    int reduction;
};

class ReducedJpeg : public testing::TestWithParam<ReducedRow> {};

TEST_P(ReducedJpeg, RowsSkippedPastComeOutAsInAWholeDecode)
{
    const ReducedRow& row = GetParam();
    // The pictures are about 1000 wide, or 300 for no reduction.
    const int reduceFor = row.reduction == 1 ? 1000 : 1000 / row.reduction / 2;
    test::CollectingSink whole;
    decodeJpeg(asBytes(row.bytes), whole, reduceFor, 1);
    const QImage full = QImage::fromData(row.bytes, "JPEG");
    ASSERT_EQ(whole.picture().width, (full.width() + row.reduction - 1) / row.reduction);
    ASSERT_EQ(whole.picture().height, (full.height() + row.reduction - 1) / row.reduction);

    for (const int step : {2, 3, 7}) {
        EveryNthRowSink some(step);
        decodeJpeg(asBytes(row.bytes), some, reduceFor, 1);
        EXPECT_FALSE(some.gotUnwanted());
        const DecodedPicture& got = some.picture();
        for (int y = step - 1; y < got.height; y += step) {
            ASSERT_TRUE(got.delivered[static_cast<std::size_t>(y)]) << "row " << y;
            for (int x = 0; x < got.width; ++x) {
                ASSERT_EQ(got.at(x, y), whole.picture().at(x, y))
                    << "step " << step << " at " << x << ", " << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReducedJpeg,
    testing::Values(
        ReducedRow{"colour_whole", jpegOf(patternImage(301, 203)), 1},
        ReducedRow{"colour_half", jpegOf(patternImage(1001, 603)), 2},
        ReducedRow{"colour_eighth", jpegOf(patternImage(1003, 605)), 8},
        ReducedRow{"progressive_quarter", jpegOf(patternImage(1000, 601), true), 4},
        ReducedRow{"grey_eighth",
                   jpegOf(patternImage(1007, 300).convertToFormat(QImage::Format_Grayscale8)), 8}),
    [](const testing::TestParamInfo<ReducedRow>& row) { return std::string(row.param.name); });

// --- Bad files ----------------------------------------------------------------------------

int errorOf(const QByteArray& bytes)
{
    try {
        (void)decodeWith([](std::span<const std::uint8_t> b, PictureSink& s) { decodeJpeg(b, s); },
                         bytes);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// The offset of the frame header's height field (SOF0 or SOF2).
qsizetype frameSizeAt(const QByteArray& bytes)
{
    for (qsizetype i = 2; i + 9 < bytes.size(); ++i) {
        const auto marker = static_cast<unsigned char>(bytes[i + 1]);
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            return i + 5;
        }
    }
    return -1;
}

TEST(BadJpeg, DeclaredSizesBeyondTheLimitAreRefusedBeforeDecoding)
{
    QByteArray bytes = jpegOf(patternImage(16, 16));
    const qsizetype at = frameSizeAt(bytes);
    ASSERT_GT(at, 0);
    // 40000 x 40000: over the side limit and the pixel limit.
    bytes[at] = static_cast<char>(0x9C);
    bytes[at + 1] = 0x40;
    bytes[at + 2] = static_cast<char>(0x9C);
    bytes[at + 3] = 0x40;
    EXPECT_EQ(errorOf(bytes), static_cast<int>(ErrorCode::PictureTooLarge));
    // 10000 x 6000: each side allowed, 60 million pixels not.
    bytes[at] = 0x17;
    bytes[at + 1] = 0x70;
    bytes[at + 2] = 0x27;
    bytes[at + 3] = 0x10;
    EXPECT_EQ(errorOf(bytes), static_cast<int>(ErrorCode::PictureTooLarge));
}

// 10000 x 6000 decoded at an eighth is 1250 x 750 and within the limit, in one scan; a
// progressive file keeps the whole picture's coefficients, and is refused. (The files hold
// the data of 16 x 16 pixels, so the one decoded ends early.)
TEST(BadJpeg, TheLimitIsOnThePictureAsItIsDecoded)
{
    for (const bool progressive : {false, true}) {
        QByteArray bytes = jpegOf(patternImage(16, 16), progressive);
        const qsizetype at = frameSizeAt(bytes);
        ASSERT_GT(at, 0);
        bytes[at] = 0x17;
        bytes[at + 1] = 0x70;
        bytes[at + 2] = 0x27;
        bytes[at + 3] = 0x10;
        int error = 0;
        try {
            (void)decodeWith(
                [](std::span<const std::uint8_t> b, PictureSink& s) { decodeJpeg(b, s, 128, 64); },
                bytes);
        } catch (const Error& e) {
            error = e.number();
        }
        EXPECT_EQ(error == static_cast<int>(ErrorCode::PictureTooLarge), progressive) << error;
    }
}

// `bytes` with its last scan repeated `copies` more times and its declared size replaced.
// The copies hold a few blocks' data; a decoder still passes over every block for each.
QByteArray withRepeatedLastScan(QByteArray bytes, int copies, int width, int height)
{
    const qsizetype scan = bytes.lastIndexOf("\xFF\xDA");
    const qsizetype end = bytes.lastIndexOf("\xFF\xD9");
    EXPECT_GT(scan, 0);
    EXPECT_GT(end, scan);
    const QByteArray last = bytes.mid(scan, end - scan);
    for (int i = 0; i < copies; ++i) {
        bytes.insert(end, last);
    }
    const qsizetype at = frameSizeAt(bytes);
    bytes[at] = static_cast<char>(height >> 8);
    bytes[at + 1] = static_cast<char>(height & 0xFF);
    bytes[at + 2] = static_cast<char>(width >> 8);
    bytes[at + 3] = static_cast<char>(width & 0xFF);
    return bytes;
}

// Decoded reduced for the 128 x 64 surface, as both loading paths decode big JPEGs.
int reducedErrorOf(const QByteArray& bytes)
{
    try {
        (void)decodeWith(
            [](std::span<const std::uint8_t> b, PictureSink& s) { decodeJpeg(b, s, 128, 64); },
            bytes);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(BadJpeg, ScansBeyondWhatThePicturesSizeWarrantsAreRefused)
{
    // A grey progressive JPEG holds six scans; 270 more of a few bytes each would be 270
    // more passes over every block of a 4000 x 3000 picture.
    const QByteArray grey =
        jpegOf(patternImage(16, 16).convertToFormat(QImage::Format_Grayscale8), true);
    EXPECT_EQ(reducedErrorOf(withRepeatedLastScan(grey, 270, 4000, 3000)),
              static_cast<int>(ErrorCode::PictureDamaged));
    // As many scans on a small picture cost little, and the big picture with its own scans
    // decodes.
    EXPECT_EQ(reducedErrorOf(withRepeatedLastScan(grey, 270, 160, 120)), 0);
    EXPECT_EQ(reducedErrorOf(withRepeatedLastScan(grey, 0, 4000, 3000)), 0);
}

TEST(BadJpeg, FilesWithoutAPictureAreDamaged)
{
    // The start-of-image marker and nothing else; a header cut before its frame.
    EXPECT_EQ(errorOf(QByteArray("\xFF\xD8\xFF", 3)), static_cast<int>(ErrorCode::PictureDamaged));
    const QByteArray whole = jpegOf(patternImage(16, 16));
    EXPECT_EQ(errorOf(whole.left(frameSizeAt(whole))), static_cast<int>(ErrorCode::PictureDamaged));
    // A frame of height 0.
    QByteArray flat = whole;
    flat[frameSizeAt(flat)] = 0;
    flat[frameSizeAt(flat) + 1] = 0;
    EXPECT_NE(errorOf(flat), 0);
}

// --- Cut short or damaged ----------------------------------------------------------------

DecodedPicture decodedAtOwnSize(const QByteArray& bytes)
{
    return decodeWith([](std::span<const std::uint8_t> b, PictureSink& s) { decodeJpeg(b, s); },
                      bytes);
}

bool everyRowDelivered(const DecodedPicture& picture)
{
    return std::all_of(picture.delivered.begin(), picture.delivered.end(),
                       [](bool delivered) { return delivered; });
}

TEST(CutJpeg, ProgressiveFileTellsTheScansThatArrivedWhole)
{
    const QByteArray bytes = jpegOf(patternImage(64, 48), true);
    std::vector<qsizetype> scans;
    for (qsizetype at = bytes.indexOf("\xFF\xDA"); at >= 0;
         at = bytes.indexOf("\xFF\xDA", at + 2)) {
        scans.push_back(at);
    }
    ASSERT_GT(scans.size(), 2U);
    EXPECT_EQ(decodedAtOwnSize(bytes).wholeScans, -1);
    // Cut just before a scan: every row is there, from the scans before it.
    for (std::size_t whole = 1; whole < scans.size(); ++whole) {
        SCOPED_TRACE("cut before scan " + std::to_string(whole + 1));
        const DecodedPicture cut = decodedAtOwnSize(bytes.left(scans[whole]));
        EXPECT_TRUE(everyRowDelivered(cut));
        EXPECT_EQ(cut.wholeScans, static_cast<int>(whole));
    }
    // Cut a few bytes into the first scan's data.
    EXPECT_EQ(decodedAtOwnSize(bytes.left(scans.front() + 20)).wholeScans, 0);
    // Only the end marker missing: every scan is whole, and so is the picture.
    EXPECT_EQ(decodedAtOwnSize(bytes.left(bytes.size() - 2)).wholeScans, -1);
}

TEST(CutJpeg, StrayBytesBetweenSegmentsAreDamageSkipped)
{
    const QByteArray whole = jpegOf(patternImage(24, 16));
    QByteArray stray = whole;
    stray.insert(frameSizeAt(whole) - 5, QByteArray("\x12\x34", 2));
    const DecodedPicture picture = decodedAtOwnSize(stray);
    EXPECT_TRUE(test::samePicture(picture, decodedAtOwnSize(whole)));
    EXPECT_EQ(picture.damage, Damage::DataSkipped);
    EXPECT_EQ(decodedAtOwnSize(whole).damage, Damage::None);
}

} // namespace
} // namespace pixelcast
