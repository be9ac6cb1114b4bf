#include "app_state.h"

namespace pixelcast {

bool isButtonEnabled(const AppState& state, Button button)
{
    switch (button) {
    case Button::WriteArrayFile:
        return state.writeArrayFileEnabled;
    case Button::WriteArrayToArduino:
        return state.writeArrayToArduinoEnabled && !state.sendingAnimation;
    case Button::ConfigurePort:
        return !state.sendingAnimation;
    case Button::LoadImage:
    case Button::CreateArray:
    case Button::Exit:
        break;
    }
    return true;
}

bool isCommandEnabled(const AppState& state, Command command)
{
    const bool animated = state.animation.isAnimated();
    switch (command) {
    case Command::SendAnimation:
        return animated && state.portNumber != 0 && !state.sendingAnimation;
    case Command::CancelSend:
        return state.sendingAnimation;
    case Command::PlayPause:
    case Command::PreviousFrame:
    case Command::NextFrame:
    case Command::WriteAnimationFile:
    case Command::ExportAnimationHeader:
        break;
    }
    return animated;
}

} // namespace pixelcast
