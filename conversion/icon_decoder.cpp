#include "decoding.h"

namespace pixelcast {

// Placeholder until the icon reader lands.
void decodeIcon(std::span<const std::uint8_t> /*bytes*/, PictureSink& /*sink*/)
{
    throw damagedPicture("ICO", QStringLiteral("not read yet"));
}

} // namespace pixelcast
