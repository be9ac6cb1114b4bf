#pragma once

#include "app_window.h"
#include "controller.h"
#include "output/serial/link_connection.h"
#include "output/serial/port_worker.h"

#include <optional>

namespace pixelcast {

// What "Live on board" and "Find board" need from the window beyond AppWindow.
class LiveBoardWindow {
public:
    LiveBoardWindow() = default;
    LiveBoardWindow(const LiveBoardWindow&) = delete;
    LiveBoardWindow& operator=(const LiveBoardWindow&) = delete;
    virtual ~LiveBoardWindow() = default;

    // The check mark of "Live on board".
    virtual void showLive(bool live) = 0;
    // The Display menu's size, set as the user's choice of it would be.
    virtual void useDisplaySize(DisplaySize size) = 0;
};

// "Live on board" and "Find board": while live, every rendering the controller makes goes
// to the board through the live link, the newest winning, and the status line tells the
// board and the frames per second it reaches. A board that goes away is told once, with its
// number, and live mode goes off; turning it off leaves the display as it is.
//
// The board is looked for on the port "Find board" found, or else on the port list's
// choice. The raw line's port is closed first, since one device takes one program.
class LiveBoard {
public:
    // All outlive the live board.
    LiveBoard(AppWindow& window, LiveBoardWindow& liveWindow, Controller& controller,
              PortWorker& rawPort, LinkConnection& link);
    LiveBoard(const LiveBoard&) = delete;
    LiveBoard& operator=(const LiveBoard&) = delete;

    void setLive(bool live);
    void findBoard();

    [[nodiscard]] bool isLive() const { return m_wanted; }

private:
    // Closes the raw line's port if it is open, then runs `then`.
    void freePort(std::function<void()> then);
    void onConnected(const BoardFacts& facts);
    void onRendered(const DisplayArray& frame);
    void fail(const Error& error);
    // The picture shown now, as the board's display takes it.
    void sendCurrent();
    void showLiveStatus(int framesPerSecond);
    [[nodiscard]] int portNumber() const;

    AppWindow& m_window;
    LiveBoardWindow& m_liveWindow;
    Controller& m_controller;
    PortWorker& m_rawPort;
    LinkConnection& m_link;
    // Live mode is on: the user asked for it and the board has not gone.
    bool m_wanted = false;
    bool m_finding = false;
    // The port the last board was found on.
    std::optional<int> m_foundPort;
    // A size mismatch has been told and not yet resolved.
    bool m_mismatchTold = false;
    QString m_lastStatus;
};

} // namespace pixelcast
