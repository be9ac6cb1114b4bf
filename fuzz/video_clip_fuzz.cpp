// Bytes in, the video clip glue over FFmpeg out: the container told from the first bytes,
// the demuxer fed through the reader callbacks, every frame decoded, converted and handed
// on, the damage found, and the frames counted without decoding. Every input must end in
// frames or a pixelcast::Error; each frame must come at the first frame's size with a
// delay of at least 1 ms and the next index; anything else is a finding.
#include "errors/error.h"
#include "video/clip_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const std::span<const std::uint8_t> bytes(data, size);
    const video::Container container = video::containerOf(bytes);
    if (container == video::Container::None) {
        return 0;
    }
    const video::ClipBytes read = [bytes](std::uint64_t at, std::span<std::uint8_t> into) {
        if (at >= bytes.size()) {
            return std::size_t{0};
        }
        const std::size_t count = std::min<std::size_t>(into.size(), bytes.size() - at);
        std::memcpy(into.data(), bytes.data() + at, count);
        return count;
    };
    video::ClipRequest request;
    request.container = container;
    request.size = size;
    // Small limits keep an input's run short; the glue's answers to them are what is tested.
    request.maxFrames = 200;
    request.maxFramePixels = 1'000'000;
    request.maxDecodedPixels = 20'000'000;
    int width = 0;
    int height = 0;
    int next = 0;
    request.sized = [&](int w, int h) {
        width = w;
        height = h;
    };
    request.shown = [&](const video::ClipFrame& frame) {
        if (frame.index != next++ || frame.width != width || frame.height != height ||
            frame.delayMs < 1 || frame.pixels == nullptr) {
            std::abort();
        }
        // Every pixel is read, so that the sanitizer sees a short buffer.
        std::uint32_t all = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
            all |= frame.pixels[i];
        }
        if ((all >> 24U) == 0) {
            std::abort();
        }
    };
    try {
        const video::ClipFound found = video::readClip(read, request);
        if (found.frames != next) {
            std::abort();
        }
    } catch (const Error&) {
        // A numbered error is a proper answer to a bad clip.
    }
    (void)video::countClipFrames(read, container, size);
    return 0;
}
