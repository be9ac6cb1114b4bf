#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The reads of numbers stored in a file's bytes, and the signatures a file is recognised
// by, for every reader of picture files: the decoders, the loader, the metafile client and
// its helper. Header-only, so that the helper needs no library for them.
namespace pixelcast {

using ByteSpan = std::span<const std::uint8_t>;

[[nodiscard]] inline ByteSpan byteSpan(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

// The 16 or 32 bits at `at`, least significant byte first (little-endian) or most
// significant first (big-endian). The bytes must be there.
[[nodiscard]] constexpr std::uint32_t le16(ByteSpan b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8U;
}
[[nodiscard]] constexpr std::uint32_t le32(ByteSpan b, std::size_t at)
{
    return le16(b, at) | le16(b, at + 2) << 16U;
}
[[nodiscard]] constexpr std::uint32_t be16(ByteSpan b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) << 8U | static_cast<std::uint32_t>(b[at + 1]);
}
[[nodiscard]] constexpr std::uint32_t be32(ByteSpan b, std::size_t at)
{
    return be16(b, at) << 16U | be16(b, at + 2);
}
[[nodiscard]] inline std::uint32_t le16(const QByteArray& b, qsizetype at)
{
    return le16(byteSpan(b), static_cast<std::size_t>(at));
}
[[nodiscard]] inline std::uint32_t le32(const QByteArray& b, qsizetype at)
{
    return le32(byteSpan(b), static_cast<std::size_t>(at));
}
// The 16 bits at `at`, little-endian, as a two's complement number.
[[nodiscard]] inline std::int16_t les16(const QByteArray& b, qsizetype at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(le16(b, at)));
}

// Whether `b` starts with `signature`.
[[nodiscard]] constexpr bool startsWith(ByteSpan b, std::string_view signature)
{
    return b.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), b.begin(),
                      [](char s, std::uint8_t c) { return static_cast<std::uint8_t>(s) == c; });
}

inline constexpr std::string_view kGif87aSignature{"GIF87a"};
inline constexpr std::string_view kGif89aSignature{"GIF89a"};
inline constexpr std::string_view kJpegSignature{"\xFF\xD8\xFF"};
inline constexpr std::string_view kBmpSignature{"BM"};
inline constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1A\n"};

[[nodiscard]] constexpr bool isGifSignature(ByteSpan b)
{
    return startsWith(b, kGif87aSignature) || startsWith(b, kGif89aSignature);
}
[[nodiscard]] inline bool isGifSignature(const QByteArray& b)
{
    return isGifSignature(byteSpan(b));
}

} // namespace pixelcast
