#pragma once

#include "app_state.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// The picture views: the result view shows the black-and-white rendering, the scaled view
// the grey 128 x 64 surface and the hidden source view the picture at its own size.
enum class View { Result, Scaled, Source };

// What the commands need from the main window. The Qt window implements it; tests use a
// fake. All calls come from the window's thread.
class AppWindow {
public:
    AppWindow() = default;
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;
    virtual ~AppWindow() = default;

    // The view's outer size in pixels, border included.
    virtual void setViewSize(View view, int width, int height) = 0;
    // Makes the view show its surface's current content.
    virtual void refreshView(View view) = 0;

    // The conversion level's scroll bar. Setting a new value notifies the controller's
    // onLevelChange, exactly as a move by the user does.
    [[nodiscard]] virtual int levelValue() const = 0;
    [[nodiscard]] virtual int levelMaximum() const = 0;
    virtual void setLevelMaximum(int maximum) = 0;
    virtual void setLevelValue(int value) = 0;
    // The figure beside "Conversion level :".
    virtual void setLevelText(const QString& text) = 0;

    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    // The commands around the form; the play command also says whether it now pauses.
    virtual void setCommandEnabled(Command command, bool enabled) = 0;
    virtual void showPlaying(bool playing) = 0;

    // The port list's selected entry, 0 for "Com1" ... 3 for "Com4"; -1 when nothing is
    // selected (the user typed into its text field instead).
    [[nodiscard]] virtual int selectedPortIndex() const = 0;

    // A modal message with an OK button under the caption "Pixelcast".
    virtual void showMessage(const QString& text) = 0;
    // A brief line on what the last command did, shown until the next one.
    virtual void showStatus(const QString& text) = 0;
    // Beside it, the frame of an animation the views show ("Frame 3 of 40, 120 ms"); empty
    // for a still picture.
    virtual void showFrameStatus(const QString& text) = 0;
    // How many of an animation's frames have gone to the board, with a way to cancel; a
    // total of 0 puts both away.
    virtual void showSendProgress(int sent, int total) = 0;

    // The picture shown now, by its full path, or empty while there is none: the window's
    // title names it, and the window reloads it through the controller when the file
    // changes.
    virtual void showPictureFile(const QString& fileName) = 0;

    // The clipboard: text, and a picture given as the bytes of a PNG.
    virtual void copyText(const QString& text) = 0;
    virtual void copyPicture(const QByteArray& png) = 0;
    // The picture on the clipboard as a local file to load: a file named on it, or its
    // image data saved as a PNG into a folder the window owns. Empty when it holds neither;
    // throws Error when the image data cannot be saved.
    [[nodiscard]] virtual QString pastedPictureFile() = 0;

    // Lets pending window events (repaints, clicks, scroll-bar moves) run to their end.
    virtual void processPendingEvents() = 0;

    // Ends the program: the window goes and no further event is served.
    virtual void endProgram() = 0;
};

} // namespace pixelcast
