#pragma once

#include "output/serial/link_protocol.h"
#include "support/pseudo_terminal.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pixelcast::test {

// A board speaking the live link (board/LINK.md) on the far side of a pseudo-terminal, on
// a thread of its own. It answers HELLO with READY, shows FRAMEs and DELTAs in its display
// memory by the board's rules (a DELTA on the wrong base is refused with reason 4), and can
// be told to lose answers, hold them back, refuse, restart or be unplugged.
class FakeBoard {
public:
    // A message the board has read whole.
    struct Received {
        link::MessageType type = link::MessageType::Hello;
        std::uint16_t seq = 0;

        friend bool operator==(const Received&, const Received&) = default;
    };

    explicit FakeBoard(link::Ready facts = {1, 1, 128, 64, 1, 1100, 0});
    ~FakeBoard();
    FakeBoard(const FakeBoard&) = delete;
    FakeBoard& operator=(const FakeBoard&) = delete;

    [[nodiscard]] QString devicePath() const { return m_line.devicePath(); }

    // The next `count` answers are not sent, as if lost on the line.
    void loseAnswers(int count);
    // Answers are kept back until released, in order.
    void holdAnswers();
    void releaseAnswers();
    // The next FRAME or DELTA is refused with `reason`, its display left as it was.
    void refuseNext(link::RefusalReason reason);
    // Restarts: the display is cleared, nothing is shown, and READY goes out unprompted.
    void restart();
    // From now on nothing is read or answered.
    void fallSilent();
    // The line goes away, as a board unplugged.
    void unplug();

    [[nodiscard]] std::vector<Received> received() const;
    // The display memory in the pages order, and the frame shown (0 none).
    [[nodiscard]] link::Bytes memory() const;
    [[nodiscard]] std::uint16_t shownSeq() const;

    // Waits up to `timeout` until `condition` holds, checked after each message; tells
    // whether it did.
    bool waitUntil(const std::function<bool(const FakeBoard&)>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    void run();
    void handle(const link::Message& message);
    void answer(const link::Bytes& bytes);

    PseudoTerminal m_line;
    link::Ready m_facts;
    link::MessageReader m_reader;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    link::Bytes m_memory;
    std::uint16_t m_shown = 0;
    std::vector<Received> m_received;
    int m_answersToLose = 0;
    bool m_holding = false;
    std::vector<link::Bytes> m_held;
    std::optional<link::RefusalReason> m_refusal;
    bool m_restart = false;
    bool m_silent = false;
    bool m_unplug = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace pixelcast::test
