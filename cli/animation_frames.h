#pragma once

#include "cli/converter.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace pixelcast::cli {

// The frames --frames picks, 1-based and inclusive; `last` 0 runs to the last frame.
struct FrameRange {
    int first = 1;
    int last = 1;
};

// "all", "N" or "A-B". Throws Error(UsageError) naming the text.
[[nodiscard]] FrameRange parseFrameRange(const QString& text);

// The arrays of a picture's frames, each converted as one picture is, with their delays
// and how many times they are played (0 for ever). A picture that is not a GIF is one frame.
struct Animation {
    std::vector<DisplayArray> frames;
    std::vector<int> delaysMs;
    int plays = 1;
};

// Converts the frames in `range`. Frame 1 is convertPicture's array; every later frame is
// the GIF's composed canvas stretched onto 128 x 64 as a decoded picture is and rendered
// by convertScaled. Throws the loader's Error, and Error(UsageError) when the range runs
// past the picture's frames.
[[nodiscard]] Animation convertFrames(const QString& fileName, std::int16_t level,
                                      const FrameRange& range, const RenderOptions& options = {});

} // namespace pixelcast::cli
