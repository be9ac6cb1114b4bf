#include "decoding.h"

namespace pixelcast {

// Placeholder until the GIF reader lands.
void decodeGif(std::span<const std::uint8_t> /*bytes*/, PictureSink& /*sink*/)
{
    throw damagedPicture("GIF", QStringLiteral("not read yet"));
}

} // namespace pixelcast
