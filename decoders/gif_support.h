#pragma once

#include "decoders/decoding.h"

#include <array>
#include <cstdint>
#include <gif_lib.h>
#include <memory>
#include <span>

// What the GIF reader and the frame count share: giflib's handle, its errors as ours, the
// in-memory input and the colours of a frame's indices.
namespace pixelcast::gif {

// What Qt's reader gives an index past the colour table.
inline constexpr Argb kPastTheTable = 0x00FFFFFFU;
inline constexpr Argb kOpaque = 0xFF000000U;

struct Closer {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using Handle = std::unique_ptr<GifFileType, Closer>;

// The bytes giflib reads from, for readMemory; a read past the end comes back short, and
// giflib reports the file cut. With `mend`, as the first frame's reader reads a file:
// while a frame's data is read (`inFrameData`), every read of one byte is the length of
// the next data block, and a block the file cuts short is given the length of what is
// left of it, so the rows its bytes hold still decode; past the end, a read of one byte
// gets one zero byte, once: the terminator of the data blocks, so a file cut just before
// it still gives its last row. `mended` tells that either happened.
struct MemoryInput {
    std::span<const std::uint8_t> bytes;
    bool mend = false;
    std::size_t at = 0;
    bool inFrameData = false;
    bool terminatorGiven = false;
    bool mended = false;
};

// giflib's input function for a MemoryInput in the handle's UserData.
int readMemory(GifFileType* gif, GifByteType* to, int length);

// A giflib error code as a damaged picture (1005).
[[noreturn]] void throwError(int code);

// The colour of every index of a frame. `tableSize` is the size the descriptor declares
// even when no table follows it: indices past the table are white, and without any table
// the declared indices are black. Without a transparent index nothing is transparent.
[[nodiscard]] std::array<Argb, 256> frameColours(const ColorMapObject* table, int tableSize,
                                                 int transparent);

} // namespace pixelcast::gif
