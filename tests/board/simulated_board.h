#pragma once

#include "display/display_array.h"
#include "tests/board/display_module.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pixelcast::test {

class Sh1106Model;

// An Arduino Uno in simulation: an ATmega328P at 16 MHz running a firmware ELF, with an
// SSD1306 display of 128 x 64 or 128 x 32 on its I2C bus at 0x3C, and its serial receive
// line wired to a pseudo-terminal that the board creates. Whatever a sender writes to
// portName() reaches the UART in simulated time, one byte per byte time of the rate the
// firmware has set (9600 baud until it sets one), in order and without loss; the line is
// silent while nothing is written. What the firmware transmits goes back to portName() as it
// is sent, counted by bytesTransmitted(). Nothing runs between calls: time only passes
// inside run() and runUntilLineIdle().
class SimulatedBoard {
public:
    // Loads the firmware and powers the board on, with a display of `displayRows` rows (64 or
    // 32); returns with the firmware kBootTime past reset, so that its setup() has run. Throws
    // std::runtime_error when the firmware cannot be loaded or the pseudo-terminal cannot be made.
    explicit SimulatedBoard(const std::string& firmwareFile, int displayRows = 64);
    // The same with the display `module` (display_module.h), an SSD1306 or an SH1106 on I2C or
    // SPI. simavr's SPI takes about 100 us a byte, so on SPI the display's set-up may still be
    // running kBootTime past reset.
    SimulatedBoard(const std::string& firmwareFile, const DisplayModule& module);
    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    static constexpr std::chrono::milliseconds kBootTime{100};

    // The device name of the serial line, such as /dev/pts/7, to be opened by a sender.
    [[nodiscard]] QString portName() const;

    // Lets `duration` of simulated time pass, carrying the line's bytes meanwhile.
    void run(std::chrono::microseconds duration);

    // Runs until every byte written to the line so far has reached the UART, then lets
    // `settle` more simulated time pass.
    void runUntilLineIdle(std::chrono::microseconds settle);

    // How the firmware has set up its serial port (USART0), as a line would see it.
    struct SerialSettings {
        int baud = 0;
        int dataBits = 0;
        char parity = 'n'; // 'n', 'e' or 'o'
        int stopBits = 0;
        bool receiverOn = false;
    };
    [[nodiscard]] SerialSettings serialSettings() const;

    // The display RAM in the layout of a DisplayArray: byte column * 8 + page.
    [[nodiscard]] DisplayArray displayMemory() const;
    // The RAM of the display's rows as a frame on the line: byte column * pages + page.
    [[nodiscard]] std::vector<std::uint8_t> displayFrame() const;
    [[nodiscard]] bool displayIsOn() const;

    // What the firmware last told the display controller about the settings that the
    // simulated display takes but does not act on: the multiplex ratio (as the number of rows
    // it drives), the COM pins configuration and the page range of horizontal addressing;
    // -1 for what it has not been told. And how many bytes of display data it has written, on
    // either bus.
    struct DisplaySetup {
        int rows = -1;
        int comPins = -1;
        int firstPage = -1;
        int lastPage = -1;
        std::uint64_t dataBytes = 0;
    };
    [[nodiscard]] DisplaySetup displaySetup() const;

    // The SH1106 of a board with that module, with what it noted; null for an SSD1306.
    [[nodiscard]] const Sh1106Model* sh1106() const;

    // Bytes handed to the UART so far, and whether its receive queue ever ran full (the
    // simulator drops bytes then, so a test that sees it cannot trust the display).
    [[nodiscard]] std::uint64_t bytesDelivered() const;
    [[nodiscard]] bool receiveQueueOverflowed() const;

    [[nodiscard]] std::chrono::microseconds simulatedTime() const;

    // Bytes the firmware has transmitted so far into the pseudo-terminal: a reader of
    // portName() that has not had them all yet will get the rest.
    [[nodiscard]] std::uint64_t bytesTransmitted() const;

    // What has crossed the I2C bus so far, to any address: transactions (each a start
    // condition and an address byte) and bytes (addresses included); the simulated time
    // from their starts to their stops (simavr does not clock the bus: a byte takes it about
    // a microsecond, not the 22.5 us of 400 kHz); and when the display took its last byte of
    // display data, on either bus.
    struct BusTraffic {
        std::uint64_t transactions = 0;
        std::uint64_t bytes = 0;
        std::chrono::microseconds busyFor{};
        std::chrono::microseconds lastDataAt{};
    };
    [[nodiscard]] BusTraffic busTraffic() const;

    // Resets the microcontroller as its reset button does; the display keeps its RAM, the
    // line its bytes in flight, and simulated time runs on.
    void reset();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pixelcast::test
