// Writes three runs of bytes with displayWrite() after displayBegin(), for the board tests
// (display_write_test.cpp): 16 bytes at the top left, 5 in page 2 from column 37, and 16 in
// the last page from column 120, of which the 8 past column 127 are left out. The module
// settings are the sketches' defaults; the tests change them as for the sketches.

static const uint16_t kDisplayController = 1306;
static const uint8_t kDisplayHeight = 64;
static const bool kDisplayOnSpi = false;
static const uint8_t kDisplayAddress = 0x3C;
static const uint8_t kDisplayClockPin = 13;
static const uint8_t kDisplayDataPin = 11;
static const uint8_t kDisplayChipSelectPin = 10;
static const uint8_t kDisplayCommandPin = 9;
static const uint8_t kDisplayResetPin = 8;

#include "pixelcast_display.h"

void setup()
{
    // Byte i is 0x81 + 7 * i: none is 0, and each differs from its neighbours in several bits.
    uint8_t bytes[16];
    for (uint8_t i = 0; i < sizeof bytes; ++i) {
        bytes[i] = (uint8_t)(0x81 + 7 * i);
    }
    displayBegin();
    displayWrite(0, 0, bytes, 16);
    displayWrite(2, 37, bytes, 5);
    displayWrite(kDisplayPages - 1, 120, bytes, 16);
}

void loop() {}
