#pragma once

#include "output/serial/port_directory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSerialPort>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace pixelcast {

// Flow control on the line, numbered as the port's Handshaking values.
enum class Handshaking : int {
    None = 0,
    XonXoff = 1,
    RtsCts = 2,
    RtsXonXoff = 3,
};

// Baud rate, parity, data bits and stop bits, as in "9600,n,8,1".
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// One serial port, numbered as the user sees it ("Com1" is 1), opened and closed on
// demand. It starts closed, on port 1, at "9600,n,8,1" with no handshaking.
//
// Its promise is that every byte handed to output() reaches the line, in order and
// unchanged: output() returns only when the system has taken all the bytes, and closing
// (setPortOpen(false), destruction) first waits until the system has sent them, because
// closing a port discards what is still queued and puts the old line settings back at
// once. A line that stops taking bytes is given up after stallTimeout() without progress;
// the bytes still queued are then discarded so that closing cannot hang.
//
// Failures throw pixelcast::Error with a 3xxx number; afterwards the port is either open
// and usable or closed, never half-open.
class SerialPort {
public:
    // At 9600 baud a byte leaves about every millisecond; seconds without one mean the
    // line is dead (a board whose USB interface stopped reading, a wedged adapter).
    static constexpr std::chrono::milliseconds kDefaultStallTimeout{3000};

    explicit SerialPort(std::unique_ptr<PortDirectory> directory = systemPortDirectory());
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    [[nodiscard]] int commPort() const { return m_commPort; }
    // Where the port numbers lead.
    [[nodiscard]] const PortDirectory& directory() const { return *m_directory; }
    // Only while the port is closed (Error PortStillOpen otherwise); numbers start at 1.
    void setCommPort(int number);

    [[nodiscard]] LineSettings settings() const { return m_settings; }
    // Applied at once when the port is open, after the bytes already sent have gone out.
    void setSettings(const LineSettings& settings);

    [[nodiscard]] Handshaking handshaking() const { return m_handshaking; }
    void setHandshaking(Handshaking handshaking);

    [[nodiscard]] bool portOpen() const { return m_port.isOpen(); }
    // Opening an open port or closing a closed one does nothing. Closing waits for the
    // output to drain; if it cannot, the port is closed anyway and Error(PortWriteFailed)
    // says how many bytes were dropped.
    void setPortOpen(bool open);

    // Hands all of `bytes` to the line, in order; Error(PortNotOpen) when the port is closed.
    // When the device vanishes (PortLost) or the line stalls (PortWriteFailed) the port is
    // closed and the error says how many of the bytes went out.
    void output(QByteArrayView bytes);

    // Whether the port is opened for reading too (the live link reads the board's answers);
    // the raw line only writes. Only while the port is closed (Error PortStillOpen).
    [[nodiscard]] bool readable() const { return m_readable; }
    void setReadable(bool readable);
    // The bytes that have arrived and have not been taken yet.
    [[nodiscard]] QByteArray takeInput();
    // Told on the port's thread, from its event loop: bytes have arrived; the device failed
    // under the open port (unplugged).
    std::function<void()> inputArrived;
    std::function<void()> deviceFailed;

    // The device behind the open port (empty while closed).
    [[nodiscard]] QString deviceName() const { return m_device; }

    [[nodiscard]] std::chrono::milliseconds stallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout) { m_stallTimeout = timeout; }

    // Safe from any thread: from `deadline` on, a wait for the line (in output(), in closing)
    // ends as a stall does. For an owner that is going away and cannot wait any longer.
    void giveUpBy(std::chrono::steady_clock::time_point deadline);

    // The port is used from `thread` from now on; called from the thread that uses it now.
    void moveToThread(QThread* thread);

private:
    void open();
    void close();
    void applySettings();
    void waitUntilSent();
    // How many bytes were dropped waiting for the output to go out (0 when none), or
    // kDeviceGone when the device went away while it was being waited on.
    [[nodiscard]] qint64 drainOutput();
    static constexpr qint64 kDeviceGone = -1;
    [[noreturn]] void failTransfer(qsizetype sent, qsizetype total, int systemError);
    [[nodiscard]] QString portLabel(const QString& device) const;
    // How long a wait may still last before giveUpBy()'s deadline.
    [[nodiscard]] std::chrono::milliseconds untilGivenUp() const;

    std::unique_ptr<PortDirectory> m_directory;
    QSerialPort m_port;
    // Bytes handed to the system since the output was last seen to have gone out.
    qint64 m_unconfirmed = 0;
    int m_commPort = 1;
    LineSettings m_settings;
    Handshaking m_handshaking = Handshaking::None;
    bool m_readable = false;
    QString m_device;
    std::chrono::milliseconds m_stallTimeout = kDefaultStallTimeout;
    std::atomic<std::chrono::steady_clock::rep> m_giveUpAt{
        std::chrono::steady_clock::time_point::max().time_since_epoch().count()};
};

} // namespace pixelcast
