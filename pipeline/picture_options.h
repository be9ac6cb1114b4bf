#pragma once

#include "display/display_array.h"
#include "pipeline/command_line.h"
#include "pixels/render_options.h"

#include <array>
#include <optional>

namespace pixelcast {

// The options both programs take that decide how the picture is drawn on the display.
inline constexpr std::array<OptionSpec, 7> kPictureOptionSpecs{{
    {"--dither", true},
    {"--invert", false},
    {"--smooth", false},
    {"--keep-aspect", false},
    {"--background", true},
    {"--rotate", true},
    {"--flip", true},
}};

// The options both programs take that choose the display: --size WxH and --layout NAME.
inline constexpr std::array<OptionSpec, 2> kDisplayOptionSpecs{{
    {"--size", true},
    {"--layout", true},
}};

// The picture options a command line gave; those not given leave a choice as it was.
struct GivenPictureOptions {
    std::optional<Dither> dither;
    bool invert = false;
    bool smooth = false;
    bool keepAspect = false;
    std::optional<Background> background;
    std::optional<Rotation> rotation;
    std::optional<Flip> flip;

    // `options` with the ones given applied over it.
    [[nodiscard]] RenderOptions appliedTo(RenderOptions options) const;
};

// The display options a command line gave.
struct GivenDisplayOptions {
    std::optional<DisplaySize> size;
    const ByteLayout* layout = nullptr;

    [[nodiscard]] DisplayFormat appliedTo(DisplayFormat format) const;
};

// Reads the display options out of a parsed command line. Throws Error(UsageError)
// naming a size or layout that is not known.
[[nodiscard]] GivenDisplayOptions displayOptionsFrom(const ParsedCommandLine& parsed);

// Reads the picture options out of a parsed command line. Throws Error(UsageError) naming
// a value that is not known.
[[nodiscard]] GivenPictureOptions pictureOptionsFrom(const ParsedCommandLine& parsed);

} // namespace pixelcast
