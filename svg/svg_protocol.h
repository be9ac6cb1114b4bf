#pragma once

#include <cstdint>

// What the SVG helper (pixelcast-svg) and the program that starts it agree on. The helper
// reads the SVG document on standard input, already unpacked when it came as SVGZ, and is
// given four arguments:
//   BBGGRR   the background as six hexadecimal digits of a ColorRef (0xBBGGRR)
//   WIDTH    the box the drawing is made for, in pixels (1..kMaxSide each; ignored by own)
//   HEIGHT
//   FIT      fill: drawn over the whole box, stretched in each direction on its own;
//            keep: drawn over the part of the box stretchPlacement gives for the picture's
//            own proportions; own: drawn at its own size, made smaller to fit the cap
// On success it exits with 0 after writing, on standard output:
//   4 bytes   kMagic
//   4 bytes   own width, little-endian (the document's size at 96 dots per inch, rounded)
//   4 bytes   own height
//   4 bytes   width of the drawing, little-endian
//   4 bytes   height of the drawing
//   4 bytes   flags: kRepaired when the document was not well-formed XML and what could be
//             read of it was drawn
//   width * height * 4 bytes: the pixels row by row from the top, each a little-endian
//             ColorRef with the top byte clear, transparent parts laid on the background
// Any other exit leaves the output to be ignored.
namespace pixelcast::svg {

inline constexpr char kMagic[4] = {'P', 'X', 'S', 'V'};
inline constexpr int kHeaderBytes = 24;
inline constexpr std::uint32_t kRepaired = 1U;

// The largest drawing: as for metafiles, 8192 pixels a side and 16 Mi pixels.
inline constexpr int kMaxSide = 8192;
inline constexpr std::int64_t kMaxPixels = 16LL * 1024 * 1024;

// The largest SVG document, unpacked: far beyond any drawing a design tool exports (with
// its embedded pictures), small enough that the parser's tree of it fits the helper's
// memory limit.
inline constexpr std::int64_t kMaxDocumentBytes = 32LL * 1024 * 1024;

inline constexpr int kDotsPerInch = 96;

enum ExitCode : int {
    ExitDrawn = 0,
    ExitUsage = 2,
    ExitNotReadable = 3, // not an SVG document the renderer can read, even in part
    ExitNoMemory = 5,    // an allocation failed (the memory limit was reached)
    ExitNoSize = 6,      // the document declares no size and draws nothing
    ExitOutputFailed = 7,
    ExitNotDrawn = 8, // the renderer gave up while drawing (too many references, ...)
};

} // namespace pixelcast::svg
