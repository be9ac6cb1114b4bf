#pragma once

#include "animation_player.h"
#include "app_state.h"
#include "app_window.h"
#include "exports.h"
#include "file_dialogs.h"
#include "output/serial/frame_sender.h"
#include "output/serial/port_worker.h"
#include "pipeline/conversion.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace pixelcast {

// The commands behind the window's buttons and scroll bar, and the state they share.
// Every command runs through one guard: a failure (an Error) stops the command where it
// failed, is shown with its number and description, and the program carries on with the
// state as the command left it; afterwards the buttons show the state.
class Controller {
public:
    static constexpr int kViewWidth = kDisplayWidth + 4;
    static constexpr int kViewHeight = kDisplayHeight + 4;

    // `port` is the window's serial port; it outlives the controller. The port commands
    // return at once: their outcomes are shown when the port's thread tells them.
    Controller(AppWindow& window, FileDialogs& dialog, PortWorker& port);

    // The window has been created and is not shown yet.
    void onLoad();
    // "Load Image".
    void onLoadImage();
    // A picture named without the dialog (on the command line, dropped on the window),
    // loaded as "Load Image" loads a chosen one.
    void loadImageFile(const QString& fileName);
    // The level's scroll bar moved or was set.
    void onLevelChange();
    // "Create array".
    void onCreateArray();
    // "Write array to file".
    void writeArrayFile();
    // "Configure Port".
    void configurePort();
    // "Write array to Arduino".
    void sendArray();
    // "Exit": closes the serial port, then ends the program; with a port open, once the
    // port has closed, and no command runs in the meantime.
    void onExit();
    // The picture menu or the command line changed the picture options: the rendering is
    // made again at once from the picture already loaded, stretched anew when the stretch
    // changed.
    void setRenderOptions(const RenderOptions& options);
    // The Display menu or the command line chose the display: the picture is stretched
    // onto the new size and rendered again at once; arrays are packed in the new layout.
    void setDisplay(const DisplayFormat& display);
    // "Export C header…" and "Export preview PNG…": the array "Create array" would make
    // now, as a C header, and the current rendering as a PNG, each written whole.
    void exportCHeader();
    void exportPreviewPng();
    // "Export X bitmap…": that array as an X bitmap, written whole.
    void exportXbm();

    // The Edit menu: the C header "Export C header…" would write, and the rendering, to the
    // clipboard; the picture on the clipboard loaded as a chosen one.
    void copyCHeader();
    void copyPicture();
    void pastePicture();
    // The picture's file changed: it loads again at the level and options of now. The
    // dialogs keep the name they chose last.
    void reloadPicture();

    // The animation's commands. Playing shows each frame for its delay, as many times as
    // the picture says; a step back or on pauses first and wraps round at the ends.
    void onPlayPause();
    void onPreviousFrame();
    void onNextFrame();
    // Every frame's array, one after another, in one file.
    void writeAnimationFile();
    // Every frame with its delay as the converter's animation header, compressed when the
    // plain form would not fit an Uno beside the player.
    void exportAnimationHeader();
    // Every frame with its delay to the configured port. Returns at once; the frames follow
    // on the port's thread, the arrays as they were at the start.
    void sendAnimation();
    // Stops a send of an animation before its next frame.
    void cancelSend();

    // Told the file name after each picture that loaded.
    std::function<void(const QString&)> pictureLoaded;
    // Told each new rendering, packed in the display's format: the level moved, the options
    // or the display changed, a picture loaded, an animation's frame is shown.
    std::function<void(const DisplayArray&)> rendered;

    [[nodiscard]] const AppState& state() const { return m_state; }
    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] FileDialogs& dialog() { return m_dialog; }
    // True once "Exit" has run: every later event is ignored.
    [[nodiscard]] bool hasEnded() const { return m_ended; }

private:
    // Commands do not run while "Exit" waits for the port to close; the port's outcomes do.
    void runCommand(const std::function<void()>& command, bool whileExiting = false);
    // A picture named without the dialog becomes the dialogs' last name, then loads.
    void loadAsChosen(const QString& fileName);
    // The load behind every way of naming a picture; the status line's description of it
    // follows `statusPrefix`. The name is a copy: commands that run while the picture is
    // made grey may change where it came from.
    void loadNamedPicture(QString fileName, const QString& statusPrefix = {});
    void showButtonStates();
    void takeLevelFromWindow();
    // Renders the scaled surface into the result at the level with the picture options;
    // the array of an animation's shown frame follows.
    void render();
    [[nodiscard]] ConversionSettings settings() const;
    [[nodiscard]] RenderStamp renderStamp() const;
    // The header comment's line: the picture, the level and the options; the shown frame of
    // an animation unless the header holds `wholeAnimation`.
    [[nodiscard]] QString headerOrigin(bool wholeAnimation = false) const;
    // The array "Create array" would make now.
    [[nodiscard]] DisplayArray currentArray() const;
    // The one road of the exports: the file asked for, made whole and written, or nothing
    // written when the dialog is cancelled; an animation's exports need an animation.
    void exportTo(Export kind);
    [[nodiscard]] QString askExportFile(Export kind);

    void clearAnimation();
    // The loaded picture's later frames, decoded with its still, shown and played.
    void loadAnimation();
    // The loaded picture fitted to the options and the display's size (see refitFor), the
    // scaled surface to the frame shown. False when nothing changed.
    bool refitPicture();
    // An array slot and the delay of each of the loaded picture's frames.
    void takeAnimationFrames();
    void showFrame(std::size_t index);
    // Renders every frame whose array was made at other settings than today's.
    void bringArraysUpToDate();
    [[nodiscard]] std::vector<DisplayArray> animationArrays() const;
    [[nodiscard]] std::vector<int> animationDelays() const;
    void onSendFinished(const FrameSender::Result& result);
    [[nodiscard]] QString portName(int number) const;
    void endProgram();

    AppWindow& m_window;
    FileDialogs& m_dialog;
    PortWorker& m_port;
    AppState m_state;
    bool m_ended = false;
    bool m_exiting = false;
    // Counts the loads, so that a load finishing after a later one leaves its frames be.
    std::uint64_t m_loads = 0;
    AnimationPlayer m_player{m_state.animation, [this](std::size_t frame) { showFrame(frame); },
                             [this](const std::function<void()>& step) {
                                 runCommand(step);
                             }};
    int m_sendTotal = 0;
    // The size of the array "Write array to Arduino" is sending.
    std::size_t m_sendBytes = 0;
};

} // namespace pixelcast
