#include "support/fake_board.h"

#include <algorithm>

namespace pixelcast::test {

namespace {

QByteArray bytesOf(const link::Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

} // namespace

FakeBoard::FakeBoard(link::Ready facts)
    : m_facts(facts), m_memory(static_cast<std::size_t>(facts.width) *
                               static_cast<std::size_t>((facts.height + 7) / 8)),
      m_thread([this] { run(); })
{
}

FakeBoard::~FakeBoard()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_thread.join();
}

void FakeBoard::loseAnswers(int count)
{
    const std::lock_guard lock(m_mutex);
    m_answersToLose = count;
}

void FakeBoard::holdAnswers()
{
    const std::lock_guard lock(m_mutex);
    m_holding = true;
}

void FakeBoard::releaseAnswers()
{
    const std::lock_guard lock(m_mutex);
    m_holding = false;
}

void FakeBoard::refuseNext(link::RefusalReason reason)
{
    const std::lock_guard lock(m_mutex);
    m_refusal = reason;
}

void FakeBoard::restart()
{
    const std::lock_guard lock(m_mutex);
    m_restart = true;
}

void FakeBoard::fallSilent()
{
    const std::lock_guard lock(m_mutex);
    m_silent = true;
}

void FakeBoard::unplug()
{
    const std::lock_guard lock(m_mutex);
    m_unplug = true;
}

std::vector<FakeBoard::Received> FakeBoard::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

link::Bytes FakeBoard::memory() const
{
    const std::lock_guard lock(m_mutex);
    return m_memory;
}

std::uint16_t FakeBoard::shownSeq() const
{
    const std::lock_guard lock(m_mutex);
    return m_shown;
}

bool FakeBoard::waitUntil(const std::function<bool(const FakeBoard&)>& condition,
                          std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    for (;;) {
        lock.unlock();
        if (condition(*this)) {
            return true;
        }
        lock.lock();
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            lock.unlock();
            return condition(*this);
        }
    }
}

// The board's loop: the line is read in short waits so that the test's instructions are
// seen between them.
void FakeBoard::run()
{
    for (;;) {
        bool restarting = false;
        std::vector<link::Bytes> released;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop) {
                return;
            }
            if (m_unplug) {
                m_unplug = false;
                m_silent = true;
                m_line.hangUp();
            }
            if (!m_holding) {
                released.swap(m_held);
            }
            restarting = std::exchange(m_restart, false);
            if (restarting) {
                std::ranges::fill(m_memory, std::uint8_t{0});
                m_shown = 0;
                m_reader.dropPartial();
            }
        }
        for (const link::Bytes& bytes : released) {
            answer(bytes);
        }
        if (restarting) {
            link::Ready ready = m_facts;
            ready.shown = 0;
            answer(link::encodeReady(ready));
        }
        const QByteArray input = m_line.receiveSome(std::chrono::milliseconds(5));
        {
            const std::lock_guard lock(m_mutex);
            if (m_silent) {
                continue;
            }
        }
        m_reader.feed({reinterpret_cast<const std::uint8_t*>(input.constData()),
                       static_cast<std::size_t>(input.size())});
        while (const auto message = m_reader.next()) {
            handle(*message);
        }
    }
}

void FakeBoard::handle(const link::Message& message)
{
    using link::MessageType;
    using link::RefusalReason;
    link::Bytes reply;
    {
        const std::lock_guard lock(m_mutex);
        Received received{message.type, 0};
        if (message.type == MessageType::Hello) {
            link::Ready ready = m_facts;
            ready.shown = m_shown;
            reply = link::encodeReady(ready);
        } else if (message.type == MessageType::Frame) {
            const auto frame = link::readFrame(message.payload);
            received.seq = frame ? frame->seq : 0;
            if (!frame || frame->memory.size() != m_memory.size()) {
                reply = link::encodeRefused(received.seq, RefusalReason::Malformed);
            } else if (m_refusal) {
                reply = link::encodeRefused(frame->seq, *std::exchange(m_refusal, std::nullopt));
            } else {
                std::ranges::copy(frame->memory, m_memory.begin());
                m_shown = frame->seq;
                reply = link::encodeShown(frame->seq);
            }
        } else if (message.type == MessageType::Delta) {
            const auto delta = link::readDelta(message.payload);
            received.seq = delta ? delta->seq : 0;
            const std::size_t width = m_facts.width;
            const bool runsFit =
                delta && std::ranges::all_of(delta->runs, [&](const auto& run) {
                    const std::size_t last = run.offset + run.bytes.size() - 1;
                    return last < m_memory.size() && run.offset / width == last / width;
                });
            if (!delta) {
                reply = link::encodeRefused(0, RefusalReason::Malformed);
            } else if (m_refusal) {
                reply = link::encodeRefused(delta->seq, *std::exchange(m_refusal, std::nullopt));
            } else if (delta->seq == m_shown && m_shown != 0) {
                reply = link::encodeShown(delta->seq);
            } else if (delta->base != m_shown || m_shown == 0) {
                reply = link::encodeRefused(delta->seq, RefusalReason::WrongBase);
            } else if (!runsFit) {
                reply = link::encodeRefused(delta->seq, RefusalReason::BadRun);
            } else {
                for (const auto& run : delta->runs) {
                    std::ranges::copy(run.bytes, m_memory.begin() + run.offset);
                }
                m_shown = delta->seq;
                reply = link::encodeShown(delta->seq);
            }
        } else {
            reply = link::encodeRefused(0, RefusalReason::Malformed);
        }
        m_received.push_back(received);
        if (m_answersToLose > 0) {
            --m_answersToLose;
            reply.clear();
        } else if (m_holding) {
            m_held.push_back(reply);
            reply.clear();
        }
    }
    m_changed.notify_all();
    if (!reply.empty()) {
        answer(reply);
    }
}

void FakeBoard::answer(const link::Bytes& bytes)
{
    m_line.send(bytesOf(bytes));
}

} // namespace pixelcast::test
