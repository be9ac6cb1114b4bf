// Pixelcast receiver: shows the pictures that Pixelcast sends over the serial line on a
// 128 x 64 or 128 x 32 SSD1306 display connected over I2C.
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

#include <Wire.h>

// The display's height in rows: 64 for a 128 x 64 module, 32 for a 128 x 32 one. The frame
// size and the display's set-up follow from it.
static const uint8_t kDisplayHeight = 64;

// 0x3C is the usual address of these modules; some are strapped to 0x3D.
static const uint8_t kDisplayAddress = 0x3C;

static_assert(kDisplayHeight == 64 || kDisplayHeight == 32, "kDisplayHeight must be 64 or 32");
static const uint8_t kColumns = 128;
static const uint8_t kPages = kDisplayHeight / 8;
static const uint16_t kFrameSize = (uint16_t)kColumns * kPages;

// At 9600 baud a byte takes about 1 ms; a sender that has stopped for this long has
// given up on its frame. Long enough for a busy PC to stall now and then, short enough
// that a new transfer started by hand always lands at byte 0.
static const unsigned long kResyncPauseMs = 300;

// Data bytes per I2C transaction: Wire buffers 32 bytes and the control byte takes one.
static const uint8_t kBytesPerTransaction = 16;

// I2C control bytes: Co = 0, so every byte that follows in the same transaction is a
// command (D/C# = 0) or display data (D/C# = 1).
static const uint8_t kCommandStream = 0x00;
static const uint8_t kDataStream = 0x40;

static uint8_t frame[kFrameSize];
static uint16_t received = 0;
static unsigned long lastByteAt = 0;

static void sendCommands(const uint8_t* commands, uint8_t count)
{
    Wire.beginTransmission(kDisplayAddress);
    Wire.write(kCommandStream);
    Wire.write(commands, count);
    Wire.endTransmission();
}

// The controller's power-on sequence for a panel of kDisplayHeight rows that makes its own
// driving voltage with the built-in charge pump (the usual I2C module).
static void initDisplay()
{
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
    sendCommands(sequence, sizeof sequence);
}

// Writes the frame into the display RAM. The frame runs column by column, the RAM in
// horizontal addressing mode fills page by page, so the bytes are picked out page by page.
static void drawFrame()
{
    static const uint8_t wholeScreen[] = {
        0x21, 0, kColumns - 1, // column range 0-127
        0x22, 0, kPages - 1,   // page range 0 to kPages - 1
    };
    sendCommands(wholeScreen, sizeof wholeScreen);

    for (uint8_t page = 0; page < kPages; ++page) {
        for (uint8_t column = 0; column < kColumns; column += kBytesPerTransaction) {
            Wire.beginTransmission(kDisplayAddress);
            Wire.write(kDataStream);
            for (uint8_t i = 0; i < kBytesPerTransaction; ++i) {
                Wire.write(frame[(uint16_t)(column + i) * kPages + page]);
            }
            Wire.endTransmission();
        }
    }
}

void setup()
{
    Serial.begin(9600); // 8 data bits, no parity, 1 stop bit

    Wire.begin();
    // A frame is drawn while the next one may already be arriving; at 400 kHz the
    // display write (about 30 ms) ends well before the 64-byte receive buffer fills
    // (about 66 ms at 9600 baud). At the default 100 kHz it would not.
    Wire.setClock(400000);

    // The panel's RAM holds noise after power-on: show a dark screen until the first
    // picture arrives.
    initDisplay();
    drawFrame();
    static const uint8_t displayOn[] = {0xAF};
    sendCommands(displayOn, sizeof displayOn);
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
            drawFrame();
            received = 0;
        }
    }
}
