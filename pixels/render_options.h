#pragma once

#include "colorref.h"

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

// What transparent parts of the picture are laid on, and the colour of the bars beside a
// picture that keeps its proportions: Panel lays them on the panel colour with black bars.
enum class Background { Panel, White, Black };

// A clockwise turn of the picture before it is stretched.
enum class Rotation { None, Quarter, Half, ThreeQuarters };

// A mirroring of the picture after its turn: Horizontal swaps left and right, Vertical top
// and bottom.
enum class Flip { None, Horizontal, Vertical };

// The picture options beyond the level. The defaults give the plain threshold of a
// nearest-pixel stretch of the upright picture over the whole frame.
struct RenderOptions {
    Dither dither = Dither::None;
    // Every black-and-white pixel flipped after rendering (the grey view is not).
    bool invert = false;
    // Area mean instead of the nearest pixel where the picture is shrunk.
    bool smooth = false;
    // The picture keeps its proportions, centred on bars of the background's colour.
    bool keepAspect = false;
    Background background = Background::Panel;
    Rotation rotation = Rotation::None;
    Flip flip = Flip::None;

    friend bool operator==(const RenderOptions&, const RenderOptions&) = default;
};

// The colour transparent pixels are laid on: the panel colour, white or black.
[[nodiscard]] ColorRef transparencyColour(const RenderOptions& options);
// The colour of the bars keepAspect leaves: black, or white for a white background.
[[nodiscard]] ColorRef barColour(const RenderOptions& options);

// The names the command lines use: "none", "floyd-steinberg", "atkinson", "ordered".
[[nodiscard]] std::optional<Dither> ditherFromName(std::string_view name);
[[nodiscard]] std::string_view ditherName(Dither dither);
// "white" and "black"; the panel colour has no name, it is what is left when none is given.
[[nodiscard]] std::optional<Background> backgroundFromName(std::string_view name);
[[nodiscard]] std::string_view backgroundName(Background background);
// "90", "180" and "270" degrees clockwise.
[[nodiscard]] std::optional<Rotation> rotationFromName(std::string_view name);
[[nodiscard]] std::string_view rotationName(Rotation rotation);
// "horizontal" and "vertical".
[[nodiscard]] std::optional<Flip> flipFromName(std::string_view name);
[[nodiscard]] std::string_view flipName(Flip flip);

} // namespace pixelcast
