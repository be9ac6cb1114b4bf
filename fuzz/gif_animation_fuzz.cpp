// Bytes in, every frame of a GIF out: the composition, each canvas stretched onto the
// 128 x 64 surface and packed as the converter does, and the frames through the compressed
// stream and back. Every input must end in frames or a pixelcast::Error; the canvases must
// come in order with the screen's size, and the stream must give the frames back exactly.
#include "cli/animation_header.h"
#include "decoders/gif_animation.h"
#include "decoders/picture_sinks.h"
#include "errors/error.h"
#include "pixels/greyscale.h"
#include "pixels/packing.h"
#include "pixels/threshold.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    std::vector<DisplayArray> frames;
    int width = -1;
    int height = -1;
    try {
        const GifAnimationInfo info =
            decodeGifAnimation({data, size}, 0, -1, [&](const GifCanvas& canvas) {
                if (canvas.index != static_cast<int>(frames.size()) || canvas.delayMs < 20 ||
                    (width >= 0 && (canvas.width != width || canvas.height != height))) {
                    std::abort();
                }
                width = canvas.width;
                height = canvas.height;
                Surface scaled(kSurfaceWidth, kSurfaceHeight, kFaceColour);
                StretchSink sink(scaled, kFaceColour);
                deliverCanvas(canvas, sink);
                toGreyscale(scaled);
                Surface result(kSurfaceWidth, kSurfaceHeight, kFaceColour);
                renderMonochrome(scaled, result, 127);
                buildDisplayArray(result, frames.emplace_back());
            });
        if (info.frames != static_cast<int>(frames.size()) || info.frames > kMaxGifFrames ||
            info.plays < 0) {
            std::abort();
        }
    } catch (const Error&) {
        return 0; // a numbered error is a proper answer to a bad file
    }
    const std::vector<std::uint8_t> stream = cli::compressFrames(frames);
    if (cli::decompressFrames(stream, frames.size()) != frames) {
        std::abort();
    }
    return 0;
}
