#include "output/serial_link.h"

namespace pixelcast {

int portNumberForIndex(int selectedIndex)
{
    int portNumber = 1;
    if (selectedIndex == 1) {
        portNumber = 2;
    }
    if (selectedIndex == 2) {
        portNumber = 3;
    }
    if (selectedIndex == 3) {
        portNumber = 4;
    }
    return portNumber;
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
