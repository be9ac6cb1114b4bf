#pragma once

#include <QString>

#include <cstdint>
#include <span>

namespace pixelcast::test {

// Puts `bytes` on the serial line `device` as the tool does: the port opened at 9600 baud,
// 8 data bits, no parity, 1 stop bit, no flow control, raw, every byte unchanged. Returns
// once all of them are handed to the driver; throws std::system_error on failure.
void sendOverLine(const QString& device, std::span<const std::uint8_t> bytes);

} // namespace pixelcast::test
