// Pixelcast's display code, shared by its sketches: sets up an SSD1306 or SH1106 controller
// on I2C or SPI and writes its memory.
//
// On I2C it drives the chip's TWI registers itself rather than through the Wire library, which
// sends at most 32 bytes a transaction (a page of 128 bytes would take five, each with its
// start, address and control byte) and whose buffers cost about 200 bytes of RAM: here any
// write is one transaction, nothing is buffered, and the bus runs at 400 kHz.
//
// Each sketch carries a copy of this file in its own folder, so that the folder copied into
// the sketchbook builds as it is. The copies are the same as board/shared/pixelcast_display.h
// in Pixelcast's sources (its tests check that): change that one and copy it over the others.
//
// A sketch includes this file from one of its files only (the .ino: the file defines its
// functions, not only declares them), after it has defined its module's settings:
//     kDisplayController     1306 for an SSD1306, 1106 for an SH1106
//     kDisplayHeight         rows: 64, or 32 for an SSD1306 module of 128 x 32
//     kDisplayOnSpi          false for I2C, true for SPI
//     kDisplayAddress        on I2C, the module's address: 0x3C or 0x3D
//     kDisplayClockPin       on SPI, the board's hardware SPI clock (SCK) and data (MOSI)
//     kDisplayDataPin          pins: 13 and 11 on an Uno
//     kDisplayChipSelectPin  on SPI, any free pins for chip select (CS), data/command (DC)
//     kDisplayCommandPin       and reset (RES)
//     kDisplayResetPin
//
// The display's memory is 128 columns by kDisplayPages pages: page p holds rows p * 8 (the
// least significant bit of each byte) to p * 8 + 7, one byte per column, 1 for a lit pixel.

#pragma once

#include <Arduino.h>
#include <SPI.h>
#include <avr/io.h>

static_assert(kDisplayController == 1306 || kDisplayController == 1106,
              "kDisplayController must be 1306 (SSD1306) or 1106 (SH1106)");
static_assert(kDisplayHeight == 64 || (kDisplayHeight == 32 && kDisplayController == 1306),
              "kDisplayHeight must be 64, or 32 for an SSD1306 (an SH1106 has 64 rows)");
static_assert(kDisplayOnSpi || kDisplayAddress == 0x3C || kDisplayAddress == 0x3D,
              "kDisplayAddress must be 0x3C or 0x3D");
static_assert(!kDisplayOnSpi ||
                  (kDisplayClockPin == PIN_SPI_SCK && kDisplayDataPin == PIN_SPI_MOSI),
              "on SPI the display's clock and data pins are the board's SCK and MOSI "
              "(13 and 11 on an Uno)");

static const uint8_t kDisplayColumns = 128;
static const uint8_t kDisplayPages = kDisplayHeight / 8;

// An SH1106 has 132 columns of memory, of which a 128-column panel shows columns 2 to 129.
static const uint8_t kDisplayFirstColumn = kDisplayController == 1106 ? 2 : 0;

// displayDraw() asks for a picture's bytes this many at a time, and sends each group as one
// write.
static const uint8_t kDisplayDrawGroup = 16;

// I2C control bytes: Co = 0, so every byte that follows in the same transaction is a command
// (D/C# = 0) or display data (D/C# = 1).
static const uint8_t kDisplayCommandStream = 0x00;
static const uint8_t kDisplayDataStream = 0x40;

// The SPI clock: an SSD1306 takes up to 10 MHz, of which an Uno makes 8; an SH1106 is given
// 2 MHz, within its datasheet's serial timing.
static const uint32_t kDisplaySpiClock = kDisplayController == 1306 ? 8000000 : 2000000;

static void displayTwiWait()
{
    while ((TWCR & _BV(TWINT)) == 0) {
    }
}

static void displayTwiSend(uint8_t value)
{
    TWDR = value;
    TWCR = _BV(TWINT) | _BV(TWEN);
    displayTwiWait();
}

// Sends commands (data false) or display data (data true): on I2C in one transaction. A
// display that does not answer is not waited for: its bytes are clocked out and lost.
static void displaySend(bool data, const uint8_t* bytes, uint8_t count)
{
    if (kDisplayOnSpi) {
        digitalWrite(kDisplayCommandPin, data ? HIGH : LOW);
        SPI.beginTransaction(SPISettings(kDisplaySpiClock, MSBFIRST, SPI_MODE0));
        digitalWrite(kDisplayChipSelectPin, LOW);
        for (uint8_t i = 0; i < count; ++i) {
            SPI.transfer(bytes[i]);
        }
        digitalWrite(kDisplayChipSelectPin, HIGH);
        SPI.endTransaction();
        return;
    }
    TWCR = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN); // start
    displayTwiWait();
    displayTwiSend((uint8_t)(kDisplayAddress << 1)); // the write bit is 0
    displayTwiSend(data ? kDisplayDataStream : kDisplayCommandStream);
    for (uint8_t i = 0; i < count; ++i) {
        displayTwiSend(bytes[i]);
    }
    TWCR = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN); // stop
    while ((TWCR & _BV(TWSTO)) != 0) {
    }
}

// The controller's power-on sequence for a panel that makes its own driving voltage (the
// usual module), leaving the panel dark.
static void displaySendSetUp()
{
    if (kDisplayController == 1106) {
        static const uint8_t sequence[] = {
            0xAE,       // display off while it is set up
            0xD5, 0x80, // display clock: divide ratio 1, oscillator +15 %
            0xA8, 0x3F, // multiplex ratio: 64 rows
            0xD3, 0x00, // no vertical display offset
            0x40,       // display start line 0
            0xAD, 0x8B, // DC-DC converter on
            0xA1,       // column 131 drives segment 0: column 2 is on the left of the module
            0xC8,       // COM scan from COM63 down: page 0 is at the top
            0xDA, 0x12, // COM pins: alternative configuration, as 128 x 64 panels are wired
            0x81, 0x80, // contrast
            0xD9, 0x22, // pre-charge period: two clocks each phase
            0xDB, 0x35, // VCOM deselect level
            0xA4,       // show the RAM contents
            0xA6,       // normal, not inverted: a 1 bit is a lit pixel
        };
        displaySend(false, sequence, sizeof sequence);
        return;
    }
    // One COM line per row; 128 x 64 panels are wired for the alternative COM pins
    // configuration, 128 x 32 ones for the sequential one.
    static const uint8_t mux = kDisplayHeight - 1;
    static const uint8_t pins = kDisplayHeight == 64 ? 0x12 : 0x02;
    static const uint8_t sequence[] = {
        0xAE,       // display off while it is set up
        0xD5, 0x80, // display clock: divide ratio 1, oscillator at its reset value
        0xA8, mux,  // multiplex ratio: kDisplayHeight rows
        0xD3, 0x00, // no vertical display offset
        0x40,       // display start line 0
        0xE3,       // no-op; some controller emulations wrongly read 0x40 as taking an
                    // argument, and this keeps them in step with the real chip
        0x8D, 0x14, // charge pump on
        0x20, 0x00, // horizontal addressing: column after column, then the next page
        0xA1,       // column 127 drives segment 0: column 0 is on the left of the module
        0xC8,       // COM scan from COM(kDisplayHeight - 1) down: page 0 is at the top
        0xDA, pins, // COM pins configuration, as above
        0x81, 0xCF, // contrast
        0xD9, 0xF1, // pre-charge period: phase 1 one clock, phase 2 fifteen clocks
        0xDB, 0x40, // VCOMH deselect level
        0x2E,       // no scrolling
        0xA4,       // show the RAM contents
        0xA6,       // normal, not inverted: a 1 bit is a lit pixel
    };
    displaySend(false, sequence, sizeof sequence);
}

// Points the next display data at `column` of `page`, running to `lastColumn` of `lastPage`
// and on to the next page on an SSD1306. An SH1106 knows nothing but a page and a column: its
// data runs along the one page, so it is written page by page.
static void displaySendAddress(uint8_t page, uint8_t column, uint8_t lastPage, uint8_t lastColumn)
{
    if (kDisplayController == 1106) {
        const uint8_t at = (uint8_t)(column + kDisplayFirstColumn);
        const uint8_t commands[] = {
            (uint8_t)(0xB0 | page),      // page address
            (uint8_t)(at & 0x0F),        // column address, lower four bits
            (uint8_t)(0x10 | (at >> 4)), // column address, higher four bits
        };
        displaySend(false, commands, sizeof commands);
        return;
    }
    // The column range, then the page range.
    const uint8_t commands[] = {0x21, column, lastColumn, 0x22, page, lastPage};
    displaySend(false, commands, sizeof commands);
}

// Sets the controller up and leaves the panel dark, for a sketch that draws its first picture
// before it shows anything; displayOn() lights it.
void displaySetUp()
{
    if (kDisplayOnSpi) {
        pinMode(kDisplayChipSelectPin, OUTPUT);
        digitalWrite(kDisplayChipSelectPin, HIGH);
        pinMode(kDisplayCommandPin, OUTPUT);
        SPI.begin();
        // A module on SPI leaves its reset to the board: a low pulse of a millisecond, and a
        // millisecond for the controller to come out of it.
        pinMode(kDisplayResetPin, OUTPUT);
        digitalWrite(kDisplayResetPin, HIGH);
        delay(1);
        digitalWrite(kDisplayResetPin, LOW);
        delay(1);
        digitalWrite(kDisplayResetPin, HIGH);
        delay(1);
    } else {
        // The modules carry their own pull-up resistors; the pins' weak ones help those that
        // do not. SCL = 16 MHz / (16 + 2 * TWBR) with the prescaler at 1: 400 kHz. A picture
        // is drawn in about 30 ms at 400 kHz, four times that at the usual 100 kHz: the
        // receiver draws while the next frame may already be arriving, and its 64-byte
        // receive buffer fills in about 66 ms at 9600 baud.
        digitalWrite(SDA, HIGH);
        digitalWrite(SCL, HIGH);
        TWSR = 0;
        TWBR = 12;
        TWCR = _BV(TWEN);
    }
    displaySendSetUp();
}

void displayOn()
{
    static const uint8_t on[] = {0xAF};
    displaySend(false, on, sizeof on);
}

// Draws a whole picture, page after page, each from column 0 to 127: byteAt(column, page)
// gives each byte.
void displayDraw(uint8_t (*byteAt)(uint8_t column, uint8_t page))
{
    if (kDisplayController == 1306) {
        displaySendAddress(0, 0, kDisplayPages - 1, kDisplayColumns - 1);
    }
    for (uint8_t page = 0; page < kDisplayPages; ++page) {
        if (kDisplayController == 1106) {
            displaySendAddress(page, 0, page, kDisplayColumns - 1);
        }
        for (uint8_t column = 0; column < kDisplayColumns; column += kDisplayDrawGroup) {
            uint8_t bytes[kDisplayDrawGroup];
            for (uint8_t i = 0; i < kDisplayDrawGroup; ++i) {
                bytes[i] = byteAt((uint8_t)(column + i), page);
            }
            displaySend(true, bytes, kDisplayDrawGroup);
        }
    }
}

// Writes `count` bytes of display memory in page `page` from column `column` on, in one write
// after the address; what would run past column 127 is left out.
void displayWrite(uint8_t page, uint8_t column, const uint8_t* bytes, uint8_t count)
{
    if (page >= kDisplayPages || column >= kDisplayColumns || count == 0) {
        return;
    }
    if (count > kDisplayColumns - column) {
        count = (uint8_t)(kDisplayColumns - column);
    }
    displaySendAddress(page, column, page, (uint8_t)(column + count - 1));
    displaySend(true, bytes, count);
}

static uint8_t displayBlankByte(uint8_t /*column*/, uint8_t /*page*/)
{
    return 0;
}

// Sets the controller up, clears the panel's memory (which holds noise after power-on) and
// lights the panel.
void displayBegin()
{
    displaySetUp();
    displayDraw(displayBlankByte);
    displayOn();
}
