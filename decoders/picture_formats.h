#pragma once

#include "animation.h"
#include "decoding.h"
#include "picture_facts.h"

#include <QByteArray>
#include <QSize>

#include <cstdint>
#include <optional>
#include <span>

// The raster formats Pixelcast reads, one row each: how a file of the format begins, its
// reader, and for a format with frames its frames reader. A file is recognised by its
// content alone; only the matching reader ever sees its bytes. A new format is a reader of
// its own and one row in the table (picture_formats.cpp).
namespace pixelcast {

struct RasterFormat {
    // As LoadResult::format gives it: "GIF", "JPEG", ...
    const char* name = nullptr;
    // Whether the bytes begin as a file of this format.
    bool (*matches)(std::span<const std::uint8_t> bytes) = nullptr;
    // Decodes the picture (an animation's first frame) into `sink`. `reduceFor` is the size
    // the picture is to be stretched onto, for a reader that can decode reduced (JPEG);
    // empty when it is to be decoded at its own size.
    void (*decode)(std::span<const std::uint8_t> bytes, PictureSink& sink,
                   QSize reduceFor) = nullptr;
    // For a format with frames: the frames in one pass, and their count without composing
    // them (the frames that begin in the file; 0 when the bytes are none of this format).
    FramesReader frames = nullptr;
    int (*countFrames)(std::span<const std::uint8_t> bytes) = nullptr;
    // Frames `firstFrame` to `lastFrame` alone, when the format can skip the earlier ones
    // faster than by composing them (see decodeAnimation in picture_loader.h).
    AnimationInfo (*framesFrom)(std::span<const std::uint8_t> bytes, int firstFrame, int lastFrame,
                                const FrameShown& shown) = nullptr;
    // For a reader that decodes reduced: the picture's own size, which LoadResult tells.
    std::optional<PictureSize> (*ownSize)(std::span<const std::uint8_t> bytes) = nullptr;
    // For a format read through its file a piece at a time instead of whole (a video
    // clip): frames `firstFrame` to `lastFrame` (every one from `firstFrame` on when
    // negative) of the `size` bytes `read` gives, frame 0 into `still` when given, as
    // `frames` and `framesFrom` give them; and the frames counted without decoding them.
    AnimationInfo (*streamFrames)(const ByteReader& read, std::size_t size, PictureSink* still,
                                  int firstFrame, int lastFrame, const FrameShown& shown) = nullptr;
    int (*streamCount)(const ByteReader& read, std::size_t size) = nullptr;
};

// How many of a file's first bytes rasterFormatOf needs to tell every format.
inline constexpr std::size_t kFormatSignatureBytes = 64;

// The row of the format these bytes begin as, or null when they are none of the formats.
[[nodiscard]] const RasterFormat* rasterFormatOf(std::span<const std::uint8_t> bytes);
[[nodiscard]] const RasterFormat* rasterFormatOf(const QByteArray& bytes);

} // namespace pixelcast
