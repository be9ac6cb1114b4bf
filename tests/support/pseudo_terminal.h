#pragma once

#include "errors/error.h"
#include "output/serial/port_directory.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <termios.h>

namespace pixelcast::test {

// A pseudo-terminal standing in for a serial line: the program opens its device side as a
// serial port, and the test reads what went over the line from the other side. Line settings
// are read and set through the test's side, which Linux hands on to the device side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The device the program opens, e.g. /dev/pts/7.
    [[nodiscard]] QString devicePath() const { return m_devicePath; }

    [[nodiscard]] termios lineSettings() const;
    void setLineSettings(const termios& settings);
    // 19200 baud, RTS/CTS, XON/XOFF, echo, line editing and output processing: far from what
    // the program must set.
    void setWrongLineSettings();

    // What went over the line, until `count` bytes arrived or `timeout` passed.
    [[nodiscard]] QByteArray receive(qsizetype count,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Whatever arrives within `wait`, for checking that nothing did.
    [[nodiscard]] QByteArray receiveAny(std::chrono::milliseconds wait);
    // What has arrived, waiting up to `wait` for the first byte; empty too once hung up.
    [[nodiscard]] QByteArray receiveSome(std::chrono::milliseconds wait);
    // Writes `bytes` into the line towards the program, as a board answering.
    void send(const QByteArray& bytes);

    // Writes into the line from the device side until it takes no more, as a line whose
    // reader has stopped. Must be called before the program opens the device, which then
    // keeps others out. Returns the bytes that went in.
    qsizetype fillLine();

    // The other end goes away, as a board unplugged.
    void hangUp();

    // From now on, notes each time a program opens the device side.
    void watchOpening();
    // When the device side was opened after watchOpening(), as seen here (no earlier than the
    // open), waiting up to `timeout`; nothing when it was not.
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point>
    waitForOpening(std::chrono::milliseconds timeout);

private:
    int m_master = -1;
    int m_device = -1;
    int m_openWatch = -1;
    QString m_devicePath;
};

// The error `action` throws, or nothing when it throws none.
[[nodiscard]] std::optional<Error> errorFrom(const std::function<void()>& action);

} // namespace pixelcast::test
