#pragma once

#include "display/byte_layout.h"
#include "pipeline/conversion.h"

#include <cstddef>
#include <cstdint>

namespace pixelcast::fuzz {

// The conversion settings an input chooses with its last five bytes: the level, the
// picture options, the display's size (1-256 x 1-128) and its layout. The bytes stay part
// of the picture, whose end most formats do not need, so that the seeds stay pictures and
// a mutation of their tail explores the settings.
inline ConversionSettings settingsFrom(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t tail[5]{};
    for (std::size_t i = 0; i < 5 && i < size; ++i) {
        tail[i] = data[size - 1 - i];
    }
    ConversionSettings settings;
    settings.level = static_cast<std::int16_t>(tail[0] % 255);
    settings.options.dither = static_cast<Dither>(tail[1] & 3U);
    settings.options.invert = (tail[1] & 4U) != 0;
    settings.options.smooth = (tail[1] & 8U) != 0;
    settings.options.keepAspect = (tail[1] & 16U) != 0;
    settings.options.background = static_cast<Background>((tail[4] & 3U) % 3);
    settings.options.rotation = static_cast<Rotation>((tail[4] >> 2U) & 3U);
    settings.options.flip = static_cast<Flip>(((tail[4] >> 4U) & 3U) % 3);
    const auto layouts = allLayouts();
    settings.display.layout = layouts[(tail[1] >> 5U) % layouts.size()];
    // Mostly the default display, which is the one people use; now and then another size.
    if ((tail[1] & 0x80U) != 0) {
        settings.display.size = {1 + tail[2], 1 + static_cast<int>(tail[3] & 0x7FU)};
    }
    return settings;
}

} // namespace pixelcast::fuzz
