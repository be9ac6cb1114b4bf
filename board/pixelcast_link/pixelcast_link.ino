// Pixelcast link: the board's side of the live link (LINK.md beside this folder) for an
// Arduino Uno with a 128 x 64 or 128 x 32 OLED display with an SSD1306 or SH1106 controller,
// connected over I2C or SPI.
//
// Every message is framed and checked, and every one is answered: HELLO with READY, a
// FRAME (a whole display memory) or a DELTA (the bytes that changed since the frame
// shown) with SHOWN once it is on the display, or REFUSED. A message is read whole and
// checked before the display is touched, so the display only ever holds whole frames.
//
// The serial port is driven through its registers and polled: the sketch reads nothing
// while it writes to the display (the host sends the next message only after the answer),
// so it needs no receive buffer. The Arduino core's Serial would take an interrupt every
// 10 us into a 64-byte buffer that a whole frame's 1,033 bytes overrun whenever the sketch
// looks away, and would cost 157 bytes of RAM besides.

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

#include <util/crc16.h>

static const uint16_t kFrameSize = (uint16_t)kDisplayColumns * kDisplayPages;
// The longest payload taken: a FRAME's. A DELTA is only sent when it is shorter.
static const uint16_t kMaxPayload = 2 + kFrameSize;

// A message whose bytes stop coming for this long is dropped without an answer.
static const uint8_t kMessageTimeoutMs = 20;

static const uint8_t kStart1 = 0x50; // "P"
static const uint8_t kStart2 = 0x58; // "X"

enum MessageType : uint8_t {
    kHello = 0x01,
    kFrame = 0x02,
    kDelta = 0x03,
    kReady = 0x81,
    kShown = 0x82,
    kRefused = 0x83,
};

enum Reason : uint8_t {
    kBadCrc = 1,
    kTooLong = 2,
    kMalformed = 3, // an unknown type or a payload of the wrong length
    kWrongBase = 4,
    kBadRun = 5,
};

static const uint8_t kVersion = 1;
// READY's controller: 1 for an SSD1306, 2 for an SH1106.
static const uint8_t kController = kDisplayController == 1106 ? 2 : 1;
static const uint8_t kOrderPages = 1;

static uint8_t payload[kMaxPayload];
// The frame on the display; 0 for none.
static uint16_t shown = 0;

// 1,000,000 baud, 8N1. With U2X the UART divides the clock by 8 * (UBRR + 1): 16 MHz /
// 16 is exactly 1,000,000, where 115,200 baud would be 2 to 3.5 % off, and a whole frame
// crosses in about 10 ms. U2X is set before UBRR0 so that the rate holds from the first
// byte; the register's other bits are status flags, written 0 as the data sheet asks.
static void beginSerial()
{
    UCSR0A = _BV(U2X0);
    UBRR0 = 1;
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    UCSR0B = _BV(RXEN0) | _BV(TXEN0);
}

// Whether a byte has gone out since the transmitter was switched on. Until then the data
// register is empty: the simulator the tests use leaves UDRE0 clear after the Arduino
// core's init() switched the transmitter off, where the chip sets it.
static bool sentAny = false;

static void sendByte(uint8_t value)
{
    while (sentAny && (UCSR0A & _BV(UDRE0)) == 0) {
    }
    UDR0 = value;
    sentAny = true;
}

static uint16_t le16(const uint8_t* bytes)
{
    return (uint16_t)(bytes[0] | (uint16_t)bytes[1] << 8);
}

static void answer(uint8_t type, const uint8_t* body, uint8_t length)
{
    sendByte(kStart1);
    sendByte(kStart2);
    uint16_t crc = 0xFFFF;
    const uint8_t header[] = {type, length, 0};
    for (uint8_t i = 0; i < sizeof header; ++i) {
        crc = _crc_xmodem_update(crc, header[i]);
        sendByte(header[i]);
    }
    for (uint8_t i = 0; i < length; ++i) {
        crc = _crc_xmodem_update(crc, body[i]);
        sendByte(body[i]);
    }
    sendByte((uint8_t)crc);
    sendByte((uint8_t)(crc >> 8));
}

static void answerReady()
{
    const uint8_t body[] = {
        kVersion,
        kController,
        kDisplayColumns,
        0,
        kDisplayHeight,
        0,
        kOrderPages,
        (uint8_t)kMaxPayload,
        (uint8_t)(kMaxPayload >> 8),
        (uint8_t)shown,
        (uint8_t)(shown >> 8),
    };
    answer(kReady, body, sizeof body);
}

static void answerShown(uint16_t seq)
{
    const uint8_t body[] = {(uint8_t)seq, (uint8_t)(seq >> 8)};
    answer(kShown, body, sizeof body);
}

static void answerRefused(uint16_t seq, uint8_t reason)
{
    const uint8_t body[] = {(uint8_t)seq, (uint8_t)(seq >> 8), reason};
    answer(kRefused, body, sizeof body);
}

// The next byte from the line. Waits for it as long as it takes when `patient`, else at
// most kMessageTimeoutMs: returns false if none came by then.
static bool receiveByte(uint8_t& value, bool patient)
{
    const uint8_t since = (uint8_t)millis();
    while ((UCSR0A & _BV(RXC0)) == 0) {
        if (!patient && (uint8_t)((uint8_t)millis() - since) > kMessageTimeoutMs) {
            return false;
        }
    }
    value = UDR0;
    return true;
}

// Reads the next message whole into `payload`: returns true with its type and length once
// its CRC matched. Answers what cannot be read itself; drops a message that stops coming.
static bool receiveMessage(uint8_t& type, uint16_t& length)
{
    // Skipping to the start marker; a "P" may follow a stray "P".
    uint8_t value = 0;
    (void)receiveByte(value, true);
    if (value != kStart1) {
        return false;
    }
    do {
        if (!receiveByte(value, false)) {
            return false;
        }
    } while (value == kStart1);
    if (value != kStart2) {
        return false;
    }

    uint8_t header[3];
    uint16_t crc = 0xFFFF;
    for (uint8_t i = 0; i < sizeof header; ++i) {
        if (!receiveByte(header[i], false)) {
            return false;
        }
        crc = _crc_xmodem_update(crc, header[i]);
    }
    type = header[0];
    length = le16(header + 1);
    if (length > kMaxPayload) {
        // Its payload and CRC are skipped before the answer, so that a start marker among
        // them is not taken for a message (which would swallow the host's next one), and
        // the answer goes out with nothing arriving meanwhile for the UART to lose. A length
        // damaged on the way ends the skipping when the line falls silent.
        for (uint32_t left = (uint32_t)length + 2; left > 0; --left) {
            if (!receiveByte(value, false)) {
                break;
            }
        }
        answerRefused(0, kTooLong);
        return false;
    }
    for (uint16_t i = 0; i < length; ++i) {
        if (!receiveByte(payload[i], false)) {
            return false;
        }
        crc = _crc_xmodem_update(crc, payload[i]);
    }
    uint8_t sent[2];
    if (!receiveByte(sent[0], false) || !receiveByte(sent[1], false)) {
        return false;
    }
    if (le16(sent) != crc) {
        answerRefused(0, kBadCrc);
        return false;
    }
    return true;
}

static void showFrame(uint16_t length)
{
    const uint16_t seq = le16(payload);
    if (length != 2 + kFrameSize || seq == 0) {
        answerRefused(length >= 2 ? seq : 0, kMalformed);
        return;
    }
    for (uint8_t page = 0; page < kDisplayPages; ++page) {
        displayWrite(page, 0, payload + 2 + (uint16_t)page * kDisplayColumns, kDisplayColumns);
    }
    shown = seq;
    answerShown(seq);
}

// Each run of a DELTA: offset (2), count (1), count bytes. Returns 0 when the runs fill the
// payload exactly and each lies within one page of the display, else the reason to refuse.
static uint8_t checkRuns(uint16_t length)
{
    for (uint16_t at = 4; at < length;) {
        if (length - at < 3) {
            return kMalformed;
        }
        const uint16_t offset = le16(payload + at);
        const uint8_t count = payload[at + 2];
        if (count == 0 || length - at - 3 < count) {
            return kMalformed;
        }
        const uint16_t last = offset + count - 1;
        if (offset >= kFrameSize || last >= kFrameSize ||
            offset / kDisplayColumns != last / kDisplayColumns) {
            return kBadRun;
        }
        at += 3 + count;
    }
    return 0;
}

static void showDelta(uint16_t length)
{
    const uint16_t seq = length >= 2 ? le16(payload) : 0;
    if (length < 4 || seq == 0) {
        answerRefused(seq, kMalformed);
        return;
    }
    const uint8_t runsFail = checkRuns(length);
    if (runsFail != 0) {
        answerRefused(seq, runsFail);
        return;
    }
    const uint16_t base = le16(payload + 2);
    if (base == 0 || base != shown) {
        // The same delta again after its SHOWN was lost: it is on the display already.
        if (seq == shown && shown != 0) {
            answerShown(seq);
        } else {
            answerRefused(seq, kWrongBase);
        }
        return;
    }
    for (uint16_t at = 4; at < length;) {
        const uint16_t offset = le16(payload + at);
        const uint8_t count = payload[at + 2];
        displayWrite((uint8_t)(offset / kDisplayColumns), (uint8_t)(offset % kDisplayColumns),
                     payload + at + 3, count);
        at += 3 + count;
    }
    shown = seq;
    answerShown(seq);
}

void setup()
{
    displayBegin();
    beginSerial();
    // Opening an Uno's port resets it: this tells the host the sketch is ready and that
    // the display holds none of its frames.
    answerReady();
}

void loop()
{
    uint8_t type = 0;
    uint16_t length = 0;
    if (!receiveMessage(type, length)) {
        return;
    }
    if (type == kHello && length == 0) {
        answerReady();
    } else if (type == kFrame) {
        showFrame(length);
    } else if (type == kDelta) {
        showDelta(length);
    } else {
        answerRefused(0, kMalformed);
    }
}
