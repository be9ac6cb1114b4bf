#pragma once

#include "app/app_window.h"
#include "app/controller.h"
#include "app/file_dialogs.h"
#include "errors/error.h"

#include <QStringList>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <vector>

// Readable QStrings in the failure messages of GoogleTest.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pixelcast::test {

// A window without widgets: it records what the controller shows, and its scroll bar
// notifies the controller on a change of value, as Qt's does.
class FakeWindow : public AppWindow {
public:
    Controller* controller = nullptr;

    std::map<View, std::pair<int, int>> viewSizes;
    std::map<View, int> refreshes;
    int value = 0;
    int maximum = 99;
    QString levelText;
    std::map<Button, bool> enabled;
    std::map<Command, bool> commandEnabled;
    bool playing = false;
    QString frameStatus;
    // The last progress shown, {0, 0} once put away.
    std::pair<int, int> sendProgress;
    int portIndex = -1;
    QStringList messages;
    QString status;
    QString pictureFile;
    QString copiedText;
    QByteArray copiedPicture;
    // What pastedPictureFile answers.
    QString clipboardFile;
    int endCalls = 0;
    int pendingEventCalls = 0;
    // Runs at each processPendingEvents, with the number of the call (1 for the first).
    std::function<void(int)> onPendingEvents;

    void setViewSize(View view, int width, int height) override
    {
        viewSizes[view] = {width, height};
    }
    // Runs at each refreshView, after it is counted.
    std::function<void(View)> onRefresh;

    void refreshView(View view) override
    {
        ++refreshes[view];
        if (onRefresh) {
            onRefresh(view);
        }
    }
    [[nodiscard]] int levelValue() const override { return value; }
    [[nodiscard]] int levelMaximum() const override { return maximum; }
    void setLevelMaximum(int newMaximum) override
    {
        maximum = newMaximum;
        setLevelValue(value);
    }
    void setLevelValue(int newValue) override
    {
        const int bounded = std::clamp(newValue, 0, maximum);
        if (bounded != value) {
            value = bounded;
            if (controller != nullptr) {
                controller->onLevelChange();
            }
        }
    }
    void setLevelText(const QString& text) override { levelText = text; }
    void setButtonEnabled(Button button, bool on) override { enabled[button] = on; }
    void setCommandEnabled(Command command, bool on) override { commandEnabled[command] = on; }
    void showPlaying(bool on) override { playing = on; }
    void showFrameStatus(const QString& text) override { frameStatus = text; }
    void showSendProgress(int sent, int total) override { sendProgress = {sent, total}; }
    [[nodiscard]] int selectedPortIndex() const override { return portIndex; }
    // Runs at each showMessage, after the text is kept, as a message box's own loop would.
    std::function<void()> onMessage;

    void showMessage(const QString& text) override
    {
        messages.append(text);
        if (onMessage) {
            onMessage();
        }
    }
    void showStatus(const QString& text) override { status = text; }
    void showPictureFile(const QString& fileName) override { pictureFile = fileName; }
    void copyText(const QString& text) override { copiedText = text; }
    void copyPicture(const QByteArray& png) override { copiedPicture = png; }
    [[nodiscard]] QString pastedPictureFile() override { return clipboardFile; }
    void processPendingEvents() override
    {
        ++pendingEventCalls;
        if (onPendingEvents) {
            onPendingEvents(pendingEventCalls);
        }
    }
    void endProgram() override { ++endCalls; }
};

// A dialog that answers from a queue: a name, or nothing for a cancel. It keeps every
// request it was shown.
class FakeDialogBackend : public FileDialogBackend {
public:
    std::deque<std::optional<QString>> answers;
    std::vector<FileDialogRequest> requests;
    std::optional<Error> failure;

    [[nodiscard]] std::optional<QString> show(const FileDialogRequest& request) override
    {
        requests.push_back(request);
        if (failure) {
            throw *failure;
        }
        if (answers.empty()) {
            return std::nullopt;
        }
        // Not a copy of the optional: GCC takes the copy of a cancel for a read of an
        // uninitialised string once the call is devirtualised.
        const bool cancelled = !answers.front().has_value();
        const QString name = answers.front().value_or(QString());
        answers.pop_front();
        if (cancelled) {
            return std::nullopt;
        }
        return name;
    }
};

} // namespace pixelcast::test
