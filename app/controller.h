#pragma once

#include "app_state.h"
#include "app_window.h"
#include "file_dialogs.h"
#include "output/serial/serial_port.h"

#include <functional>

namespace pixelcast {

// The commands behind the window's buttons and scroll bar, and the state they share.
// Every command runs through one guard: a failure (an Error) stops the command where it
// failed, is shown with its number and description, and the program carries on with the
// state as the command left it; afterwards the buttons show the state.
class Controller {
public:
    static constexpr int kViewWidth = kDisplayWidth + 4;
    static constexpr int kViewHeight = kDisplayHeight + 4;

    // `port` is the window's serial port; it outlives the controller.
    Controller(AppWindow& window, FileDialogs& dialog, SerialPort& port);

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
    // "Exit": closes the serial port, then ends the program.
    void onExit();
    // The picture menu or the command line changed the picture options: the rendering is
    // made again at once from the picture already loaded, stretched anew when the stretch
    // changed.
    void setRenderOptions(const RenderOptions& options);
    // "Export C header…" and "Export preview PNG…": the array "Create array" would make
    // now, as a C header, and the current rendering as a PNG, each written whole.
    void exportCHeader();
    void exportPreviewPng();

    // Told the file name after each picture that loaded.
    std::function<void(const QString&)> pictureLoaded;

    [[nodiscard]] const AppState& state() const { return m_state; }
    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] FileDialogs& dialog() { return m_dialog; }
    // True once "Exit" has run: every later event is ignored.
    [[nodiscard]] bool hasEnded() const { return m_ended; }

private:
    void runCommand(const std::function<void()>& command);
    // The load behind both ways of naming a picture: the name is in m_state.sourceFileName.
    void loadNamedPicture();
    void showButtonStates();
    void takeLevelFromWindow();
    // Renders the scaled surface into the result at the level with the picture options.
    void render();

    AppWindow& m_window;
    FileDialogs& m_dialog;
    SerialPort& m_port;
    AppState m_state;
    bool m_ended = false;
};

} // namespace pixelcast
