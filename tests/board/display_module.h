#pragma once

#include <ostream>

namespace pixelcast::test {

// The display module wired to a simulated board: an SSD1306 of 64 or 32 rows or an SH1106
// of 64, on the I2C bus at 0x3C, or on the hardware SPI pins with chip select on pin 10,
// data/command on pin 9 and reset on pin 8, as the sketches' SPI settings say.
struct DisplayModule {
    enum class Controller { Ssd1306, Sh1106 };
    Controller controller = Controller::Ssd1306;
    int rows = 64;
    bool spi = false;
};

// The modules the sketches are built for, by the names tests/board/CMakeLists.txt gives their
// builds (pixelcast_receiver_<name>.elf, pixelcast_player_<name>.elf).
struct NamedDisplayModule {
    const char* name = nullptr;
    DisplayModule module;
};

inline constexpr NamedDisplayModule kDisplayModules[] = {
    {"Ssd1306I2c128x64", {DisplayModule::Controller::Ssd1306, 64, false}},
    {"Ssd1306I2c128x32", {DisplayModule::Controller::Ssd1306, 32, false}},
    {"SpiSsd1306128x64", {DisplayModule::Controller::Ssd1306, 64, true}},
    {"SH1106I2c128x64", {DisplayModule::Controller::Sh1106, 64, false}},
    {"SpiSH1106128x64", {DisplayModule::Controller::Sh1106, 64, true}},
};

inline void PrintTo(const NamedDisplayModule& row, std::ostream* out)
{
    *out << row.name;
}

} // namespace pixelcast::test
