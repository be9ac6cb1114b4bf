#pragma once

#include "animation.h"
#include "decoding.h"
#include "video/clip_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The video clips' readers in the format table (picture_formats.cpp): video/clip_reader.h's
// frames handed on as canvases, their size checked as every picture's, what the decoding
// found told as an animation's.
namespace pixelcast {

// Frames `firstFrame` to `lastFrame` (every one from `firstFrame` on when negative) of a
// `size`-byte clip that `read` gives; frame 0 also into `still` when given.
AnimationInfo readClipFrames(video::Container container, const ByteReader& read, std::size_t size,
                             PictureSink* still, int firstFrame, int lastFrame,
                             const FrameShown& shown);

// A reader over bytes held in memory.
[[nodiscard]] ByteReader readerOver(std::span<const std::uint8_t> bytes);

} // namespace pixelcast
