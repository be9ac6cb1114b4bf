// The display of the link sketch: an SSD1306 of 128 x kDisplayHeight pixels on the I2C bus
// (A4 SDA, A5 SCL) at 400 kHz, driven through the ATmega328P's TWI registers directly.
//
//   displayBegin()  sets the controller up, clears its memory and switches the panel on.
//   displayWrite(page, column, bytes, count)
//                   puts `count` bytes into display memory from `column` of `page` on; the
//                   bytes stay within that page (column + count <= 128).
//
// The sketch defines kDisplayHeight (64 or 32) before it includes this file.
//
// Not the Wire library: it sends at most 32 bytes per transaction, so a page would take
// five transactions with their start, address and control bytes, and its buffers cost
// about 200 bytes of RAM. Here a page is one transaction, and nothing is buffered.

#include <avr/io.h>

// 0x3C is the usual address of these modules; some are strapped to 0x3D.
static const uint8_t kDisplayAddress = 0x3C;

static const uint8_t kDisplayColumns = 128;
static const uint8_t kDisplayPages = kDisplayHeight / 8;

// I2C control bytes: Co = 0, so every byte that follows in the same transaction is a
// command (D/C# = 0) or display data (D/C# = 1).
static const uint8_t kCommandStream = 0x00;
static const uint8_t kDataStream = 0x40;

static void twiWait()
{
    while ((TWCR & _BV(TWINT)) == 0) {
    }
}

static void twiSend(uint8_t value)
{
    TWDR = value;
    TWCR = _BV(TWINT) | _BV(TWEN);
    twiWait();
}

// Starts a write transaction to the display with its control byte. A display that does
// not answer is not waited for: its bytes are clocked out and lost.
static void twiBegin(uint8_t control)
{
    TWCR = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN);
    twiWait();
    twiSend((uint8_t)(kDisplayAddress << 1)); // the write bit is 0
    twiSend(control);
}

static void twiEnd()
{
    TWCR = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN);
    while ((TWCR & _BV(TWSTO)) != 0) {
    }
}

static void sendCommands(const uint8_t* commands, uint8_t count)
{
    twiBegin(kCommandStream);
    for (uint8_t i = 0; i < count; ++i) {
        twiSend(commands[i]);
    }
    twiEnd();
}

// Sets the controller's address window to `count` columns of one page from `column` on:
// with horizontal addressing the data that follows fills exactly those bytes.
static void setWindow(uint8_t page, uint8_t column, uint8_t count)
{
    const uint8_t window[] = {
        0x21, column, (uint8_t)(column + count - 1), // column range
        0x22, page,   page,                          // page range
    };
    sendCommands(window, sizeof window);
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

void displayBegin()
{
    // The modules carry their own pull-up resistors; the pins' weak ones help those that
    // do not. SCL = 16 MHz / (16 + 2 * TWBR) with the prescaler at 1: 400 kHz.
    PORTC |= _BV(PORTC4) | _BV(PORTC5);
    TWSR = 0;
    TWBR = 12;
    TWCR = _BV(TWEN);

    initDisplay();
    // The panel's RAM holds noise after power-on: clear it before the panel goes on.
    for (uint8_t page = 0; page < kDisplayPages; ++page) {
        setWindow(page, 0, kDisplayColumns);
        twiBegin(kDataStream);
        for (uint8_t column = 0; column < kDisplayColumns; ++column) {
            twiSend(0);
        }
        twiEnd();
    }
    static const uint8_t displayOn[] = {0xAF};
    sendCommands(displayOn, sizeof displayOn);
}

void displayWrite(uint8_t page, uint8_t column, const uint8_t* bytes, uint8_t count)
{
    setWindow(page, column, count);
    twiBegin(kDataStream);
    for (uint8_t i = 0; i < count; ++i) {
        twiSend(bytes[i]);
    }
    twiEnd();
}
