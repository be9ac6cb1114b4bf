#include "render_options.h"

#include <array>
#include <utility>

namespace pixelcast {

namespace {

constexpr std::array<std::pair<Dither, std::string_view>, 4> kDitherNames{{
    {Dither::None, "none"},
    {Dither::FloydSteinberg, "floyd-steinberg"},
    {Dither::Atkinson, "atkinson"},
    {Dither::Ordered, "ordered"},
}};

} // namespace

std::optional<Dither> ditherFromName(std::string_view name)
{
    for (const auto& [dither, text] : kDitherNames) {
        if (text == name) {
            return dither;
        }
    }
    return std::nullopt;
}

std::string_view ditherName(Dither dither)
{
    for (const auto& [value, text] : kDitherNames) {
        if (value == dither) {
            return text;
        }
    }
    return kDitherNames[0].second;
}

} // namespace pixelcast
