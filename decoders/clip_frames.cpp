#include "clip_frames.h"

#include <algorithm>
#include <cstring>

namespace pixelcast {

AnimationInfo readClipFrames(video::Container container, const ByteReader& read, std::size_t size,
                             PictureSink* still, int firstFrame, int lastFrame,
                             const FrameShown& shown)
{
    const char* name = video::containerName(container);
    video::ClipRequest request;
    request.container = container;
    request.size = size;
    request.firstFrame = still != nullptr ? 0 : firstFrame;
    request.lastFrame = lastFrame;
    request.maxFrames = kMaxFrames;
    request.maxFramePixels = kMaxPicturePixels;
    request.sized = [name](int width, int height) {
        checkPictureSize(name, width, height);
    };
    request.shown = [&](const video::ClipFrame& frame) {
        const FrameCanvas canvas{frame.index, frame.delayMs, frame.width, frame.height,
                                 frame.pixels};
        if (frame.index == 0 && still != nullptr) {
            deliverCanvas(canvas, *still);
        }
        if (frame.index >= firstFrame) {
            shown(canvas);
        }
    };
    const video::ClipFound found = video::readClip(
        [&read](std::uint64_t at, std::span<std::uint8_t> into) {
            return read(static_cast<std::size_t>(at), into);
        },
        request);
    AnimationInfo info;
    info.frames = lastFrame >= 0 ? std::min(found.frames, lastFrame + 1) : found.frames;
    info.endedEarly = found.endedEarly;
    info.wholeFrames = found.endedEarly ? info.frames : 0;
    info.dataSkipped = found.dataSkipped;
    return info;
}

ByteReader readerOver(std::span<const std::uint8_t> bytes)
{
    return [bytes](std::size_t at, std::span<std::uint8_t> into) -> std::size_t {
        if (at >= bytes.size()) {
            return 0;
        }
        const std::size_t count = std::min(into.size(), bytes.size() - at);
        std::memcpy(into.data(), bytes.data() + at, count);
        return count;
    };
}

} // namespace pixelcast
