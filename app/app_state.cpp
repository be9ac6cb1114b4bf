#include "app_state.h"

namespace pixelcast {

bool isButtonEnabled(const AppState& state, Button button)
{
    switch (button) {
    case Button::WriteArrayFile:
        return state.writeArrayFileEnabled;
    case Button::WriteArrayToArduino:
        return state.writeArrayToArduinoEnabled;
    case Button::LoadImage:
    case Button::CreateArray:
    case Button::ConfigurePort:
    case Button::Exit:
        break;
    }
    return true;
}

} // namespace pixelcast
