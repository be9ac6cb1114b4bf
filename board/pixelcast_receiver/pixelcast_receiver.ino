// Pixelcast receiver: shows the pictures that Pixelcast sends over the serial line on a
// 128 x 64 or 128 x 32 OLED display with an SSD1306 or SH1106 controller, connected over I2C
// or SPI.
//
// The line carries nothing but frames at 9600 baud, 8N1, each 128 * pages bytes: 1024 for
// a 64-row display (8 pages), 512 for a 32-row one (4 pages). Byte column * pages + page
// holds the eight pixels of that column in that page (rows page * 8 to page * 8 + 7), the
// least significant bit on top, 1 for a lit pixel.
//
// There is no header to find the start of a frame by, so the sketch resynchronises on
// silence: a pause of more than kResyncPauseMs inside a frame throws the partial frame
// away and the next byte starts a new one. A whole frame is received before the display
// is touched, so the display never shows a mix of two pictures.

// The display module; README.md beside the sketches tells the modules apart. The defaults
// are the usual 0.96" module: an SSD1306 of 128 x 64 on I2C at 0x3C.

// The controller: 1306 for an SSD1306 (most 0.96" and 0.91" modules), 1106 for an SH1106
// (most 1.3" modules).
static const uint16_t kDisplayController = 1306;

// The display's height in rows: 64 for a 128 x 64 module, 32 for a 128 x 32 one (SSD1306
// only). The frame size and the display's set-up follow from it.
static const uint8_t kDisplayHeight = 64;

// The bus: false for I2C (a module with four pins: GND, VCC, SCL, SDA), true for SPI (seven
// pins: GND, VCC, D0, D1, RES, DC, CS).
static const bool kDisplayOnSpi = false;

// On I2C, the module's address: 0x3C is the usual one; some are strapped to 0x3D.
static const uint8_t kDisplayAddress = 0x3C;

// On SPI, the board's pins that the module's pins go to: D0 (clock) and D1 (data) to the
// board's hardware SPI pins, 13 and 11 on an Uno; CS, DC and RES to any free pins.
static const uint8_t kDisplayClockPin = 13;      // D0, also marked SCK, SCL or CLK
static const uint8_t kDisplayDataPin = 11;       // D1, also marked MOSI, SDA or DIN
static const uint8_t kDisplayChipSelectPin = 10; // CS
static const uint8_t kDisplayCommandPin = 9;     // DC, data or command
static const uint8_t kDisplayResetPin = 8;       // RES, also marked RST

#include "pixelcast_display.h"

static const uint16_t kFrameSize = (uint16_t)kDisplayColumns * kDisplayPages;

// At 9600 baud a byte takes about 1 ms; a sender that has stopped for this long has
// given up on its frame. Long enough for a busy PC to stall now and then, short enough
// that a new transfer started by hand always lands at byte 0.
static const unsigned long kResyncPauseMs = 300;

static uint8_t frame[kFrameSize];
static uint16_t received = 0;
static unsigned long lastByteAt = 0;

// The frame runs column by column, the display is written page by page.
static uint8_t frameByte(uint8_t column, uint8_t page)
{
    return frame[(uint16_t)column * kDisplayPages + page];
}

void setup()
{
    Serial.begin(9600); // 8 data bits, no parity, 1 stop bit

    // A dark screen until the first picture arrives.
    displayBegin();
}

void loop()
{
    while (Serial.available() > 0) {
        const uint8_t value = (uint8_t)Serial.read();
        const unsigned long now = millis();
        if (received > 0 && now - lastByteAt > kResyncPauseMs) {
            received = 0;
        }
        lastByteAt = now;
        frame[received++] = value;
        if (received == kFrameSize) {
            displayDraw(frameByte);
            received = 0;
        }
    }
}
