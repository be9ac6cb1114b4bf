#pragma once

#include <cstdint>

// What the metafile helper and the program that starts it agree on. The helper reads the
// metafile on standard input and is given the background colour as its one argument,
// written as six hexadecimal digits of a ColorRef (0xBBGGRR). On success it exits with 0
// after writing, on standard output:
//   4 bytes   kMetafileMagic
//   4 bytes   width, little-endian
//   4 bytes   height, little-endian
//   width * height * 4 bytes: the pixels row by row from the top, each a little-endian
//             ColorRef with the top byte clear
// Any other exit leaves the output to be ignored.
namespace pixelcast::metafile {

inline constexpr char kMagic[4] = {'P', 'X', 'W', 'M'};
inline constexpr int kHeaderBytes = 12;

// The largest drawing made from a metafile: 8192 pixels a side and 16 Mi pixels (64 MiB of
// pixels). An A0 poster declared at 96 dots per inch (3179 x 4494) still fits, so any
// ordinary clip art is drawn at its full declared size; anything larger is refused before
// a pixel is allocated.
inline constexpr int kMaxSide = 8192;
inline constexpr std::int64_t kMaxPixels = 16LL * 1024 * 1024;

// The resolution a metafile's declared size is drawn at.
inline constexpr int kDotsPerInch = 96;

enum ExitCode : int {
    ExitDrawn = 0,
    ExitUsage = 2,
    ExitNotReadable = 3,  // the parser gave up on the file
    ExitTooLarge = 4,     // the declared or measured size is over the cap
    ExitNoMemory = 5,     // an allocation failed (the memory limit was reached)
    ExitEmpty = 6,        // the file draws nothing and declares no size
    ExitOutputFailed = 7, // the pixels could not be written out
};

[[nodiscard]] constexpr bool fitsCap(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

} // namespace pixelcast::metafile
