#include "decoders/bmp_decoder.h"

#include <algorithm>
#include <array>

namespace pixelcast {

namespace {

constexpr std::size_t kDirectoryBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[nodiscard]] std::uint32_t le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8U;
}
[[nodiscard]] std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return le16(b, at) | le16(b, at + 2) << 16U;
}

} // namespace

// An icon or cursor file: a directory of pictures, each a PNG or an icon bitmap. The first
// entry is the one shown, as Qt's reader shows it. The sizes the directory gives are not
// used: the picture's own header says how it is laid out.
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
    const std::size_t size = le32(bytes, kDirectoryBytes + 8);
    const std::size_t offset = le32(bytes, kDirectoryBytes + 12);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) {
        throw damagedPicture(
            format, QStringLiteral("its first picture, %1 bytes at byte %2, lies outside the file")
                        .arg(size)
                        .arg(offset));
    }
    const std::span<const std::uint8_t> picture = bytes.subspan(offset, size);
    if (picture.size() >= kPngSignature.size() &&
        std::equal(kPngSignature.begin(), kPngSignature.end(), picture.begin())) {
        decodePng(picture, sink);
    } else {
        decodeIconBitmap(picture, sink, format);
    }
}

} // namespace pixelcast
