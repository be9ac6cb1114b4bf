#pragma once

#include "decoders/decoding.h"

namespace pixelcast {

// The bitmap of an icon or cursor entry, as decodeIconBitmap reads it, naming `format`
// ("ICO" or "CUR") in the errors it throws.
void decodeIconBitmap(std::span<const std::uint8_t> bytes, PictureSink& sink, const char* format);

} // namespace pixelcast
