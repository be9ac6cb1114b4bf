#pragma once

#include <optional>
#include <string_view>

namespace pixelcast {

// The conversion level: a pixel is white when its grey value exceeds it. The window's
// scroll bar runs over this range and starts at the default.
inline constexpr int kMinLevel = 0;
inline constexpr int kMaxLevel = 254;
inline constexpr int kDefaultLevel = 127;

// How the grey picture becomes black and white.
enum class Dither { None, FloydSteinberg, Atkinson, Ordered };

// The picture options beyond the level. The defaults give the plain threshold of a
// nearest-pixel stretch over the whole frame.
struct RenderOptions {
    Dither dither = Dither::None;
    // Every black-and-white pixel flipped after rendering (the grey view is not).
    bool invert = false;
    // Area mean instead of the nearest pixel where the picture is shrunk.
    bool smooth = false;
    // The picture keeps its proportions, centred on a black frame.
    bool keepAspect = false;

    friend bool operator==(const RenderOptions&, const RenderOptions&) = default;
};

// The names the command lines use: "none", "floyd-steinberg", "atkinson", "ordered".
[[nodiscard]] std::optional<Dither> ditherFromName(std::string_view name);
[[nodiscard]] std::string_view ditherName(Dither dither);

} // namespace pixelcast
