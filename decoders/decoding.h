#pragma once

#include "decoders/picture_facts.h"
#include "errors/error.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// What the picture decoders share: the pixel they hand out, the sink they hand it to, the
// size limits and the errors they throw. Each format has a decoder of its own, built on a
// well-kept library where one exists (libjpeg-turbo, giflib, libpng) and written here for
// BMP and the icon container; none of them needs QtGui.
namespace pixelcast {

// A decoded pixel, 0xAARRGGBB: blue, green, red and alpha bytes in memory order on a
// little-endian machine, the order libjpeg-turbo's BGRA output and BMP's own pixels use.
using Argb = std::uint32_t;

[[nodiscard]] constexpr Argb argb(unsigned alpha, unsigned red, unsigned green, unsigned blue)
{
    return (alpha & 0xFFU) << 24U | (red & 0xFFU) << 16U | (green & 0xFFU) << 8U | (blue & 0xFFU);
}
[[nodiscard]] constexpr unsigned alphaOf(Argb p)
{
    return p >> 24U;
}
[[nodiscard]] constexpr unsigned argbRed(Argb p)
{
    return (p >> 16U) & 0xFFU;
}
[[nodiscard]] constexpr unsigned argbGreen(Argb p)
{
    return (p >> 8U) & 0xFFU;
}
[[nodiscard]] constexpr unsigned argbBlue(Argb p)
{
    return p & 0xFFU;
}

// The largest picture that is decoded: 50 million pixels (a 50-megapixel camera's
// 8160 x 6120 still fits) and 32767 pixels a side; for a JPEG decoded reduced, the picture
// as it is decoded (see decodeJpeg). Larger declared sizes are refused before any pixel
// memory is taken.
inline constexpr std::int64_t kMaxPicturePixels = 50'000'000;
inline constexpr int kMaxPictureSide = 32767;

// What a decoder found wrong with a file it still decoded, beside the rows it never
// delivered (which the loader counts).
enum class Damage {
    None,
    // Rows of the picture never arrived: the file ended, or its data failed, before them.
    RowsMissing,
    // A progressive JPEG ended before its last scan: every row is there, with the detail of
    // the scans that arrived whole.
    ScansMissing,
    // Damaged data was passed over; how much of the picture it held cannot be told.
    DataSkipped,
    // Data failed its checksum; it was decoded as it stands.
    ChecksumFailed,
};

// Where a decoder puts the picture it decodes. The decoder calls `begin` once with the
// picture's size (already checked with checkPictureSize), then `row` for rows from the
// top down, each row once and in increasing order. A decoder that can skip the work for a
// row cheaply asks `wants` first and may leave out the rows not wanted; any row it
// delivers is used or ignored as the sink sees fit. Rows a damaged file never delivers
// stay transparent.
class PictureSink {
public:
    PictureSink() = default;
    PictureSink(const PictureSink&) = delete;
    PictureSink& operator=(const PictureSink&) = delete;
    virtual ~PictureSink() = default;

    virtual void begin(int width, int height) = 0;
    [[nodiscard]] virtual bool wants(int y) const = 0;
    // `pixels` holds the row's `width` pixels, left to right.
    virtual void row(int y, const Argb* pixels) = 0;
    // The file ended before the rows from `y` down could be decoded from it: a decoder
    // that fills such rows itself (libjpeg does) says so once, after `begin`.
    virtual void endedBefore(int y) { (void)y; }
    // A picture stored in scans over the whole picture ended after `wholeScans` of them.
    virtual void endedAfterScans(int wholeScans) { (void)wholeScans; }
    // The decoder skipped damaged data (Damage::DataSkipped) or decoded data that failed its
    // checksum (Damage::ChecksumFailed). Said once or more, after `begin`.
    virtual void foundDamage(Damage kind) { (void)kind; }
};

// Throws PictureTooLarge when a declared size is over the limits above, and PictureDamaged
// naming `format` when a side is zero or negative. Call before allocating anything the
// size of the picture.
void checkPictureSize(const char* format, std::int64_t width, std::int64_t height);

// The errors a decoder throws. `format` is the short upper-case name: "BMP", "GIF", ...
// The file's first bytes say it is `format`, but its header is not one.
[[nodiscard]] Error notAPicture(const char* format);
// The header was read but the picture cannot be decoded; `why` says what is wrong.
[[nodiscard]] Error damagedPicture(const char* format, const QString& why);

// The decoders. Each reads a whole file held in memory and throws Error on failure; a
// file cut short or damaged after its first rows delivers the rows it has and returns.

// BMP: Windows and OS/2 headers; 1, 4, 8, 16, 24 and 32 bits per pixel; uncompressed,
// run-length coded (4 and 8 bits) and bit fields.
void decodeBmp(std::span<const std::uint8_t> bytes, PictureSink& sink);
// Fills `into` with the file's bytes from `at` and returns how many came: fewer only where
// the file ends. Throws Error when the file cannot be read.
using ByteReader = std::function<std::size_t(std::size_t at, std::span<std::uint8_t> into)>;
// decodeBmp for a file of `fileSize` bytes read piece by piece: its headers, then only the
// rows the sink wants, one at a time. Gives what decodeBmp gives for the whole file, or
// returns false having delivered nothing when the file is better read whole (run-length
// coded, or small enough to be read in one piece).
bool decodeBmpStreamed(const ByteReader& read, std::size_t fileSize, PictureSink& sink);
// The bitmap of an icon or cursor entry: a BMP without its file header, twice as high as
// the picture, the colours followed by a one-bit transparency mask.
void decodeIconBitmap(std::span<const std::uint8_t> bytes, PictureSink& sink);
// ICO and CUR: the largest entry of the directory (most pixels, then most bits per
// pixel, then the first), a bitmap or a PNG.
void decodeIcon(std::span<const std::uint8_t> bytes, PictureSink& sink);
// GIF: the first frame, on a picture of the logical screen's size.
void decodeGif(std::span<const std::uint8_t> bytes, PictureSink& sink);
// PNG: every colour type and depth, transparency included.
void decodePng(std::span<const std::uint8_t> bytes, PictureSink& sink);
// JPEG. Given a size to reduce for, a JPEG at least twice that size in each direction is
// decoded at 1/2, 1/4 or 1/8 of its own size (libjpeg's scaled decoding, which averages
// blocks of pixels on the way and skips most of the work), the smallest of these that
// still keeps it at least twice the size to reduce for. The size limits apply to the
// reduced picture when the file holds one scan (a 64-million-pixel photo decoded at 1/8
// is 1 million pixels), to its own size when it holds several (their coefficients are
// kept for the whole picture).
void decodeJpeg(std::span<const std::uint8_t> bytes, PictureSink& sink, int reduceForWidth = 0,
                int reduceForHeight = 0);
// decodeJpeg for a file read piece by piece (64 KiB at a time) instead of held whole, with
// the same result; returns the size the JPEG declares. Throws what `read` throws.
PictureSize decodeJpegStreamed(const ByteReader& read, PictureSink& sink, int reduceForWidth,
                               int reduceForHeight);
// The reduction decodeJpeg picks for a width x height JPEG: 1 (none), 2, 4 or 8. The
// decoded picture is the JPEG's size divided by it, rounded up.
[[nodiscard]] int jpegReduction(int width, int height, int reduceForWidth, int reduceForHeight);

} // namespace pixelcast
