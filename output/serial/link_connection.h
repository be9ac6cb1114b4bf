#pragma once

#include "display/display_array.h"
#include "errors/error.h"
#include "output/serial/port_directory.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace pixelcast {

// What a board said of itself in its READY, and where it was found.
struct BoardFacts {
    QString device;
    int portNumber = 1;
    // 1 an SSD1306, 2 an SH1106 (board/LINK.md).
    int controller = 1;
    DisplaySize size;
    int maxPayload = 0;

    // "SSD1306", "SH1106", or the number for one not known here.
    [[nodiscard]] QString controllerName() const;

    friend bool operator==(const BoardFacts&, const BoardFacts&) = default;
};

// LinkSizeMismatch: the picture's display size is not the board's.
[[nodiscard]] Error displaySizeMismatch(DisplaySize board, DisplaySize picture);

// How the frames reach the board, told after each SHOWN.
struct LinkProgress {
    // Frames shown in the last second.
    int framesPerSecond = 0;
    // The newest frame given to show() is on the display and nothing is on its way.
    bool upToDate = false;
};

// The live link to one board (board/LINK.md) on a thread of its own: the thread that asks
// never waits for the line. The link opens a port at 1,000,000 baud, greets the board until
// it answers READY, then keeps the display showing the newest frame given to show(): one
// message at a time, each a DELTA against the frame the board last answered SHOWN to when
// that is shorter than a FRAME, sent again after a lost answer or a refusal as the host's
// rules say. A frame replaced before it went out is dropped, so frames never queue up.
//
// Outcomes come back through the callbacks on the asking thread's event loop, in the order
// they happened.
class LinkConnection {
public:
    explicit LinkConnection(std::unique_ptr<PortDirectory> directory = systemPortDirectory());
    // Closes the port without waiting for an answer; the display keeps what it shows.
    ~LinkConnection();
    LinkConnection(const LinkConnection&) = delete;
    LinkConnection& operator=(const LinkConnection&) = delete;

    // Closes any port open, then greets the board on port `portNumber`: connected, or ended
    // with the port's error or LinkNoAnswer.
    void open(int portNumber);
    // The same on every port of the directory in turn, from port 1, until one answers; the
    // ports that do not are closed again. Ended with LinkNoAnswer when none did.
    void find();
    // The frame to show next, in any layout; it replaces one given before that has not gone
    // out. A frame of another size than the board's display is not sent: frameRefused says
    // why.
    void show(const DisplayArray& frame);
    // Closes the port; the display keeps the last frame it showed. `done` is told once
    // everything asked before has been told.
    void close(std::function<void()> done = {});

    // While a board answers: from connected until ended or close().
    [[nodiscard]] bool isLive() const { return m_live; }
    [[nodiscard]] std::optional<BoardFacts> facts() const { return m_facts; }

    // A board answered READY: after open() or find(), and again when it restarted while live
    // (the display then shows none of our frames, and the next goes whole).
    std::function<void(const BoardFacts&)> connected;
    // The board showed a frame.
    std::function<void(const LinkProgress&)> shown;
    // A frame of another size than the board's display, not sent.
    std::function<void(const Error&)> frameRefused;
    // The link is down: the port failed, no board answered, or the board went away (once).
    std::function<void(const Error&)> ended;

private:
    struct Line;
    void post(std::function<void(Line&)> work);

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<Line> m_line;
    // Where outcomes are delivered, on the asking thread.
    QObject m_home;
    bool m_live = false;
    std::optional<BoardFacts> m_facts;
};

} // namespace pixelcast
