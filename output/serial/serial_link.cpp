#include "output/serial/serial_link.h"

namespace pixelcast {

int portNumberForIndex(int selectedIndex)
{
    return selectedIndex >= 0 && selectedIndex <= 3 ? selectedIndex + 1 : 1;
}

void configurePort(SerialPort& port, int portNumber)
{
    if (port.portOpen()) {
        port.setPortOpen(false);
    }
    port.setCommPort(portNumber);
    port.setSettings(LineSettings{});
    port.setHandshaking(Handshaking::None);
    port.setPortOpen(true);
}

void sendArray(SerialPort& port, const DisplayArray& array)
{
    // One hand-over of all 1024 bytes: the line sees exactly the sequence that 1024
    // one-byte hand-overs would give it.
    const auto bytes = array.bytes();
    port.output(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void closePortOnExit(SerialPort& port)
{
    if (port.portOpen()) {
        port.setPortOpen(false);
    }
}

} // namespace pixelcast
