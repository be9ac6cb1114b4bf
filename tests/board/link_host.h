#pragma once

#include "output/serial/link_protocol.h"
#include "tests/board/simulated_board.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace pixelcast::test {

// Something that goes wrong with the next message the host sends, on its first try only.
enum class LineFault {
    None,
    CorruptByte,   // one byte of the payload arrives with its bits flipped
    DropByte,      // one byte of the payload never arrives
    GarbageBefore, // noise on the line ahead of it, with a false start marker
    ResetMidway,   // the board is reset when half of it has arrived
    AnswerLost,    // the board's answer never reaches the host
};

// The host's side of the live link, after board/LINK.md's host rules and with the link's
// codec, in the simulated board's time: every wait runs the board until the answer is in or
// the answer time is up. It opens the board's port as a raw terminal of its own.
class LinkHost {
public:
    // `width`: the display's width in columns, as its READY tells it; `slowDisplay`: how much
    // longer than the link's answer time the board may take to answer (simavr's SPI takes
    // 100 us a byte, a hundred times a real one's, so a whole frame on SPI about 0.1 s more).
    LinkHost(SimulatedBoard& board, int width, std::chrono::microseconds slowDisplay = {});
    ~LinkHost();
    LinkHost(const LinkHost&) = delete;
    LinkHost& operator=(const LinkHost&) = delete;

    // Finds the board: its unprompted READY, or HELLO every 250 ms until a READY comes.
    // Returns it, or nothing after 2.5 s.
    std::optional<link::Ready> connect();

    // Brings `frame` (the whole display memory, pages order) onto the display: as a DELTA
    // against the frame last answered SHOWN when that is shorter, else whole; again after
    // a lost or refused message. Returns once it was answered SHOWN, or false when the
    // board is gone (five tries in a row without it).
    bool show(std::span<const std::uint8_t> frame);

    // Sends `message` as it is and returns the board's answer, or nothing when none came
    // within the message's answer time.
    std::optional<link::Message> exchange(const link::Bytes& message);

    void injectFault(LineFault fault) { m_fault = fault; }

    // The host's view of the board: the frame it last answered SHOWN to (nothing after a
    // READY), and that frame's number.
    [[nodiscard]] const std::optional<link::Bytes>& shownFrame() const { return m_shown; }
    [[nodiscard]] std::uint16_t shownSeq() const { return m_shownSeq; }

    // What happened on the way: answers by kind, refusals by reason, waits that ran out.
    struct Tally {
        int frames = 0;
        int deltas = 0;
        int shown = 0;
        int readies = 0;
        int timeouts = 0;
        int refused[6] = {};

        friend bool operator==(const Tally&, const Tally&) = default;
    };
    [[nodiscard]] const Tally& tally() const { return m_tally; }

    // Called after every answer (READY, SHOWN, REFUSED) while a frame is being brought
    // onto the display, and after every wait for one that ran out, with the frame.
    enum class Settled { Ready, Shown, Refused, TimedOut };
    std::function<void(Settled, std::span<const std::uint8_t> frame)> onSettled;

private:
    // The board's next message, or nothing when `timeout` of simulated time passes first.
    std::optional<link::Message> awaitMessage(std::chrono::microseconds timeout);
    void collectAnswers();
    void send(link::Bytes message);

    SimulatedBoard& m_board;
    int m_width;
    std::chrono::microseconds m_slowDisplay;
    int m_fd = -1;
    std::uint64_t m_received = 0;
    link::MessageReader m_reader{link::kLongestBoardPayload};
    LineFault m_fault = LineFault::None;
    bool m_loseAnswer = false;
    std::optional<link::Bytes> m_shown;
    std::uint16_t m_shownSeq = 0;
    std::uint16_t m_lastSeq = 0;
    Tally m_tally;
};

// The display's memory in the link's pages order: byte page * width + column.
[[nodiscard]] link::Bytes displayPages(const SimulatedBoard& board);

} // namespace pixelcast::test
