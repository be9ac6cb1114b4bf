#pragma once

#include "display/display_array.h"

#include <QString>

#include <cstdint>
#include <span>

namespace pixelcast::test {

// Sends `array` to the board on `device` with the code behind "Configure Port",
// "Write array to Arduino" and "Exit": the port opened as port 1 at 9600,n,8,1 with no
// handshaking, the 1024 bytes sent, the port closed after they have gone out.
void sendArrayToBoard(const QString& device, const DisplayArray& array);

// The same road for any run of bytes (part of a frame, or several frames back to back).
void sendOverLine(const QString& device, std::span<const std::uint8_t> bytes);

} // namespace pixelcast::test
