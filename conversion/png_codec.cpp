#include "decoding.h"

namespace pixelcast {

// Placeholders until the PNG reader and writer land.
void decodePng(std::span<const std::uint8_t> /*bytes*/, PictureSink& /*sink*/)
{
    throw damagedPicture("PNG", QStringLiteral("not read yet"));
}
std::vector<std::uint8_t> encodePngRgb(int /*width*/, int /*height*/,
                                       std::span<const std::uint8_t> /*rgb*/)
{
    throw Error(ErrorCode::PreviewNotWritten, QStringLiteral("not written yet"));
}

} // namespace pixelcast
