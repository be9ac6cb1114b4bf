#pragma once

#include "animation.h"
#include "decoding.h"

#include <cstdint>
#include <span>

// The AVIF and HEIF readers are a library of their own, pixelcast-photos.so, loaded the
// first time a file of theirs is read: libavif and libheif bring about twenty libraries
// with them (AV1 and HEVC codecs), whose loading would otherwise slow every start of the
// converter by tens of milliseconds. It is found beside the program (in the build tree),
// else in ../lib/x86_64-linux-gnu/pixelcast/ (the machine's multiarch folder) from the
// program's folder (as installed), or where the environment's PIXELCAST_PHOTO_READERS
// names it.
namespace pixelcast {

struct PhotoReaders {
    void (*decodeAvif)(std::span<const std::uint8_t>, PictureSink&) = nullptr;
    FramesReader decodeAvifFrames = nullptr;
    int (*countAvifFrames)(std::span<const std::uint8_t>) = nullptr;
    void (*decodeHeif)(std::span<const std::uint8_t>, PictureSink&) = nullptr;
};

// The readers, the library loaded on the first call. Throws Error(PictureReaderMissing)
// when it cannot be loaded.
[[nodiscard]] const PhotoReaders& photoReaders();

} // namespace pixelcast

// The library's one entry point.
extern "C" const pixelcast::PhotoReaders* pixelcast_photo_readers();
