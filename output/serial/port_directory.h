#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace pixelcast {

// Which device the serial port number n ("Com n") opens on this computer. Asked each time
// a port is opened, so that a board plugged in while the program runs is found.
class PortDirectory {
public:
    virtual ~PortDirectory() = default;

    // The device for port `number` (1 for "Com1"), or an empty string when there is none.
    [[nodiscard]] virtual QString deviceFor(int number) const = 0;

protected:
    PortDirectory() = default;
    PortDirectory(const PortDirectory&) = default;
    PortDirectory& operator=(const PortDirectory&) = default;
};

// Windows names its serial ports after their numbers: port n is COMn.
class ComPortDirectory final : public PortDirectory {
public:
    [[nodiscard]] QString deviceFor(int number) const override;
};

// Linux has no fixed numbering, so the ports are counted in the order in which a board is
// most likely to be found: /dev/ttyACM0, /dev/ttyACM1, ... (boards with their own USB
// interface), then /dev/ttyUSB0, ... (boards behind a USB serial converter), each in
// numeric order, then those /dev/ttyS* behind which a serial port really exists (the
// kernel creates ttyS0-ttyS31 whether or not there is hardware). A name may be a symbolic
// link to a device; names that lead to no character device are left out.
class LinuxPortDirectory final : public PortDirectory {
public:
    // The folders are parameters so that tests can stand in their own devices.
    explicit LinuxPortDirectory(QString deviceDir = QStringLiteral("/dev"),
                                QString sysTtyDir = QStringLiteral("/sys/class/tty"));

    // Every port, in counting order: port n is entry n - 1.
    [[nodiscard]] QStringList devices() const;
    [[nodiscard]] QString deviceFor(int number) const override;

private:
    [[nodiscard]] bool isRealSerialPort(const QString& name, const QString& path) const;

    QString m_deviceDir;
    QString m_sysTtyDir;
};

// Port n is the n-th device of a list given by name, and no other port exists: a device
// path given on a command line is port 1, and tests point numbers at pseudo-terminals.
class ListedPortDirectory final : public PortDirectory {
public:
    explicit ListedPortDirectory(QStringList devices) : m_devices(std::move(devices)) {}
    [[nodiscard]] QString deviceFor(int number) const override
    {
        return number >= 1 && number <= m_devices.size() ? m_devices.at(number - 1) : QString();
    }

private:
    QStringList m_devices;
};

// The directory of the system the program runs on.
[[nodiscard]] std::unique_ptr<PortDirectory> systemPortDirectory();

} // namespace pixelcast
