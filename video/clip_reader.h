#pragma once

#include <cstdint>
#include <functional>
#include <span>

// Video clips read through FFmpeg's libraries a frame at a time: the clip's bytes are asked
// for piece by piece as the demuxer needs them, and besides the decoder's own pictures one
// decoded frame waits (for the next one's time, which gives its delay) while one is shown.
// The container is chosen from the file's first bytes (containerOf) and handed to FFmpeg
// by name: FFmpeg never guesses a format, never opens a URL, a protocol or another file
// (a playlist, a concat list or a reference inside a clip reads nothing). No FFmpeg type
// shows here.
namespace pixelcast::video {

enum class Container { None, Mp4, Mov, Matroska, WebM, Avi };

// The container the file's first bytes (64 are enough) begin as: an ISO base media file
// with an MP4 or QuickTime brand (never a HEIF or AVIF picture's), a Matroska or WebM EBML
// header, or a RIFF AVI.
[[nodiscard]] Container containerOf(std::span<const std::uint8_t> start);
// "MP4", "MOV", "MKV", "WebM" or "AVI".
[[nodiscard]] const char* containerName(Container container);

// Fills `into` with the clip's bytes from `at` and returns how many came: fewer only where
// the clip ends. May throw; the exception leaves readClip as it came.
using ClipBytes = std::function<std::size_t(std::uint64_t at, std::span<std::uint8_t> into)>;

// One decoded frame, every frame at the first frame's size.
struct ClipFrame {
    // Counted from 0 in the clip.
    int index = 0;
    // The time to the next frame's presentation; for the last frame its own duration, or
    // else the mean of the others'. At least 1.
    int delayMs = 0;
    int width = 0;
    int height = 0;
    // width x height pixels 0xAARRGGBB (alpha 0xFF), row after row.
    const std::uint32_t* pixels = nullptr;
};

struct ClipRequest {
    Container container = Container::None;
    std::uint64_t size = 0;
    // The frames handed to `shown`, counted from 0; every one from `firstFrame` on when
    // `lastFrame` is negative. Decoding stops once `lastFrame`'s delay is known.
    int firstFrame = 0;
    int lastFrame = -1;
    // More frames than this, or more decoded pixels than `maxDecodedPixels` over the whole
    // clip, or a frame of more than `maxFramePixels`, are refused with PictureTooLarge.
    int maxFrames = 10'000;
    std::int64_t maxFramePixels = 50'000'000;
    std::int64_t maxDecodedPixels = 25'000'000'000;
    // Called with the frames' size before anything of that size is taken; throws to refuse it.
    std::function<void(int width, int height)> sized;
    std::function<void(const ClipFrame&)> shown;
};

struct ClipFound {
    // The frames decoded (up to the one after `lastFrame`, which gives its delay).
    int frames = 0;
    // The clip ended, or its data failed, before the frames its container lists.
    bool endedEarly = false;
    // A packet was damaged or failed to decode and was passed over.
    bool dataSkipped = false;
};

// Decodes the clip's first video stream (audio and every other stream are passed over).
// Throws pixelcast::Error: NotAPicture when it holds no video that can be decoded,
// PictureDamaged when not one frame decodes, PictureTooLarge past the limits, and what
// `read` or the callbacks throw.
ClipFound readClip(const ClipBytes& read, const ClipRequest& request);

// The frames the clip's container lists, or else its video packets, demuxed without decoding
// them (a frame a packet for most codecs). 0 when the container cannot be read.
[[nodiscard]] int countClipFrames(const ClipBytes& read, Container container, std::uint64_t size);

} // namespace pixelcast::video
