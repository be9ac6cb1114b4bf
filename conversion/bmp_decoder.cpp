#include "decoding.h"

namespace pixelcast {

// Placeholder until the BMP reader lands.
void decodeBmp(std::span<const std::uint8_t> /*bytes*/, PictureSink& /*sink*/)
{
    throw damagedPicture("BMP", QStringLiteral("not read yet"));
}
void decodeIconBitmap(std::span<const std::uint8_t> /*bytes*/, PictureSink& /*sink*/)
{
    throw damagedPicture("ICO", QStringLiteral("not read yet"));
}

} // namespace pixelcast
