#include "tests/board/send_over_line.h"

#include "output/serial/serial_link.h"

#include <memory>

namespace pixelcast::test {

namespace {

template <typename Send> void withPortToBoard(const QString& device, Send send)
{
    // Port 1 is the simulated board's pseudo-terminal.
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{device}));
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
