#include "tests/board/send_over_line.h"

#include "output/serial_link.h"

#include <memory>

namespace pixelcast::test {

namespace {

// Port 1 is the simulated board's pseudo-terminal.
class BoardLine final : public PortDirectory {
public:
    explicit BoardLine(QString device) : m_device(std::move(device)) {}
    [[nodiscard]] QString deviceFor(int number) const override
    {
        return number == 1 ? m_device : QString();
    }

private:
    QString m_device;
};

template <typename Send> void withPortToBoard(const QString& device, Send send)
{
    SerialPort port(std::make_unique<BoardLine>(device));
    configurePort(port, portNumberForIndex(0));
    send(port);
    closePortOnExit(port);
}

} // namespace

void sendArrayToBoard(const QString& device, const DisplayArray& array)
{
    withPortToBoard(device, [&](SerialPort& port) { sendArray(port, array); });
}

void sendOverLine(const QString& device, std::span<const std::uint8_t> bytes)
{
    withPortToBoard(device, [&](SerialPort& port) {
        port.output(QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<qsizetype>(bytes.size())));
    });
}

} // namespace pixelcast::test
