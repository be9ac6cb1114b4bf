#include "support/pseudo_terminal.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <unistd.h>

namespace pixelcast::test {

using Clock = std::chrono::steady_clock;

PseudoTerminal::PseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    const char* name = ::ptsname(m_master);
    if (name == nullptr) {
        throw std::runtime_error("a pseudo-terminal has no device name");
    }
    m_devicePath = QFile::decodeName(name);
}

PseudoTerminal::~PseudoTerminal()
{
    if (m_openWatch >= 0) {
        ::close(m_openWatch);
    }
    if (m_device >= 0) {
        ::close(m_device);
    }
    if (m_master >= 0) {
        ::close(m_master);
    }
}

termios PseudoTerminal::lineSettings() const
{
    termios settings{};
    if (::tcgetattr(m_master, &settings) != 0) {
        throw std::runtime_error("cannot read the line settings of a pseudo-terminal");
    }
    return settings;
}

void PseudoTerminal::setLineSettings(const termios& settings)
{
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0) {
        throw std::runtime_error("cannot set the line settings of a pseudo-terminal");
    }
}

void PseudoTerminal::setWrongLineSettings()
{
    termios settings = lineSettings();
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    settings.c_cflag |= CRTSCTS | CSTOPB | PARENB;
    settings.c_iflag |= IXON | IXOFF | ICRNL;
    settings.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    settings.c_oflag |= OPOST | ONLCR;
    setLineSettings(settings);
}

QByteArray PseudoTerminal::receive(qsizetype count, std::chrono::milliseconds timeout)
{
    QByteArray received;
    const auto deadline = Clock::now() + timeout;
    while (received.size() < count) {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break; // EIO: the device side is closed and everything it sent has been read
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd ready{m_master, POLLIN, 0};
        ::poll(&ready, 1, static_cast<int>(left.count()));
    }
    return received;
}

QByteArray PseudoTerminal::receiveAny(std::chrono::milliseconds wait)
{
    return receive(1 << 20, wait);
}

QByteArray PseudoTerminal::receiveSome(std::chrono::milliseconds wait)
{
    if (m_master < 0) {
        return {};
    }
    pollfd ready{m_master, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(wait.count())) <= 0) {
        return {};
    }
    if ((ready.revents & POLLIN) == 0) {
        // No program has the device open: the line reports a hang-up at once, every time.
        ::poll(nullptr, 0, static_cast<int>(wait.count()));
        return {};
    }
    return receive(1 << 20, std::chrono::milliseconds(0));
}

void PseudoTerminal::send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (m_master >= 0 && sent < bytes.size()) {
        const ssize_t n =
            ::write(m_master, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent));
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("cannot write into a pseudo-terminal");
        }
        pollfd ready{m_master, POLLOUT, 0};
        ::poll(&ready, 1, 100);
    }
}

qsizetype PseudoTerminal::fillLine()
{
    if (m_device < 0) {
        m_device =
            ::open(QFile::encodeName(m_devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_device < 0) {
            throw std::runtime_error("cannot open the device side of a pseudo-terminal");
        }
    }
    // Raw, as the program will set it: output processing takes a different path into the
    // line, which stops at a different fill level.
    termios raw = lineSettings();
    ::cfmakeraw(&raw);
    setLineSettings(raw);
    const QByteArray block(4096, 'f');
    qsizetype filled = 0;
    for (;;) {
        const ssize_t n = ::write(m_device, block.constData(), static_cast<size_t>(block.size()));
        if (n > 0) {
            filled += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // The line moves what was written to the reader's side a moment later; give it that
        // moment and stop once it is really full.
        pollfd ready{m_device, POLLOUT, 0};
        if (::poll(&ready, 1, 50) <= 0) {
            return filled;
        }
    }
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void PseudoTerminal::watchOpening()
{
    m_openWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_openWatch < 0 ||
        ::inotify_add_watch(m_openWatch, QFile::encodeName(m_devicePath).constData(), IN_OPEN) <
            0) {
        throw std::runtime_error("cannot watch a pseudo-terminal's device for being opened");
    }
}

std::optional<Clock::time_point> PseudoTerminal::waitForOpening(std::chrono::milliseconds timeout)
{
    pollfd opened{m_openWatch, POLLIN, 0};
    if (m_openWatch < 0 || ::poll(&opened, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    return Clock::now();
}

std::optional<Error> errorFrom(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace pixelcast::test
