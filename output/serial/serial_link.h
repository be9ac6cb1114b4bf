#pragma once

#include "display/display_array.h"
#include "output/serial/serial_port.h"

namespace pixelcast {

// The steps behind "Configure Port", "Write array to Arduino" and the port's part of "Exit".
// Each throws the port's pixelcast::Error and leaves the port open or closed, never between.

// The port number for the port list's selected index: the entries "Com1" to "Com4" at
// indices 0 to 3 give 1 to 4; anything else, such as -1 when the user typed into the
// list's text field instead of picking an entry, gives 1.
[[nodiscard]] int portNumberForIndex(int selectedIndex);

// Closes the port if it is open (after its output has gone out), then opens port
// `portNumber` at "9600,n,8,1" with no handshaking.
void configurePort(SerialPort& port, int portNumber);

// Whether the board's sketches draw a picture of this size: 128 x 64 or 128 x 32.
[[nodiscard]] bool boardDrawsSize(DisplaySize size);

// Puts the bytes of `array` on the line in the board's order (the vertical layout, whatever
// the array's own), nothing before or after them; returns once the system has taken them
// all. A size the board does not draw is refused with PortPictureSizeUnsupported before
// anything is sent.
void sendArray(SerialPort& port, const DisplayArray& array);

// Closes the port if it is open, after the bytes sent have gone out.
void closePortOnExit(SerialPort& port);

} // namespace pixelcast
