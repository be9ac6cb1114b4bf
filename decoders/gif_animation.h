#pragma once

#include "animation.h"
#include "decoding.h"

#include <cstdint>
#include <functional>
#include <span>

// Every frame of an animated GIF, composed on a canvas of the logical screen's size the way
// browsers play it: each frame drawn at its place through its transparent colour, then its
// disposal (keep, clear its rectangle to transparent, or put back the canvas as it was
// before it).
namespace pixelcast {

// Refused with PictureTooLarge: more canvas and frame pixels than this composed over the
// whole file (and more frames than kMaxFrames).
inline constexpr std::int64_t kMaxGifComposedPixels = 500'000'000;

// AnimationInfo::plays of a GIF: once without a NETSCAPE2.0 block, for ever for its count 0,
// else once and then count more times. A file that stops between frames without its
// trailer, or with stray bytes after a frame, is not cut short (endedEarly): nothing shows
// a frame is missing.

// Composes frames 0 to `lastFrame` (every frame when negative) and hands each canvas from
// `firstFrame` on to `shown`. The canvas starts as the first frame's surroundings are in
// decodeGif (transparent, or the background colour when the first frame has no
// transparent colour), so that the first canvas is decodeGif's picture. A file that ends
// or fails after a frame ends the animation there (see endedEarly); before the first, it
// is damaged.
AnimationInfo decodeGifAnimation(std::span<const std::uint8_t> bytes, int firstFrame, int lastFrame,
                                 const FrameShown& shown);

// decodeGif and decodeGifAnimation in one pass over the file: frame 0 is read into `still` as
// decodeGif reads it, and drawn on the canvas from the rows `still` got; then frames 1 to
// `lastFrame` (every frame when negative) are composed on it. Every canvas from 0 on is
// handed to `shown`, the first as soon as `still` has all of its rows, before anything
// after them is read. The animation ends after frame 0 when that frame did not arrive
// whole; before it, the errors are decodeGif's.
AnimationInfo decodeGifFrames(std::span<const std::uint8_t> bytes, PictureSink& still,
                              int lastFrame, const FrameShown& shown);

} // namespace pixelcast
