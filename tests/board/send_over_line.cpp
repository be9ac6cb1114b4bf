#include "tests/board/send_over_line.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace pixelcast::test {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

class Port {
public:
    explicit Port(const QString& device)
        : m_fd(::open(device.toLocal8Bit().constData(), O_WRONLY | O_NOCTTY))
    {
        if (m_fd < 0) {
            fail("cannot open the serial line");
        }
    }
    ~Port() { ::close(m_fd); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    [[nodiscard]] int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace

void sendOverLine(const QString& device, std::span<const std::uint8_t> bytes)
{
    const Port port(device);

    termios settings{};
    if (::tcgetattr(port.fd(), &settings) != 0) {
        fail("cannot read the line settings");
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (::cfsetspeed(&settings, B9600) != 0 || ::tcsetattr(port.fd(), TCSANOW, &settings) != 0) {
        fail("cannot set the line to 9600 8N1");
    }

    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(port.fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot write to the serial line");
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace pixelcast::test
