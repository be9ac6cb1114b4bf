#pragma once

#include "display/display_array.h"
#include "errors/error.h"
#include "output/serial/serial_port.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace pixelcast {

// Sends frames over an open serial port one after another, each no sooner than the delay
// of the one before it after that one has gone out on the line (its bytes at ten bits
// each at 9600 baud), so that a receiver that shows a frame as its last byte arrives shows
// each for its delay at least. Sending runs on the event loop of the thread that owns the
// sender: start() returns at once and the frames go out from timers, so the loop keeps
// serving other events between frames.
class FrameSender {
public:
    enum class Outcome { Sent, Cancelled, Failed };
    struct Result {
        Outcome outcome = Outcome::Sent;
        int framesSent = 0;
        // The port's error when the outcome is Failed.
        std::optional<Error> error;
    };

    // `port` outlives the sender.
    explicit FrameSender(SerialPort& port);
    FrameSender(const FrameSender&) = delete;
    FrameSender& operator=(const FrameSender&) = delete;

    // Starts sending `frames` (their bytes in index order) with `delaysMs[i]` after frame i;
    // a missing delay counts as none. Frame 1 goes out before start() returns, so a send of
    // one frame has ended (and told `finished`) by then; the others go out from the event
    // loop. Does nothing while a send is under way.
    void start(std::vector<DisplayArray> frames, std::vector<int> delaysMs);
    // Stops before the next frame; a frame on its way is finished.
    void cancel();
    [[nodiscard]] bool isSending() const { return m_sending; }

    // After each frame that went out: how many of how many.
    std::function<void(int sent, int total)> progressed;
    // Once per start(), when the send has ended.
    std::function<void(const Result&)> finished;

    // The time `bytes` bytes take on the line at 9600 baud, ten bits a byte.
    [[nodiscard]] static std::chrono::microseconds lineTime(std::size_t bytes);

private:
    void sendNext();
    void finish(Outcome outcome, std::optional<Error> error = {});

    SerialPort& m_port;
    QTimer m_timer;
    std::vector<DisplayArray> m_frames;
    std::vector<int> m_delaysMs;
    std::size_t m_next = 0;
    bool m_sending = false;
    bool m_cancelled = false;
    std::chrono::steady_clock::time_point m_due;
};

// Sends `frames` through a FrameSender and waits in an event loop of its own until the
// last has gone out. Throws the port's Error.
void sendFramesAndWait(SerialPort& port, std::vector<DisplayArray> frames,
                       std::vector<int> delaysMs);

} // namespace pixelcast
