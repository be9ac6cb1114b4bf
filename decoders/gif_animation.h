#pragma once

#include "decoding.h"

#include <cstdint>
#include <functional>
#include <span>

// Every frame of an animated GIF, composed on a canvas of the logical screen's size the way
// browsers play it: each frame drawn at its place through its transparent colour, then its
// disposal (keep, clear its rectangle to transparent, or put back the canvas as it was
// before it).
namespace pixelcast {

// Refused with PictureTooLarge: more frames than this, or more canvas and frame pixels
// than this composed over the whole file.
inline constexpr int kMaxGifFrames = 10'000;
inline constexpr std::int64_t kMaxGifComposedPixels = 500'000'000;

// A delay of 0 or 1 hundredths of a second is played as this, as browsers do.
inline constexpr int kShortGifDelayMs = 100;

// One shown canvas: `width` x `height` pixels row after row, transparent where no frame
// has drawn. `index` counts from 0.
struct GifCanvas {
    int index = 0;
    int delayMs = 0;
    int width = 0;
    int height = 0;
    const Argb* pixels = nullptr;
};

struct GifAnimationInfo {
    // The frames composed (up to the last one asked for).
    int frames = 0;
    // How many times the frames are played, 0 for ever: once without a NETSCAPE2.0 block,
    // for ever for its count 0, else once and then count more times.
    int plays = 1;
    // The file ended, or its data failed, inside a frame or inside the blocks before one,
    // before the last frame asked for: the animation stops at `frames`, and the frames the
    // file went on to hold are missing. A file that stops between frames without its
    // trailer, or with stray bytes after a frame, is not cut short: nothing shows a
    // frame is missing.
    bool endedEarly = false;
    // With endedEarly: how many of the frames composed arrived whole. One fewer than
    // `frames` when the last one arrived in part (it is shown as far as it arrived).
    int wholeFrames = 0;
};

// Composes frames 0 to `lastFrame` (every frame when negative) and hands each canvas from
// `firstFrame` on to `shown`. The canvas starts as the first frame's surroundings are in
// decodeGif (transparent, or the background colour when the first frame has no
// transparent colour), so that the first canvas is decodeGif's picture. A file that ends
// or fails after a frame ends the animation there (see endedEarly); before the first, it
// is damaged.
GifAnimationInfo decodeGifAnimation(std::span<const std::uint8_t> bytes, int firstFrame,
                                    int lastFrame,
                                    const std::function<void(const GifCanvas&)>& shown);

// decodeGif and decodeGifAnimation in one pass over the file: frame 0 is read into `still` as
// decodeGif reads it, and drawn on the canvas from the rows `still` got; then frames 1 to
// `lastFrame` (every frame when negative) are composed on it. Every canvas from 0 on is
// handed to `shown`, the first as soon as `still` has all of its rows, before anything
// after them is read. The animation ends after frame 0 when that frame did not arrive
// whole; before it, the errors are decodeGif's.
GifAnimationInfo decodeGifFrames(std::span<const std::uint8_t> bytes, PictureSink& still,
                                 int lastFrame, const std::function<void(const GifCanvas&)>& shown);

// Hands `canvas` to `sink` as a decoder hands it a picture.
void deliverCanvas(const GifCanvas& canvas, PictureSink& sink);

} // namespace pixelcast
