#include "metafile_layout.h"

#include "decoders/byte_order.h"

#include <QSize>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pixelcast::wmf {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7U;
constexpr int kPlaceableBytes = 22;
constexpr std::uint16_t kSetWindowOrg = 0x020B;
constexpr std::uint16_t kSetWindowExt = 0x020C;
constexpr std::uint16_t kSaveDc = 0x001E;
constexpr std::uint16_t kRestoreDc = 0x0127;

// Where the device-independent bitmap starts in the records that carry one, in bytes after
// the record's function number; -1 for records without a bitmap.
qsizetype bitmapOffset(std::uint32_t function, std::uint32_t words)
{
    switch (function) {
    case 0x0F43: // StretchDIB
        return 22;
    case 0x0B41: // DIBStretchBlt: the parser reads a bitmap from every one
        return 20;
    case 0x0940: // DIBBitBlt: with 9 words of parameters it is a plain fill, without bitmap
        return words == 3 + 9 ? -1 : 16;
    case 0x0D33: // SetDIBitsToDevice
        return 18;
    case 0x0142: // DIBCreatePatternBrush
        return 4;
    default:
        return -1;
    }
}

// Whether the bitmap at `at` (its header) lies within `available` bytes, with a size the
// parser can allocate. The parser itself reads whatever header follows and allocates
// what that header claims, even past the record's end.
bool bitmapIsSound(const QByteArray& bytes, qsizetype at, qsizetype available)
{
    if (available < 12) {
        return false;
    }
    const std::uint32_t headerBytes = le32(bytes, at);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    std::int64_t coloursUsed = 0;
    std::int64_t bytesPerColour = 4;
    if (headerBytes == 12) { // BITMAPCOREHEADER
        width = le16(bytes, at + 4);
        height = le16(bytes, at + 6);
        bitCount = le16(bytes, at + 10);
        bytesPerColour = 3;
    } else if (headerBytes >= 40 && headerBytes <= static_cast<std::uint64_t>(available)) {
        width = static_cast<std::int32_t>(le32(bytes, at + 4));
        height = static_cast<std::int32_t>(le32(bytes, at + 8));
        bitCount = le16(bytes, at + 14);
        compression = le32(bytes, at + 16);
        coloursUsed = le32(bytes, at + 32);
    } else {
        return false;
    }
    height = height < 0 ? -height : height;
    constexpr std::int64_t kMaxBitmapPixels = 16LL * 1024 * 1024;
    if (width <= 0 || height <= 0 || width * height > kMaxBitmapPixels) {
        return false;
    }
    // The bit counts and codings a bitmap can have; anything else is not one.
    const bool knownCoding =
        ((bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24) && compression == 0) ||
        ((bitCount == 16 || bitCount == 32) && (compression == 0 || compression == 3)) ||
        (bitCount == 8 && compression == 1) || (bitCount == 4 && compression == 2);
    if (!knownCoding) {
        return false;
    }
    // The parser allocates the palette the header claims: it must be a palette's size and
    // lie inside the record, like the rows after it.
    const std::int64_t paletteLimit = bitCount <= 8 ? (std::int64_t{1} << bitCount) : 256;
    const std::int64_t colours =
        coloursUsed != 0 ? coloursUsed : (bitCount <= 8 ? (std::int64_t{1} << bitCount) : 0);
    if (colours > paletteLimit) {
        return false;
    }
    const std::int64_t masks = compression == 3 && headerBytes == 40 ? 12 : 0;
    const std::int64_t beforeRows = headerBytes + masks + colours * bytesPerColour;
    if (beforeRows > available) {
        return false;
    }
    if (compression == 0 || compression == 3) { // uncompressed rows must all be there
        const std::int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
        return rowBytes * height <= available - beforeRows;
    }
    return true;
}

} // namespace

MetafileLayout inspectMetafile(const QByteArray& bytes)
{
    MetafileLayout layout;
    qsizetype at = 0;
    if (bytes.size() >= kPlaceableBytes && le32(bytes, 0) == kPlaceableKey) {
        layout.placeable = true;
        const int left = les16(bytes, 6);
        const int top = les16(bytes, 8);
        const int right = les16(bytes, 10);
        const int bottom = les16(bytes, 12);
        layout.frame = QRect(std::min(left, right), std::min(top, bottom), std::abs(right - left),
                             std::abs(bottom - top));
        layout.unitsPerInch = le16(bytes, 14);
        at = kPlaceableBytes;
    }
    if (bytes.size() < at + 18) {
        return layout;
    }
    layout.headerAt = at;
    at += static_cast<qsizetype>(le16(bytes, at + 2)) * 2; // header size in words
    int savedStates = 0;
    while (at + 6 <= bytes.size()) {
        const std::uint32_t words = le32(bytes, at);
        const std::uint32_t function = le16(bytes, at + 4);
        if (words < 3 || words > static_cast<std::uint32_t>((bytes.size() - at) / 2)) {
            break;
        }
        // The parser ends only at a three-word record of function 0; any other size of
        // function 0 is played on past, so the walk goes on past it too.
        if (function == 0 && words == 3) {
            layout.hasEndRecord = true;
            break;
        }
        layout.largestRecordWords = std::max(layout.largestRecordWords, words);
        layout.setsWindowOrg = layout.setsWindowOrg || function == kSetWindowOrg;
        layout.setsWindowExt = layout.setsWindowExt || function == kSetWindowExt;
        if (const qsizetype offset = bitmapOffset(function, words); offset >= 0) {
            const qsizetype recordEnd = at + static_cast<qsizetype>(words) * 2;
            layout.bitmapsSound =
                layout.bitmapsSound &&
                bitmapIsSound(bytes, at + 6 + offset, recordEnd - (at + 6 + offset));
        }
        if (function == kSaveDc) {
            layout.deepestSavedStates = std::max(layout.deepestSavedStates, ++savedStates);
        } else if (function == kRestoreDc && words >= 4) {
            // A negative argument goes back that many states; a positive one restores the
            // n-th saved state, leaving n - 1 below it.
            const int n = les16(bytes, at + 6);
            savedStates = std::max(0, n < 0 ? savedStates + n : std::min(savedStates, n - 1));
        }
        at += static_cast<qsizetype>(words) * 2;
    }
    return layout;
}

void correctLargestRecord(QByteArray& bytes, const MetafileLayout& layout)
{
    constexpr qsizetype kLargestRecordAt = 12;
    if (bytes.size() < layout.headerAt + 18) {
        return;
    }
    for (qsizetype i = 0; i < 4; ++i) {
        bytes[layout.headerAt + kLargestRecordAt + i] = static_cast<char>(
            (layout.largestRecordWords >> (8U * static_cast<unsigned>(i))) & 0xFFU);
    }
}

QSize declaredPixelSize(const MetafileLayout& layout, int dotsPerInch)
{
    if (!layout.placeable || layout.unitsPerInch == 0 || layout.frame.isEmpty()) {
        return {};
    }
    const auto pixels = [&](int units) {
        const double exact = static_cast<double>(units) * dotsPerInch / layout.unitsPerInch;
        return std::max(1, static_cast<int>(std::lround(exact)));
    };
    return {pixels(layout.frame.width()), pixels(layout.frame.height())};
}

} // namespace pixelcast::wmf
