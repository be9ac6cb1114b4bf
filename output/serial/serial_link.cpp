#include "output/serial/serial_link.h"

#include "errors/error.h"

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

bool boardDrawsSize(DisplaySize size)
{
    return size.width == 128 && (size.height == 64 || size.height == 32);
}

void sendArray(SerialPort& port, const DisplayArray& array)
{
    const DisplaySize size = array.format().size;
    if (!boardDrawsSize(size)) {
        throw Error(ErrorCode::PortPictureSizeUnsupported,
                    QStringLiteral("The board's sketches draw pictures of 128 x 64 and 128 x 32 "
                                   "pixels; a picture of %1 x %2 was not sent.")
                        .arg(size.width)
                        .arg(size.height));
    }
    // One hand-over of all the bytes: the line sees exactly the sequence that one-byte
    // hand-overs would give it.
    const DisplayArray onLine = repack(array, verticalLayout());
    const auto bytes = onLine.bytes();
    port.output(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void closePortOnExit(SerialPort& port)
{
    if (port.portOpen()) {
        port.setPortOpen(false);
    }
}

} // namespace pixelcast
