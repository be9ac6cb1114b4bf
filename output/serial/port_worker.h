#pragma once

#include "display/display_array.h"
#include "errors/error.h"
#include "output/serial/frame_sender.h"
#include "output/serial/port_directory.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace pixelcast {

// The window's serial port on a thread of its own, so that the thread that makes the
// requests never waits for the line: opening, writing, pacing an animation's frames,
// draining and closing all happen on the worker's thread, each as serial_link.h and
// FrameSender do them, so the line sees the same bytes at the same pace.
//
// Requests return at once and run in the order they were made; a request made while an
// animation is being sent waits until that send has ended. Outcomes come back in the order
// they happened, through the callbacks, on the requesting thread's event loop, one at a
// time: while a callback runs an event loop of its own (a message box), the outcomes after
// it wait until it has returned.
class PortWorker {
public:
    // Told the request's Error, or nothing when it succeeded.
    using Done = std::function<void(const std::optional<Error>&)>;

    explicit PortWorker(std::unique_ptr<PortDirectory> directory = systemPortDirectory());
    // Cancels a send and closes the port after its bytes have gone out, then ends the
    // thread. Waits the stall timeout at most: a line that takes nothing for that long is
    // given up and its bytes dropped.
    ~PortWorker();
    PortWorker(const PortWorker&) = delete;
    PortWorker& operator=(const PortWorker&) = delete;

    // configurePort(): closes the port, then opens port `portNumber` at "9600,n,8,1".
    void configure(int portNumber, Done done);
    // Closes the port after its bytes have gone out (closePortOnExit()).
    void close(Done done);
    // A FrameSender's start(): progressed and finished tell how it goes. Does nothing while
    // a send is under way.
    void send(std::vector<DisplayArray> frames, std::vector<int> delaysMs);
    // FrameSender's cancel(): stops before the next frame.
    void cancel();

    [[nodiscard]] std::chrono::milliseconds stallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout);

    // The port as the worker's last outcome found it.
    [[nodiscard]] bool portOpen() const { return m_open; }
    [[nodiscard]] QString deviceName() const { return m_device; }
    // From send() until finished has been told.
    [[nodiscard]] bool isSending() const { return m_sending; }
    // While a request's outcome is still to come.
    [[nodiscard]] bool isBusy() const { return m_outstanding > 0; }

    std::function<void(int sent, int total)> progressed;
    std::function<void(const FrameSender::Result&)> finished;

private:
    struct Line;
    void post(std::function<void(Line&)> work);
    void deliver(std::function<void()> outcome);

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<Line> m_line;
    // Where outcomes are delivered, on the requesting thread.
    QObject m_home;
    std::chrono::milliseconds m_stallTimeout;
    std::deque<std::function<void()>> m_undelivered;
    bool m_delivering = false;
    int m_outstanding = 0;
    bool m_sending = false;
    bool m_open = false;
    QString m_device;
};

} // namespace pixelcast
