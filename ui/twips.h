#pragma once

#include <QRect>

#include <cmath>

namespace pixelcast {

inline constexpr double kTwipsPerInch = 1440.0;

// Twips (1/1440 inch) to whole pixels at `dotsPerInch`: 15 twips a pixel at 96 dpi.
[[nodiscard]] inline int twipsToPixels(int twips, double dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

[[nodiscard]] inline QRect twipsRect(int left, int top, int width, int height, double dotsPerInch)
{
    return {twipsToPixels(left, dotsPerInch), twipsToPixels(top, dotsPerInch),
            twipsToPixels(width, dotsPerInch), twipsToPixels(height, dotsPerInch)};
}

} // namespace pixelcast
