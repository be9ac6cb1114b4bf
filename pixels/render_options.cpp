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

constexpr std::array<std::pair<Background, std::string_view>, 3> kBackgroundNames{{
    {Background::Panel, ""},
    {Background::White, "white"},
    {Background::Black, "black"},
}};

constexpr std::array<std::pair<Rotation, std::string_view>, 4> kRotationNames{{
    {Rotation::None, "0"},
    {Rotation::Quarter, "90"},
    {Rotation::Half, "180"},
    {Rotation::ThreeQuarters, "270"},
}};

constexpr std::array<std::pair<Flip, std::string_view>, 3> kFlipNames{{
    {Flip::None, ""},
    {Flip::Horizontal, "horizontal"},
    {Flip::Vertical, "vertical"},
}};

// The value named `name` among the table's named values (the first entry, the default,
// has no name a command line may give).
template <typename Value, std::size_t N>
std::optional<Value> fromName(const std::array<std::pair<Value, std::string_view>, N>& table,
                              std::string_view name, bool firstNamed)
{
    for (std::size_t i = firstNamed ? 0 : 1; i < N; ++i) {
        if (table[i].second == name) {
            return table[i].first;
        }
    }
    return std::nullopt;
}

template <typename Value, std::size_t N>
std::string_view nameOf(const std::array<std::pair<Value, std::string_view>, N>& table, Value value)
{
    for (const auto& [v, text] : table) {
        if (v == value) {
            return text;
        }
    }
    return table[0].second;
}

} // namespace

ColorRef transparencyColour(const RenderOptions& options)
{
    switch (options.background) {
    case Background::Panel:
        break;
    case Background::White:
        return kWhite;
    case Background::Black:
        return kBlack;
    }
    return kFaceColour;
}

ColorRef barColour(const RenderOptions& options)
{
    return options.background == Background::White ? kWhite : kBlack;
}

std::optional<Dither> ditherFromName(std::string_view name)
{
    return fromName(kDitherNames, name, true);
}

std::string_view ditherName(Dither dither)
{
    return nameOf(kDitherNames, dither);
}

std::optional<Background> backgroundFromName(std::string_view name)
{
    return fromName(kBackgroundNames, name, false);
}

std::string_view backgroundName(Background background)
{
    return nameOf(kBackgroundNames, background);
}

std::optional<Rotation> rotationFromName(std::string_view name)
{
    return fromName(kRotationNames, name, false);
}

std::string_view rotationName(Rotation rotation)
{
    return nameOf(kRotationNames, rotation);
}

std::optional<Flip> flipFromName(std::string_view name)
{
    return fromName(kFlipNames, name, false);
}

std::string_view flipName(Flip flip)
{
    return nameOf(kFlipNames, flip);
}

} // namespace pixelcast
