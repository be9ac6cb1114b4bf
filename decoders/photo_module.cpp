#include "photo_readers.h"
#include "webp_avif_heif.h"

// The entry point of pixelcast-photos.so (see photo_readers.h).
extern "C" __attribute__((visibility("default"))) const pixelcast::PhotoReaders*
pixelcast_photo_readers()
{
    static const pixelcast::PhotoReaders readers{pixelcast::decodeAvif, pixelcast::decodeAvifFrames,
                                                 pixelcast::countAvifFrames, pixelcast::decodeHeif};
    return &readers;
}
