#include "output/serial/frame_sender.h"

#include "output/serial/serial_link.h"

#include <QEventLoop>

#include <algorithm>

namespace pixelcast {

FrameSender::FrameSender(SerialPort& port) : m_port(port)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { sendNext(); });
}

std::chrono::microseconds FrameSender::lineTime(std::size_t bytes)
{
    return std::chrono::microseconds(static_cast<std::int64_t>(bytes) * 10 * 1'000'000 / 9600);
}

void FrameSender::start(std::vector<DisplayArray> frames, std::vector<int> delaysMs)
{
    if (m_sending) {
        return;
    }
    m_frames = std::move(frames);
    m_delaysMs = std::move(delaysMs);
    m_next = 0;
    m_sending = true;
    m_cancelled = false;
    m_due = std::chrono::steady_clock::now();
    sendNext();
}

void FrameSender::cancel()
{
    if (m_sending) {
        m_cancelled = true;
        m_timer.stop();
        // Ended from the event loop, as every other ending is.
        m_timer.start(0);
    }
}

void FrameSender::sendNext()
{
    if (!m_sending) {
        return;
    }
    if (m_cancelled) {
        finish(Outcome::Cancelled);
        return;
    }
    if (m_next >= m_frames.size()) {
        finish(Outcome::Sent);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < m_due) {
        m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(m_due - now));
        return;
    }
    const DisplayArray& frame = m_frames[m_next];
    try {
        sendArray(m_port, frame);
    } catch (const Error& error) {
        finish(Outcome::Failed, error);
        return;
    }
    const int delayMs = m_next < m_delaysMs.size() ? std::max(m_delaysMs[m_next], 0) : 0;
    m_due = now + lineTime(frame.size()) + std::chrono::milliseconds(delayMs);
    ++m_next;
    if (progressed) {
        progressed(static_cast<int>(m_next), static_cast<int>(m_frames.size()));
    }
    if (m_next == m_frames.size()) {
        finish(Outcome::Sent);
        return;
    }
    m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(m_due - now));
}

void FrameSender::finish(Outcome outcome, std::optional<Error> error)
{
    m_timer.stop();
    m_sending = false;
    m_frames.clear();
    const Result result{outcome, static_cast<int>(m_next), std::move(error)};
    if (finished) {
        finished(result);
    }
}

void sendFramesAndWait(SerialPort& port, std::vector<DisplayArray> frames,
                       std::vector<int> delaysMs)
{
    FrameSender sender(port);
    QEventLoop loop;
    std::optional<Error> failure;
    sender.finished = [&](const FrameSender::Result& result) {
        failure = result.error;
        loop.quit();
    };
    sender.start(std::move(frames), std::move(delaysMs));
    if (sender.isSending()) {
        loop.exec();
    }
    if (failure) {
        throw *failure;
    }
}

} // namespace pixelcast
