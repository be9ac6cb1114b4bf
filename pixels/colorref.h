#pragma once

#include <cstdint>

namespace pixelcast {

// A colour laid out as 0x00BBGGRR: red in bits 0-7, green in 8-15, blue in 16-23.
// Every value the conversion writes has bits 24-31 clear.
using ColorRef = std::uint32_t;

inline constexpr ColorRef kWhite = 0xFFFFFF;
inline constexpr ColorRef kBlack = 0x000000;

// The light grey of buttons and panels: what the views and the working surfaces show
// where there is no picture, and what transparent parts of a picture turn into.
inline constexpr ColorRef kFaceColour = 0xF0F0F0;

[[nodiscard]] constexpr ColorRef rgb(int r, int g, int b)
{
    return static_cast<ColorRef>(r + 256 * g + 65536 * b);
}

// Channel extraction divides the value taken as a signed 32-bit number and truncates
// toward zero before masking; for the values the conversion writes this is the same as
// shifting, and for the rest it is the rule the stages are defined by.
[[nodiscard]] constexpr int redOf(ColorRef c)
{
    return static_cast<std::int32_t>(c) & 0xFF;
}
[[nodiscard]] constexpr int greenOf(ColorRef c)
{
    return (static_cast<std::int32_t>(c) / 256) & 0xFF;
}
[[nodiscard]] constexpr int blueOf(ColorRef c)
{
    return (static_cast<std::int32_t>(c) / 65536) & 0xFF;
}

} // namespace pixelcast
