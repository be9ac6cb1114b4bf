#pragma once

#include "display/display_array.h"
#include "pipeline/loaded_picture.h"
#include "pixels/colorref.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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

// The commands around the form that only an animation has, or that a send under way
// changes.
enum class Command {
    PlayPause,
    PreviousFrame,
    NextFrame,
    WriteAnimationFile,
    ExportAnimationHeader,
    SendAnimation,
    CancelSend,
};

inline constexpr std::array kAllCommands{
    Command::PlayPause,          Command::PreviousFrame,         Command::NextFrame,
    Command::WriteAnimationFile, Command::ExportAnimationHeader, Command::SendAnimation,
    Command::CancelSend};

// What an array was rendered at: the level and the picture options.
struct RenderStamp {
    std::int16_t level = 0;
    RenderOptions options;
    DisplayFormat display;

    friend bool operator==(const RenderStamp&, const RenderStamp&) = default;
};

// The array of one frame of an animated picture, made again only when it is needed at
// other settings than those it was made at. The frame's grey picture is the loaded
// picture's (LoadedPicture::greyFrame).
struct AnimationFrame {
    int delayMs = 0;
    DisplayArray array;
    std::optional<RenderStamp> renderedAt;
};

// Every frame of the animated GIF shown now, and where its playing stands. Empty for a
// still picture: frame 1 alone lives in AppState's surfaces.
struct Animation {
    std::vector<AnimationFrame> frames;
    // How often the frames play, 0 for ever.
    int plays = 1;
    // The frame the views show.
    std::size_t current = 0;
    bool playing = false;
    // Times the last frame has been left since playing began.
    int playsDone = 0;

    [[nodiscard]] bool isAnimated() const { return frames.size() > 1; }
};

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
    // The display's size and the byte layout of its arrays; the defaults are the board's.
    DisplayFormat display;

    // The picture loaded now, its frames grey at the display's size; no picture until one
    // is loaded.
    LoadedPicture picture;
    // The decoded picture at its own size; empty until a picture is loaded.
    Surface source;
    // The picture stretched to the display's size, then made grey.
    Surface scaled{kDisplayWidth, kDisplayHeight, kFaceColour};
    // The black-and-white rendering that the array is packed from.
    Surface result{kDisplayWidth, kDisplayHeight, kFaceColour};
    DisplayArray array;

    // The two output buttons that depend on an array; every other button stays enabled
    // while no animation is being sent.
    bool writeArrayFileEnabled = false;
    bool writeArrayToArduinoEnabled = false;

    Animation animation;
    // An animation is on its way to the board: the port stays as it is until it has gone.
    bool sendingAnimation = false;
};

// Whether `button` is enabled in `state`: the one place the buttons' states come from.
[[nodiscard]] bool isButtonEnabled(const AppState& state, Button button);
// The same for the commands around the form.
[[nodiscard]] bool isCommandEnabled(const AppState& state, Command command);

} // namespace pixelcast
