#pragma once

#include "display/display_array.h"
#include "pixels/colorref.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QString>

#include <array>
#include <cstdint>

namespace pixelcast {

// The window's six buttons, in tab order.
enum class Button {
    LoadImage,
    CreateArray,
    WriteArrayFile,
    ConfigurePort,
    WriteArrayToArduino,
    Exit,
};

inline constexpr std::array kAllButtons{Button::LoadImage,           Button::CreateArray,
                                        Button::WriteArrayFile,      Button::ConfigurePort,
                                        Button::WriteArrayToArduino, Button::Exit};

// The program-wide record the commands share. The window shows the three surfaces; the
// output commands read the array and the port number.
struct AppState {
    // The file name a dialog returned last, for a picture or for the array file.
    QString sourceFileName;
    // The picture shown now; empty while there is none. The exports name it.
    QString pictureFileName;
    // 0 until a port is configured, then 1-4.
    std::int16_t portNumber = 0;
    // The conversion level: the scroll bar's value, copied on each change.
    std::int16_t threshold = 0;
    // The picture options (rendering, stretch, inversion); the defaults are the plain
    // threshold of a nearest-pixel stretch.
    RenderOptions renderOptions;

    // The decoded picture at its own size; empty until a picture is loaded.
    Surface source;
    // The picture stretched to the display's size, then made grey.
    Surface scaled{kDisplayWidth, kDisplayHeight, kFaceColour};
    // The black-and-white rendering that the array is packed from.
    Surface result{kDisplayWidth, kDisplayHeight, kFaceColour};
    DisplayArray array;

    // The two output buttons that depend on an array; every other button stays enabled.
    bool writeArrayFileEnabled = false;
    bool writeArrayToArduinoEnabled = false;
};

// Whether `button` is enabled in `state`: the one place the buttons' states come from.
[[nodiscard]] bool isButtonEnabled(const AppState& state, Button button);

} // namespace pixelcast
