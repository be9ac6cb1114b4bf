// Pixelcast player: plays the frames of an animation on a 128 x 64 or 128 x 32 SSD1306
// display connected over I2C, each for its delay, as many times as the animation says.
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
// The display is set up exactly as pixelcast_receiver sets it up (the tests check that the
// two sequences stay the same), so a module that shows the receiver's pictures the right
// way round shows these too.

#include "animation.h"

#ifndef PIXELCAST_ANIMATION
#define PIXELCAST_ANIMATION animation
#define PIXELCAST_ANIMATION_COMPRESSED animation_COMPRESSED
#endif

// The header's names: ANIMATION(_stream) is NAME_stream for the NAME it was made with.
#define PIXELCAST_JOIN2(name, part) name##part
#define PIXELCAST_JOIN(name, part) PIXELCAST_JOIN2(name, part)
#define ANIMATION(part) PIXELCAST_JOIN(PIXELCAST_ANIMATION, part)

#include <Wire.h>
#include <avr/pgmspace.h>

// The display's height in rows: 64 for a 128 x 64 module, 32 for a 128 x 32 one. The frame
// size and the display's set-up follow from it.
static const uint8_t kDisplayHeight = 64;

static const uint8_t kDisplayAddress = 0x3C;

static_assert(kDisplayHeight == 64 || kDisplayHeight == 32, "kDisplayHeight must be 64 or 32");
static const uint8_t kColumns = 128;
static const uint8_t kPages = kDisplayHeight / 8;
static const uint16_t kFrameSize = (uint16_t)kColumns * kPages;

static const uint8_t kBytesPerTransaction = 16;

static const uint8_t kCommandStream = 0x00;
static const uint8_t kDataStream = 0x40;

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
    return frame[(uint16_t)page * kColumns + column];
}

#else

static_assert(sizeof PIXELCAST_ANIMATION[0] == kFrameSize,
              "animation.h was made for a display of another height than kDisplayHeight");

static void rewind() {}
static void loadFrame(uint16_t /*index*/) {}

static uint8_t frameByte(uint16_t index, uint8_t column, uint8_t page)
{
    return pgm_read_byte(&PIXELCAST_ANIMATION[index][(uint16_t)column * kPages + page]);
}

#endif

// Writes frame `index` into the display RAM, page by page as horizontal addressing fills it.
static void drawFrame(uint16_t index)
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
                Wire.write(frameByte(index, (uint8_t)(column + i), page));
            }
            Wire.endTransmission();
        }
    }
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
    Wire.begin();
    // The display write takes about 30 ms at 400 kHz, four times that at the default rate.
    Wire.setClock(400000);
    initDisplay();
    rewind();
    loadFrame(0);
    shownAt = millis();
    show(0);
    static const uint8_t displayOn[] = {0xAF};
    sendCommands(displayOn, sizeof displayOn);
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
