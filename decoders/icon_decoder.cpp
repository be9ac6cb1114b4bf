#include "decoders/bmp_decoder.h"
#include "decoders/byte_order.h"

#include <algorithm>
#include <array>

namespace pixelcast {

namespace {

constexpr std::size_t kDirectoryBytes = 6;
constexpr std::size_t kEntryBytes = 16;

bool isPng(std::span<const std::uint8_t> picture)
{
    return startsWith(picture, kPngSignature);
}

// How an entry ranks when the largest is chosen: its pixel count, then its bits per pixel.
// Unsigned 64 bits hold the count of any two 32-bit sides a header can declare.
struct EntrySize {
    std::uint64_t pixels = 0;
    std::int64_t bits = 0;
};

// The entry's size as its own header gives it (a PNG's IHDR, a bitmap's info header with
// the height halved for the mask), or as the directory gives it (0 standing for 256)
// when the header cannot be read.
EntrySize entrySize(std::span<const std::uint8_t> picture, std::span<const std::uint8_t> entry)
{
    if (isPng(picture) && picture.size() >= 26) {
        const std::uint64_t w = be32(picture, 16);
        const std::uint64_t h = be32(picture, 20);
        constexpr std::array<int, 7> kChannels{1, 0, 3, 1, 2, 0, 4};
        const std::uint8_t type = picture[25];
        const int channels = type < kChannels.size() ? kChannels[type] : 0;
        return {w * h, static_cast<std::int64_t>(picture[24]) * channels};
    }
    if (picture.size() >= 16 && le32(picture, 0) >= 40) {
        const auto w = static_cast<std::int32_t>(le32(picture, 4));
        const auto h = static_cast<std::int32_t>(le32(picture, 8));
        return {static_cast<std::uint64_t>(std::max(w, 0)) *
                    static_cast<std::uint64_t>(std::max(h, 0) / 2),
                le16(picture, 14)};
    }
    if (picture.size() >= 12 && le32(picture, 0) == 12) {
        return {std::uint64_t{le16(picture, 4)} * (le16(picture, 6) / 2), le16(picture, 10)};
    }
    const std::uint64_t w = entry[0] == 0 ? 256 : entry[0];
    const std::uint64_t h = entry[1] == 0 ? 256 : entry[1];
    return {w * h, 0};
}

} // namespace

// An icon or cursor file: a directory of pictures, each a PNG or an icon bitmap. The
// largest entry is the one shown: the most pixels, then the most bits per pixel, then the
// first. Entries that lie outside the file are passed over; a file whose one entry does,
// or whose entries all do, is damaged. The picture's own header says how it is laid out.
void decodeIcon(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    const bool cursor = bytes.size() >= 4 && le16(bytes, 2) == 2;
    const char* format = cursor ? "CUR" : "ICO";
    if (bytes.size() < kDirectoryBytes || le16(bytes, 0) != 0 ||
        (le16(bytes, 2) != 1 && le16(bytes, 2) != 2) || le16(bytes, 4) == 0) {
        throw notAPicture(format);
    }
    if (bytes.size() < kDirectoryBytes + kEntryBytes) {
        throw damagedPicture(format, QStringLiteral("the file ends inside its directory"));
    }
    // A directory that claims more entries than the file holds is read as far as it goes.
    const std::size_t entries =
        std::min<std::size_t>(le16(bytes, 4), (bytes.size() - kDirectoryBytes) / kEntryBytes);
    std::span<const std::uint8_t> chosen;
    EntrySize best;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = kDirectoryBytes + i * kEntryBytes;
        const std::size_t size = le32(bytes, at + 8);
        const std::size_t offset = le32(bytes, at + 12);
        if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) {
            if (i == 0 && entries == 1) {
                throw damagedPicture(
                    format,
                    QStringLiteral("its first picture, %1 bytes at byte %2, lies outside the file")
                        .arg(size)
                        .arg(offset));
            }
            continue;
        }
        const std::span<const std::uint8_t> picture = bytes.subspan(offset, size);
        const EntrySize candidate = entrySize(picture, bytes.subspan(at, kEntryBytes));
        if (chosen.empty() || candidate.pixels > best.pixels ||
            (candidate.pixels == best.pixels && candidate.bits > best.bits)) {
            chosen = picture;
            best = candidate;
        }
    }
    if (chosen.empty()) {
        throw damagedPicture(
            format, QStringLiteral("none of its %1 pictures lies inside the file").arg(entries));
    }
    if (isPng(chosen)) {
        decodePng(chosen, sink);
    } else {
        decodeIconBitmap(chosen, sink, format);
    }
}

} // namespace pixelcast
