#include "output/serial/serial_port.h"

#include "errors/error.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <climits>
#include <thread>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace pixelcast {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

QChar parityLetter(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return u'e';
    case QSerialPort::OddParity:
        return u'o';
    case QSerialPort::MarkParity:
        return u'm';
    case QSerialPort::SpaceParity:
        return u's';
    case QSerialPort::NoParity:
        break;
    }
    return u'n';
}

QString stopBitsText(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    case QSerialPort::OneStop:
        break;
    }
    return QStringLiteral("1");
}

// The settings as the messages quote them, e.g. "9600,n,8,1".
QString settingsText(const LineSettings& settings)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baudRate)
        .arg(parityLetter(settings.parity))
        .arg(static_cast<int>(settings.dataBits))
        .arg(stopBitsText(settings.stopBits));
}

QSerialPort::FlowControl qtFlowControl(Handshaking handshaking)
{
    switch (handshaking) {
    case Handshaking::XonXoff:
        return QSerialPort::SoftwareControl;
    case Handshaking::RtsCts:
    case Handshaking::RtsXonXoff:
        return QSerialPort::HardwareControl;
    case Handshaking::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

QString seconds(milliseconds duration)
{
    return QString::number(static_cast<double>(duration.count()) / 1000.0, 'g', 3);
}

} // namespace

SerialPort::SerialPort(std::unique_ptr<PortDirectory> directory) : m_directory(std::move(directory))
{
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] {
        if (inputArrived) {
            inputArrived();
        }
    });
    QObject::connect(
        &m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError error) {
            // A hung-up line reads as an end of input, which Qt reports
            // as a read error, again at each notification.
            if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError) &&
                deviceFailed) {
                deviceFailed();
            }
        });
}

SerialPort::~SerialPort()
{
    try {
        close();
    } catch (...) {
        // The port is closed even when closing reports dropped bytes; nobody is left to
        // tell.
    }
}

void SerialPort::setCommPort(int number)
{
    if (m_port.isOpen()) {
        throw Error(ErrorCode::PortStillOpen,
                    QStringLiteral("The serial port number can only be changed while the port "
                                   "is closed."));
    }
    if (number < 1) {
        throw Error(ErrorCode::PortNotPresent,
                    QStringLiteral("There is no serial port number %1.").arg(number));
    }
    m_commPort = number;
}

void SerialPort::setSettings(const LineSettings& settings)
{
    if (m_port.isOpen()) {
        // New settings take effect at once; bytes still on their way would be garbled.
        waitUntilSent();
    }
    m_settings = settings;
    if (m_port.isOpen()) {
        applySettings();
    }
}

void SerialPort::setHandshaking(Handshaking handshaking)
{
    if (m_port.isOpen()) {
        waitUntilSent();
    }
    m_handshaking = handshaking;
    if (m_port.isOpen()) {
        applySettings();
    }
}

void SerialPort::setReadable(bool readable)
{
    if (m_port.isOpen()) {
        throw Error(ErrorCode::PortStillOpen,
                    QStringLiteral("The serial port can only be opened for reading while it is "
                                   "closed."));
    }
    m_readable = readable;
}

QByteArray SerialPort::takeInput()
{
    return m_port.isOpen() && m_readable ? m_port.readAll() : QByteArray();
}

void SerialPort::giveUpBy(Clock::time_point deadline)
{
    m_giveUpAt.store(deadline.time_since_epoch().count());
}

milliseconds SerialPort::untilGivenUp() const
{
    const Clock::time_point deadline{Clock::duration(m_giveUpAt.load())};
    if (deadline == Clock::time_point::max()) {
        return milliseconds::max();
    }
    return std::max(std::chrono::ceil<milliseconds>(deadline - Clock::now()), milliseconds::zero());
}

void SerialPort::moveToThread(QThread* thread)
{
    m_port.moveToThread(thread);
}

void SerialPort::setPortOpen(bool open)
{
    if (open) {
        this->open();
    } else {
        close();
    }
}

QString SerialPort::portLabel(const QString& device) const
{
    return device.isEmpty() ? QStringLiteral("Com%1").arg(m_commPort)
                            : QStringLiteral("Com%1 (%2)").arg(m_commPort).arg(device);
}

void SerialPort::open()
{
    if (m_port.isOpen()) {
        return;
    }
    m_unconfirmed = 0;
    const QString device = m_directory->deviceFor(m_commPort);
    if (device.isEmpty()) {
        throw Error(ErrorCode::PortNotPresent,
                    QStringLiteral("Serial port %1 is not present on this computer. Is the board "
                                   "plugged in?")
                        .arg(portLabel(device)));
    }
    const QString label = portLabel(device);

    QString path = device;
#ifdef Q_OS_UNIX
    // The device itself rather than a link to it: the lock that keeps two programs off one
    // port is named after the path that is opened.
    path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty()) {
        throw Error(
            ErrorCode::PortNotPresent,
            QStringLiteral("Serial port %1 is not present: the device has gone.").arg(label));
    }
    if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        throw Error(ErrorCode::PortNoPermission,
#ifdef Q_OS_LINUX
                    QStringLiteral("You have no permission to use serial port %1. Serial ports "
                                   "belong to the \"dialout\" group: add your user to it (sudo "
                                   "usermod -aG dialout $USER), then log out and in again.")
#else
                    QStringLiteral("You have no permission to use serial port %1.")
#endif
                        .arg(label));
    }
#endif

    m_port.setPortName(path);
    applySettings();
    // Write-only unless the answers are read: an unread input queue on a port that is never
    // read could only grow.
    if (!m_port.open(m_readable ? QIODevice::ReadWrite : QIODevice::WriteOnly)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString why = m_port.errorString();
        m_port.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            throw Error(ErrorCode::PortNotPresent,
                        QStringLiteral("Serial port %1 is not present: %2.").arg(label, why));
        case QSerialPort::PermissionError:
            if (why == QSerialPort::tr("Permission error while creating lock file")) {
                break;
            }
#ifdef Q_OS_UNIX
            if (why == qt_error_string(EACCES)) {
                throw Error(ErrorCode::PortNoPermission,
                            QStringLiteral("You have no permission to use serial port %1: %2.")
                                .arg(label, why));
            }
#endif
            // Qt reports a port that another program holds ("Permission error while locking
            // the device", or the device's own "busy") as a permission error.
            throw Error(ErrorCode::PortBusy,
                        QStringLiteral("Serial port %1 is in use by another program. Close that "
                                       "program, then configure the port again.")
                            .arg(label));
        case QSerialPort::UnsupportedOperationError:
            throw Error(ErrorCode::PortBadSettings,
                        QStringLiteral("Serial port %1 cannot work with the settings \"%2\": %3.")
                            .arg(label, settingsText(m_settings), why));
        default:
            break;
        }
        throw Error(ErrorCode::PortOpenFailed,
                    QStringLiteral("Serial port %1 could not be opened: %2.").arg(label, why));
    }
    m_device = device;
    applySettings(); // what Qt cannot set by itself; closes the port again if that fails
}

void SerialPort::applySettings()
{
    QString why;
#ifdef Q_OS_UNIX
    // Qt would quietly send 1 stop bit instead; the terminal interface knows no 1.5.
    if (m_settings.stopBits == QSerialPort::OneAndHalfStop) {
        why = QStringLiteral("1.5 stop bits are not available on this system");
    }
#else
    if (m_handshaking == Handshaking::RtsXonXoff) {
        why = QStringLiteral("RTS/CTS together with XON/XOFF is not available on this system");
    }
#endif
    if (why.isEmpty() &&
        !(m_port.setBaudRate(m_settings.baudRate) && m_port.setParity(m_settings.parity) &&
          m_port.setDataBits(m_settings.dataBits) && m_port.setStopBits(m_settings.stopBits) &&
          m_port.setFlowControl(qtFlowControl(m_handshaking)))) {
        why = m_port.errorString();
    }
#ifdef Q_OS_UNIX
    // Qt offers either hardware or software flow control; both at once is set here.
    if (why.isEmpty() && m_port.isOpen() && m_handshaking == Handshaking::RtsXonXoff) {
        termios line{};
        bool set = ::tcgetattr(m_port.handle(), &line) == 0;
        if (set) {
            line.c_cflag |= CRTSCTS;
            line.c_iflag |= IXON | IXOFF;
            set = ::tcsetattr(m_port.handle(), TCSANOW, &line) == 0;
        }
        if (!set) {
            why = qt_error_string(errno);
        }
    }
#endif
    if (why.isEmpty()) {
        return;
    }
    if (m_port.isOpen()) {
        const QString label = portLabel(m_device);
        m_port.close();
        m_device.clear();
        throw Error(ErrorCode::PortBadSettings,
                    QStringLiteral("Serial port %1 cannot work with the settings \"%2\": %3. The "
                                   "port has been closed.")
                        .arg(label, settingsText(m_settings), why));
    }
    throw Error(ErrorCode::PortBadSettings,
                QStringLiteral("The serial port cannot work with the settings \"%1\": %2.")
                    .arg(settingsText(m_settings), why));
}

void SerialPort::close()
{
    if (!m_port.isOpen()) {
        return;
    }
    waitUntilSent();
    m_port.close();
    m_device.clear();
}

void SerialPort::waitUntilSent()
{
    const qint64 dropped = drainOutput();
    const qint64 unconfirmed = std::exchange(m_unconfirmed, 0);
    if (dropped == kDeviceGone) {
        if (unconfirmed == 0) {
            return;
        }
        // The system takes the bytes at once and sends them over the next second or so: a
        // board unplugged in that time must not pass for a finished transfer.
        const QString label = portLabel(m_device);
        m_port.close();
        m_device.clear();
        throw Error(ErrorCode::PortLost,
                    QStringLiteral("Serial port %1 went away before the last bytes had gone out: "
                                   "up to %2 of the bytes sent may not have arrived. The port "
                                   "has been closed.")
                        .arg(label)
                        .arg(unconfirmed));
    }
    if (dropped <= 0) {
        return;
    }
    const QString label = portLabel(m_device);
    m_port.close();
    m_device.clear();
    throw Error(ErrorCode::PortWriteFailed,
                QStringLiteral("Serial port %1 stopped sending: %2 bytes were still waiting after "
                               "%3 s without progress and were dropped. The port has been closed.")
                    .arg(label)
                    .arg(dropped)
                    .arg(seconds(m_stallTimeout)));
}

qint64 SerialPort::drainOutput()
{
#ifdef Q_OS_UNIX
    // tcdrain() alone could wait for ever on a line that has stopped, so the system's output
    // queue is watched instead, for as long as it keeps shrinking. Once it is empty, tcdrain()
    // waits for the last bytes in the chip, which the driver bounds itself.
    const int fd = m_port.handle();
    int lastQueued = INT_MAX;
    auto lastProgress = Clock::now();
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
            const int error = errno;
            // A device that has gone cannot be waited on; whether bytes were lost with it
            // is for the caller to judge.
            return error == EIO || error == ENXIO || error == ENODEV ? kDeviceGone : 0;
        }
        if (queued <= 0) {
            ::tcdrain(fd);
            return 0;
        }
        const auto now = Clock::now();
        if (queued < lastQueued) {
            lastQueued = queued;
            lastProgress = now;
        } else if (now - lastProgress >= m_stallTimeout || untilGivenUp() <= milliseconds::zero()) {
            ::tcflush(fd, TCOFLUSH);
            return queued;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
#else
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(static_cast<int>(m_stallTimeout.count()))) {
            const qint64 dropped = m_port.bytesToWrite();
            m_port.clear(QSerialPort::Output);
            return dropped;
        }
    }
    return 0;
#endif
}

void SerialPort::output(QByteArrayView bytes)
{
    if (!m_port.isOpen()) {
        throw Error(ErrorCode::PortNotOpen,
                    QStringLiteral("No serial port is open: configure a port first."));
    }
    const qsizetype total = bytes.size();
#ifdef Q_OS_UNIX
    qsizetype sent = 0;
    // QSerialPort::write() only queues the bytes for the event loop; writing to the
    // descriptor hands them to the system here and now.
    const int fd = m_port.handle();
    auto lastProgress = Clock::now();
    while (sent < total) {
        const ssize_t n = ::write(fd, bytes.data() + sent, static_cast<size_t>(total - sent));
        if (n > 0) {
            sent += n;
            m_unconfirmed += n;
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            failTransfer(sent, total, errno);
        }
        // The system's queue is full: wait until the line has made room.
        const auto left = std::min(
            m_stallTimeout - std::chrono::duration_cast<milliseconds>(Clock::now() - lastProgress),
            untilGivenUp());
        if (left <= milliseconds::zero()) {
            failTransfer(sent, total, ETIMEDOUT);
        }
        pollfd ready{fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR) {
            failTransfer(sent, total, errno);
        }
        if (polled > 0 && (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            failTransfer(sent, total, EIO);
        }
    }
#else
    if (m_port.write(bytes.data(), total) != total) {
        failTransfer(0, total, 0);
    }
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(static_cast<int>(m_stallTimeout.count()))) {
            failTransfer(total - m_port.bytesToWrite(), total, 0);
        }
    }
#endif
}

void SerialPort::failTransfer(qsizetype sent, qsizetype total, int systemError)
{
    const QString label = portLabel(m_device);
#ifdef Q_OS_UNIX
    ::tcflush(m_port.handle(), TCOFLUSH); // so that closing cannot wait on a dead line
#else
    m_port.clear(QSerialPort::Output);
#endif
    const QString qtReason = m_port.errorString();
    m_port.close();
    m_device.clear();

    const QString counted = QStringLiteral("%1 of %2 bytes went out").arg(sent).arg(total);
#ifdef Q_OS_UNIX
    switch (systemError) {
    case ETIMEDOUT:
        throw Error(ErrorCode::PortWriteFailed,
                    QStringLiteral("Serial port %1 stopped taking bytes for %2 s: %3. The port "
                                   "has been closed.")
                        .arg(label, seconds(m_stallTimeout), counted));
    case EIO:
    case ENXIO:
    case ENODEV:
    case EPIPE:
    case EBADF:
        throw Error(ErrorCode::PortLost,
                    QStringLiteral("Serial port %1 went away during the transfer: %2. The port "
                                   "has been closed.")
                        .arg(label, counted));
    default:
        break;
    }
    const QString why = qt_error_string(systemError);
#else
    Q_UNUSED(systemError);
    const QString why = qtReason;
#endif
    Q_UNUSED(qtReason);
    throw Error(ErrorCode::PortWriteFailed,
                QStringLiteral("Sending to serial port %1 failed (%2): %3. The port has been "
                               "closed.")
                    .arg(label, why, counted));
}

} // namespace pixelcast
