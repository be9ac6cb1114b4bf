#pragma once

#include "animation.h"
#include "decoding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

// The readers of WebP, AVIF and HEIF pictures, each on its Debian library (libwebp with
// its demuxer and animation decoder, libavif, libheif). Every one keeps the limits the
// other readers keep (checkPictureSize, kMaxFrames) and tells a file that still decoded
// with rows or frames missing as the others do.
namespace pixelcast {

// Refused with PictureTooLarge: more canvas pixels than this composed over a whole WebP or
// AVIF animation (each frame costs its canvas), as kMaxGifComposedPixels for a GIF.
inline constexpr std::int64_t kMaxComposedPixels = 500'000'000;

// A frame's delay as a WebP or AVIF gives it in milliseconds, as it is played: 10 ms or less
// as kShortDelayMs, as browsers play it; else at least 20 ms, the shortest delay a GIF
// gives, which the board's player keeps; at most an hour.
[[nodiscard]] inline int playedDelayMs(double ms)
{
    if (!(ms > 10.5)) { // NaN too
        return kShortDelayMs;
    }
    return static_cast<int>(std::lround(std::clamp(ms, 20.0, 3'600'000.0)));
}

// "RIFF", a size, "WEBP".
[[nodiscard]] bool isWebp(std::span<const std::uint8_t> bytes);
// An ISO base media file whose `ftyp` box names an AVIF brand (avif, avis) as its major
// brand, or among its compatible brands behind a general one (mif1, msf1, miaf).
[[nodiscard]] bool isAvif(std::span<const std::uint8_t> bytes);
// An ISO base media file whose major brand is a HEIF one (heic, heix, heim, heis, hevc,
// hevx, mif1, msf1) and that is no AVIF.
[[nodiscard]] bool isHeif(std::span<const std::uint8_t> bytes);

// WebP, lossy or lossless, with or without alpha; the first frame of an animation. A file
// cut short inside the picture's data gives the rows that arrived.
void decodeWebp(std::span<const std::uint8_t> bytes, PictureSink& sink);
// Every frame of a WebP (one for a still), composed by libwebp's animation decoder as
// browsers compose them; the still is frame 0 (see FramesReader). A file cut short after a
// whole frame ends the animation there (AnimationInfo::endedEarly).
AnimationInfo decodeWebpFrames(std::span<const std::uint8_t> bytes, PictureSink& still,
                               int lastFrame, const FrameShown& shown);
// The frames that begin in the file; 1 for a still, 0 for bytes that are no WebP.
[[nodiscard]] int countWebpFrames(std::span<const std::uint8_t> bytes);

// AVIF: the primary picture, or the first of an image sequence, turned and mirrored as
// its irot and imir properties say. Samples of 10 and 12 bits are rounded to 8.
void decodeAvif(std::span<const std::uint8_t> bytes, PictureSink& sink);
// Every picture of an AVIF image sequence (one for a still) with its duration; each is
// whole, so nothing is composed.
AnimationInfo decodeAvifFrames(std::span<const std::uint8_t> bytes, PictureSink& still,
                               int lastFrame, const FrameShown& shown);
[[nodiscard]] int countAvifFrames(std::span<const std::uint8_t> bytes);

// HEIF (HEIC photos): the primary picture, cropped, turned and mirrored as its clap, irot
// and imir properties say (libheif applies them).
void decodeHeif(std::span<const std::uint8_t> bytes, PictureSink& sink);

} // namespace pixelcast
