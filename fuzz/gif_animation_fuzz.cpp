// Bytes in, every frame of an animation out through the conversion the converter runs:
// the composition, each canvas stretched onto the display, rendered and packed, and the
// frames through the compressed stream and back. Every input must end in frames or a
// pixelcast::Error; every delay must be positive (a GIF's at least 20 ms, a clip's the gap
// between two frames, as short as --fps 100 makes it), and the stream must give the frames
// back exactly. The input's last bytes choose the settings (fuzz_settings.h).
#include "decoders/gif_animation.h"
#include "errors/error.h"
#include "fuzz/fuzz_settings.h"
#include "output/frame_stream.h"
#include "pipeline/conversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ConversionSettings settings = fuzz::settingsFrom(data, size);
    ConvertedPicture picture;
    try {
        picture = convertBytes(bytes, settings, FrameRange{1, 0});
    } catch (const Error&) {
        return 0; // a numbered error is a proper answer to a bad file
    }
    std::vector<DisplayArray> frames;
    for (const ConvertedFrame& frame : picture.frames) {
        if (frame.delayMs < 1 || !(frame.array.format() == settings.display)) {
            std::abort();
        }
        frames.push_back(frame.array);
    }
    if (frames.empty() || frames.size() > static_cast<std::size_t>(kMaxFrames) ||
        picture.plays < 0) {
        std::abort();
    }
    const std::vector<std::uint8_t> stream = compressFrames(frames);
    if (decompressFrames(stream, frames.size(), settings.display) != frames) {
        std::abort();
    }
    return 0;
}
