#pragma once

#include "decoding.h"

#include <cstdint>
#include <functional>
#include <span>

// What every reader of a picture with frames (an animated GIF, ...) hands on: each frame
// composed on a canvas the way browsers play it, with its delay, and what the composition
// found. The loader plays them all through the same road (see picture_loader.h).
namespace pixelcast {

// Refused with PictureTooLarge: more frames than this.
inline constexpr int kMaxFrames = 10'000;

// A delay of 0 or 1 hundredths of a second is played as this, as browsers do.
inline constexpr int kShortDelayMs = 100;

// One shown canvas: `width` x `height` pixels row after row, transparent where no frame
// has drawn. `index` counts from 0.
struct FrameCanvas {
    int index = 0;
    int delayMs = 0;
    int width = 0;
    int height = 0;
    const Argb* pixels = nullptr;
};

struct AnimationInfo {
    // The frames composed (up to the last one asked for).
    int frames = 0;
    // How many times the frames are played, 0 for ever.
    int plays = 1;
    // The file ended, or its data failed, inside a frame or inside the blocks before one,
    // before the last frame asked for: the animation stops at `frames`, and the frames the
    // file went on to hold are missing.
    bool endedEarly = false;
    // With endedEarly: how many of the frames composed arrived whole. One fewer than
    // `frames` when the last one arrived in part (it is shown as far as it arrived).
    int wholeFrames = 0;
    // Damaged data inside the frames (a video clip's broken packet) was passed over; the
    // frames are shown as they decoded.
    bool dataSkipped = false;
};

// Receives each canvas as it is composed.
using FrameShown = std::function<void(const FrameCanvas&)>;

// A reader of a format with frames, in one pass over the file: frame 0 is read into `still`
// as the format's still reader reads it; then frames 1 to `lastFrame` (every frame when
// negative) are composed. Every canvas from 0 on is handed to `shown`, the first as soon as
// `still` has all of its rows.
using FramesReader = AnimationInfo (*)(std::span<const std::uint8_t> bytes, PictureSink& still,
                                       int lastFrame, const FrameShown& shown);

// Hands `canvas` to `sink` as a decoder hands it a picture.
void deliverCanvas(const FrameCanvas& canvas, PictureSink& sink);

} // namespace pixelcast
