#include "decoding.h"

#include "animation.h"

namespace pixelcast {

void checkPictureSize(const char* format, std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0) {
        throw damagedPicture(
            format, QStringLiteral("it declares a size of %1 x %2 pixels").arg(width).arg(height));
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The picture declares a size of %1 x %2 pixels; the largest "
                                   "this program reads is %3 million pixels and %4 "
                                   "pixels a side.")
                        .arg(width)
                        .arg(height)
                        .arg(kMaxPicturePixels / 1'000'000)
                        .arg(kMaxPictureSide));
    }
}

Error notAPicture(const char* format)
{
    return Error(ErrorCode::NotAPicture,
                 QStringLiteral("The file starts like a %1 picture but is not one.")
                     .arg(QLatin1StringView(format)));
}

Error damagedPicture(const char* format, const QString& why)
{
    return Error(ErrorCode::PictureDamaged,
                 QStringLiteral("The %1 picture is damaged and cannot be decoded (%2).")
                     .arg(QLatin1StringView(format), why));
}

void deliverCanvas(const FrameCanvas& canvas, PictureSink& sink)
{
    sink.begin(canvas.width, canvas.height);
    for (int y = 0; y < canvas.height; ++y) {
        if (sink.wants(y)) {
            sink.row(y, canvas.pixels +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(canvas.width));
        }
    }
}

} // namespace pixelcast
