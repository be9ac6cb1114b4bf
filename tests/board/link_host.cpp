#include "tests/board/link_host.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <variant>

namespace pixelcast::test {

namespace {

// How often the host looks at the line while it waits: two byte times at 1,000,000 baud.
constexpr std::chrono::microseconds kPollStep{20};
// The board's bytes are in the terminal once the run that sent them returns; this only
// bounds a wait for the kernel to hand them over.
constexpr int kHandOverMs = 5000;

[[noreturn]] void failWithErrno(const std::string& what)
{
    throw std::runtime_error("link host: " + what + ": " + std::strerror(errno));
}

// Noise with a marker's halves on their own and a doubled "P" in it, and a false start
// marker at its end: the board takes the real message that follows for the false one's
// payload, and refuses it.
const link::Bytes kGarbage = {0x13, 0xF7, 0x00, 0x50, 0x9A, 0x58, 0xFF, 0x50, 0x50, 0x21,
                              0x84, 0x3C, 0xC3, 0x7E, 0x02, 0x50, 0x58, 0x02, 0x10, 0x00};

} // namespace

LinkHost::LinkHost(SimulatedBoard& board, int width, std::chrono::microseconds slowDisplay)
    : m_board(board), m_width(width), m_slowDisplay(slowDisplay)
{
    m_fd = ::open(board.portName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (m_fd < 0) {
        failWithErrno("cannot open " + board.portName().toStdString());
    }
    termios settings{};
    if (::tcgetattr(m_fd, &settings) != 0) {
        failWithErrno("tcgetattr");
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_fd, TCSANOW, &settings) != 0) {
        failWithErrno("tcsetattr");
    }
}

LinkHost::~LinkHost()
{
    ::close(m_fd);
}

std::optional<link::Ready> LinkHost::connect()
{
    const auto giveUpAt = m_board.simulatedTime() + link::kHelloPatience;
    // The READY the board sent by itself after its reset may be waiting already: it is
    // looked for before the first HELLO.
    auto helloAt = m_board.simulatedTime();
    for (;;) {
        const auto message = awaitMessage(std::min(helloAt, giveUpAt) - m_board.simulatedTime());
        if (message) {
            if (const auto board = link::readBoardMessage(*message);
                board && std::holds_alternative<link::Ready>(*board)) {
                ++m_tally.readies;
                return std::get<link::Ready>(*board);
            }
            continue;
        }
        if (m_board.simulatedTime() >= giveUpAt) {
            return std::nullopt;
        }
        send(link::encodeHello());
        helloAt = m_board.simulatedTime() + link::kHelloInterval;
    }
}

std::optional<link::Message> LinkHost::exchange(const link::Bytes& message)
{
    send(message);
    return awaitMessage(link::answerTimeout(message.size()) + m_slowDisplay);
}

bool LinkHost::show(std::span<const std::uint8_t> frame)
{
    link::Bytes message;
    std::uint16_t seq = 0;
    // The message that brings the board from what the host knows it shows to `frame`;
    // false when it shows `frame` already.
    const auto plan = [&] {
        link::Update update{link::Update::Kind::Frame, {}};
        if (m_shown) {
            update = link::planUpdate(*m_shown, frame, m_width);
        }
        if (update.kind == link::Update::Kind::Nothing) {
            return false;
        }
        seq = link::nextSeq(m_lastSeq);
        m_lastSeq = seq;
        if (update.kind == link::Update::Kind::Delta) {
            message = link::encodeDelta(seq, m_shownSeq, update.runs, frame);
            ++m_tally.deltas;
        } else {
            message = link::encodeFrame(seq, frame);
            ++m_tally.frames;
        }
        return true;
    };
    const auto forgetShown = [&] {
        m_shown.reset();
        m_shownSeq = 0;
    };
    const auto settled = [&](Settled how) {
        if (onSettled) {
            onSettled(how, frame);
        }
    };

    if (!plan()) {
        return true;
    }
    for (int tries = 1; tries <= link::kMaxTries; ++tries) {
        send(message);
        const auto answerBy =
            m_board.simulatedTime() + link::answerTimeout(message.size()) + m_slowDisplay;
        for (;;) {
            const auto answer = awaitMessage(answerBy - m_board.simulatedTime());
            if (!answer) {
                ++m_tally.timeouts;
                settled(Settled::TimedOut);
                break;
            }
            const auto board = link::readBoardMessage(*answer);
            if (!board) {
                continue;
            }
            if (std::holds_alternative<link::Ready>(*board)) {
                // Reset: the display holds none of the host's frames.
                ++m_tally.readies;
                forgetShown();
                settled(Settled::Ready);
                (void)plan();
                tries = 0;
                break;
            }
            if (const auto* shown = std::get_if<link::Shown>(&*board)) {
                if (shown->seq != seq) {
                    continue; // a late answer to an earlier try
                }
                ++m_tally.shown;
                m_shown.emplace(frame.begin(), frame.end());
                m_shownSeq = seq;
                settled(Settled::Shown);
                return true;
            }
            const auto refused = std::get<link::Refused>(*board);
            ++m_tally.refused[std::min<std::size_t>(refused.reason, 5)];
            settled(Settled::Refused);
            if (refused.reason == static_cast<std::uint8_t>(link::RefusalReason::WrongBase) ||
                refused.reason == static_cast<std::uint8_t>(link::RefusalReason::BadRun)) {
                forgetShown();
                (void)plan();
                tries = 0;
            }
            break;
        }
    }
    return false;
}

std::optional<link::Message> LinkHost::awaitMessage(std::chrono::microseconds timeout)
{
    const auto deadline = m_board.simulatedTime() + timeout;
    for (;;) {
        collectAnswers();
        while (auto message = m_reader.next()) {
            if (m_loseAnswer) {
                m_loseAnswer = false;
                continue;
            }
            return message;
        }
        if (m_board.simulatedTime() >= deadline) {
            return std::nullopt;
        }
        m_board.run(
            std::min<std::chrono::microseconds>(kPollStep, deadline - m_board.simulatedTime()));
    }
}

void LinkHost::collectAnswers()
{
    std::uint8_t buffer[256];
    while (m_received < m_board.bytesTransmitted()) {
        pollfd waiting{m_fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, kHandOverMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            failWithErrno("the board's answer does not come through the terminal");
        }
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failWithErrno("reading the board's answer");
        }
        m_reader.feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
        m_received += static_cast<std::uint64_t>(n);
    }
}

void LinkHost::send(link::Bytes message)
{
    const std::size_t middle = link::kHeaderBytes + (message.size() - link::kFramingBytes) / 2;
    const LineFault fault = std::exchange(m_fault, LineFault::None);
    if (fault == LineFault::CorruptByte) {
        message[middle] ^= 0x5A;
    } else if (fault == LineFault::DropByte) {
        message.erase(message.begin() + static_cast<std::ptrdiff_t>(middle));
    } else if (fault == LineFault::GarbageBefore) {
        message.insert(message.begin(), kGarbage.begin(), kGarbage.end());
    } else if (fault == LineFault::AnswerLost) {
        m_loseAnswer = true;
    }
    const std::uint64_t before = m_board.bytesDelivered();
    for (std::size_t done = 0; done < message.size();) {
        const ssize_t n = ::write(m_fd, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failWithErrno("writing to the board");
        }
        done += static_cast<std::size_t>(n);
    }
    if (fault == LineFault::ResetMidway) {
        while (m_board.bytesDelivered() < before + message.size() / 2) {
            m_board.run(kPollStep);
        }
        m_board.reset();
    }
}

link::Bytes displayPages(const SimulatedBoard& board)
{
    const std::vector<std::uint8_t> frame = board.displayFrame();
    const std::size_t columns = 128;
    const std::size_t pages = frame.size() / columns;
    link::Bytes memory(frame.size());
    for (std::size_t column = 0; column < columns; ++column) {
        for (std::size_t page = 0; page < pages; ++page) {
            memory[page * columns + column] = frame[column * pages + page];
        }
    }
    return memory;
}

} // namespace pixelcast::test
