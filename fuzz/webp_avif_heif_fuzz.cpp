// Bytes in, the WebP, AVIF and HEIF readers out, each called as the loader calls it: the
// still, then every frame through the frames reader. Every input must end in pixels or a
// pixelcast::Error. The still must be frame 0, every canvas of an animation the same size
// and every delay one the player keeps; each canvas is read whole, so that a short one is
// found by the address sanitizer.
#include "decoders/animation.h"
#include "decoders/webp_avif_heif.h"
#include "errors/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using namespace pixelcast;

// Keeps the picture a reader hands it, rows that never arrive transparent.
class KeepingSink final : public PictureSink {
public:
    void begin(int width, int height) override
    {
        m_width = width;
        m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int y, const Argb* pixels) override
    {
        const auto at = static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
        std::copy(pixels, pixels + m_width, m_pixels.begin() + static_cast<std::ptrdiff_t>(at));
    }
    [[nodiscard]] const std::vector<Argb>& pixels() const { return m_pixels; }

private:
    int m_width = 0;
    std::vector<Argb> m_pixels;
};

using Still = void (*)(std::span<const std::uint8_t>, PictureSink&);

void readBoth(std::span<const std::uint8_t> bytes, Still still, FramesReader frames)
{
    KeepingSink alone;
    bool stillRead = true;
    try {
        still(bytes, alone);
    } catch (const Error&) {
        stillRead = false;
    }
    if (frames == nullptr) {
        return;
    }
    KeepingSink first;
    std::vector<Argb> frame0;
    int width = -1;
    int height = -1;
    unsigned sum = 0;
    try {
        const AnimationInfo info = frames(bytes, first, -1, [&](const FrameCanvas& canvas) {
            if ((width >= 0 && (canvas.width != width || canvas.height != height)) ||
                canvas.delayMs < 20) {
                std::abort();
            }
            width = canvas.width;
            height = canvas.height;
            const std::size_t count =
                static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
            for (std::size_t i = 0; i < count; ++i) {
                sum += canvas.pixels[i];
            }
            if (canvas.index == 0) {
                frame0.assign(canvas.pixels, canvas.pixels + count);
            }
        });
        if (info.frames < 1 || info.frames > kMaxFrames || !stillRead ||
            alone.pixels() != first.pixels()) {
            std::abort();
        }
    } catch (const Error&) {
        // The still may be read where a later frame fails; never the other way round.
        if (!frame0.empty() && !stillRead) {
            std::abort();
        }
    }
    if (sum == 1) { // keeps the reads of every pixel
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    if (isWebp(bytes)) {
        readBoth(bytes, decodeWebp, decodeWebpFrames);
    } else if (isAvif(bytes)) {
        readBoth(bytes, decodeAvif, decodeAvifFrames);
    } else if (isHeif(bytes)) {
        readBoth(bytes, decodeHeif, nullptr);
    }
    return 0;
}
