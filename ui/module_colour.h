#pragma once

#include <QRgb>

#include <array>
#include <optional>
#include <string_view>

namespace pixelcast {

// The colour of a display module's lit pixels. The two-colour modules light their top 16
// rows yellow and the others blue.
enum class ModuleColour { White, Blue, Yellow, YellowAndBlue };

inline constexpr int kYellowRows = 16;

struct ModuleColourEntry {
    ModuleColour colour;
    // The settings' name for it.
    std::string_view name;
    const char* menuText;
    const char* objectName;
};

inline constexpr std::array<ModuleColourEntry, 4> kModuleColours{{
    {ModuleColour::White, "white", "White", "moduleWhiteAction"},
    {ModuleColour::Blue, "blue", "Blue", "moduleBlueAction"},
    {ModuleColour::Yellow, "yellow", "Yellow", "moduleYellowAction"},
    {ModuleColour::YellowAndBlue, "yellow-blue", "Yellow and blue", "moduleYellowBlueAction"},
}};

[[nodiscard]] inline std::optional<ModuleColour> moduleColourFromName(std::string_view name)
{
    for (const ModuleColourEntry& entry : kModuleColours) {
        if (entry.name == name) {
            return entry.colour;
        }
    }
    return std::nullopt;
}

[[nodiscard]] inline std::string_view moduleColourName(ModuleColour colour)
{
    for (const ModuleColourEntry& entry : kModuleColours) {
        if (entry.colour == colour) {
            return entry.name;
        }
    }
    return kModuleColours.front().name;
}

// A lit pixel of `row`, and an unlit one, as they look on a module.
inline constexpr QRgb kModuleWhite = 0xFFE8F0FF;
inline constexpr QRgb kModuleBlue = 0xFF3CB4FF;
inline constexpr QRgb kModuleYellow = 0xFFFFD200;
inline constexpr QRgb kModuleDark = 0xFF1A1C20;

[[nodiscard]] constexpr QRgb litColour(ModuleColour colour, int row)
{
    switch (colour) {
    case ModuleColour::White:
        return kModuleWhite;
    case ModuleColour::Blue:
        return kModuleBlue;
    case ModuleColour::Yellow:
        return kModuleYellow;
    case ModuleColour::YellowAndBlue:
        break;
    }
    return row < kYellowRows ? kModuleYellow : kModuleBlue;
}

} // namespace pixelcast
