// Pixelcast player: plays the frames of an animation on a 128 x 64 or 128 x 32 OLED display
// with an SSD1306 or SH1106 controller, connected over I2C or SPI, each frame for its delay,
// as many times as the animation says.
//
// The frames come from animation.h beside this file, written by
//     pixelcast-convert --frames all --format c [--compress] IN.gif animation.h
// (or by the window's "Export animation header") under any --name, which the header
// names in PIXELCAST_ANIMATION; a header without that macro is taken by the name
// "animation". It comes in either of two forms: the frames' arrays as they are
// (PIXELCAST_ANIMATION_COMPRESSED 0), drawn straight from flash, or the compressed stream
// (PIXELCAST_ANIMATION_COMPRESSED 1), decoded frame by
// frame into a buffer in RAM with nothing but a read position besides it. A frame is
// 128 * pages bytes: 1024 for a 64-row display, 512 for a 32-row one; the header must be
// made for the display's height.
//
// The display code in pixelcast_display.h is the same as pixelcast_receiver's, so a module
// that shows the receiver's pictures the right way round shows these too.

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

#include "animation.h"

#ifndef PIXELCAST_ANIMATION
#define PIXELCAST_ANIMATION animation
#define PIXELCAST_ANIMATION_COMPRESSED animation_COMPRESSED
#endif

// The header's names: ANIMATION(_stream) is NAME_stream for the NAME it was made with.
#define PIXELCAST_JOIN2(name, part) name##part
#define PIXELCAST_JOIN(name, part) PIXELCAST_JOIN2(name, part)
#define ANIMATION(part) PIXELCAST_JOIN(PIXELCAST_ANIMATION, part)

#include "pixelcast_display.h"

#include <avr/pgmspace.h>

static const uint16_t kFrameSize = (uint16_t)kDisplayColumns * kDisplayPages;

#if PIXELCAST_ANIMATION_COMPRESSED

// The frame being shown, page after page as the display is written, and where the next
// frame's tokens start in the stream.
static uint8_t frame[kFrameSize];
static uint16_t streamAt = 0;

static void rewind()
{
    memset(frame, 0, sizeof frame);
    streamAt = 0;
}

static uint8_t nextStreamByte()
{
    return pgm_read_byte(&ANIMATION(_stream)[streamAt++]);
}

// Applies the next frame's tokens to the frame before it: a token t below 0x80 keeps t + 1
// bytes; t from 0x80 to 0xBF changes the next t - 0x7F bytes by XOR with the bytes after
// it; t from 0xC0 changes t - 0xBE bytes by XOR with the one byte after it.
static void loadFrame(uint16_t /*index*/)
{
    uint16_t i = 0;
    while (i < kFrameSize) {
        const uint8_t token = nextStreamByte();
        if (token < 0x80) {
            i += (uint16_t)(token + 1);
        } else if (token < 0xC0) {
            for (uint8_t n = (uint8_t)(token - 0x7F); n > 0; --n) {
                frame[i++] ^= nextStreamByte();
            }
        } else {
            const uint8_t value = nextStreamByte();
            for (uint8_t n = (uint8_t)(token - 0xBE); n > 0; --n) {
                frame[i++] ^= value;
            }
        }
    }
}

static uint8_t frameByte(uint16_t /*index*/, uint8_t column, uint8_t page)
{
    return frame[(uint16_t)page * kDisplayColumns + column];
}

#else

static_assert(sizeof PIXELCAST_ANIMATION[0] == kFrameSize,
              "animation.h was made for a display of another height than kDisplayHeight");

static void rewind() {}
static void loadFrame(uint16_t /*index*/) {}

static uint8_t frameByte(uint16_t index, uint8_t column, uint8_t page)
{
    return pgm_read_byte(&PIXELCAST_ANIMATION[index][(uint16_t)column * kDisplayPages + page]);
}

#endif

// The frame being drawn, and its bytes as the display code asks for them.
static uint16_t drawing = 0;

static uint8_t drawingByte(uint8_t column, uint8_t page)
{
    return frameByte(drawing, column, page);
}

static void drawFrame(uint16_t index)
{
    drawing = index;
    displayDraw(drawingByte);
}

static uint16_t nextFrame = 0;
static uint16_t playsDone = 0;
static unsigned long shownAt = 0;
static unsigned long showFor = 0;
static bool finished = false;

// Draws frame `index`, then readies the next one while this one is shown. After the last
// play, or for a single frame, the frame stays.
static void show(uint16_t index)
{
    drawFrame(index);
    showFor = pgm_read_word(&ANIMATION(_delay_ms)[index]);
    nextFrame = (uint16_t)(index + 1);
    if (nextFrame == ANIMATION(_frame_count)) {
        if (ANIMATION(_play_count) != 0) {
            ++playsDone;
            finished = playsDone == ANIMATION(_play_count);
        }
        if (finished || ANIMATION(_frame_count) == 1) {
            finished = true;
            return;
        }
        nextFrame = 0;
        rewind();
    }
    loadFrame(nextFrame);
}

void setup()
{
    displaySetUp();
    rewind();
    loadFrame(0);
    shownAt = millis();
    show(0);
    displayOn();
}

// Each frame begins to be drawn its predecessor's delay after that one began.
void loop()
{
    if (finished || millis() - shownAt < showFor) {
        return;
    }
    shownAt += showFor;
    show(nextFrame);
}
