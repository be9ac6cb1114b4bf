#pragma once

#include "display/display_array.h"
#include "pipeline/conversion.h"
#include "pixels/render_options.h"

#include <QString>

#include <optional>

namespace pixelcast {

// The options that differ from the defaults, as the converter's command line names them
// (" --frames 3 --dither atkinson --size 16x16"), for the opening comment of the headers both
// programs write: empty for the defaults, so that their headers keep their bytes. `frames`
// are the frame or frames of an animation that the header holds, 1-based, as --frames takes
// them; frame 1 alone (a still picture's only frame) and all frames are not named.
[[nodiscard]] QString optionsNote(const RenderOptions& options, const DisplayFormat& display,
                                  std::optional<FrameRange> frames = std::nullopt);

// " with" and the note, or nothing for the defaults: the tail of a header's origin line.
[[nodiscard]] QString withOptionsNote(const RenderOptions& options, const DisplayFormat& display,
                                      std::optional<FrameRange> frames = std::nullopt);

} // namespace pixelcast
