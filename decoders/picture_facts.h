#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace pixelcast {

// Facts about a picture file that its header and record structure tell without decoding
// any pixel; each is defined beside its format's decoder.

// The number of frames (image descriptors) in a GIF, found by walking giflib's records and
// passing over each frame's compressed data. A file cut short counts the frames that
// begin in it; bytes that are no GIF give 0.
[[nodiscard]] int countGifFrames(std::span<const std::uint8_t> bytes);

struct PictureSize {
    int width = 0;
    int height = 0;
};

// The size a JPEG's frame header declares, or nothing when no frame header is found.
[[nodiscard]] std::optional<PictureSize> jpegFrameSize(std::span<const std::uint8_t> bytes);

} // namespace pixelcast
